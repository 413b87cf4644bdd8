package com.tessivar.bms.can.tool;

import java.util.Locale;
import java.util.Map;

/**
 * The bit rate argument of {@code Velmora._init}: either a bit rate in bit/s, handed to CANlib
 * unchanged, or one of CANlib's predefined settings, chosen by name ("500K") and passed as CANlib's
 * negative code. The names are the safer choice on real interfaces, since the library passes no
 * bit timing of its own.
 */
final class BitRate {
  private static final Map<String, Integer> PREDEFINED = Map.of("1M", -1, "500K", -2, "250K", -3,
      "125K", -4, "100K", -5, "62K", -6, "50K", -7, "83K", -8, "10K", -9);

  /** Names accepted by {@link #parse}, fastest first, for the help text. */
  static final String NAMES = "1M, 500K, 250K, 125K, 100K, 83K, 62K, 50K, 10K";

  private BitRate() {}

  /** Returns the value for {@code _init}: a predefined code (negative) or bit/s (positive). */
  static int parse(String text) throws UsageException {
    Integer predefined = PREDEFINED.get(text.toUpperCase(Locale.ROOT));
    if (predefined != null) return predefined;
    if (!text.matches("[0-9]{1,9}") || Integer.parseInt(text) == 0) {
      throw new UsageException(
          "bad bit rate '" + text + "': give bit/s (e.g. 500000) or one of " + NAMES);
    }
    return Integer.parseInt(text);
  }

  /** How a value from {@link #parse} reads for a person: "500K" or "500000 bit/s". */
  static String describe(int bitrate) {
    for (Map.Entry<String, Integer> entry : PREDEFINED.entrySet()) {
      if (entry.getValue() == bitrate) return entry.getKey();
    }
    return bitrate + " bit/s";
  }
}
