package com.tessivar.bms.can.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import java.util.List;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** The tool's use of Velmora, on the real library over the virtual CANlib. */
class CanChannelTest {
  private static final int BITRATE_500K = -2;
  private static final int canERR_HARDWARE = -15;
  private static final int canERR_INVHANDLE = -10;

  @BeforeAll
  static void loadLibrary() {
    System.loadLibrary("VelmoraJava");
  }

  @BeforeEach
  void freshBus() {
    VirtualCanlib.reset();
    VirtualCanlib.setChannelCount(2);
  }

  @Test
  void framesCrossAndDecodeAsSentUpToTrailingFf() throws Exception {
    try (CanChannel sender = CanChannel.open(0, BITRATE_500K, false);
         CanChannel receiver = CanChannel.open(1, BITRATE_500K, false)) {
      assertNull(receiver.poll(), "nothing sent yet");
      List<String> sent = List.of("123#0102", "18FF50E5#11223344", "7FF#",
          "00000000#0102030405060708", "456#01FF", "456#FFFF");
      List<String> shown = List.of(
          "123#0102", "18FF50E5#11223344", "7FF#", "00000000#0102030405060708", "456#01", "456#");
      for (int i = 0; i < sent.size(); i++) {
        sender.send(CanFrame.parse(sent.get(i)));
        CanFrame frame = receiver.receive(Deadline.afterMillis(1000), new StopRequest());
        assertEquals(CanFrame.parse(shown.get(i)), frame, sent.get(i));
      }
      assertNull(receiver.poll(), "one frame sent, one received");
    }
  }

  @Test
  void allBytesShowsTheFiller() throws Exception {
    try (CanChannel sender = CanChannel.open(0, BITRATE_500K, false);
         CanChannel receiver = CanChannel.open(1, BITRATE_500K, true)) {
      sender.send(CanFrame.parse("123#01"));
      assertEquals(CanFrame.parse("123#01FFFFFFFFFFFFFF"),
          receiver.receive(Deadline.afterMillis(1000), new StopRequest()));
    }
  }

  @Test
  void aChannelThatCannotGoOnTheBusIsClosedAgain() {
    VirtualCanlib.failCall("canBusOn", canERR_HARDWARE);
    VirtualCanlib.recordCalls(true);
    Exception e = assertThrows(Exception.class, () -> CanChannel.open(0, BITRATE_500K, false));
    assertEquals("canBusOn failed, stat=-15: A hardware error was detected", e.getMessage());
    int handle = VirtualCanlib.calls("canOpenChannel").get(0).result();
    assertEquals(List.of(handle),
        VirtualCanlib.calls("canClose").stream().map(VirtualCanlib.Call::handle).toList());
    assertEquals(canERR_INVHANDLE, VirtualCanlib.receiveQueueLength(handle));
  }

  @Test
  void closeClosesTheHandleOnce() throws Exception {
    CanChannel channel = CanChannel.open(0, BITRATE_500K, false);
    channel.close();
    channel.close();
    assertEquals(canERR_INVHANDLE, VirtualCanlib.receiveQueueLength(channel.handle()));
  }

  @Test
  void waitingOnAQuietBusBacksOffInsteadOfSpinning() throws Exception {
    try (CanChannel channel = CanChannel.open(0, BITRATE_500K, false)) {
      VirtualCanlib.recordCalls(true);
      assertNull(channel.receive(Deadline.afterMillis(300), new StopRequest()));
      int reads = VirtualCanlib.calls("canRead").size();
      // Back-off caps the pause at 16 ms: about 25 reads in 300 ms; a spinning loop makes many
      // thousands.
      assertTrue(reads >= 2 && reads < 100, reads + " reads in 300 ms");
    }
  }

  @Test
  void aStopRequestEndsTheWait() throws Exception {
    try (CanChannel channel = CanChannel.open(0, BITRATE_500K, false)) {
      StopRequest stop = new StopRequest();
      stop.request();
      assertNull(channel.receive(Deadline.never(), stop));
    }
  }
}
