#!/bin/sh
# Runs a JUnit 5 suite on a real JVM under -Xcheck:jni and fails when the checker complained.
# -Xcheck:jni prints its findings on stdout and a warning leaves the exit status at 0, so stdout is
# captured and scanned. Exit status: 0 only when JUnit passed (at least one test) and stdout is clean.
#
# Usage: run_junit_checked.sh JAVA LAUNCHER_JAR LIBRARY_PATH CLASS_PATH [JVM_ARG...]
set -u

if [ $# -lt 4 ]; then
  echo "run_junit_checked.sh: usage: run_junit_checked.sh JAVA LAUNCHER_JAR LIBRARY_PATH" \
    "CLASS_PATH [JVM_ARG...]" >&2
  exit 2
fi
java=$1
launcher=$2
library_path=$3
class_path=$4
shift 4

if [ ! -f "$launcher" ]; then
  echo "run_junit_checked.sh: JUnit console launcher '$launcher' not found; install Debian's" \
    "junit5 (apt-get install junit5) and run again" >&2
  exit 2
fi

stdout_log=$(mktemp "${TMPDIR:-/tmp}/junit-stdout.XXXXXX") || {
  echo "run_junit_checked.sh: cannot create a temporary file; check that ${TMPDIR:-/tmp} is" \
    "writable" >&2
  exit 2
}
trap 'rm -f "$stdout_log"' EXIT

"$java" -Xcheck:jni "-Djava.library.path=$library_path" "$@" \
  -jar "$launcher" --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests \
  --class-path "$class_path" --scan-class-path >"$stdout_log"
junit_status=$?
cat "$stdout_log"

if grep -q -e 'WARNING in native method' -e 'FATAL ERROR' "$stdout_log"; then
  echo "run_junit_checked.sh: -Xcheck:jni reported a JNI fault (the lines with 'WARNING in native" \
    "method' or 'FATAL ERROR' above); fix the native call it names" >&2
  exit 1
fi
if [ "$junit_status" -ne 0 ]; then
  echo "run_junit_checked.sh: JUnit exited with status $junit_status (1: a test failed," \
    "2: no tests found); see the report above" >&2
  exit 1
fi
exit 0
