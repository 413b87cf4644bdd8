#!/usr/bin/env bash
# Builds the benchmark (Release) and runs it: the virtual CANlib's own cost per call (C++, Google
# Benchmark), then every VelmoraJava call beside its JNI floor, heap bytes per call and end-to-end
# frames/s, in one JVM. Prints the table; exit 0 when every target holds, 1 when one is missed.
# Usage: bash bench/run.sh [build-dir]   (default: build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build-bench}
control_header=virtual-canlib/include/virtual_canlib_control.h

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j 2 --target velmora_bench
canlib_bench="$build_dir/bench/canlib_calls_bench"
if [ ! -x "$canlib_bench" ]; then
  echo "bench/run.sh: $canlib_bench was not built (Google Benchmark missing?);" \
    "install it with 'bash tools/install-deps.sh test' and run again" >&2
  exit 2
fi

capacity=$(sed -n 's/^#define VCAN_RECEIVE_QUEUE_CAPACITY \([0-9][0-9]*\).*/\1/p' "$control_header")
if [ -z "$capacity" ]; then
  echo "bench/run.sh: no VCAN_RECEIVE_QUEUE_CAPACITY in $control_header; fix the pattern here" >&2
  exit 2
fi

costs="$build_dir/bench/canlib_costs.json"
echo "bench/run.sh: measuring the virtual CANlib's own calls (C++, 9 repetitions)..."
"$canlib_bench" --benchmark_repetitions=9 --benchmark_out="$costs" --benchmark_out_format=json \
  >"$build_dir/bench/canlib_costs.txt"
echo "bench/run.sh: measuring VelmoraJava from Java (about half a minute)..."
# Eight channels: four sender/reader pairs, each pair on a bus of its own.
VIRTUAL_CANLIB_CHANNELS=8 java -Xms256m -Xmx256m \
  -Djava.library.path="$build_dir/native:$build_dir/bench" \
  -jar "$build_dir/bench/velmora_bench.jar" \
  --canlib-costs "$costs" --receive-queue-capacity "$capacity"
