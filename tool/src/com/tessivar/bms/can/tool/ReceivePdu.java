package com.tessivar.bms.can.tool;

/**
 * Decodes the 12-byte receive record that {@code Velmora._read} fills: bytes 0-3 the identifier,
 * big-endian, with 0x80 in byte 0 for an extended frame; bytes 4-11 the data, 0xFF where the frame
 * had no byte.
 *
 * <p>The record carries no data length. {@link #decode} therefore drops the trailing 0xFF bytes
 * and reports what is left: exact for every frame whose last data byte is not 0xFF, shorter than
 * sent for one that really ends in 0xFF (a frame of eight 0xFF bytes shows as no data at all).
 * {@link #decodeAllBytes} reports all eight bytes instead, which is never short but never shows a
 * shorter frame either.
 */
final class ReceivePdu {
  static final int LENGTH = 12;
  private static final int DATA_OFFSET = 4;
  private static final int EXTENDED_FLAG = 0x80;
  private static final byte FILLER = (byte) 0xFF;

  private ReceivePdu() {}

  /** A fresh buffer for {@code _read}. */
  static byte[] newBuffer() { return new byte[LENGTH]; }

  /** The frame with its trailing 0xFF bytes taken as filler. */
  static CanFrame decode(byte[] pdu) {
    checkLength(pdu);
    int length = LENGTH;
    while (length > DATA_OFFSET && pdu[length - 1] == FILLER) length--;
    return decode(pdu, length - DATA_OFFSET);
  }

  /** The frame with all eight data bytes, filler included. */
  static CanFrame decodeAllBytes(byte[] pdu) { return decode(pdu, LENGTH - DATA_OFFSET); }

  private static void checkLength(byte[] pdu) {
    if (pdu.length != LENGTH) {
      throw new IllegalArgumentException("receive record must be 12 bytes, not " + pdu.length);
    }
  }

  private static CanFrame decode(byte[] pdu, int dataLength) {
    checkLength(pdu);
    boolean extended = (pdu[0] & EXTENDED_FLAG) != 0;
    int id = (pdu[0] & ~EXTENDED_FLAG & 0xFF) << 24 | (pdu[1] & 0xFF) << 16 | (pdu[2] & 0xFF) << 8
        | (pdu[3] & 0xFF);
    byte[] data = new byte[dataLength];
    System.arraycopy(pdu, DATA_OFFSET, data, 0, dataLength);
    return new CanFrame(id, extended, data);
  }
}
