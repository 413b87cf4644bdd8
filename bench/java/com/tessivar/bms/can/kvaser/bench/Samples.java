package com.tessivar.bms.can.kvaser.bench;

import java.util.Arrays;

/** One figure per timed round; medians and ranges are what the report shows. */
final class Samples {
  private final double[] values;
  private int count;

  Samples(int capacity) { values = new double[capacity]; }

  void add(double value) { values[count++] = value; }

  int count() { return count; }

  double at(int round) { return values[round]; }

  double median() {
    double[] sorted = Arrays.copyOf(values, count);
    Arrays.sort(sorted);
    int middle = count / 2;
    return count % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
  }

  double min() { return Arrays.stream(values, 0, count).min().orElse(Double.NaN); }

  double max() { return Arrays.stream(values, 0, count).max().orElse(Double.NaN); }

  /** Median of this minus other, round by round: drift on a busy machine cancels out. */
  double pairedMedianMinus(Samples other) {
    Samples differences = new Samples(count);
    for (int round = 0; round < count; round++)
      differences.add(values[round] - other.values[round]);
    return differences.median();
  }

  /** Median of this divided by (other + offset), round by round. */
  double pairedMedianRatio(Samples other, double offset) {
    Samples ratios = new Samples(count);
    for (int round = 0; round < count; round++) {
      ratios.add(values[round] / (other.values[round] + offset));
    }
    return ratios.median();
  }
}
