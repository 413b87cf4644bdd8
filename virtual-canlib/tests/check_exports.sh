#!/usr/bin/env bash
# Checks that a built virtual CANlib exports exactly the nine CANlib functions and the control
# interface's vcan* functions: nothing of the C++ runtime or of our internals may leak.
# Usage: check_exports.sh LIBRARY CANLIB_HEADER CONTROL_HEADER
set -euo pipefail
library=$1 canlib_header=$2 control_header=$3

# The expected names, from the declarations in the two headers.
expected=$(
  {
    grep -oE 'CANLIBAPI +[A-Za-z_][A-Za-z0-9_]*\(' "$canlib_header" | sed -E 's/CANLIBAPI +//; s/\($//'
    grep -oE 'VCAN_CONTROL_API [^(]*[^A-Za-z0-9_]vcan[A-Za-z0-9_]*\(' "$control_header" |
      grep -oE 'vcan[A-Za-z0-9_]*\($' | sed -E 's/\($//'
  } | sort -u
)
if [ "$(echo "$expected" | grep -c '^can')" -ne 9 ]; then
  echo "check_exports: expected 9 CANlib declarations in $canlib_header, found:" >&2
  echo "$expected" | grep '^can' >&2
  echo "Fix the header or this script's pattern." >&2
  exit 1
fi

actual=$(nm -D --defined-only "$library" | awk '{print $NF}' | sed 's/@.*//' | sort -u)

if [ "$actual" != "$expected" ]; then
  echo "check_exports: $library exports the wrong set of symbols." >&2
  echo "Exported but not declared (hide them: visibility, --exclude-libs), or declared but missing:" >&2
  diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' >&2 || true
  exit 1
fi
echo "check_exports: $(echo "$actual" | wc -l) symbols, all declared."
