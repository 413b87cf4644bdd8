#!/usr/bin/env bash
# Soak run of libVelmoraJava on the virtual bus: ten million _send+_read pairs and a million
# failing calls in one JVM, with the process's resident memory and the JVM's native memory
# (NativeMemoryTracking) sampled as it goes; exits 1 when either grew after warm-up.
# Usage: bash bench/soak/run-soak.sh [build-dir] [sends] [failing-calls]
#        (defaults: build, 10000000, 1000000; the build dir must be configured already)
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${1:-build}
sends=${2:-10000000}
failures=${3:-1000000}
# The soak runs on a virtual CAN bus of its own, whatever else runs on the machine.
export VIRTUAL_CANLIB_BUS="velmora-soak-%p"

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  echo "run-soak.sh: '$build_dir' is not a configured build tree; run" \
    "cmake -S . -B $build_dir -DCMAKE_BUILD_TYPE=RelWithDebInfo first" >&2
  exit 2
fi
cmake --build "$build_dir" -j 2 --target velmora-soak VelmoraJava canlib >/dev/null

jar_of() { find "$build_dir" -name "$1" -print -quit; }
soak_jar=$(jar_of velmora-soak.jar)
velmora_jar=$(jar_of velmora.jar)
library=$(find "$build_dir" -name libVelmoraJava.so -print -quit)
if [ -z "$soak_jar" ] || [ -z "$velmora_jar" ] || [ -z "$library" ]; then
  echo "run-soak.sh: the build in '$build_dir' has no velmora-soak.jar, velmora.jar or" \
    "libVelmoraJava.so; was it configured with VELMORA_BUILD_JAVA=ON?" >&2
  exit 2
fi

# A fixed, pre-touched heap: the heap's own pages then count from the start, so what the samples
# show growing is memory outside the heap.
set -x
java -XX:NativeMemoryTracking=summary -Xms64m -Xmx64m -XX:+AlwaysPreTouch \
  -Djava.library.path="$(dirname "$library")" -cp "$soak_jar:$velmora_jar" \
  Soak "$sends" "$failures"
