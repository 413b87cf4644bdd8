package com.tessivar.bms.can.tool;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Set;

/** The parsed command line: which command, on which channel and bit rate, with which limits. */
final class CommandLine {
  static final String PROGRAM = "velmora-can";

  static final String HELP = String.join("\n", "usage: " + PROGRAM + " dump [options]",
      "       " + PROGRAM + " send [options] ID#DATA...", "       " + PROGRAM + " demo",
      "       " + PROGRAM + " --help", "",
      "commands:", "  dump   print every frame received on a channel, one line each, until Ctrl-C",
      "         (or --count / --time):  ch0  123   [2]  01 02",
      "  send   send the frames, in order, once or --count times --interval apart;",
      "         ID is 3 hex digits (standard) or 8 (extended), DATA 0 to 8 bytes in hex:",
      "         123#0102  18FF50E5#11223344  123#  (dots between bytes are allowed)",
      "  demo   a battery-management exchange from channel 0 to channel 1 at 500K, then",
      "         two failures with the library's messages (made for the virtual CANlib)", "",
      "options:", "  -c, --channel N       CANlib channel number (default 0)",
      "  -b, --bitrate RATE    bit/s (e.g. 500000), or a CANlib predefined rate:",
      "                        " + BitRate.NAMES + " (default 500K)",
      "  -n, --count N         dump: stop after N frames; send: send the frames N times;",
      "                        0 means until Ctrl-C (default: dump 0, send 1)",
      "  -t, --time SECONDS    dump: stop after this time (decimals allowed)",
      "  -i, --interval MS     send: pause between repetitions (default 100)",
      "  -a, --all-bytes       dump: print all 8 data bytes; by default trailing 0xFF bytes",
      "                        are dropped, since the receive record carries no length",
      "  -h, --help            this text", "",
      "exit status: 0 done, 1 the CAN library failed, 2 bad command line");

  enum Command { DUMP, SEND, DEMO, HELP }

  private static final Set<String> DUMP_OPTIONS =
      Set.of("--channel", "--bitrate", "--count", "--time", "--all-bytes");
  private static final Set<String> SEND_OPTIONS =
      Set.of("--channel", "--bitrate", "--count", "--interval");

  final Command command;
  final int channel;
  final int bitrate;
  /** Frames to dump, or rounds to send; 0 = until stopped. */
  final int count;
  /** Milliseconds to dump for, or -1 for no limit. */
  final long timeMs;
  final long intervalMs;
  final boolean allBytes;
  final List<CanFrame> frames;

  private CommandLine(Command command, int channel, int bitrate, int count, long timeMs,
      long intervalMs, boolean allBytes, List<CanFrame> frames) {
    this.command = command;
    this.channel = channel;
    this.bitrate = bitrate;
    this.count = count;
    this.timeMs = timeMs;
    this.intervalMs = intervalMs;
    this.allBytes = allBytes;
    this.frames = Collections.unmodifiableList(frames);
  }

  static CommandLine parse(String... args) throws UsageException {
    if (args.length == 0) {
      throw new UsageException("no command given; use dump, send or demo (see --help)");
    }
    for (String arg : args) {
      if (arg.equals("-h") || arg.equals("--help") || args[0].equals("help")) {
        return new CommandLine(Command.HELP, 0, 0, 0, -1, 0, false, List.of());
      }
    }
    Command command;
    Set<String> allowed;
    switch (args[0]) {
      case "dump":
        command = Command.DUMP;
        allowed = DUMP_OPTIONS;
        break;
      case "send":
        command = Command.SEND;
        allowed = SEND_OPTIONS;
        break;
      case "demo":
        command = Command.DEMO;
        allowed = Set.of();
        break;
      default:
        throw new UsageException(
            "unknown command '" + args[0] + "'; use dump, send or demo (see --help)");
    }

    int channel = 0;
    int bitrate = BitRate.parse("500K");
    Integer count = null;
    long timeMs = -1;
    long intervalMs = 100;
    boolean allBytes = false;
    List<CanFrame> frames = new ArrayList<>();

    for (int i = 1; i < args.length; i++) {
      String arg = args[i];
      if (!arg.startsWith("-")) {
        if (command != Command.SEND) {
          throw new UsageException(args[0] + " takes no argument '" + arg + "' (see --help)");
        }
        frames.add(CanFrame.parse(arg));
        continue;
      }
      String name = longName(arg);
      String value = null;
      int equals = arg.indexOf('=');
      if (equals > 0 && arg.startsWith("--")) value = arg.substring(equals + 1);
      if (!allowed.contains(name)) {
        throw new UsageException(
            (name.isEmpty() ? "unknown option '" + arg + "'" : args[0] + " takes no " + name)
            + " (see --help)");
      }
      if (name.equals("--all-bytes")) {
        if (value != null) throw new UsageException("--all-bytes takes no value");
        allBytes = true;
        continue;
      }
      if (value == null) {
        if (i + 1 >= args.length) throw new UsageException(name + " needs a value (see --help)");
        value = args[++i];
      }
      switch (name) {
        case "--channel":
          channel = parseNumber(name, value, 0, Integer.MAX_VALUE);
          break;
        case "--bitrate":
          bitrate = BitRate.parse(value);
          break;
        case "--count":
          count = parseNumber(name, value, 0, Integer.MAX_VALUE);
          break;
        case "--time":
          timeMs = parseSeconds(value);
          break;
        case "--interval":
          intervalMs = parseNumber(name, value, 0, Integer.MAX_VALUE);
          break;
        default:
          throw new AssertionError(name);
      }
    }
    if (command == Command.SEND && frames.isEmpty()) {
      throw new UsageException("send needs at least one frame, e.g. 123#0102 (see --help)");
    }
    int defaultCount = command == Command.SEND ? 1 : 0;
    return new CommandLine(command, channel, bitrate, count == null ? defaultCount : count, timeMs,
        intervalMs, allBytes, frames);
  }

  /** The long form of an option as written ("-c", "--channel", "--channel=1"), or "" if unknown. */
  private static String longName(String arg) {
    String name =
        arg.startsWith("--") && arg.indexOf('=') > 0 ? arg.substring(0, arg.indexOf('=')) : arg;
    switch (name) {
      case "-c":
      case "--channel":
        return "--channel";
      case "-b":
      case "--bitrate":
        return "--bitrate";
      case "-n":
      case "--count":
        return "--count";
      case "-t":
      case "--time":
        return "--time";
      case "-i":
      case "--interval":
        return "--interval";
      case "-a":
      case "--all-bytes":
        return "--all-bytes";
      default:
        return "";
    }
  }

  private static int parseNumber(String name, String value, int min, int max)
      throws UsageException {
    try {
      int number = Integer.parseInt(value);
      if (number >= min && number <= max) return number;
    } catch (NumberFormatException e) {
      // reported below, with the same words as a number out of range
    }
    throw new UsageException(
        "bad " + name + " '" + value + "': give a whole number from " + min + " to " + max);
  }

  private static long parseSeconds(String value) throws UsageException {
    if (value.matches("[0-9]{1,7}(\\.[0-9]{1,3})?")) {
      long millis = Math.round(Double.parseDouble(value) * 1000);
      if (millis > 0) return millis;
    }
    throw new UsageException(
        "bad --time '" + value + "': give seconds greater than 0, e.g. 10 or 0.5");
  }
}
