package com.tessivar.bms.can.kvaser;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import com.tessivar.bms.can.kvaser.testing.VirtualCanlib.Call;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** _init and _close: opening, configuring and closing a channel, and every way they fail. */
class ChannelLifecycleTest extends VirtualBusTest {
  private static final int canOPEN_OVERRIDE_EXCLUSIVE = 0x40;

  @ParameterizedTest(name = "bit rate {0}")
  @ValueSource(ints = {1_000_000, 500_000, 125_000, -1, -2, -9})
  void initOpensTheChannelSetsTheBitRateGoesOnTheBusAndRecordsTheHandle(int bitrate)
      throws Exception {
    VirtualCanlib.recordCalls(true);
    Velmora velmora = new Velmora();
    velmora._handle = UNTOUCHED;

    assertTrue(velmora._init(1, bitrate));

    List<Call> calls = VirtualCanlib.calls();
    assertEquals(List.of("canInitializeLibrary", "canOpenChannel", "canSetBusParams", "canBusOn"),
        VirtualCanlib.callNames());
    Call open = calls.get(1);
    assertEquals(1, open.handle(), "channel");
    assertEquals(canOPEN_OVERRIDE_EXCLUSIVE, open.arg(0), "open flags");
    assertEquals(open.result(), velmora._handle);
    Call busParams = calls.get(2);
    assertEquals(velmora._handle, busParams.handle());
    assertEquals(List.of((long) bitrate, 0L, 0L, 0L, 0L, 0L),
        Arrays.stream(busParams.args()).boxed().toList());
    assertEquals(0, busParams.result());
    assertEquals(velmora._handle, calls.get(3).handle());
    assertEquals(0, calls.get(3).result(), "bus on");
  }

  @Test
  void secondInitOnTheSameObjectOpensASecondHandleAndOverwritesTheFirst() throws Exception {
    Velmora velmora = openChannel(0);
    int first = velmora._handle;
    VirtualCanlib.recordCalls(true);

    assertTrue(velmora._init(0, BITRATE));

    assertNotEquals(first, velmora._handle);
    assertOpen(first);
    assertOpen(velmora._handle);
    assertEquals(List.of("canInitializeLibrary", "canOpenChannel", "canSetBusParams", "canBusOn"),
        VirtualCanlib.callNames());
  }

  // A failed open reports status 0, whatever canOpenChannel returned: the text ends "No error".
  // Channel 2 is one past the last channel of the bus; -9 is canERR_NOHANDLES.
  @ParameterizedTest(name = "channel {0}, open answers {1}")
  @CsvSource(textBlock = """
      2, none
      63, none
      -1, none
      -2147483648, none
      0, -9
      1, -30
      """)
  void initOnAChannelThatCannotBeOpenedFailsWithoutTouchingTheHandle(
      int channel, String injectedStatus) {
    if (!injectedStatus.equals("none")) {
      VirtualCanlib.failCall("canOpenChannel", Integer.parseInt(injectedStatus), 1, channel);
    }
    VirtualCanlib.recordCalls(true);
    Velmora velmora = new Velmora();
    velmora._handle = UNTOUCHED;

    assertCanException("Cannot open CAN channel " + channel + ": " + NO_ERROR,
        () -> velmora._init(channel, BITRATE));

    assertEquals(UNTOUCHED, velmora._handle);
    assertEquals(List.of("canInitializeLibrary", "canOpenChannel", "canGetErrorText"),
        VirtualCanlib.callNames());
  }

  // The channel opened before the bus parameters were rejected is closed again: its handle was
  // never recorded, so the caller could not close it.
  @ParameterizedTest(name = "bit rate {0}, canSetBusParams answers {1}")
  @CsvSource(textBlock = """
      -100, none, 'canSetBusParams failed, stat=-1: Error in parameter'
      500000, -15, 'canSetBusParams failed, stat=-15: A hardware error was detected'
      500000, -99, 'canSetBusParams failed, stat=-99: Unknown error (-99)'
      """)
  void initWithRejectedBusParametersClosesTheChannelAndLeavesTheHandle(
      int bitrate, String injectedStatus, String message) {
    if (!injectedStatus.equals("none")) {
      VirtualCanlib.failCall("canSetBusParams", Integer.parseInt(injectedStatus));
    }
    VirtualCanlib.recordCalls(true);
    Velmora velmora = new Velmora();
    velmora._handle = UNTOUCHED;

    assertCanException(message, () -> velmora._init(0, bitrate));

    assertEquals(UNTOUCHED, velmora._handle);
    int opened = VirtualCanlib.calls("canOpenChannel").get(0).result();
    assertTrue(opened >= 0);
    List<Call> closes = VirtualCanlib.calls("canClose");
    assertEquals(1, closes.size(), "canClose calls");
    assertEquals(opened, closes.get(0).handle());
    assertClosed(opened);
    assertEquals(List.of(), VirtualCanlib.calls("canBusOn"));
  }

  // The handle is recorded although bus-on failed, so the caller can still close the channel.
  @ParameterizedTest(name = "canBusOn answers {0}")
  @CsvSource(textBlock = """
      -15, 'canBusOn failed, stat=-15: A hardware error was detected'
      -30, 'canBusOn failed, stat=-30: Internal error in the driver'
      -99, 'canBusOn failed, stat=-99: Unknown error (-99)'
      """)
  void initWhoseBusOnFailsRecordsTheHandleAndThrows(int status, String message) throws Exception {
    VirtualCanlib.failCall("canBusOn", status);
    VirtualCanlib.recordCalls(true);
    Velmora velmora = new Velmora();
    velmora._handle = UNTOUCHED;

    assertCanException(message, () -> velmora._init(1, BITRATE));

    int opened = VirtualCanlib.calls("canOpenChannel").get(0).result();
    assertEquals(opened, velmora._handle);
    assertOpen(opened);
    velmora._close(velmora._handle);
    assertClosed(opened);
  }

  @Test
  void closeClosesTheChannelAndLeavesTheHandleField() throws Exception {
    Velmora velmora = openChannel(0);
    int handle = velmora._handle;

    velmora._close(handle);

    assertClosed(handle);
    assertEquals(handle, velmora._handle);
  }

  @Test
  void closingTwiceFailsTheSecondTime() throws Exception {
    Velmora velmora = openChannel(0);
    int handle = velmora._handle;
    velmora._close(handle);

    assertCanException("Failed to close: " + HANDLE_IS_INVALID, () -> velmora._close(handle));

    assertEquals(handle, velmora._handle);
  }

  @ParameterizedTest(name = "canClose answers {0}")
  @CsvSource(textBlock = """
      -15, 'Failed to close: A hardware error was detected'
      -99, 'Failed to close: Unknown error (-99)'
      """)
  void closeReportsCanlibsFailure(int status, String message) throws Exception {
    Velmora velmora = openChannel(0);
    int handle = velmora._handle;
    VirtualCanlib.failCall("canClose", status, 1, handle);

    assertCanException(message, () -> velmora._close(handle));

    assertEquals(handle, velmora._handle);
    assertOpen(handle); // the faulted close did nothing; a second one works
    velmora._close(handle);
    assertClosed(handle);
  }
}
