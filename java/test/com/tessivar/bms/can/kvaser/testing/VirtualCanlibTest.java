package com.tessivar.bms.can.kvaser.testing;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Named;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The test support runs inside the JVM: bad arguments must end in a Java exception, never a crash.
 */
class VirtualCanlibTest {
  @BeforeEach
  void freshBus() {
    VirtualCanlib.reset();
  }

  static Stream<Arguments> refusedRequests() {
    return Stream.of(refused("unknown function", IllegalArgumentException.class,
                         () -> VirtualCanlib.failCall("canFly", -1)),
        refused("canInitializeLibrary has no result", IllegalArgumentException.class,
            () -> VirtualCanlib.failCall("canInitializeLibrary", -1)),
        refused("count 0", IllegalArgumentException.class,
            () -> VirtualCanlib.failCall("canRead", -1, 0, VirtualCanlib.ANY_HANDLE)),
        refused(
            "null function", NullPointerException.class, () -> VirtualCanlib.failCall(null, -1)),
        refused("frame for an unknown handle", IllegalArgumentException.class,
            () -> VirtualCanlib.injectFrame(7, 1, 2, new byte[1])),
        refused("null frame data", NullPointerException.class,
            () -> VirtualCanlib.injectFrame(0, 1, 2, null)),
        refused(
            "0 channels", IllegalArgumentException.class, () -> VirtualCanlib.setChannelCount(0)),
        refused("65 channels", IllegalArgumentException.class,
            () -> VirtualCanlib.setChannelCount(65)));
  }

  private static Arguments refused(
      String name, Class<? extends Throwable> expected, Executable request) {
    return Arguments.of(Named.of(name, request), expected);
  }

  @ParameterizedTest(name = "{0}")
  @MethodSource("refusedRequests")
  void aRefusedRequestThrows(Executable request, Class<? extends Throwable> expected) {
    assertThrows(expected, request);
  }

  @Test
  void queueLengthsOfAnUnknownHandleAreInvalidHandle() {
    assertEquals(-10, VirtualCanlib.receiveQueueLength(7));
    assertEquals(-10, VirtualCanlib.transmitQueueLength(-5));
  }
}
