package com.tessivar.bms.can.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

class BitRateTest {
  @ParameterizedTest(name = "{0} -> {1}")
  @CsvSource({
      // CANlib's predefined codes, by name and in any case
      "1M, -1",
      "500K, -2",
      "250K, -3",
      "125K, -4",
      "100K, -5",
      "62K, -6",
      "50K, -7",
      "83K, -8",
      "10K, -9",
      "500k, -2",
      "1m, -1",
      // bit/s go to CANlib unchanged, also rates it will reject: CANlib has the last word
      "500000, 500000",
      "33333, 33333",
      "2000000, 2000000",
      "1, 1",
  })
  void
  parsesNamesAndBitsPerSecond(String text, int value) throws Exception {
    assertEquals(value, BitRate.parse(text));
  }

  @ParameterizedTest
  @ValueSource(strings = {"", "0", "-2", "3M", "500 K", "1e6", "500kbit", "1000000000", "0x1F4"})
  void rejectsWhatIsNeitherNameNorBitsPerSecond(String text) {
    UsageException e = assertThrows(UsageException.class, () -> BitRate.parse(text));
    assertTrue(e.getMessage().startsWith("bad bit rate '" + text + "'"), e.getMessage());
  }

  @ParameterizedTest
  @CsvSource({"-2, 500K", "-6, 62K", "500000, 500000 bit/s"})
  void describesValuesForPeople(int value, String text) {
    assertEquals(text, BitRate.describe(value));
  }
}
