package com.tessivar.bms.can.tool;

import java.io.PrintStream;

/** {@code dump}: prints every frame received on one channel until stopped, counted or timed out. */
final class DumpCommand {
  private DumpCommand() {}

  static void run(CommandLine line, PrintStream out, StopRequest stop) throws Exception {
    Deadline deadline = line.timeMs < 0 ? Deadline.never() : Deadline.afterMillis(line.timeMs);
    try (CanChannel channel = CanChannel.open(line.channel, line.bitrate, line.allBytes)) {
      for (int received = 0; line.count == 0 || received < line.count; received++) {
        CanFrame frame = channel.receive(deadline, stop);
        if (frame == null) break;
        out.println(frame.toDumpLine(channel.number()));
      }
    }
  }
}
