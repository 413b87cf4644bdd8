package com.tessivar.bms.can.tool;

/** {@code send}: sends the given frames in order, once or repeatedly at an interval. */
final class SendCommand {
  // Granularity of the interval's sleep, so that Ctrl-C ends a long interval promptly.
  private static final long STOP_CHECK_MS = 50;

  private SendCommand() {}

  static void run(CommandLine line, StopRequest stop) throws Exception {
    try (CanChannel channel = CanChannel.open(line.channel, line.bitrate, false)) {
      for (int round = 0; line.count == 0 || round < line.count; round++) {
        if (round > 0) sleepUnlessStopped(line.intervalMs, stop);
        if (stop.requested()) break;
        for (CanFrame frame : line.frames) send(channel, frame);
      }
    }
  }

  /** Sends one frame; a failure names the frame and channel in front of the library's message. */
  private static void send(CanChannel channel, CanFrame frame) throws Exception {
    try {
      channel.send(frame);
    } catch (Exception e) {
      String message = "channel " + channel.number() + ", frame " + frame + ": " + e.getMessage();
      // The usual cause on a test bench: nobody else on the bus, so nobody acknowledges.
      if (e.getMessage() != null && e.getMessage().startsWith("Cannot write sync")) {
        message += "; is another node on the bus to acknowledge it?";
      }
      throw new Exception(message, e);
    }
  }

  private static void sleepUnlessStopped(long millis, StopRequest stop)
      throws InterruptedException {
    Deadline deadline = Deadline.afterMillis(millis);
    while (!stop.requested() && !deadline.expired()) {
      Thread.sleep(Math.min(STOP_CHECK_MS, deadline.remainingMillis()));
    }
  }
}
