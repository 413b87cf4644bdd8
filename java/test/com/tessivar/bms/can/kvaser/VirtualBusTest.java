package com.tessivar.bms.can.kvaser;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import java.util.Arrays;
import java.util.HexFormat;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.function.Executable;

/**
 * Base of the tests that drive libVelmoraJava over the virtual CANlib: a fresh two-channel bus for
 * every test, and the CANlib constants and texts the expectations are written in.
 */
abstract class VirtualBusTest {
  static final int BITRATE = 500_000;
  /** Written into _handle before a call, to see whether the call wrote the field. */
  static final int UNTOUCHED = 0x5A5A5A5A;
  /** A handle the virtual CANlib never hands out. */
  static final int UNKNOWN_HANDLE = 1000;

  static final int canMSG_STD = 0x2;
  static final int canMSG_EXT = 0x4;

  static final int canERR_PARAM = -1;
  static final int canERR_TIMEOUT = -7;
  static final int canERR_INVHANDLE = -10;

  // CANlib's English texts for the statuses above (and status 0), character for character.
  static final String NO_ERROR = "No error";
  static final String TIMEOUT_OCCURRED = "Timeout occurred";
  static final String HANDLE_IS_INVALID = "Handle is invalid";

  @BeforeAll
  static void loadLibrary() {
    System.loadLibrary("VelmoraJava");
  }

  @BeforeEach
  void freshBus() {
    VirtualCanlib.reset();
    VirtualCanlib.setChannelCount(2);
  }

  /** Opens `channel` at BITRATE and checks that the handle was recorded. */
  static Velmora openChannel(int channel) throws Exception {
    Velmora velmora = new Velmora();
    velmora._handle = UNTOUCHED;
    assertTrue(velmora._init(channel, BITRATE), "_init(" + channel + ")");
    assertNotEquals(UNTOUCHED, velmora._handle);
    assertTrue(velmora._handle >= 0, "handle " + velmora._handle);
    return velmora;
  }

  /** Runs `call`, which must throw exactly java.lang.Exception with `message`. */
  static Exception assertCanException(String message, Executable call) {
    Exception thrown = assertThrows(Exception.class, call);
    assertEquals(Exception.class, thrown.getClass(), () -> "thrown: " + thrown);
    assertEquals(message, thrown.getMessage());
    return thrown;
  }

  /** A handle is open when the virtual CANlib knows its receive queue. */
  static void assertOpen(int handle) {
    assertTrue(VirtualCanlib.receiveQueueLength(handle) >= 0, "handle " + handle + " is closed");
  }

  static void assertClosed(int handle) {
    assertEquals(canERR_INVHANDLE, VirtualCanlib.receiveQueueLength(handle), "handle " + handle);
  }

  static void assertNothingToRead(Velmora velmora) throws Exception {
    assertFalse(velmora._read(velmora._handle, new byte[12]));
  }

  /** Bytes from hex digits; blanks are only for reading. */
  static byte[] hex(String digits) { return HexFormat.of().parseHex(digits.replace(" ", "")); }

  static String hex(byte[] bytes) { return HexFormat.of().withUpperCase().formatHex(bytes); }

  static byte[] filled(int length, int value) {
    byte[] bytes = new byte[length];
    Arrays.fill(bytes, (byte) value);
    return bytes;
  }
}
