package com.tessivar.bms.can.kvaser.bench;

import java.lang.management.ManagementFactory;

/** Java heap bytes allocated by the calling thread, with the meter's own share taken out. */
final class HeapMeter {
  private static final com.sun.management.ThreadMXBean THREADS =
      (com.sun.management.ThreadMXBean) ManagementFactory.getThreadMXBean();

  private final long threadId = Thread.currentThread().getId();
  private final long ownBytesPerReading;

  HeapMeter() {
    if (!THREADS.isThreadAllocatedMemorySupported()) {
      throw new IllegalStateException("this JVM cannot count allocated bytes per thread");
    }
    THREADS.setThreadAllocatedMemoryEnabled(true);
    // Two readings with nothing between show what one reading allocates itself; the smallest of
    // many is the meter's own share (a larger one means something else ran, e.g. a class load).
    long smallest = Long.MAX_VALUE;
    for (int i = 0; i < 10_000; i++) {
      long before = now();
      smallest = Math.min(smallest, now() - before);
    }
    ownBytesPerReading = smallest;
  }

  long now() { return THREADS.getThreadAllocatedBytes(threadId); }

  /**
   * Bytes allocated since {@code before} (a reading of {@link #now}), the meter's share removed.
   */
  long since(long before) { return now() - before - ownBytesPerReading; }
}
