#!/usr/bin/env bash
# Runs `velmora-can demo` through its launcher under -Xcheck:jni and compares its whole transcript
# with the expected one: frames crossing, the failure messages, the closing line.
# Usage: check_demo.sh LAUNCHER EXPECTED_TRANSCRIPT
set -u
launcher=$1
expected=$2

actual=$(mktemp "${TMPDIR:-/tmp}/demo-stdout.XXXXXX") || exit 2
errors=$(mktemp "${TMPDIR:-/tmp}/demo-stderr.XXXXXX") || exit 2
trap 'rm -f "$actual" "$errors"' EXIT

VELMORA_JAVA_OPTS=-Xcheck:jni "$launcher" demo >"$actual" 2>"$errors"
status=$?

failed=0
if [ "$status" -ne 0 ]; then
  echo "check_demo.sh: the demo exited with status $status (expected 0)"
  failed=1
fi
if [ -s "$errors" ]; then
  echo "check_demo.sh: the demo wrote to stderr:"
  cat "$errors"
  failed=1
fi
# -Xcheck:jni reports on stdout, so a finding shows in the diff as well; named here to be clear.
if grep -q -e 'WARNING in native method' -e 'FATAL ERROR' "$actual"; then
  echo "check_demo.sh: -Xcheck:jni reported a JNI fault (see the transcript below)"
  failed=1
fi
if ! diff -u "$expected" "$actual"; then
  echo "check_demo.sh: the transcript differs from $expected ('-' expected, '+' actual)"
  failed=1
fi
[ "$failed" -eq 0 ] && echo "check_demo.sh: the demo's transcript matches $expected"
exit "$failed"
