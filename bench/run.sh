#!/usr/bin/env bash
# Builds the benchmark (Release) and runs it: every VelmoraJava call beside its JNI floor, heap
# bytes per call and end-to-end frames/s, in one JVM, which also runs the C++ benchmark of the
# virtual CANlib's own calls (before and after its own measurements); then instructions per call
# under callgrind. Prints the tables; exit 0
# when every target holds, 1 when one is missed, 2 when the run failed.
# Usage: bash bench/run.sh [build-dir]   (default: build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build-bench}
# Every process measured runs on a virtual CAN bus of its own, whatever else runs on the machine.
export VIRTUAL_CANLIB_BUS="velmora-bench-%p"
control_header=virtual-canlib/include/virtual_canlib_control.h

mkdir -p "$build_dir"
build_log="$build_dir/bench-build.log"
echo "bench/run.sh: building (Release) in $build_dir..."
if ! { cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release &&
  cmake --build "$build_dir" -j 2 --target velmora_bench velmora_call_driver; } >"$build_log" 2>&1; then
  tail -30 "$build_log" >&2
  echo "bench/run.sh: the build failed (full log: $build_log); fix it and run again" >&2
  exit 2
fi
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

echo "bench/run.sh: measuring (about a minute)..."
status=0
# Eight channels: four sender/reader pairs, each pair on a bus of its own.
VIRTUAL_CANLIB_CHANNELS=8 java -Xms256m -Xmx256m \
  -Djava.library.path="$build_dir/native:$build_dir/bench" \
  -jar "$build_dir/bench/velmora_bench.jar" \
  --canlib-bench "$canlib_bench" --receive-queue-capacity "$capacity" || status=$?

echo
echo "Instructions per call (callgrind; JNI = minimal stand-ins, not a real VM's JNI functions)"
bash bench/instructions.sh "$build_dir" | sed 's/^/  /' || status=2
exit "$status"
