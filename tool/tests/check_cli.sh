#!/usr/bin/env bash
# dump and send through the launcher under -Xcheck:jni, one process each: exit status, stdout and
# stderr for the paths a user meets first on the virtual bus.
# Usage: check_cli.sh LAUNCHER
set -u
launcher=$1

out=$(mktemp "${TMPDIR:-/tmp}/cli-stdout.XXXXXX") || exit 2
err=$(mktemp "${TMPDIR:-/tmp}/cli-stderr.XXXXXX") || exit 2
trap 'rm -f "$out" "$err"' EXIT
failed=0

# expect STATUS STDOUT STDERR -- ARGS...: runs the tool and compares all three exactly.
expect() {
  local status=$1 stdout=$2 stderr=$3
  shift 4
  VELMORA_JAVA_OPTS=-Xcheck:jni "$launcher" "$@" >"$out" 2>"$err"
  local actual=$?
  if [ "$actual" -ne "$status" ] || [ "$(cat "$out")" != "$stdout" ] ||
    [ "$(cat "$err")" != "$stderr" ]; then
    echo "FAIL: velmora-can $*"
    echo "  status $actual, expected $status"
    echo "  stdout: $(cat "$out")"
    echo "  expected: $stdout"
    echo "  stderr: $(cat "$err")"
    echo "  expected: $stderr"
    failed=1
  else
    echo "ok: velmora-can $*"
  fi
}

# A quiet bus: dump ends at its time limit, prints nothing and closes.
expect 0 "" "" -- dump --channel 1 --time 0.3
# The library's own messages, one line, status 1.
expect 1 "" "velmora-can: Cannot open CAN channel 99: No error" -- dump --channel 99
expect 1 "" "velmora-can: canSetBusParams failed, stat=-1: Error in parameter" -- \
  dump --bitrate 2000000
# Alone on the bus nobody acknowledges the frame, so it never leaves.
expect 1 "" "velmora-can: channel 0, frame 123#0102: Cannot write sync: Timeout occurred; is another node on the bus to acknowledge it?" -- \
  send 123#0102
# A user mistake: one line, status 2, the library not even loaded.
expect 2 "" "velmora-can: bad frame '12#01': the identifier takes 3 hex digits (standard) or 8 (extended), e.g. 123 or 18FF50E5" -- \
  send 12#01
# A CANlib folder without CANlib is refused rather than silently replaced by the virtual one.
VELMORA_CANLIB_DIR=/nonexistent expect 1 "" "velmora-can: no libcanlib.so.1 in /nonexistent; install CANlib there or set VELMORA_CANLIB_DIR to its folder" -- \
  dump

exit "$failed"
