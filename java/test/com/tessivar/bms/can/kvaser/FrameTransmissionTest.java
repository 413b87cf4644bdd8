package com.tessivar.bms.can.kvaser;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import com.tessivar.bms.can.kvaser.testing.VirtualCanlib.Call;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** _send: frames from one channel arriving at another, and every way sending fails. */
class FrameTransmissionTest extends VirtualBusTest {
  // Each frame goes both ways between two channels; the receive PDU is checked byte for byte.
  // An empty payload is a frame with DLC 0.
  @ParameterizedTest(name = "id {0}, extended {1}, data ''{2}''")
  @CsvSource(textBlock = """
      0x123, false, 0102, 00000123 0102FFFFFFFFFFFF
      0x18FF50E5, true, 1122334455667788, 98FF50E5 1122334455667788
      0x7FF, false, '', 000007FF FFFFFFFFFFFFFFFF
      0x000, false, 0000000000000000, 00000000 0000000000000000
      0x000, true, 00, 80000000 00FFFFFFFFFFFFFF
      0x1FFFFFFF, true, FF00AA, 9FFFFFFF FF00AAFFFFFFFFFF
      0x12345, true, 01020304050607, 80012345 01020304050607FF
      """)
  void twoChannelsExchangeFrames(String id, boolean extended, String data, String expectedPdu)
      throws Exception {
    Velmora first = openChannel(0);
    Velmora second = openChannel(1);
    int identifier = Integer.decode(id);
    byte[] payload = hex(data);

    for (Velmora[] pair : new Velmora[][] {{first, second}, {second, first}}) {
      Velmora sender = pair[0];
      Velmora receiver = pair[1];
      VirtualCanlib.recordCalls(true);

      assertTrue(sender._send(sender._handle, identifier, extended, payload.clone()));

      List<Call> calls = VirtualCanlib.calls();
      assertEquals(List.of("canWrite", "canWriteSync"), VirtualCanlib.callNames());
      Call write = calls.get(0);
      assertEquals(sender._handle, write.handle());
      assertEquals(identifier, write.arg(0), "id");
      assertEquals(payload.length, write.arg(1), "dlc");
      assertEquals(extended ? canMSG_EXT : canMSG_STD, write.arg(2), "flag");
      assertArrayEquals(payload, write.frame().data());
      assertEquals(sender._handle, calls.get(1).handle());
      assertEquals(30, calls.get(1).arg(0), "transmit wait in ms");

      byte[] pdu = new byte[12];
      assertTrue(receiver._read(receiver._handle, pdu));
      assertEquals(expectedPdu.replace(" ", ""), hex(pdu));
      assertNothingToRead(receiver);
      assertNothingToRead(sender); // a sender does not hear its own frame
    }
  }

  // The library passes id and length unchanged; CANlib rejects them. The transmit wait still runs.
  @ParameterizedTest(name = "id {0}, extended {1}, {2} bytes, canWrite answers {3}")
  @CsvSource(textBlock = """
      2048, false, 1, none, 'Cannot send CAN packet, CAN-ID=2048: Error in parameter'
      536870912, true, 1, none, 'Cannot send CAN packet, CAN-ID=536870912: Error in parameter'
      -1, true, 1, none, 'Cannot send CAN packet, CAN-ID=-1: Error in parameter'
      291, false, 9, none, 'Cannot send CAN packet, CAN-ID=291: Error in parameter'
      291, false, 2, -13, 'Cannot send CAN packet, CAN-ID=291: Transmit buffer overflow'
      -2147483648, true, 2, -15, 'Cannot send CAN packet, CAN-ID=-2147483648: A hardware error was detected'
      """)
  void aRejectedFrameThrowsAndTheTransmitWaitStillRuns(int id, boolean extended, int length,
      String injectedStatus, String message) throws Exception {
    Velmora sender = openChannel(0);
    Velmora receiver = openChannel(1);
    if (!injectedStatus.equals("none")) {
      VirtualCanlib.failCall("canWrite", Integer.parseInt(injectedStatus));
    }
    VirtualCanlib.recordCalls(true);

    assertCanException(message, () -> sender._send(sender._handle, id, extended, new byte[length]));

    List<Call> writes = VirtualCanlib.calls("canWrite");
    assertEquals(length, writes.get(0).arg(1), "dlc is the array length, unlimited");
    List<Call> waits = VirtualCanlib.calls("canWriteSync");
    assertEquals(1, waits.size(), "transmit waits");
    assertEquals(0, waits.get(0).result());
    assertNothingToRead(receiver);
  }

  // The timed-out frame is not lost: it stays queued and goes out once another node is on the bus.
  @Test
  void aFrameNobodyAcknowledgesTimesOutInTheTransmitWait() throws Exception {
    Velmora alone = openChannel(0);

    assertCanException("Cannot write sync: " + TIMEOUT_OCCURRED,
        () -> alone._send(alone._handle, 0x123, false, hex("01")));

    assertEquals(1, VirtualCanlib.transmitQueueLength(alone._handle), "frame still queued");
    Velmora latecomer = openChannel(1);
    byte[] pdu = new byte[12];
    assertTrue(latecomer._read(latecomer._handle, pdu));
    assertEquals("0000012301FFFFFFFFFFFFFF", hex(pdu));
    assertEquals(0, VirtualCanlib.transmitQueueLength(alone._handle));
  }

  @ParameterizedTest(name = "canWriteSync answers {0}")
  @CsvSource(textBlock = """
      -7, 'Cannot write sync: Timeout occurred'
      -15, 'Cannot write sync: A hardware error was detected'
      """)
  void aFailedTransmitWaitThrowsAfterTheFrameWasQueued(int status, String message) throws Exception {
    Velmora sender = openChannel(0);
    Velmora receiver = openChannel(1);
    VirtualCanlib.failCall("canWriteSync", status);

    assertCanException(message, () -> sender._send(sender._handle, 0x42, false, hex("AB")));

    byte[] pdu = new byte[12];
    assertTrue(receiver._read(receiver._handle, pdu));
    assertEquals("00000042ABFFFFFFFFFFFFFF", hex(pdu));
  }

  // When the write and then the transmit wait fail, the caller gets the write failure. A second
  // raise while the first is pending would be illegal JNI, which -Xcheck:jni reports.
  @ParameterizedTest(name = "{0}")
  @CsvSource(textBlock = """
      unknown handle, none, none, 'Cannot send CAN packet, CAN-ID=291: Handle is invalid'
      both injected, -13, -7, 'Cannot send CAN packet, CAN-ID=291: Transmit buffer overflow'
      """)
  void whenWriteAndTransmitWaitBothFailTheWriteFailureIsThrown(
      String situation, String writeStatus, String waitStatus, String message) throws Exception {
    Velmora sender = openChannel(0);
    int handle = situation.equals("unknown handle") ? UNKNOWN_HANDLE : sender._handle;
    if (!writeStatus.equals("none")) {
      VirtualCanlib.failCall("canWrite", Integer.parseInt(writeStatus));
      VirtualCanlib.failCall("canWriteSync", Integer.parseInt(waitStatus));
    }
    VirtualCanlib.recordCalls(true);

    assertCanException(message, () -> sender._send(handle, 291, false, hex("0102")));

    List<Call> waits = VirtualCanlib.calls("canWriteSync");
    assertEquals(1, waits.size(), "transmit waits");
    assertTrue(waits.get(0).result() < 0, "the transmit wait failed too");
  }

  @Test
  void nullDataThrowsNullPointerExceptionWithoutCallingCanlib() throws Exception {
    Velmora sender = openChannel(0);
    VirtualCanlib.recordCalls(true);

    NullPointerException thrown = assertThrows(
        NullPointerException.class, () -> sender._send(sender._handle, 0x123, false, null));

    assertEquals("data must not be null", thrown.getMessage());
    assertEquals(List.of(), VirtualCanlib.callNames());
  }
}
