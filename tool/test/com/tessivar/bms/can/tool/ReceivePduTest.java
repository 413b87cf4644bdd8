package com.tessivar.bms.can.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class ReceivePduTest {
  @ParameterizedTest(name = "{0}")
  @CsvSource(delimiter = '|',
      value =
          {
              // the record as _read fills it          | decoded (trailing FF dropped) | all bytes
              "00000123 0102FFFFFFFFFFFF | 123#0102          | 123#0102FFFFFFFFFFFF",
              "98FF50E5 11223344FFFFFFFF | 18FF50E5#11223344 | 18FF50E5#11223344FFFFFFFF",
              "800007FF 0000000000000000 | 000007FF#0000000000000000 | 000007FF#0000000000000000",
              "00000000 FFFFFFFFFFFFFFFF | 000#              | 000#FFFFFFFFFFFFFFFF",
              "000007FF 01FF02FFFFFFFFFF | 7FF#01FF02        | 7FF#01FF02FFFFFFFFFF",
              "9FFFFFFF 0102030405060708 | 1FFFFFFF#0102030405060708 | 1FFFFFFF#0102030405060708",
          })
  void
  decodesIdentifierFlagAndData(String record, String decoded, String allBytes) {
    byte[] pdu = CanFrameTest.bytes(record.replace(" ", ""));
    assertEquals(decoded, ReceivePdu.decode(pdu).toSendForm());
    assertEquals(allBytes, ReceivePdu.decodeAllBytes(pdu).toSendForm());
  }

  @Test
  void aFrameThatEndsInFfShowsShorterThanSent() throws Exception {
    // The record has no length: 01 FF and 01 are the same record. This pins the documented choice.
    byte[] pdu = CanFrameTest.bytes("00000123"
        + "01FFFFFFFFFFFFFF");
    assertEquals(CanFrame.parse("123#01"), ReceivePdu.decode(pdu));
  }

  @Test
  void rejectsARecordOfTheWrongLength() {
    assertThrows(IllegalArgumentException.class, () -> ReceivePdu.decode(new byte[11]));
    assertThrows(IllegalArgumentException.class, () -> ReceivePdu.decodeAllBytes(new byte[13]));
  }
}
