package com.tessivar.bms.can.tool;

import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * Ctrl-C (or SIGTERM) as a request to stop: the running command sees {@link #requested}, finishes
 * its loop and closes its channel, and the JVM waits for that before it exits, so an interrupted
 * dump still closes its channel.
 */
final class StopRequest {
  private static final long CLOSE_WAIT_MS = 2000;

  private volatile boolean requested;
  private final CountDownLatch finished = new CountDownLatch(1);

  /** A request that only {@link #request} sets; for tests and for commands run in-process. */
  StopRequest() {}

  /** A request that the JVM's shutdown (Ctrl-C, SIGTERM) sets. */
  static StopRequest onShutdown() {
    StopRequest stop = new StopRequest();
    Runtime.getRuntime().addShutdownHook(new Thread(() -> {
      stop.request();
      try {
        stop.finished.await(CLOSE_WAIT_MS, TimeUnit.MILLISECONDS);
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
      }
    }, "velmora-can stop"));
    return stop;
  }

  void request() { requested = true; }

  boolean requested() { return requested; }

  /** Called once the command has closed its channels. */
  void finished() { finished.countDown(); }
}
