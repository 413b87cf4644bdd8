package com.tessivar.bms.can.kvaser.bench;

/**
 * Diagnostics (library {@code VelmoraBenchDirect}): _read's and _send's CANlib and JNI calls with
 * none of VelmoraJava's own work around them. A call minus its direct twin is the library's own
 * cost measured inside the VM.
 */
final class CanlibDirect {
  static { System.loadLibrary("VelmoraBenchDirect"); }

  /** canRead as _read calls it; for a frame, _read's JNI calls. True when a frame came. */
  native boolean read(int handle, byte[] rx_pdu) throws Exception;

  /** _send's JNI calls, canWrite (standard frame) and canWriteSync(30). True when both succeed. */
  native boolean send(int handle, int id, boolean extended, byte[] data) throws Exception;
}
