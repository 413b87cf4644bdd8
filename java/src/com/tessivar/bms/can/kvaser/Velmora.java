package com.tessivar.bms.can.kvaser;

/**
 * One CAN channel of a Kvaser interface, driven through CANlib by the native library
 * {@code VelmoraJava}. The application loads the library ({@code System.loadLibrary("VelmoraJava")})
 * before the first call.
 *
 * <p>Every CANlib failure arrives as a {@link java.lang.Exception} whose message ends with CANlib's
 * own text for the status.
 */
public class Velmora {
  /** The CAN handle of the channel opened by {@link #_init}. */
  public int _handle;

  /**
   * Opens {@code channel}, sets its bit rate (bit/s, or one of CANlib's negative predefined codes)
   * and puts it on the bus; the handle goes into {@link #_handle}. Returns false when the channel
   * could not be opened or configured.
   */
  public native boolean _init(int channel, int bitrate) throws Exception;

  /**
   * Sends one frame (data length = array length) and waits up to 30 ms for it to leave. Always
   * returns true; failures arrive as exceptions.
   */
  public native boolean _send(int handle, int id, boolean extended, byte[] data) throws Exception;

  /**
   * Takes one received frame, without waiting, into the 12-byte receive PDU {@code rx_pdu}:
   * identifier big-endian with 0x80 in byte 0 for an extended frame, then 8 data bytes (0xFF where
   * the frame has none). Returns false when no frame is waiting.
   */
  public native boolean _read(int handle, byte[] rx_pdu) throws Exception;

  /** Closes the channel; {@link #_handle} is left as it is. */
  public native void _close(int handle) throws Exception;
}
