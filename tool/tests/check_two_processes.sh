#!/usr/bin/env bash
# dump in one process and send in another, on one virtual bus, as a user with two terminals runs
# them: the frames that send writes come out of dump.
# Usage: check_two_processes.sh LAUNCHER
set -u
launcher=$1

# A bus of this run's own, removed at the end (the other tests each have a private one).
bus="velmora-tool-test-$$"
export VIRTUAL_CANLIB_BUS=$bus
dump_out=$(mktemp "${TMPDIR:-/tmp}/two-dump-stdout.XXXXXX") || exit 2
dump_err=$(mktemp "${TMPDIR:-/tmp}/two-dump-stderr.XXXXXX") || exit 2
dump_pid=
cleanup() {
  [ -n "$dump_pid" ] && kill "$dump_pid" 2>/dev/null
  rm -f "$dump_out" "$dump_err" "/dev/shm/$bus"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "  dump stdout: $(cat "$dump_out")"
  echo "  dump stderr: $(cat "$dump_err")"
  exit 1
}

VELMORA_JAVA_OPTS=-Xcheck:jni "$launcher" dump --channel 1 --time 120 >"$dump_out" 2>"$dump_err" &
dump_pid=$!

# A frame leaves only when another node acknowledges it, so send fails until dump is on the bus.
# The probe frames (7FF, no data) are left out of the comparison below.
deadline=$((SECONDS + 60))
until "$launcher" send --channel 0 7FF# 2>/dev/null; do
  kill -0 "$dump_pid" 2>/dev/null || fail "dump ended before it came on the bus"
  [ "$SECONDS" -lt "$deadline" ] || fail "send was never acknowledged: dump not on the bus after 60 s"
  sleep 0.2
done
"$launcher" send --channel 0 123#0102 18FF50E5#11.22.33.44 || fail "send failed with dump on the bus"

until grep -q 18FF50E5 "$dump_out"; do
  [ "$SECONDS" -lt "$deadline" ] || fail "dump did not print the frames within 60 s"
  sleep 0.1
done
# Ends dump the way a terminal's kill does; it closes its channel on the way out.
kill -TERM "$dump_pid"
wait "$dump_pid"
dump_pid=

expected=$(printf '  ch1  123   [2]  01 02\n  ch1  18FF50E5   [4]  11 22 33 44')
actual=$(grep -v ' 7FF ' "$dump_out")
[ "$actual" = "$expected" ] || fail "dump printed other frames than send wrote; expected:
$expected"
[ ! -s "$dump_err" ] || fail "dump wrote to stderr"
echo "ok: velmora-can dump in one process shows what velmora-can send writes in another"
