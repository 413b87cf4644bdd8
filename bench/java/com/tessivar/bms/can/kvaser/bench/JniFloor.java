package com.tessivar.bms.can.kvaser.bench;

/**
 * Native methods with the signatures of {@code Velmora._read} and {@code Velmora._send} that make
 * only the JNI calls those make, and no CANlib call (library {@code VelmoraBenchFloor}). Declared
 * like Velmora's: instance methods that may throw.
 */
final class JniFloor {
  static { System.loadLibrary("VelmoraBenchFloor"); }

  /** The JNI transition alone. Returns false. */
  native boolean emptyRead(int handle, byte[] rx_pdu) throws Exception;

  /**
   * GetArrayLength, GetByteArrayElements, ReleaseByteArrayElements(mode 0), as _read for a frame.
   */
  native boolean readFrameCalls(int handle, byte[] rx_pdu) throws Exception;

  /** GetArrayLength, GetByteArrayElements, ReleaseByteArrayElements(JNI_ABORT), as _send. */
  native boolean sendCalls(int handle, int id, boolean extended, byte[] data) throws Exception;

  /** Not a floor of today's _read: one SetByteArrayRegion of 12 bytes, an alternative to it. */
  native boolean readFrameRegion(int handle, byte[] rx_pdu) throws Exception;

  /** FindClass and ThrowNew of a java.lang.Exception, as a failing call raises. */
  native boolean raise(int handle, byte[] rx_pdu) throws Exception;
}
