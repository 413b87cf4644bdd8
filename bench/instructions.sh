#!/usr/bin/env bash
# Instructions per call of VelmoraJava's entry points under callgrind, split into the library's
# own, the virtual CANlib's and the JNI functions' (minimal stand-ins, not a real VM's). Counts are
# exact and do not depend on how busy the machine is, unlike the timings.
# Usage: bash bench/instructions.sh BUILD_DIR   (bench/run.sh calls it)
set -euo pipefail

build_dir=${1:?usage: bash bench/instructions.sh BUILD_DIR}
driver="$build_dir/bench/velmora_call_driver"
calls=51200
if ! command -v valgrind >/dev/null || ! command -v callgrind_annotate >/dev/null; then
  echo "bench/instructions.sh: valgrind is not installed; 'apt-get install valgrind' for the counts" >&2
  exit 2
fi
if [ ! -x "$driver" ]; then
  echo "bench/instructions.sh: $driver missing; build the target velmora_call_driver" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-12s %8s %8s %8s %8s\n' path total own CANlib JNI
for path in read-empty read-frame send; do
  # Only what runs inside the entry points is counted, not the driver's loop or set-up.
  valgrind --tool=callgrind --callgrind-out-file="$work/$path.out" \
    --toggle-collect='Java_com_tessivar_bms_can_kvaser_Velmora__1*' \
    "$driver" "$path" "$calls" >"$work/$path.log" 2>&1 || {
    echo "bench/instructions.sh: the driver failed on $path; see below" >&2
    cat "$work/$path.log" >&2
    exit 2
  }
  callgrind_annotate --inclusive=yes --threshold=100 "$work/$path.out" |
    awk -v path="$path" -v calls="$calls" '
      function count(text) { gsub(/,/, "", text); return text + 0 }
      /PROGRAM TOTALS/ { total = count($1) }
      / \?\?\?:(canRead|canWrite|canWriteSync) \[/ { canlib += count($1) }
      /(getArrayLength|getByteArrayElements|releaseByteArrayElements)\(/ { jni += count($1) }
      END {
        printf "%-12s %8.0f %8.0f %8.0f %8.0f\n", path, total / calls,
          (total - canlib - jni) / calls, canlib / calls, jni / calls
      }'
done
