package com.tessivar.bms.can.tool;

/** A point in time to stop waiting at, or none. Measured on the monotonic clock. */
final class Deadline {
  private static final Deadline NEVER = new Deadline(0, false);

  private final long endNanos;
  private final boolean bounded;

  private Deadline(long endNanos, boolean bounded) {
    this.endNanos = endNanos;
    this.bounded = bounded;
  }

  static Deadline never() { return NEVER; }

  static Deadline afterMillis(long millis) {
    return new Deadline(System.nanoTime() + millis * 1_000_000L, true);
  }

  boolean expired() { return bounded && System.nanoTime() - endNanos >= 0; }

  /** Milliseconds left, rounded up; Long.MAX_VALUE without a deadline. */
  long remainingMillis() {
    if (!bounded) return Long.MAX_VALUE;
    long nanos = endNanos - System.nanoTime();
    return nanos <= 0 ? 0 : (nanos + 999_999) / 1_000_000;
  }
}
