package com.tessivar.bms.can.kvaser.robustness;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tessivar.bms.can.kvaser.Velmora;
import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import java.util.Arrays;
import java.util.List;
import java.util.stream.IntStream;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Input a careless or hostile caller can hand the library from Java, each shown harmless: the call
 * raises a java.lang.Exception (or NullPointerException) with CANlib's verdict, the JVM lives on,
 * the bus still works afterwards. Run under -Xcheck:jni, and once more with the library built with
 * AddressSanitizer, where reading or writing a byte past a Java array aborts the run.
 */
class BadInputTest {
  private static final int BITRATE = 500_000;
  private static final int canERR_PARAM = -1;
  private static final String ERROR_IN_PARAMETER = "Error in parameter";
  private static final String HANDLE_IS_INVALID = "Handle is invalid";

  private Velmora sender;
  private Velmora receiver;

  @BeforeAll
  static void loadLibrary() {
    System.loadLibrary("VelmoraJava");
  }

  @BeforeEach
  void twoNodesOnTheBus() throws Exception {
    VirtualCanlib.reset();
    VirtualCanlib.setChannelCount(2);
    sender = open(0);
    receiver = open(1);
  }

  private static Velmora open(int channel) throws Exception {
    Velmora velmora = new Velmora();
    assertTrue(velmora._init(channel, BITRATE), "_init(" + channel + ")");
    return velmora;
  }

  private static void assertCanException(String message, Executable call) {
    Exception thrown = assertThrows(Exception.class, call);
    assertEquals(Exception.class, thrown.getClass(), () -> "thrown: " + thrown);
    assertEquals(message, thrown.getMessage());
  }

  /** The bus still carries a frame from `from` to `to` after whatever went before. */
  private static void assertBusStillWorks(Velmora from, Velmora to) throws Exception {
    assertTrue(from._send(from._handle, 0x123, false, new byte[] {1, 2}));
    byte[] pdu = new byte[12];
    assertTrue(to._read(to._handle, pdu));
    assertArrayEquals(
        new byte[] {0, 0, 1, 0x23, 1, 2, -1, -1, -1, -1, -1, -1}, pdu, Arrays.toString(pdu));
  }

  static Stream<Integer> payloadLengths() {
    return Stream.concat(IntStream.rangeClosed(0, 64).boxed(), Stream.of(1 << 20));
  }

  @ParameterizedTest(name = "{0} bytes")
  @MethodSource("payloadLengths")
  void everyPayloadLengthReachesCanlibUnchangedAndOnlyCanFramesPass(int length) throws Exception {
    byte[] payload = new byte[length];
    for (int i = 0; i < length; i++) payload[i] = (byte) (i * 7 + 1);
    byte[] original = payload.clone();
    VirtualCanlib.recordCalls(true);

    if (length <= 8) {
      assertTrue(sender._send(sender._handle, 0x7FF, false, payload));
    } else {
      assertCanException("Cannot send CAN packet, CAN-ID=2047: " + ERROR_IN_PARAMETER,
          () -> sender._send(sender._handle, 0x7FF, false, payload));
    }

    List<VirtualCanlib.Call> writes = VirtualCanlib.calls("canWrite");
    assertEquals(1, writes.size(), writes::toString);
    assertEquals(length, writes.get(0).arg(1), "dlc handed to canWrite");
    assertEquals(length <= 8 ? 0 : canERR_PARAM, writes.get(0).result());
    if (length <= 8) {
      assertArrayEquals(original, writes.get(0).frame().data(), "bytes CANlib took");
    }
    assertArrayEquals(original, payload, "the payload array must not be written");

    byte[] pdu = new byte[12];
    assertEquals(length <= 8, receiver._read(receiver._handle, pdu), "frame on the bus");
    assertFalse(receiver._read(receiver._handle, new byte[12]), "exactly one frame");
  }

  @ParameterizedTest(name = "id {0}, extended {1}")
  @MethodSource("identifiersCanlibRejects")
  void identifiersOutsideTheFrameFormatReachCanlibUnchangedAndAreRejected(int id, boolean extended)
      throws Exception {
    VirtualCanlib.recordCalls(true);
    assertCanException("Cannot send CAN packet, CAN-ID=" + id + ": " + ERROR_IN_PARAMETER,
        () -> sender._send(sender._handle, id, extended, new byte[] {1}));
    assertEquals(id, VirtualCanlib.calls("canWrite").get(0).arg(0), "id handed to canWrite");
    assertFalse(receiver._read(receiver._handle, new byte[12]), "nothing reached the bus");
    assertBusStillWorks(sender, receiver);
  }

  static Stream<Arguments> identifiersCanlibRejects() {
    return Stream.of(Arguments.of(0x800, false), Arguments.of(-1, false),
        Arguments.of(Integer.MIN_VALUE, false), Arguments.of(Integer.MAX_VALUE, false),
        Arguments.of(1 << 29, true), Arguments.of(-1, true), Arguments.of(Integer.MIN_VALUE, true),
        Arguments.of(Integer.MAX_VALUE, true));
  }

  @ParameterizedTest(name = "handle {0}")
  @ValueSource(ints = {-1, 2, 127, 128, 100_000, Integer.MIN_VALUE, Integer.MAX_VALUE})
  void handlesThatWereNeverOpenedAreRefusedByEveryMethod(int handle) throws Exception {
    assertHandleRefused(sender, handle);
    assertBusStillWorks(sender, receiver);
  }

  @Test
  void aClosedHandleIsRefusedByEveryMethodIncludingASecondClose() throws Exception {
    Velmora third = new Velmora();
    VirtualCanlib.setChannelCount(3);
    assertTrue(third._init(2, BITRATE));
    int closed = third._handle;
    third._close(closed);

    assertHandleRefused(third, closed);
    assertBusStillWorks(sender, receiver);
  }

  private static void assertHandleRefused(Velmora velmora, int handle) {
    assertCanException("Cannot send CAN packet, CAN-ID=291: " + HANDLE_IS_INVALID,
        () -> velmora._send(handle, 0x123, false, new byte[] {1}));
    byte[] pdu = new byte[12];
    Arrays.fill(pdu, (byte) 0x5A);
    assertCanException(
        "canRead failed: " + HANDLE_IS_INVALID, () -> assertFalse(velmora._read(handle, pdu)));
    assertArrayEquals(filled(12, 0x5A), pdu, "rx_pdu untouched");
    assertCanException("Failed to close: " + HANDLE_IS_INVALID, () -> velmora._close(handle));
  }

  @ParameterizedTest(name = "bit rate {0}")
  @ValueSource(ints = {0, 1, 4_999, 1_000_001, -10, -1000, Integer.MIN_VALUE, Integer.MAX_VALUE})
  void rejectedBitRatesLeaveNoHandleBehind(int bitrate) throws Exception {
    Velmora velmora = new Velmora();
    velmora._handle = 0x5A5A5A5A;
    // More attempts than the virtual CANlib has handles: a channel left open on each would run
    // out of handles long before the end.
    for (int attempt = 0; attempt < 200; attempt++) {
      assertCanException("canSetBusParams failed, stat=-1: " + ERROR_IN_PARAMETER,
          () -> assertFalse(velmora._init(0, bitrate)));
    }
    assertEquals(0x5A5A5A5A, velmora._handle, "_handle untouched");
    assertTrue(velmora._init(0, BITRATE), "handles left to open a channel");
    assertBusStillWorks(velmora, receiver);
  }

  @Test
  void nullArraysRaiseNullPointerExceptionAndLoseNoFrame() throws Exception {
    assertThrows(
        NullPointerException.class, () -> sender._send(sender._handle, 0x123, false, null));
    assertFalse(receiver._read(receiver._handle, new byte[12]), "nothing was sent");

    assertTrue(sender._send(sender._handle, 0x42, false, new byte[] {9}));
    assertThrows(NullPointerException.class, () -> receiver._read(receiver._handle, null));
    assertEquals(1, VirtualCanlib.receiveQueueLength(receiver._handle), "frame still queued");
    byte[] pdu = new byte[12];
    assertTrue(receiver._read(receiver._handle, pdu));
    assertEquals(0x42, pdu[3]);
    assertEquals(9, pdu[4]);
  }

  @ParameterizedTest(name = "rx_pdu of {0} bytes")
  @ValueSource(ints = {0, 1, 4, 11, 13, 64, 1 << 20})
  void aReceivePduArrayOfTheWrongLengthIsFilledOnlyWithinItsBounds(int length) throws Exception {
    assertTrue(sender._send(sender._handle, 0x1ABCDEF0, true, new byte[] {1, 2, 3, 4, 5, 6, 7, 8}));
    byte[] pdu = filled(length, 0x5A);

    assertCanException("rx_pdu must be 12 bytes long: No error",
        () -> assertTrue(receiver._read(receiver._handle, pdu)));

    byte[] expected = {(byte) 0x9A, (byte) 0xBC, (byte) 0xDE, (byte) 0xF0, 1, 2, 3, 4, 5, 6, 7, 8};
    int written = Math.min(length, 12);
    assertArrayEquals(Arrays.copyOf(expected, written), Arrays.copyOf(pdu, written));
    for (int i = written; i < length; i++) {
      if (pdu[i] != 0x5A) throw new AssertionError("byte " + i + " past the PDU was written");
    }
    assertBusStillWorks(sender, receiver);
  }

  private static byte[] filled(int length, int value) {
    byte[] bytes = new byte[length];
    Arrays.fill(bytes, (byte) value);
    return bytes;
  }
}
