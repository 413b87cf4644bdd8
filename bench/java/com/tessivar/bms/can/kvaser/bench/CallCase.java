package com.tessivar.bms.can.kvaser.bench;

/**
 * One measured call. A round runs the call in batches; each batch times only the calls, while any
 * refill or drain the batch needs happens outside the clock. A round's figure is its median batch
 * per call: a batch of fast calls lasts microseconds, so the median one ran without another process
 * taking the core, which on a busy machine the mean would not show. Each case has its own loop
 * ({@link #callAll}), so the JIT compiles each call site on its own and no dispatch sits between
 * two calls.
 */
abstract class CallCase {
  /** Calls per batch for calls of tens of ns: fits the receive queue with room to spare. */
  static final int FAST_BATCH = 512;
  /** Calls per batch for calls of microseconds: still well inside a scheduler time slice. */
  static final int SLOW_BATCH = 16;

  final String name;
  final Samples nsPerCall;
  private final boolean answersTrue;
  private final int batchSize;
  private final int batchesPerRound;
  private final HeapMeter heap;
  private long heapBytes;
  private long heapCalls;
  private boolean timed;

  CallCase(String name, boolean answersTrue, int batchSize, int batchesPerRound, int rounds,
      HeapMeter heap) {
    this.name = name;
    this.answersTrue = answersTrue;
    this.batchSize = batchSize;
    this.batchesPerRound = batchesPerRound;
    this.nsPerCall = new Samples(rounds);
    this.heap = heap;
  }

  /** Untimed, before a batch: e.g. make frames wait in a receive queue. */
  void beforeBatch(int calls) throws Exception {}

  /** The timed part: makes {@code calls} calls, returns how many answered true (or raised). */
  abstract int callAll(int calls) throws Exception;

  /**
   * Untimed, after a batch: checks that each call did what it is measured for. By default, that
   * all calls answered true, or none, as the case was made with.
   */
  void afterBatch(int calls, int answered) throws Exception {
    expectAnswered(answered, answersTrue ? calls : 0);
  }

  final void runRound(boolean timedRound) throws Exception {
    timed = timedRound;
    Samples batchNanos = new Samples(batchesPerRound);
    for (int batch = 0; batch < batchesPerRound; batch++) batchNanos.add(timeBatch(batchSize));
    if (timedRound) nsPerCall.add(batchNanos.median() / batchSize);
  }

  private long timeBatch(int calls) throws Exception {
    beforeBatch(calls);
    long heapBefore = heap.now();
    long start = System.nanoTime();
    int answered = callAll(calls);
    long elapsed = System.nanoTime() - start;
    long bytes = heap.since(heapBefore);
    if (timed) {
      heapBytes += bytes;
      heapCalls += calls;
    }
    afterBatch(calls, answered);
    return elapsed;
  }

  int callsPerRound() { return batchesPerRound * batchSize; }

  double heapBytesPerCall() { return heapCalls == 0 ? Double.NaN : (double) heapBytes / heapCalls; }

  long heapBytesTotal() { return heapBytes; }

  /** Fails the run: a figure for calls that did not do their work would be worthless. */
  final void expect(boolean condition, String what) {
    if (!condition) throw new IllegalStateException(name + ": " + what);
  }

  final void expectAnswered(int answered, int expected) {
    expect(answered == expected, answered + " calls answered true, expected " + expected);
  }
}
