#!/usr/bin/env bash
# Checks a Windows DLL's export and import tables (read with the mingw objdump) against what we
# ship: exactly the expected exports, exactly the expected functions from each named DLL, and no
# other DLL than Windows' own. A mingw runtime DLL (libgcc, libstdc++, winpthread) among the
# imports, a decorated CANlib import or a stray export fails the check.
#
# Usage: check-dll-tables.sh OBJDUMP DLL [--exports FILE]... [--imports DLLNAME FILE]...
#                            [--system-dll DLLNAME]...
#   --exports FILE          names the export table must hold (one a line; several files add up)
#   --imports DLLNAME FILE  DLLNAME must be imported, exactly the functions listed in FILE
#   --system-dll DLLNAME    a Windows DLL that may be imported (any functions)
set -euo pipefail

fail() {
  echo "check-dll-tables: $*" >&2
  exit 1
}

[ $# -ge 2 ] || fail "usage: check-dll-tables.sh OBJDUMP DLL [--exports FILE]... [--imports DLL FILE]... [--system-dll DLL]..."
objdump=$1
dll=$2
shift 2
[ -f "$dll" ] || fail "$dll does not exist: build it first (cmake --build <build dir>)"

expected_exports=()
declare -A expected_import_files=()
system_dlls=()
while [ $# -gt 0 ]; do
  case "$1" in
    --exports) expected_exports+=("$2"); shift 2 ;;
    --imports) expected_import_files[${2,,}]=$3; shift 3 ;;
    --system-dll) system_dlls+=("${2,,}"); shift 2 ;;
    *) fail "unknown argument '$1'" ;;
  esac
done

table=$("$objdump" -p "$dll") || fail "$objdump could not read $dll"
name=$(basename "$dll")
status=0

# Prints what differs between two sorted name lists (">" missing, "<" unexpected); returns 1 then.
compare() {
  local what=$1 actual=$2 expected=$3
  if [ "$actual" != "$expected" ]; then
    echo "check-dll-tables: $what differs from the expected one:" >&2
    diff <(echo "$expected") <(echo "$actual") | sed -n 's/^</  missing:    /p; s/^>/  unexpected: /p' >&2
    return 1
  fi
}

if [ ${#expected_exports[@]} -gt 0 ]; then
  actual=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^$/ {on=0}
                on && /\[ *[0-9]+\]/ {print $NF}' <<<"$table" | LC_ALL=C sort)
  expected=$(cat "${expected_exports[@]}" | LC_ALL=C sort)
  if compare "export table of $name" "$actual" "$expected"; then
    echo "$name exports:"
    sed 's/^/  /' <<<"$actual"
  else
    status=1
  fi
fi

# "dll<TAB>function" for every import; DLL names in lower case, as Windows ignores their case.
imports=$(awk '/^[ \t]*DLL Name:/ {dll=tolower($3); print dll "\t"; next}
               dll != "" && /^$/ {next}
               dll != "" && /^[ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[^ \t]+$/ {print dll "\t" $3}
               /^There is an export table/ {dll=""}' <<<"$table")
imported_dlls=$(cut -f1 <<<"$imports" | LC_ALL=C sort -u | sed '/^$/d')

for wanted in "${!expected_import_files[@]}"; do
  if ! grep -qx "$wanted" <<<"$imported_dlls"; then
    echo "check-dll-tables: $name does not import $wanted" >&2
    status=1
    continue
  fi
  actual=$(awk -F'\t' -v dll="$wanted" '$1 == dll && $2 != "" {print $2}' <<<"$imports" | LC_ALL=C sort)
  expected=$(LC_ALL=C sort "${expected_import_files[$wanted]}")
  if compare "import list of $name from $wanted" "$actual" "$expected"; then
    echo "$name imports from $wanted:"
    sed 's/^/  /' <<<"$actual"
  else
    status=1
  fi
done

while read -r imported; do
  [ -n "$imported" ] || continue
  if [ -z "${expected_import_files[$imported]+set}" ] &&
    ! printf '%s\n' "${system_dlls[@]}" | grep -qx "$imported"; then
    echo "check-dll-tables: $name imports $imported, which is neither CANlib nor a Windows DLL" \
      "(a mingw runtime DLL? link with -static)" >&2
    status=1
  fi
done <<<"$imported_dlls"
echo "$name imports DLLs: $(tr '\n' ' ' <<<"$imported_dlls")"

[ $status -eq 0 ] || fail "$dll: wrong export or import table (see above)"
