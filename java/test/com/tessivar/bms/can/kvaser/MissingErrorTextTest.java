package com.tessivar.bms.can.kvaser;

import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import java.util.stream.Stream;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * When canGetErrorText gives no usable text (it fails, or answers OK without writing), the
 * message still ends with a readable text naming the status, never with leftover bytes.
 */
class MissingErrorTextTest extends VirtualBusTest {
  /** A failure of one native method: the status it reports and the call that makes it fail. */
  interface Failure {
    void run() throws Exception;
  }

  // canGetErrorText failing (status -1), or answering OK while leaving the buffer untouched (0).
  static Stream<Arguments> failures() {
    return Stream.of(-1, 0).flatMap(textStatus -> failuresWithTextLookupAnswering(textStatus));
  }

  private static Stream<Arguments> failuresWithTextLookupAnswering(int textStatus) {
    return Stream
        .of(failure("open", 0, "Cannot open CAN channel 7", () -> new Velmora()._init(7, BITRATE)),
            failure("bus parameters", canERR_PARAM, "canSetBusParams failed, stat=-1",
                () -> new Velmora()._init(0, -100)),
            failure("transmit wait", canERR_TIMEOUT, "Cannot write sync",
                () -> {
                  Velmora alone = openChannel(0);
                  alone._send(alone._handle, 1, false, new byte[0]);
                }),
            failure("write", canERR_INVHANDLE, "Cannot send CAN packet, CAN-ID=5",
                () -> new Velmora()._send(UNKNOWN_HANDLE, 5, true, new byte[1])),
            failure("read", canERR_INVHANDLE, "canRead failed",
                () -> new Velmora()._read(UNKNOWN_HANDLE, new byte[12])),
            failure("close", canERR_INVHANDLE, "Failed to close",
                () -> new Velmora()._close(UNKNOWN_HANDLE)))
        .map(arguments -> Arguments.of(textStatus, arguments[0], arguments[1], arguments[2]));
  }

  private static Object[] failure(String name, int status, String message, Failure call) {
    return new Object[] {Named.of(name, call), status, message};
  }

  @ParameterizedTest(name = "{1}, text lookup answers {0}")
  @MethodSource("failures")
  void theMessageEndsWithAReadableText(int textStatus, Failure call, int status, String message) {
    VirtualCanlib.failCall("canGetErrorText", textStatus, 1, status);

    assertCanException(message + ": unknown CANlib status " + status, call::run);
  }
}
