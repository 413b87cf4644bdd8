package com.tessivar.bms.can.tool;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class CanFrameTest {
  @ParameterizedTest(name = "{0}")
  @CsvSource({
      "123#0102,            291,       false, 0102",
      "18FF50E5#11223344,   419385573, true,  11223344",
      "123#,                291,       false, ''",
      "7FF#0102030405060708, 2047,     false, 0102030405060708",
      "000#00,              0,         false, 00",
      "1FFFFFFF#FF,         536870911, true,  FF",
      "00000123#01,         291,       true,  01",
      "7ab#de.ad.be.ef,     1963,      false, DEADBEEF",
  })
  void
  parsesIdHashData(String text, int id, boolean extended, String dataHex) throws Exception {
    CanFrame frame = CanFrame.parse(text);
    assertEquals(id, frame.id());
    assertEquals(extended, frame.extended());
    assertArrayEquals(bytes(dataHex), frame.data());
  }

  @ParameterizedTest(name = "{0}")
  @CsvSource(delimiter = '|',
      value =
          {
              "123        | expected ID#DATA",
              "12#01      | 3 hex digits (standard) or 8 (extended)",
              "1234#01    | 3 hex digits (standard) or 8 (extended)",
              "0x123#01   | 3 hex digits (standard) or 8 (extended)",
              "800#01     | a standard identifier is at most 7FF",
              "20000000#01| an extended identifier is at most 1FFFFFFF",
              "123#R      | remote frames cannot be sent",
              "123#010    | up to 8 bytes of two hex digits",
              "123#010203040506070809 | up to 8 bytes of two hex digits",
              "123#0G     | up to 8 bytes of two hex digits",
              "123#01..02 | up to 8 bytes of two hex digits",
              "123#.01    | up to 8 bytes of two hex digits",
              "123#01#02  | up to 8 bytes of two hex digits",
          })
  void
  rejectsMalformedFramesSayingWhy(String text, String reason) {
    UsageException e = assertThrows(UsageException.class, () -> CanFrame.parse(text));
    assertTrue(
        e.getMessage().startsWith("bad frame '" + text + "'") && e.getMessage().contains(reason),
        e.getMessage());
  }

  @ParameterizedTest(name = "{0}")
  @CsvSource(delimiter = '|',
      value =
          {
              "123#0102          | '  ch0  123   [2]  01 02'",
              "18FF50E5#11223344 | '  ch0  18FF50E5   [4]  11 22 33 44'",
              "001#              | '  ch0  001   [0]'",
              "00000001#FFFFFFFFFFFFFFFF | '  ch0  00000001   [8]  FF FF FF FF FF FF FF FF'",
          })
  void
  formatsCandumpLines(String text, String line) throws Exception {
    assertEquals(line, CanFrame.parse(text).toDumpLine(0));
  }

  @Test
  void sendFormReadsBackToTheSameFrame() throws Exception {
    for (String text : new String[] {"123#0102", "18FF50E5#11223344", "7FF#", "00000005#00"}) {
      CanFrame frame = CanFrame.parse(text);
      assertEquals(text, frame.toSendForm());
      assertEquals(frame, CanFrame.parse(frame.toSendForm()));
    }
  }

  @Test
  void standardAndExtendedFramesWithTheSameNumberDiffer() throws Exception {
    CanFrame standard = CanFrame.parse("123#01");
    CanFrame extended = CanFrame.parse("00000123#01");
    assertEquals(standard.id(), extended.id());
    assertTrue(!standard.equals(extended));
  }

  @Test
  void dataCannotBeChangedFromOutside() throws Exception {
    byte[] data = {1, 2};
    CanFrame frame = new CanFrame(0x123, false, data);
    data[0] = 9;
    frame.data()[1] = 9;
    assertArrayEquals(new byte[] {1, 2}, frame.data());
  }

  static byte[] bytes(String hex) {
    byte[] data = new byte[hex.length() / 2];
    for (int i = 0; i < data.length; i++) {
      data[i] = (byte) Integer.parseInt(hex.substring(2 * i, 2 * i + 2), 16);
    }
    return data;
  }
}
