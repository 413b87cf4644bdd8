package com.tessivar.bms.can.kvaser.bench;

import com.tessivar.bms.can.kvaser.Velmora;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.util.concurrent.CountDownLatch;

/**
 * Frames per second through _send on one channel and _read on another, one sending and one
 * reading thread per pair. Each pair has a bus of its own (its two channels share a bit rate no
 * other pair uses), so pairs only meet in the virtual CANlib and the VM.
 *
 * <p>The receive queue is fixed-size and a sender can outrun its reader, so every frame carries a
 * sequence number and the reader counts frames received, lost (gaps: receive-queue overruns) and
 * out of order. Two ways of sending: "windowed" keeps at most {@code window} frames in flight (the
 * reader publishes how far it has read), which cannot overrun the queue and is the lossless
 * throughput; "unpaced" sends flat out and shows what an unthrottled sender loses.
 */
final class EndToEnd {
  /** Predefined CANlib bit-rate codes (1M, 500K, 250K, 125K): one per pair, one bus per pair. */
  private static final int[] BUS_BIT_RATES = {-1, -2, -3, -4};

  static int maxPairs() { return BUS_BIT_RATES.length; }

  final int pairs;
  final boolean windowed;
  final Samples framesPerSecond;
  final Samples sentPerSecond;
  /** CPU time the pairs' threads got, in cores: on a busy machine they may not run side by side. */
  final Samples coresUsed;
  long received;
  long lost;
  long outOfOrder;
  long foreign;

  private final int window;
  private final long roundNanos;

  EndToEnd(int pairs, boolean windowed, int window, long roundMillis, int rounds) {
    if (pairs > maxPairs()) throw new IllegalArgumentException("at most " + maxPairs() + " pairs");
    this.pairs = pairs;
    this.windowed = windowed;
    this.window = window;
    this.roundNanos = roundMillis * 1_000_000L;
    this.framesPerSecond = new Samples(rounds);
    this.sentPerSecond = new Samples(rounds);
    this.coresUsed = new Samples(rounds);
  }

  String label() {
    return pairs + (pairs == 1 ? " pair, " : " pairs, ") + (windowed ? "windowed" : "unpaced");
  }

  void runRound(boolean timed) throws Exception {
    Pair[] running = new Pair[pairs];
    for (int i = 0; i < pairs; i++) running[i] = new Pair(2 * i, BUS_BIT_RATES[i], 0x100 + i);
    CountDownLatch ready = new CountDownLatch(2 * pairs);
    CountDownLatch go = new CountDownLatch(1);
    Stop stop = new Stop();
    Thread[] threads = new Thread[2 * pairs];
    Throwable[] failure = new Throwable[1];
    for (int i = 0; i < pairs; i++) {
      Pair pair = running[i];
      threads[2 * i] = new Thread(() -> guard(failure, () -> pair.send(ready, go, stop, window)));
      threads[2 * i + 1] = new Thread(() -> guard(failure, () -> pair.read(ready, go, stop)));
    }
    for (Thread thread : threads) thread.start();
    ready.await();
    long start = System.nanoTime();
    go.countDown();
    Thread.sleep(roundNanos / 1_000_000L);
    stop.now = true;
    long elapsed = System.nanoTime() - start;
    for (Thread thread : threads) thread.join();
    for (Pair pair : running) pair.close();
    if (failure[0] != null) throw new IllegalStateException("end-to-end run failed", failure[0]);
    if (!timed) return;

    long receivedInWindow = 0;
    long sentInWindow = 0;
    long cpuNanos = 0;
    for (Pair pair : running) {
      cpuNanos += pair.senderCpuNanos + pair.readerCpuNanos;
      receivedInWindow += pair.receivedAtStop;
      sentInWindow += pair.sent;
      received += pair.received;
      lost += pair.lost + (pair.sent - pair.nextExpected); // gaps, and frames never read at all
      outOfOrder += pair.outOfOrder;
      foreign += pair.foreign;
    }
    framesPerSecond.add(receivedInWindow * 1e9 / elapsed);
    sentPerSecond.add(sentInWindow * 1e9 / elapsed);
    coresUsed.add((double) cpuNanos / elapsed);
  }

  /**
   * The work per frame without any waiting between threads: one thread sends a frame and reads it
   * back on the other channel, {@code frames} times. Frames per second, median of {@code rounds}.
   */
  static Samples oneThreadRate(int frames, int rounds) throws Exception {
    Samples rate = new Samples(rounds);
    Pair pair = new EndToEnd(1, false, 1, 0, 1).new Pair(0, BUS_BIT_RATES[0], 0x100);
    try {
      int tx = pair.sender._handle;
      int rx = pair.receiver._handle;
      byte[] data = new byte[8];
      byte[] pdu = new byte[12];
      for (int round = -1; round < rounds; round++) { // round -1 warms up
        int received = 0;
        long start = System.nanoTime();
        for (int i = 0; i < frames; i++) {
          pair.sender._send(tx, pair.id, false, data);
          if (pair.receiver._read(rx, pdu)) received++;
        }
        long elapsed = System.nanoTime() - start;
        if (received != frames) {
          throw new IllegalStateException(received + " of " + frames + " frames came back");
        }
        if (round >= 0) rate.add(frames * 1e9 / elapsed);
      }
    } finally {
      pair.close();
    }
    return rate;
  }

  private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();

  private static final class Stop { volatile boolean now; }

  private interface Body {
    void run() throws Exception;
  }

  private static void guard(Throwable[] failure, Body body) {
    try {
      body.run();
    } catch (Throwable t) {
      synchronized (failure) {
        if (failure[0] == null) failure[0] = t;
      }
    }
  }

  /** Two channels on a bus of their own; the sender's frames carry {@code id}. */
  private final class Pair {
    private final Velmora sender = new Velmora();
    private final Velmora receiver = new Velmora();
    private final int id;
    /** Sequence number the reader expects next, published for the windowed sender. */
    private volatile long consumed;
    private volatile boolean senderDone;
    long sent;
    long received;
    long receivedAtStop = -1;
    long nextExpected;
    long lost;
    long outOfOrder;
    long foreign;
    long senderCpuNanos;
    long readerCpuNanos;

    Pair(int firstChannel, int bitRate, int id) throws Exception {
      this.id = id;
      if (!sender._init(firstChannel, bitRate) || !receiver._init(firstChannel + 1, bitRate)) {
        throw new IllegalStateException(
            "cannot open channels " + firstChannel + " and " + (firstChannel + 1));
      }
    }

    void send(CountDownLatch ready, CountDownLatch go, Stop stop, int window) throws Exception {
      final int handle = sender._handle;
      final byte[] data = new byte[8];
      long sequence = 0;
      ready.countDown();
      go.await();
      long cpuStart = THREADS.getCurrentThreadCpuTime();
      try {
        while (!stop.now) {
          if (windowed && sequence - consumed >= window) {
            Thread.yield(); // more threads than cores: let the reader run
            continue;
          }
          data[0] = (byte) sequence;
          data[1] = (byte) (sequence >>> 8);
          data[2] = (byte) (sequence >>> 16);
          data[3] = (byte) (sequence >>> 24);
          sender._send(handle, id, false, data);
          sequence++;
        }
      } finally {
        senderCpuNanos = THREADS.getCurrentThreadCpuTime() - cpuStart;
        sent = sequence;
        senderDone = true;
      }
    }

    void read(CountDownLatch ready, CountDownLatch go, Stop stop) throws Exception {
      final int handle = receiver._handle;
      final byte[] pdu = new byte[12];
      long expected = 0;
      long count = 0;
      ready.countDown();
      go.await();
      long cpuStart = THREADS.getCurrentThreadCpuTime();
      while (true) {
        // Taken before the read: once the sender is done, an empty queue stays empty.
        boolean senderFinished = senderDone;
        if (receiver._read(handle, pdu)) {
          if ((((pdu[2] & 0xFF) << 8) | (pdu[3] & 0xFF)) != id || pdu[0] != 0 || pdu[1] != 0) {
            foreign++;
            continue;
          }
          // 32 bits of sequence on the wire; a round never sends 2^32 frames.
          long sequence = (pdu[4] & 0xFFL) | (pdu[5] & 0xFFL) << 8 | (pdu[6] & 0xFFL) << 16
              | (pdu[7] & 0xFFL) << 24;
          if (sequence >= expected) {
            lost += sequence - expected;
            expected = sequence + 1;
          } else {
            outOfOrder++;
          }
          count++;
          if ((count & 31) == 0) consumed = expected;
        } else {
          consumed = expected;
          // Read on after the stop until the sender has finished and its last frame is in.
          if (senderFinished) break;
        }
        if (receivedAtStop < 0 && stop.now) {
          receivedAtStop = count;
          readerCpuNanos = THREADS.getCurrentThreadCpuTime() - cpuStart;
        }
      }
      if (receivedAtStop < 0) {
        receivedAtStop = count;
        readerCpuNanos = THREADS.getCurrentThreadCpuTime() - cpuStart;
      }
      received = count;
      nextExpected = expected;
    }

    void close() throws Exception {
      sender._close(sender._handle);
      receiver._close(receiver._handle);
    }
  }
}
