package com.tessivar.bms.can.tool;

import java.util.Arrays;
import java.util.Locale;

/** One CAN frame as the tool sees it: identifier, standard or extended, and its data bytes. */
final class CanFrame {
  static final int MAX_STANDARD_ID = 0x7FF;
  static final int MAX_EXTENDED_ID = 0x1FFFFFFF;
  static final int MAX_DATA_LENGTH = 8;

  private final int id;
  private final boolean extended;
  private final byte[] data;

  /** Takes the identifier as given (a received one is shown as it came); {@link #parse} checks. */
  CanFrame(int id, boolean extended, byte[] data) {
    if (data.length > MAX_DATA_LENGTH) {
      throw new IllegalArgumentException("more than 8 data bytes: " + data.length);
    }
    this.id = id;
    this.extended = extended;
    this.data = data.clone();
  }

  int id() { return id; }

  boolean extended() { return extended; }

  byte[] data() { return data.clone(); }

  /**
   * Parses the usual {@code ID#DATA} form: 3 hex digits for a standard identifier, 8 for an
   * extended one; DATA is 0 to 8 bytes of two hex digits each, optionally separated by dots
   * ({@code 123#0102}, {@code 18FF50E5#11.22.33.44}, {@code 123#}).
   */
  static CanFrame parse(String text) throws UsageException {
    int hash = text.indexOf('#');
    if (hash < 0) {
      throw new UsageException("bad frame '" + text + "': expected ID#DATA, e.g. 123#0102");
    }
    String idText = text.substring(0, hash);
    String dataText = text.substring(hash + 1);
    if (!idText.matches("[0-9A-Fa-f]{3}|[0-9A-Fa-f]{8}")) {
      throw new UsageException("bad frame '" + text
          + "': the identifier takes 3 hex digits (standard) or 8 (extended), e.g. 123 or"
          + " 18FF50E5");
    }
    boolean extended = idText.length() == 8;
    int id = Integer.parseUnsignedInt(idText, 16);
    if (id > (extended ? MAX_EXTENDED_ID : MAX_STANDARD_ID)) {
      String limit = extended ? "an extended identifier is at most 1FFFFFFF"
                              : "a standard identifier is at most 7FF";
      throw new UsageException("bad frame '" + text + "': " + limit);
    }
    if (dataText.startsWith("R") || dataText.startsWith("r")) {
      throw new UsageException(
          "bad frame '" + text + "': remote frames cannot be sent through this library");
    }
    String hex = dataText.replace(".", "");
    if (!hex.matches("([0-9A-Fa-f]{2}){0,8}") || dataText.startsWith(".") || dataText.endsWith(".")
        || dataText.contains("..")) {
      throw new UsageException("bad frame '" + text
          + "': DATA is up to 8 bytes of two hex digits each, e.g. 0102 or 01.02");
    }
    byte[] data = new byte[hex.length() / 2];
    for (int i = 0; i < data.length; i++) {
      data[i] = (byte) Integer.parseInt(hex.substring(2 * i, 2 * i + 2), 16);
    }
    return new CanFrame(id, extended, data);
  }

  /** The {@code ID#DATA} form that {@link #parse} reads. */
  String toSendForm() {
    StringBuilder text = new StringBuilder(formatId()).append('#');
    for (byte b : data) text.append(String.format(Locale.ROOT, "%02X", b & 0xFF));
    return text.toString();
  }

  /** One candump-style line: {@code "  ch0  123   [2]  01 02"}. */
  String toDumpLine(int channel) {
    StringBuilder line = new StringBuilder();
    line.append("  ch").append(channel).append("  ").append(formatId());
    line.append("   [").append(data.length).append(']');
    if (data.length > 0) line.append(' ');
    for (byte b : data) line.append(String.format(Locale.ROOT, " %02X", b & 0xFF));
    return line.toString();
  }

  private String formatId() { return String.format(Locale.ROOT, extended ? "%08X" : "%03X", id); }

  @Override
  public boolean equals(Object other) {
    if (!(other instanceof CanFrame)) return false;
    CanFrame frame = (CanFrame) other;
    return id == frame.id && extended == frame.extended && Arrays.equals(data, frame.data);
  }

  @Override
  public int hashCode() {
    return 31 * (31 * id + Boolean.hashCode(extended)) + Arrays.hashCode(data);
  }

  @Override
  public String toString() {
    return toSendForm();
  }
}
