package com.tessivar.bms.can.kvaser;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** _read: the receive PDU, polling an empty queue, and every way reading fails. */
class FrameReceptionTest extends VirtualBusTest {
  private static final String RX_PDU_LENGTH_MESSAGE = "rx_pdu must be 12 bytes long: " + NO_ERROR;

  @ParameterizedTest(name = "array of {0}")
  @ValueSource(ints = {12, 3, 0})
  void anEmptyQueueGivesFalseAndLeavesTheArray(int length) throws Exception {
    Velmora receiver = openChannel(0);
    byte[] pdu = filled(length, 0x5A);

    assertFalse(receiver._read(receiver._handle, pdu));

    assertArrayEquals(filled(length, 0x5A), pdu);
  }

  // Frames put into the receive queue as another node would send them. Bytes CANlib does not
  // write stay 0xFF; flags other than the extended bit leave no trace. Rows: standard, extended
  // (bits 24-28 = 0x18), empty, largest ids, zero data, software overrun (0x400) on a standard and
  // an extended frame, an error frame (0x20), and a remote request (0x1), whose data CANlib does
  // not deliver.
  @ParameterizedTest(name = "id {0}, flags {1}, dlc {2}, data ''{3}''")
  @CsvSource(textBlock = """
      0x123, 0x002, 2, 0102, 00000123 0102FFFFFFFFFFFF
      0x18FF50E5, 0x004, 8, 0011223344556677, 98FF50E5 0011223344556677
      0x000, 0x004, 0, '', 80000000 FFFFFFFFFFFFFFFF
      0x1FFFFFFF, 0x004, 8, FFFFFFFFFFFFFFFF, 9FFFFFFF FFFFFFFFFFFFFFFF
      0x7FF, 0x002, 8, 0000000000000000, 000007FF 0000000000000000
      0x123, 0x402, 3, 0A0B0C, 00000123 0A0B0CFFFFFFFFFF
      0x00ABCDEF, 0x404, 1, 99, 80ABCDEF 99FFFFFFFFFFFFFF
      0x000, 0x020, 0, '', 00000000 FFFFFFFFFFFFFFFF
      0x321, 0x003, 2, AABB, 00000321 FFFFFFFFFFFFFFFF
      """)
  void aReceivedFrameIsPackedIntoTheReceivePdu(
      String id, String flags, int dlc, String data, String expectedPdu) throws Exception {
    Velmora receiver = openChannel(0);
    VirtualCanlib.injectFrame(
        receiver._handle, Integer.decode(id), Integer.decode(flags), dlc, hex(data));
    byte[] pdu = filled(12, 0x5A);

    assertTrue(receiver._read(receiver._handle, pdu));

    assertEquals(expectedPdu.replace(" ", ""), hex(pdu));
    assertNothingToRead(receiver);
  }

  @ParameterizedTest(name = "canRead answers {0}")
  @CsvSource(textBlock = """
      -15, 'canRead failed: A hardware error was detected'
      -30, 'canRead failed: Internal error in the driver'
      -1, 'canRead failed: Error in parameter'
      """)
  void aFailedReadThrowsLeavesTheArrayAndLosesNoFrame(int status, String message) throws Exception {
    Velmora receiver = openChannel(0);
    VirtualCanlib.injectFrame(receiver._handle, 0x55, canMSG_STD, hex("01"));
    VirtualCanlib.failCall("canRead", status);
    byte[] pdu = filled(12, 0x5A);

    assertCanException(message, () -> receiver._read(receiver._handle, pdu));

    assertArrayEquals(filled(12, 0x5A), pdu);
    assertTrue(receiver._read(receiver._handle, pdu));
    assertEquals("0000005501FFFFFFFFFFFFFF", hex(pdu));
  }

  @Test
  void readingAnUnknownHandleThrows() {
    byte[] pdu = filled(12, 0x5A);

    assertCanException(
        "canRead failed: " + HANDLE_IS_INVALID, () -> new Velmora()._read(UNKNOWN_HANDLE, pdu));

    assertArrayEquals(filled(12, 0x5A), pdu);
  }

  // The frame is taken either way; the array receives the PDU as far as it reaches and never
  // more (-Xcheck:jni guards the element copy and reports a write past its end).
  @ParameterizedTest(name = "array of {0}")
  @ValueSource(ints = {0, 1, 4, 11, 13, 64})
  void anArrayOfTheWrongLengthGetsWhatFitsAndTheLengthException(int length) throws Exception {
    Velmora receiver = openChannel(0);
    VirtualCanlib.injectFrame(receiver._handle, 0x18FF50E5, canMSG_EXT, hex("0102030405060708"));
    VirtualCanlib.injectFrame(receiver._handle, 0x124, canMSG_STD, hex("AA"));
    byte[] pdu = filled(length, 0x5A);

    assertCanException(RX_PDU_LENGTH_MESSAGE, () -> receiver._read(receiver._handle, pdu));

    byte[] expected = filled(length, 0x5A);
    byte[] packed = hex("98FF50E5 0102030405060708");
    System.arraycopy(packed, 0, expected, 0, Math.min(length, packed.length));
    assertArrayEquals(expected, pdu);
    // The next frame is the next one in the queue: nothing lost, nothing repeated.
    byte[] next = new byte[12];
    assertTrue(receiver._read(receiver._handle, next));
    assertEquals("00000124AAFFFFFFFFFFFFFF", hex(next));
    assertNothingToRead(receiver);
  }

  @Test
  void nullRxPduThrowsNullPointerExceptionAndLeavesTheFrameQueued() throws Exception {
    Velmora receiver = openChannel(0);
    VirtualCanlib.injectFrame(receiver._handle, 0x77, canMSG_STD, hex("07"));
    VirtualCanlib.recordCalls(true);

    NullPointerException thrown =
        assertThrows(NullPointerException.class, () -> receiver._read(receiver._handle, null));

    assertEquals("rx_pdu must not be null", thrown.getMessage());
    assertEquals(List.of(), VirtualCanlib.callNames());
    assertEquals(1, VirtualCanlib.receiveQueueLength(receiver._handle));
  }

  // Many frames of both kinds cross the bus and come out complete and in the order they were sent.
  @Test
  void framesAreNeitherLostNorReordered() throws Exception {
    Velmora sender = openChannel(0);
    Velmora receiver = openChannel(1);
    int frames = 600;
    for (int i = 0; i < frames; i++) {
      assertTrue(sender._send(sender._handle, frameId(i), isExtended(i), frameData(i)));
    }

    byte[] pdu = new byte[12];
    for (int i = 0; i < frames; i++) {
      assertTrue(receiver._read(receiver._handle, pdu), "frame " + i);
      byte[] expected = filled(12, 0xFF);
      int id = frameId(i) | (isExtended(i) ? 0x80000000 : 0);
      expected[0] = (byte) (id >>> 24);
      expected[1] = (byte) (id >>> 16);
      expected[2] = (byte) (id >>> 8);
      expected[3] = (byte) id;
      byte[] data = frameData(i);
      System.arraycopy(data, 0, expected, 4, data.length);
      assertArrayEquals(expected, pdu, "frame " + i);
    }
    assertNothingToRead(receiver);
  }

  private static boolean isExtended(int i) {
    return i % 3 == 1; }

  private static int frameId(int i) {
    return isExtended(i) ? 0x1ABC0000 + i : i % 0x800; }

  private static byte[] frameData(int i) {
    byte[] data = new byte[i % 9];
    Arrays.fill(data, (byte) i);
    return data;
  }
}
