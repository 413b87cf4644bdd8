#!/usr/bin/env bash
# Checks what the built libVelmoraJava.so shows the outside world: exactly the four JNI entry
# points exported (no JNI_OnLoad), CANlib as libcanlib.so.1 and libc as its only dependencies
# (never the VM), no heap functions used, and no writable data of its own (it keeps no state).
# Usage: check_library.sh path/to/libVelmoraJava.so
set -euo pipefail

library=${1:?usage: check_library.sh path/to/libVelmoraJava.so}
[ -f "$library" ] || { echo "check_library.sh: $library does not exist; build target VelmoraJava first" >&2; exit 2; }
failed=0
fail() { echo "check_library.sh: $library: $*" >&2; failed=1; }

expected_exports="Java_com_tessivar_bms_can_kvaser_Velmora__1close
Java_com_tessivar_bms_can_kvaser_Velmora__1init
Java_com_tessivar_bms_can_kvaser_Velmora__1read
Java_com_tessivar_bms_can_kvaser_Velmora__1send"
exports=$(nm -D --defined-only "$library" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
if [ "$exports" != "$expected_exports" ]; then
  fail "exports differ from the four JNI entry points:"
  diff <(echo "$expected_exports") <(echo "$exports") >&2 || true
fi

needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
echo "$needed" | grep -qx 'libcanlib.so.1' || fail "does not record libcanlib.so.1 as a dependency"
unexpected=$(echo "$needed" | grep -vx -e 'libcanlib.so.1' -e 'libc.so.6' || true)
[ -z "$unexpected" ] || fail "unexpected dependencies: $(echo $unexpected)"

heap=$(nm -D --undefined-only "$library" | awk '{print $NF}' | sed 's/@.*//' |
  grep -x -E 'malloc|calloc|realloc|free|posix_memalign|aligned_alloc|strdup|_Zn[wa].*' || true)
[ -z "$heap" ] || fail "uses heap functions: $(echo $heap)"

# The toolchain's own start-up and tear-down entries are the only writable data allowed.
data=$(nm --defined-only "$library" | awk '$2 ~ /^[bBdD]$/ {print $3}' |
  grep -v -x -E '_DYNAMIC|_GLOBAL_OFFSET_TABLE_|__TMC_END__|__dso_handle|completed\.[0-9]+|__do_global_dtors_aux_fini_array_entry|__frame_dummy_init_array_entry|__bss_start|_edata|_end' || true)
[ -z "$data" ] || fail "has writable data of its own (globals): $(echo $data)"

[ "$failed" -eq 0 ] && echo "check_library.sh: $library: four JNI exports, depends on libcanlib.so.1 and libc only, no heap, no globals"
exit "$failed"
