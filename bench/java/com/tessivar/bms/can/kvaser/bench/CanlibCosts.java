package com.tessivar.bms.can.kvaser.bench;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The virtual CANlib's own cost per call, from the C++ benchmark's JSON output: the counter
 * "ns_per_call" of every repetition of every case (the run name carries the case's name and its
 * settings). It is the part of a VelmoraJava call that is CANlib's, not the library's.
 */
final class CanlibCosts {
  static final String READ_EMPTY = "BM_canRead_empty";
  static final String READ_FRAME = "BM_canRead_frame";
  static final String WRITE_AND_SYNC = "BM_canWrite_canWriteSync";
  static final String READ_FAILING = "BM_canRead_invalid_with_text";

  private static final Pattern RUN_NAME = Pattern.compile("\"run_name\":\\s*\"([^\"]+)\"");
  private static final Pattern RUN_TYPE = Pattern.compile("\"run_type\":\\s*\"([^\"]+)\"");
  private static final Pattern NS_PER_CALL = Pattern.compile("\"ns_per_call\":\\s*([-+0-9.eE]+)");

  private final Map<String, Samples> byCase = new HashMap<>();

  /** Runs the C++ benchmark (9 repetitions of each case) and returns the JSON file it wrote. */
  static Path measure(Path benchmark) throws IOException, InterruptedException {
    Path json = Files.createTempFile("canlib_costs", ".json");
    json.toFile().deleteOnExit();
    Process run = new ProcessBuilder(benchmark.toString(), "--benchmark_repetitions=9",
        "--benchmark_out=" + json, "--benchmark_out_format=json")
                      .redirectErrorStream(true)
                      .redirectOutput(ProcessBuilder.Redirect.DISCARD)
                      .start();
    int status = run.waitFor();
    if (status != 0) {
      throw new IOException(benchmark + " exited with " + status + "; run it by hand to see why");
    }
    return json;
  }

  /** The repetitions of all files together. */
  static CanlibCosts read(List<Path> files) throws IOException {
    CanlibCosts costs = new CanlibCosts();
    Map<String, List<Double>> collected = new HashMap<>();
    for (Path json : files) collect(json, collected);
    for (Map.Entry<String, List<Double>> entry : collected.entrySet()) {
      Samples samples = new Samples(entry.getValue().size());
      for (double nanos : entry.getValue()) samples.add(nanos);
      costs.byCase.put(entry.getKey(), samples);
    }
    for (String needed : names()) {
      if (!costs.byCase.containsKey(needed)) throw new IOException("no figures for " + needed);
    }
    return costs;
  }

  private static void collect(Path json, Map<String, List<Double>> collected) throws IOException {
    String text = Files.readString(json);
    int list = text.indexOf("\"benchmarks\"");
    if (list < 0) throw new IOException(json + " holds no \"benchmarks\" list");
    // Each run is one flat JSON object; the objects of the list hold no nested braces.
    for (String run : text.substring(list).split("\\{")) {
      if (run.contains("\"error_occurred\": true")) {
        throw new IOException("the CANlib benchmark failed: " + run.trim());
      }
      String runName = find(RUN_NAME, run);
      if (runName == null || !"iteration".equals(find(RUN_TYPE, run))) continue;
      String name = runName.split("/")[0];
      String nanos = find(NS_PER_CALL, run);
      if (nanos == null) throw new IOException(name + " has no ns_per_call counter");
      collected.computeIfAbsent(name, n -> new ArrayList<>()).add(Double.parseDouble(nanos));
    }
  }

  /** The cases in the order they are reported. */
  static String[] names() {
    return new String[] {READ_EMPTY, READ_FRAME, WRITE_AND_SYNC, READ_FAILING};
  }

  Samples of(String benchmark) { return byCase.get(benchmark); }

  private static String find(Pattern pattern, String text) {
    Matcher matcher = pattern.matcher(text);
    return matcher.find() ? matcher.group(1) : null;
  }
}
