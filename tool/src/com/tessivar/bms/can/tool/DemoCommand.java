package com.tessivar.bms.can.tool;

import java.io.PrintStream;
import java.util.List;
import java.util.Locale;
import java.util.function.Function;

/**
 * {@code demo}: a battery management system's periodic report (cell voltages, temperatures, state
 * of charge, pack values on extended identifiers) sent on channel 0 and dumped on channel 1, then
 * two failures as the library reports them. Made for the virtual CANlib, where channels 0 and 1
 * share one bus; on real interfaces it needs two channels wired to one bus.
 */
final class DemoCommand {
  static final int SENDING_CHANNEL = 0;
  static final int RECEIVING_CHANNEL = 1;
  static final String BITRATE = "500K";
  /** Far beyond the channels an interface has. */
  static final int MISSING_CHANNEL = 99;
  /** 2 Mbit/s: more than classic CAN's 1 Mbit/s, so CANlib rejects it. */
  static final int REJECTED_BITRATE = 2_000_000;

  private static final long RECEIVE_TIMEOUT_MS = 1000;
  private static final int DUMP_COLUMN_WIDTH = 48;

  /** One frame of the exchange and what its bytes mean, read back from the received copy. */
  private static final class Message {
    final CanFrame frame;
    final Function<byte[], String> meaning;

    Message(String sendForm, Function<byte[], String> meaning) {
      try {
        this.frame = CanFrame.parse(sendForm);
      } catch (UsageException e) {
        throw new IllegalArgumentException(e.getMessage(), e);
      }
      this.meaning = meaning;
    }
  }

  // A 16-cell lithium iron phosphate pack; big-endian values in the units each text names.
  static final List<Message> EXCHANGE =
      List.of(new Message("301#0CF00CEC0CF30CEE", d -> "cell voltages 1-4: " + words(d) + " mV"),
          new Message("302#0CEF0CED0CF20CEB", d -> "cell voltages 5-8: " + words(d) + " mV"),
          new Message("311#41424043", d -> "temperatures 1-4: " + temperatures(d) + " deg C"),
          new Message("320#031162", DemoCommand::stateOfCharge),
          new Message("18FF50E5#14B0FF83", DemoCommand::packVoltageAndCurrent),
          new Message("18FF51E5#01F403E8", DemoCommand::currentLimits));

  private DemoCommand() {}

  /** Runs the demo; false when a frame did not cross or a failure example did not fail. */
  static boolean run(PrintStream out) throws Exception {
    int bitrate = BitRate.parse(BITRATE);
    out.printf(
        "Velmora demo: channel %d sends a battery management system's report, channel %d dumps"
            + " it (%s)%n",
        SENDING_CHANNEL, RECEIVING_CHANNEL, BitRate.describe(bitrate));
    boolean allCrossed = runExchange(out, bitrate);
    out.println();
    out.println("What failures look like, in the library's own words:");
    boolean missingChannelFailed = showFailure(
        out, "channel " + MISSING_CHANNEL + " (no such channel)", MISSING_CHANNEL, bitrate);
    boolean rejectedBitrateFailed =
        showFailure(out, "channel " + SENDING_CHANNEL + " at " + BitRate.describe(REJECTED_BITRATE),
            SENDING_CHANNEL, REJECTED_BITRATE);
    out.println("Everything is closed.");
    return allCrossed && missingChannelFailed && rejectedBitrateFailed;
  }

  private static boolean runExchange(PrintStream out, int bitrate) throws Exception {
    int received = 0;
    try (CanChannel sender = CanChannel.open(SENDING_CHANNEL, bitrate, false);
         CanChannel receiver = CanChannel.open(RECEIVING_CHANNEL, bitrate, false)) {
      out.printf("opened channel %d (handle %d) and channel %d (handle %d)%n", sender.number(),
          sender.handle(), receiver.number(), receiver.handle());
      StopRequest never = new StopRequest();
      for (Message message : EXCHANGE) {
        sender.send(message.frame);
        CanFrame frame = receiver.receive(Deadline.afterMillis(RECEIVE_TIMEOUT_MS), never);
        if (frame == null) {
          out.printf(
              "no frame arrived on channel %d within %d ms after sending %s; are channels %d and"
                  + " %d on one bus?%n",
              receiver.number(), RECEIVE_TIMEOUT_MS, message.frame, sender.number(),
              receiver.number());
          break;
        }
        String line = frame.toDumpLine(receiver.number());
        if (!frame.equals(message.frame)) {
          out.printf("%s  differs from the frame sent, %s%n", line, message.frame);
          break;
        }
        out.printf("%-" + DUMP_COLUMN_WIDTH + "s%s%n", line, message.meaning.apply(frame.data()));
        received++;
      }
      out.printf("%d frames sent on channel %d, %d received on channel %d; closing both%n",
          received, sender.number(), received, receiver.number());
    }
    return received == EXCHANGE.size();
  }

  /** Opens a channel that must fail and prints the library's message; true when it failed. */
  private static boolean showFailure(PrintStream out, String what, int channel, int bitrate)
      throws Exception {
    CanChannel unexpected;
    try {
      unexpected = CanChannel.open(channel, bitrate, false);
    } catch (Exception e) {
      out.printf("  open %s: %s%n", what, e.getMessage());
      return true;
    }
    try (unexpected) {
      out.printf("  open %s: opened (handle %d), which it should not; closing it%n", what,
          unexpected.handle());
    }
    return false;
  }

  private static String stateOfCharge(byte[] data) {
    return "state of charge " + tenths(word(data, 0)) + " %, state of health " + (data[2] & 0xFF)
        + " %";
  }

  private static String packVoltageAndCurrent(byte[] data) {
    return String.format(Locale.ROOT, "pack %.2f V, current %s A", word(data, 0) / 100.0,
        tenths((short) word(data, 2)));
  }

  private static String currentLimits(byte[] data) {
    return "charge limit " + tenths(word(data, 0)) + " A, discharge limit " + tenths(word(data, 2))
        + " A";
  }

  private static int word(byte[] data, int offset) {
    return (data[offset] & 0xFF) << 8 | (data[offset + 1] & 0xFF);
  }

  private static String words(byte[] data) {
    StringBuilder text = new StringBuilder();
    for (int offset = 0; offset + 1 < data.length; offset += 2) {
      if (offset > 0) text.append(' ');
      text.append(word(data, offset));
    }
    return text.toString();
  }

  private static String temperatures(byte[] data) {
    StringBuilder text = new StringBuilder();
    for (byte b : data) {
      if (text.length() > 0) text.append(' ');
      text.append((b & 0xFF) - 40);
    }
    return text.toString();
  }

  private static String tenths(int value) {
    return String.format(Locale.ROOT, "%.1f", value / 10.0);
  }
}
