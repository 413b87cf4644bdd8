package com.tessivar.bms.can.tool;

/**
 * The pause between polls that found no frame: 1 ms at first, doubling up to 16 ms while the bus
 * stays quiet. A frame that arrives during a pause waits at most that long, and an idle dump costs
 * about 60 polls a second instead of a busy core.
 */
final class PollBackoff {
  static final long FIRST_PAUSE_MS = 1;
  static final long LONGEST_PAUSE_MS = 16;

  private long nextPauseMs = FIRST_PAUSE_MS;

  /** The pause {@link #pause} takes next. */
  long nextPauseMs() { return nextPauseMs; }

  /** Sleeps for the next pause, never past {@code deadline}, and lengthens the one after. */
  void pause(Deadline deadline) throws InterruptedException {
    long pauseMs = Math.min(nextPauseMs, deadline.remainingMillis());
    nextPauseMs = Math.min(2 * nextPauseMs, LONGEST_PAUSE_MS);
    if (pauseMs > 0) Thread.sleep(pauseMs);
  }
}
