import com.tessivar.bms.can.kvaser.Velmora;
import java.lang.management.ManagementFactory;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import javax.management.ObjectName;

/**
 * Soak run of libVelmoraJava on the virtual bus: millions of _send+_read pairs, then a million
 * failing calls (each raises an exception that is caught), sampling the process's resident memory
 * and the JVM's native memory (NativeMemoryTracking) as it goes. Memory that grows with the number
 * of calls is a leak: element buffers not released, exception objects or local references piling
 * up, anything the library or CANlib keeps per call.
 *
 * <p>Usage: java -XX:NativeMemoryTracking=summary ... Soak [sends] [failing-calls]. Exit status 1
 * when memory grew by more than the allowance after warm-up, 2 on a wrong frame or a missing
 * exception. bench/soak/run-soak.sh builds and runs it with the right JVM options.
 */
public final class Soak {
  private static final int SAMPLES_PER_PHASE = 10;
  private static final long WARM_UP_CALLS = 200_000;
  /** Growth tolerated between the first and last sample: allocator noise, not a per-call leak. */
  private static final long ALLOWED_RSS_GROWTH_KB = 4096;

  private static final long ALLOWED_NMT_GROWTH_KB = 1024;
  private static final int BITRATE = 500_000;

  private record Sample(String phase, long calls, double seconds, long rssKb, long nmtCommittedKb,
      long nmtMallocKb, Map<String, Long> nmtByCategory) {}

  private final List<Sample> samples = new ArrayList<>();
  private final long start = System.nanoTime();
  private final Velmora tx = new Velmora();
  private final Velmora rx = new Velmora();
  private final byte[] pdu = new byte[12];
  private final byte[] payload = new byte[8];

  public static void main(String[] args) throws Exception {
    long sends = args.length > 0 ? Long.parseLong(args[0]) : 10_000_000L;
    long failures = args.length > 1 ? Long.parseLong(args[1]) : 1_000_000L;
    System.loadLibrary("VelmoraJava");
    new Soak().run(sends, failures);
  }

  private void run(long sends, long failures) throws Exception {
    check(tx._init(0, BITRATE), "_init(0)");
    check(rx._init(1, BITRATE), "_init(1)");

    for (long i = 0; i < WARM_UP_CALLS; i++) sendAndRead(i);
    for (long i = 0; i < WARM_UP_CALLS / 10; i++) failingCall(i);
    System.gc();
    sample("warmed up", 0);

    for (int s = 1; s <= SAMPLES_PER_PHASE; s++) {
      long from = sends * (s - 1) / SAMPLES_PER_PHASE;
      long to = sends * s / SAMPLES_PER_PHASE;
      for (long i = from; i < to; i++) sendAndRead(i);
      sample("_send+_read", to);
    }
    for (int s = 1; s <= SAMPLES_PER_PHASE; s++) {
      long from = failures * (s - 1) / SAMPLES_PER_PHASE;
      long to = failures * s / SAMPLES_PER_PHASE;
      for (long i = from; i < to; i++) failingCall(i);
      sample("failing calls", to);
    }
    tx._close(tx._handle);
    rx._close(rx._handle);
    System.exit(report());
  }

  /** One frame there and back: standard and extended ids, payloads of 0..8 bytes. */
  private void sendAndRead(long i) throws Exception {
    int length = (int) (i % 9);
    boolean extended = (i & 1) != 0;
    int id = extended ? (int) (i & 0x1FFFFFFF) : (int) (i & 0x7FF);
    byte[] data = length == 8 ? payload : new byte[length];
    for (int b = 0; b < length; b++) data[b] = (byte) (i + b);
    check(tx._send(tx._handle, id, extended, data), "_send");
    check(rx._read(rx._handle, pdu), "frame " + i + " did not arrive");
    int gotId = ((pdu[0] & 0x7F) << 24) | ((pdu[1] & 0xFF) << 16) | ((pdu[2] & 0xFF) << 8)
        | (pdu[3] & 0xFF);
    boolean gotExtended = (pdu[0] & 0x80) != 0;
    boolean bytesIntact = true;
    for (int b = 0; b < 8; b++) {
      bytesIntact &= pdu[4 + b] == (b < length ? (byte) (i + b) : (byte) 0xFF);
    }
    check(gotId == id && gotExtended == extended && bytesIntact, "frame " + i + " arrived damaged");
  }

  /** A call CANlib refuses, in turn each of the ways the library raises. */
  private void failingCall(long i) {
    switch ((int) (i % 5)) {
      case 0 -> expectException(() -> tx._read(1000, pdu));
      case 1 -> expectException(() -> tx._close(1000));
      case 2 -> expectException(() -> tx._send(tx._handle, 0x800, false, payload));
      case 3 -> expectException(() -> new Velmora()._init(64, BITRATE));
      default -> expectException(() -> new Velmora()._init(0, 1));  // rejected bit rate
    }
  }

  private interface Call {
    void run() throws Exception;
  }

  private static void expectException(Call call) {
    try {
      call.run();
    } catch (Exception expected) {
      return;
    }
    System.err.println("soak: a failing call raised no exception");
    System.exit(2);
  }

  private static void check(boolean ok, String what) {
    if (!ok) {
      System.err.println("soak: " + what);
      System.exit(2);
    }
  }

  private void sample(String phase, long calls) throws Exception {
    String nmt = nativeMemorySummary();
    samples.add(new Sample(phase, calls, (System.nanoTime() - start) / 1e9, residentKb(),
        kilobytes(nmt, "Total: reserved=\\d+KB, committed=(\\d+)KB"), mallocKb(nmt),
        committedByCategory(nmt)));
    Sample last = samples.get(samples.size() - 1);
    System.out.printf("%-14s %,12d calls %8.1f s   RSS %,9d kB   NMT committed %,9d kB   "
        + "NMT malloc %,8d kB%n", last.phase(), last.calls(), last.seconds(), last.rssKb(),
        last.nmtCommittedKb(), last.nmtMallocKb());
  }

  private int report() {
    Sample first = samples.get(0);
    Sample last = samples.get(samples.size() - 1);
    long rssGrowth = last.rssKb() - first.rssKb();
    long nmtGrowth = last.nmtCommittedKb() - first.nmtCommittedKb();
    long mallocGrowth = last.nmtMallocKb() - first.nmtMallocKb();
    System.out.printf("growth after warm-up: RSS %+,d kB, NMT committed %+,d kB, NMT malloc %+,d kB"
        + "%n", rssGrowth, nmtGrowth, mallocGrowth);
    first.nmtByCategory().forEach((category, before) -> {
      long growth = last.nmtByCategory().getOrDefault(category, before) - before;
      if (growth != 0) System.out.printf("  NMT %-28s %+,d kB%n", category, growth);
    });
    if (first.nmtCommittedKb() < 0) {
      System.out.println("soak: NativeMemoryTracking is off; run with"
          + " -XX:NativeMemoryTracking=summary (run-soak.sh does)");
      return 1;
    }
    boolean steady = rssGrowth <= ALLOWED_RSS_GROWTH_KB && nmtGrowth <= ALLOWED_NMT_GROWTH_KB
        && mallocGrowth <= ALLOWED_NMT_GROWTH_KB;
    System.out.println(steady ? "soak: memory steady" : "soak: MEMORY GREW (allowance: RSS "
        + ALLOWED_RSS_GROWTH_KB + " kB, NMT " + ALLOWED_NMT_GROWTH_KB + " kB)");
        return steady ? 0 : 1;
    }

    private static long residentKb() throws Exception {
      for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
        if (line.startsWith("VmRSS:")) return Long.parseLong(line.replaceAll("\\D", ""));
      }
      return -1;
    }

    /** The JVM's own native memory summary, as jcmd VM.native_memory summary prints it. */
    private static String nativeMemorySummary() throws Exception {
      return (String) ManagementFactory.getPlatformMBeanServer().invoke(
          new ObjectName("com.sun.management:type=DiagnosticCommand"), "vmNativeMemory",
          new Object[] {new String[] {"summary"}}, new String[] {String[].class.getName()});
    }

    private static long kilobytes(String text, String pattern) {
      Matcher matcher = Pattern.compile(pattern).matcher(text);
      return matcher.find() ? Long.parseLong(matcher.group(1)) : -1;
    }

    /** Committed kilobytes per NMT category ("Java Heap", "Class", "Thread", "Internal", ...). */
    private static Map<String, Long> committedByCategory(String text) {
      Matcher matcher =
          Pattern.compile("-\\s+(.+?) \\(reserved=\\d+KB, committed=(\\d+)KB\\)").matcher(text);
      Map<String, Long> categories = new TreeMap<>();
      while (matcher.find())
        categories.put(matcher.group(1).trim(), Long.parseLong(matcher.group(2)));
      return categories;
    }

    /** Everything the JVM malloc'd, over all categories (JNI element copies count here). */
    private static long mallocKb(String text) {
      Matcher matcher = Pattern.compile("\\(malloc=(\\d+)KB").matcher(text);
      long total = 0;
      while (matcher.find()) total += Long.parseLong(matcher.group(1));
      return total;
    }
  }
