package com.tessivar.bms.can.kvaser.robustness;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import com.tessivar.bms.can.kvaser.Velmora;
import com.tessivar.bms.can.kvaser.testing.VirtualCanlib;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicIntegerArray;
import java.util.concurrent.atomic.AtomicLong;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * Many Java threads on the virtual bus at once: pairs of threads that each own a sending and a
 * receiving channel, two threads sharing one sending handle with two threads sharing one receiving
 * handle, and a thread that keeps making failing calls. Every frame must arrive exactly once, in
 * order per sender, with its bytes intact, and the only exceptions are those of the failing calls.
 *
 * <p>The receive queue is fixed-size and drops frames on overflow like a real bus, so each sender
 * keeps at most WINDOW frames in flight; a lost frame is then a fault, never a full queue. Frames
 * per sender: system property velmora.stress.frames (the full test run keeps it modest).
 */
class StressTest {
  private static final int FRAMES = Integer.getInteger("velmora.stress.frames", 20_000);
  private static final int PAIRS = 4;
  private static final int SHARING_SENDERS = 2;
  private static final int SHARING_READERS = 2;
  /** Frames in flight per receiving handle; well below the receive queue's 1024. */
  private static final int WINDOW = 256;
  private static final long DEADLINE_SECONDS = 300;

  /** Channels 0..2*PAIRS-1 for the pairs, then the shared pair, then one for the failing calls. */
  private static final int SHARED_SEND_CHANNEL = 2 * PAIRS;
  private static final int SHARED_READ_CHANNEL = 2 * PAIRS + 1;
  private static final int NOISE_CHANNEL = 2 * PAIRS + 2;

  private final ConcurrentLinkedQueue<Throwable> failures = new ConcurrentLinkedQueue<>();
  private final AtomicBoolean stop = new AtomicBoolean();

  @BeforeAll
  static void loadLibrary() {
    System.loadLibrary("VelmoraJava");
  }

  /**
   * Frame {@code seq} of sender {@code sender}: extended id with the sender in bits 24-28 and the
   * sequence number in bits 0-23, a data length that cycles through 0..8, bytes from both.
   */
  static int frameId(int sender, int seq) { return (sender << 24) | (seq & 0xFFFFFF); }

  static byte[] payload(int sender, int seq) {
    byte[] data = new byte[seq % 9];
    for (int i = 0; i < data.length; i++) data[i] = (byte) (seq * 31 + sender * 7 + i);
    return data;
  }

  /** The 12-byte receive PDU the frame must arrive as. */
  static byte[] expectedPdu(int sender, int seq) {
    int id = frameId(sender, seq);
    byte[] pdu = new byte[12];
    pdu[0] = (byte) (0x80 | (id >>> 24));
    pdu[1] = (byte) (id >>> 16);
    pdu[2] = (byte) (id >>> 8);
    pdu[3] = (byte) id;
    Arrays.fill(pdu, 4, 12, (byte) 0xFF);
    byte[] data = payload(sender, seq);
    System.arraycopy(data, 0, pdu, 4, data.length);
    return pdu;
  }

  /**
   * Opens `channel` at `bitrate`; pairs run at bit rates of their own, so they never hear each
   * other.
   */
  static Velmora open(int channel, int bitrate) throws Exception {
    Velmora velmora = new Velmora();
    assertTrue(velmora._init(channel, bitrate), "_init(" + channel + ", " + bitrate + ")");
    return velmora;
  }

  static int bitrateOfGroup(int group) { return 100_000 + 10_000 * group; }

  @Test
  void everyFrameArrivesExactlyOnceInOrderWithItsBytesIntact() throws Exception {
    VirtualCanlib.reset();
    VirtualCanlib.setChannelCount(NOISE_CHANNEL + 1);
    List<Thread> workers = new ArrayList<>();
    List<Velmora> opened = new ArrayList<>();

    // One sender and one reader thread per pair, each on channels of its own.
    for (int pair = 0; pair < PAIRS; pair++) {
      Velmora tx = open(2 * pair, bitrateOfGroup(pair));
      Velmora rx = open(2 * pair + 1, bitrateOfGroup(pair));
      opened.add(tx);
      opened.add(rx);
      ReceiveWindow window = new ReceiveWindow();
      int sender = pair;
      workers.add(worker("pair-" + pair + "-send", () -> send(tx, sender, window)));
      workers.add(worker("pair-" + pair + "-read", () -> readPair(rx, sender, window)));
    }

    // Threads sharing one handle for sending and one for reading.
    Velmora sharedTx = open(SHARED_SEND_CHANNEL, bitrateOfGroup(PAIRS));
    Velmora sharedRx = open(SHARED_READ_CHANNEL, bitrateOfGroup(PAIRS));
    opened.add(sharedTx);
    opened.add(sharedRx);
    ReceiveWindow sharedWindow = new ReceiveWindow();
    AtomicIntegerArray[] seen = new AtomicIntegerArray[SHARING_SENDERS];
    for (int s = 0; s < SHARING_SENDERS; s++) {
      seen[s] = new AtomicIntegerArray(FRAMES);
      int sender = PAIRS + s;
      workers.add(worker("shared-send-" + s, () -> send(sharedTx, sender, sharedWindow)));
    }
    for (int r = 0; r < SHARING_READERS; r++) {
      workers.add(worker("shared-read-" + r, () -> readShared(sharedRx, seen, sharedWindow)));
    }

    Thread noise = worker("failing-calls", this::failingCalls);

    long start = System.nanoTime();
    for (Thread thread : workers) thread.start();
    noise.start();
    long deadline = start + TimeUnit.SECONDS.toNanos(DEADLINE_SECONDS);
    for (Thread thread : workers) {
      thread.join(Math.max(1, TimeUnit.NANOSECONDS.toMillis(deadline - System.nanoTime())));
    }
    stop.set(true);
    noise.join(10_000);
    for (Thread thread : workers) {
      if (thread.isAlive()) failures.add(new AssertionError(thread.getName() + " did not finish"));
    }
    for (Velmora velmora : opened) velmora._close(velmora._handle);

    if (!failures.isEmpty()) {
      AssertionError error =
          new AssertionError(failures.size() + " failure(s), first: " + failures.peek());
      failures.forEach(error::addSuppressed);
      throw error;
    }
    for (int s = 0; s < SHARING_SENDERS; s++) {
      for (int seq = 0; seq < FRAMES; seq++) {
        assertEquals(1, seen[s].get(seq), "shared sender " + s + " frame " + seq);
      }
    }
    System.out.printf("stress: %d frames in %.1f s%n", FRAMES * (PAIRS + SHARING_SENDERS),
        (System.nanoTime() - start) / 1e9);
  }

  private interface Work {
    void run() throws Exception;
  }

  private Thread worker(String name, Work work) {
    Thread thread = new Thread(() -> {
      try {
        work.run();
      } catch (Throwable t) {
        failures.add(new AssertionError(Thread.currentThread().getName() + ": " + t, t));
        stop.set(true);
      }
    }, name);
    thread.setDaemon(true);
    return thread;
  }

  /**
   * Flow control for one receive queue: frames sent into it and frames its readers took out. The
   * senders sharing a handle share one window, since they fill the same queue.
   */
  private final class ReceiveWindow {
    final AtomicLong sent = new AtomicLong();
    final AtomicLong received = new AtomicLong();

    /** Waits for room in the window and takes it; false when the test is being stopped. */
    boolean claim() {
      for (;;) {
        long alreadySent = sent.get();
        if (alreadySent - received.get() < WINDOW
            && sent.compareAndSet(alreadySent, alreadySent + 1)) {
          return true;
        }
        if (stop.get()) return false;
        Thread.yield();
      }
    }
  }

  /** Sends frames 0..FRAMES-1 of `sender` through `tx`, within the receiving queue's window. */
  private void send(Velmora tx, int sender, ReceiveWindow window) throws Exception {
    for (int seq = 0; seq < FRAMES && window.claim(); seq++) {
      assertTrue(tx._send(tx._handle, frameId(sender, seq), true, payload(sender, seq)));
    }
  }

  private void readPair(Velmora rx, int sender, ReceiveWindow window) throws Exception {
    byte[] pdu = new byte[12];
    for (int seq = 0; seq < FRAMES && !stop.get();) {
      if (!rx._read(rx._handle, pdu)) {
        Thread.yield();
        continue;
      }
      byte[] expected = expectedPdu(sender, seq);
      if (!Arrays.equals(expected, pdu)) {
        fail("pair " + sender + " frame " + seq + ": got " + hex(pdu) + ", expected "
            + hex(expected));
      }
      window.received.incrementAndGet();
      seq++;
    }
  }

  /** Each reader sees its share of the frames; per sender they must still come in order. */
  private void readShared(Velmora rx, AtomicIntegerArray[] seen, ReceiveWindow window)
      throws Exception {
    byte[] pdu = new byte[12];
    int[] lastSeq = new int[SHARING_SENDERS];
    Arrays.fill(lastSeq, -1);
    long total = (long) FRAMES * SHARING_SENDERS;
    while (window.received.get() < total && !stop.get()) {
      if (!rx._read(rx._handle, pdu)) {
        Thread.yield();
        continue;
      }
      int id = ((pdu[0] & 0x7F) << 24) | ((pdu[1] & 0xFF) << 16) | ((pdu[2] & 0xFF) << 8)
          | (pdu[3] & 0xFF);
      int s = (id >>> 24) - PAIRS;
      int seq = id & 0xFFFFFF;
      if (s < 0 || s >= SHARING_SENDERS || seq >= FRAMES) fail("foreign frame " + hex(pdu));
      byte[] expected = expectedPdu(PAIRS + s, seq);
      if (!Arrays.equals(expected, pdu)) fail("got " + hex(pdu) + ", expected " + hex(expected));
      if (seq <= lastSeq[s]) fail("sender " + s + ": frame " + seq + " after " + lastSeq[s]);
      lastSeq[s] = seq;
      if (seen[s].getAndIncrement(seq) != 0) fail("sender " + s + ": frame " + seq + " twice");
      window.received.incrementAndGet();
    }
  }

  /**
   * Failing calls on the side: each must raise exactly its exception, and none may disturb the
   * frames of the other threads.
   */
  private void failingCalls() throws Exception {
    Velmora velmora = new Velmora();
    int bitrate = bitrateOfGroup(PAIRS + 1);
    byte[] pdu = new byte[12];
    while (!stop.get()) {
      expectFailure("Cannot open CAN channel 64", () -> velmora._init(64, bitrate));
      expectFailure("canRead failed", () -> velmora._read(100, pdu));
      expectFailure("Failed to close", () -> velmora._close(100));
      // A lone node at a bit rate of its own: opens, but nobody acknowledges its frame.
      assertTrue(velmora._init(NOISE_CHANNEL, bitrate));
      int handle = velmora._handle;
      expectFailure("Cannot write sync", () -> velmora._send(handle, 1, false, new byte[] {1}));
      velmora._close(handle);
    }
  }

  private interface Call {
    void run() throws Exception;
  }

  private static void expectFailure(String messageStart, Call call) {
    try {
      call.run();
    } catch (Exception e) {
      if (e.getClass() != Exception.class || !e.getMessage().startsWith(messageStart + ": ")) {
        throw new AssertionError("expected '" + messageStart + ": ...', got " + e, e);
      }
      return;
    }
    throw new AssertionError("expected '" + messageStart + ": ...', nothing thrown");
  }

  private static String hex(byte[] bytes) {
    StringBuilder text = new StringBuilder();
    for (byte b : bytes) text.append(String.format("%02X", b));
    return text.toString();
  }
}
