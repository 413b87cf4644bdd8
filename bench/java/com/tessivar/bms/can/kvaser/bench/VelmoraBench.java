package com.tessivar.bms.can.kvaser.bench;

import com.tessivar.bms.can.kvaser.Velmora;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * The benchmark of VelmoraJava on the virtual CANlib: every call beside its JNI floor, heap bytes
 * per call and end-to-end frames per second, all in one JVM, with the targets checked.
 *
 * <p>Usage: {@code VelmoraBench --canlib-bench PATH --receive-queue-capacity N [--rounds N]}.
 * Exit status: 0 when every target holds, 1 when one is missed, 2 when the run itself failed.
 */
public final class VelmoraBench {
  private static final int CANBITRATE_1M = -1;
  private static final double READ_EMPTY_MAX_RATIO = 1.3;
  private static final double OWN_COST_MAX_NS = 10;
  private static final double ONE_PAIR_MIN_FRAMES_PER_SECOND = 1_000_000;
  /** A 1 Mbit/s CAN bus: about 8,000 frames/s of 8 data bytes, 20,000 of none. */
  private static final double PHYSICAL_BUS_FRAMES_PER_SECOND_MAX = 20_000;

  private final List<String> misses = new ArrayList<>();

  public static void main(String[] args) {
    try {
      System.exit(new VelmoraBench().run(Options.parse(args)));
    } catch (Throwable t) {
      System.err.println("VelmoraBench: the benchmark run failed: " + t);
      t.printStackTrace();
      System.exit(2);
    }
  }

  private int run(Options options) throws Exception {
    System.loadLibrary("VelmoraJava");
    // The virtual CANlib's cost drifts with the machine's load: measured before and after.
    List<Path> canlibRuns = new ArrayList<>();
    canlibRuns.add(CanlibCosts.measure(options.canlibBench));
    HeapMeter heap = new HeapMeter();
    JniFloor floor = new JniFloor();
    CanlibDirect direct = new CanlibDirect();

    Velmora sender = new Velmora();
    Velmora receiver = new Velmora();
    if (!sender._init(0, CANBITRATE_1M) || !receiver._init(1, CANBITRATE_1M)) {
      throw new IllegalStateException("cannot open channels 0 and 1 of the virtual CANlib");
    }
    CallCases cases = new CallCases(sender, receiver, floor, direct, heap, options.rounds);
    for (int round = 0; round < options.warmUpRounds + options.rounds; round++) {
      for (CallCase call : cases.all()) call.runRound(round >= options.warmUpRounds);
    }
    sender._close(sender._handle);
    receiver._close(receiver._handle);

    canlibRuns.add(CanlibCosts.measure(options.canlibBench));
    CanlibCosts canlib = CanlibCosts.read(canlibRuns);

    List<EndToEnd> flows = new ArrayList<>();
    // The reader publishes how far it has read, never ahead of it: with at most a queue's worth
    // in flight, the queue (fed by this sender alone) cannot overrun.
    int window = options.receiveQueueCapacity;
    for (int pairs : new int[] {1, 2, EndToEnd.maxPairs()}) {
      for (boolean windowed : new boolean[] {true, false}) {
        EndToEnd flow =
            new EndToEnd(pairs, windowed, window, options.flowMillis, options.flowRounds);
        for (int round = 0; round < options.flowWarmUpRounds + options.flowRounds; round++) {
          flow.runRound(round >= options.flowWarmUpRounds);
        }
        flows.add(flow);
      }
    }

    printMachine();
    printCanlib(canlib);
    printCalls(cases, options);
    printAgainstFloors(cases, canlib);
    printInSitu(cases);
    printHeap(cases);
    Samples oneThread = EndToEnd.oneThreadRate(200_000, options.flowRounds);
    printFlows(flows, window, options);
    System.out.printf("  %-22s %,11.0f  %-21s  (send, then read it back, in one thread: the work"
            + " per frame)%n",
        "1 thread, send+read", oneThread.median(),
        String.format("%,.0f-%,.0f", oneThread.min(), oneThread.max()));
    System.out.println();
    if (misses.isEmpty()) {
      System.out.println("All targets hold.");
      return 0;
    }
    System.out.println("Targets missed: " + String.join("; ", misses));
    return 1;
  }

  private void printMachine() throws IOException {
    String cpu = "unknown CPU";
    Path cpuinfo = Path.of("/proc/cpuinfo");
    if (Files.isReadable(cpuinfo)) {
      for (String line : Files.readAllLines(cpuinfo)) {
        if (line.startsWith("model name")) {
          cpu = line.substring(line.indexOf(':') + 1).trim();
          break;
        }
      }
    }
    System.out.printf("Machine: %s, %d cores; %s %s (%s)%n", cpu,
        Runtime.getRuntime().availableProcessors(), System.getProperty("java.vm.name"),
        System.getProperty("java.runtime.version"),
        System.getProperty("os.name") + " " + System.getProperty("os.arch"));
  }

  private void printCanlib(CanlibCosts canlib) {
    System.out.printf(
        "%nThe virtual CANlib's own calls, ns per call (C++ benchmark, run before and after the"
            + " Java cases):%nmedian of %d repetitions (min-max)%n",
        canlib.of(CanlibCosts.READ_EMPTY).count());
    for (String name : CanlibCosts.names()) {
      Samples samples = canlib.of(name);
      System.out.printf(
          "  %-42s %9.1f  %.1f-%.1f%n", name, samples.median(), samples.min(), samples.max());
    }
  }

  private void printCalls(CallCases cases, Options options) {
    System.out.printf("%nPer call, ns: median of %d rounds (min-max), after %d warm-up rounds%n",
        options.rounds, options.warmUpRounds);
    System.out.printf("  %-42s %9s  %-15s %s%n", "case", "median", "min-max", "calls/round");
    for (CallCase call : cases.all()) {
      System.out.printf("  %-42s %9.1f  %-15s %,d%n", call.name, call.nsPerCall.median(),
          String.format("%.1f-%.1f", call.nsPerCall.min(), call.nsPerCall.max()),
          call.callsPerRound());
    }
  }

  private void printAgainstFloors(CallCases cases, CanlibCosts canlib) {
    System.out.printf(
        "%nAgainst the floor: call = floor + CANlib + own, ns. Floor and call are paired round by"
        + " round (medians%nof the differences); CANlib is the virtual CANlib's own cost, the"
        + " median of the C++ benchmark's%nrepetitions before and after.%n");
    System.out.printf("  %-28s %8s %8s %8s %8s %7s  %-34s %s%n", "call", "call", "floor", "CANlib",
        "own", "ratio", "target", "result");

    double canReadEmpty = canlib.of(CanlibCosts.READ_EMPTY).median();
    double ratio =
        cases.readEmpty.nsPerCall.pairedMedianRatio(cases.emptyNative.nsPerCall, canReadEmpty);
    row("_read, empty queue", cases.readEmpty, cases.emptyNative, canReadEmpty,
        "<= 1.3 x (empty native + canRead)", ratio <= READ_EMPTY_MAX_RATIO);

    double canReadFrame = canlib.of(CanlibCosts.READ_FRAME).median();
    double own = cases.readFrame.nsPerCall.pairedMedianMinus(cases.readFrameJniCalls.nsPerCall)
        - canReadFrame;
    row("_read, waiting frame", cases.readFrame, cases.readFrameJniCalls, canReadFrame,
        "own <= 10 ns", own <= OWN_COST_MAX_NS);

    double writeAndSync = canlib.of(CanlibCosts.WRITE_AND_SYNC).median();
    own = cases.send.nsPerCall.pairedMedianMinus(cases.sendJniCalls.nsPerCall) - writeAndSync;
    row("_send, 8 bytes", cases.send, cases.sendJniCalls, writeAndSync, "own <= 10 ns",
        own <= OWN_COST_MAX_NS);

    row("_read failing, caught", cases.readFailing, cases.raiseJniCalls,
        canlib.of(CanlibCosts.READ_FAILING).median(), "none (informative)", null);
  }

  /** One line of the floor table; {@code holds} is null for a case without a target. */
  private void row(
      String label, CallCase call, CallCase floor, double canlibNs, String target, Boolean holds) {
    double median = call.nsPerCall.median();
    double floorMedian = floor.nsPerCall.median();
    double own = call.nsPerCall.pairedMedianMinus(floor.nsPerCall) - canlibNs;
    double ratio = call.nsPerCall.pairedMedianRatio(floor.nsPerCall, canlibNs);
    System.out.printf("  %-28s %8.1f %8.1f %8.1f %8.1f %6.2fx  %-34s %s%n", label, median,
        floorMedian, canlibNs, own, ratio, target, verdict(label, holds));
  }

  /** The diagnosis beside the targets: the library's own cost measured inside the VM. */
  private void printInSitu(CallCases cases) {
    System.out.printf("%nInside the VM: call minus its direct twin (the same CANlib and JNI calls"
        + " from a native%nwith none of the library's own work), paired round by round, ns%n");
    CallCase[][] pairs = {{cases.readEmpty, cases.directReadEmpty},
        {cases.readFrame, cases.directReadFrame}, {cases.send, cases.directSend}};
    for (CallCase[] pair : pairs) {
      System.out.printf("  %-42s %9.1f  (twin %.1f)%n", pair[0].name,
          pair[0].nsPerCall.pairedMedianMinus(pair[1].nsPerCall), pair[1].nsPerCall.median());
    }
  }

  private void printHeap(CallCases cases) {
    System.out.printf("%nJava heap bytes per call (ThreadMXBean, timed rounds only)%n");
    CallCase[] successPaths = {cases.readEmpty, cases.readFrame, cases.send};
    for (CallCase call : cases.all()) {
      boolean successPath = false;
      for (CallCase success : successPaths) successPath |= success == call;
      System.out.printf("  %-42s %10.2f  %-10s %s%n", call.name, call.heapBytesPerCall(),
          successPath ? "target 0" : "",
          successPath ? verdict("heap of " + call.name, call.heapBytesTotal() == 0) : "");
    }
  }

  private void printFlows(List<EndToEnd> flows, int window, Options options) {
    System.out.printf(
        "%nEnd-to-end: frames/s received, one sending and one reading thread per pair, 8-byte"
            + " frames;%nmedian of %d rounds of %d ms (min-max). Windowed: at most %d frames in"
            + " flight (the receive%nqueue holds %d), so nothing can overrun. Unpaced: the sender"
            + " never waits; lost = queue overruns.%nA physical 1 Mbit/s CAN bus carries about"
            + " 8,000 (8 data bytes) to 20,000 (no data) frames/s; x 1Mbit compares with 20,000."
            + "%nCores: CPU time the pairs' threads got per second of the run (2 threads per"
            + " pair).%n",
        options.flowRounds, options.flowMillis, window, options.receiveQueueCapacity);
    System.out.printf("  %-22s %11s  %-21s %11s %7s %7s %8s %5s  %s%n", "flow", "frames/s",
        "min-max", "sent/s", "lost", "reorder", "x 1Mbit", "cores", "target");
    for (EndToEnd flow : flows) {
      double median = flow.framesPerSecond.median();
      String target = "";
      if (flow.pairs == 1 && flow.windowed) {
        target = ">= 1,000,000 "
            + verdict("one pair end-to-end", median >= ONE_PAIR_MIN_FRAMES_PER_SECOND);
      }
      if (flow.windowed && flow.lost + flow.outOfOrder + flow.foreign > 0) {
        target += " FRAMES LOST OR FOREIGN";
        misses.add(flow.label() + ": frames lost, reordered or foreign with a window");
      }
      double lostShare = 100.0 * flow.lost / Math.max(1, flow.lost + flow.received);
      String range =
          String.format("%,.0f-%,.0f", flow.framesPerSecond.min(), flow.framesPerSecond.max());
      System.out.printf("  %-22s %,11.0f  %-21s %,11.0f %6.2f%% %7d %,7.0fx %5.2f  %s%n",
          flow.label(), median, range, flow.sentPerSecond.median(), lostShare,
          flow.outOfOrder + flow.foreign, median / PHYSICAL_BUS_FRAMES_PER_SECOND_MAX,
          flow.coresUsed.median(), target);
    }
  }

  private String verdict(String what, Boolean holds) {
    if (holds == null) return "-";
    if (!holds) misses.add(what);
    return holds ? "PASS" : "MISS";
  }

  /** Command-line options; the defaults are what bench/run.sh uses. */
  private static final class Options {
    Path canlibBench;
    int receiveQueueCapacity;
    int rounds = 21;
    int warmUpRounds = 10;
    int flowRounds = 5;
    int flowWarmUpRounds = 1;
    int flowMillis = 200;

    static Options parse(String[] args) {
      Options options = new Options();
      for (int i = 0; i + 1 < args.length; i += 2) {
        switch (args[i]) {
          case "--canlib-bench":
            options.canlibBench = Path.of(args[i + 1]);
            break;
          case "--receive-queue-capacity":
            options.receiveQueueCapacity = Integer.parseInt(args[i + 1]);
            break;
          case "--rounds":
            options.rounds = Integer.parseInt(args[i + 1]);
            break;
          case "--flow-millis":
            options.flowMillis = Integer.parseInt(args[i + 1]);
            break;
          default:
            throw new IllegalArgumentException("unknown option " + args[i]);
        }
      }
      if (args.length % 2 != 0) throw new IllegalArgumentException("option without value");
      if (options.canlibBench == null || options.receiveQueueCapacity < 2) {
        throw new IllegalArgumentException("need --canlib-bench PATH (the C++ benchmark) and"
            + " --receive-queue-capacity N; run bench/run.sh, which passes both");
      }
      return options;
    }
  }
}
