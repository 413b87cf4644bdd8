package com.tessivar.bms.can.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class PollBackoffTest {
  @Test
  void pausesDoubleFromOneMillisecondUpToTheLongest() throws Exception {
    PollBackoff backoff = new PollBackoff();
    Deadline now = Deadline.afterMillis(0); // already expired: no sleeping in this test
    long[] expected = {1, 2, 4, 8, 16, 16, 16};
    for (long pause : expected) {
      assertEquals(pause, backoff.nextPauseMs());
      backoff.pause(now);
    }
  }

  @Test
  void neverSleepsPastTheDeadline() throws Exception {
    PollBackoff backoff = new PollBackoff();
    for (int i = 0; i < 10; i++) backoff.pause(Deadline.afterMillis(0));
    long start = System.nanoTime();
    backoff.pause(Deadline.afterMillis(0));
    // a 16 ms pause was due; an expired deadline cuts it to none
    assertTrue(System.nanoTime() - start < 10_000_000L, "slept past an expired deadline");
  }

  @Test
  void deadlinesExpireAndNeverDoesNot() {
    assertTrue(Deadline.afterMillis(0).expired());
    assertEquals(0, Deadline.afterMillis(0).remainingMillis());
    assertTrue(Deadline.afterMillis(60_000).remainingMillis() > 59_000);
    assertTrue(!Deadline.never().expired());
    assertEquals(Long.MAX_VALUE, Deadline.never().remainingMillis());
  }
}
