#!/usr/bin/env bash
# Runs a Windows test program under wine, headless, in a wine prefix of its own (created on the
# first run, kept for the next).
# Usage: run-under-wine.sh win32|win64 PREFIX PROGRAM [ARGS...]
# Exit: the program's exit code; 1 when wine is missing; 77 (reported by CTest as skipped) when
# this machine cannot run 32-bit programs at all, which no package can fix.
set -euo pipefail

[ $# -ge 3 ] || { echo "usage: run-under-wine.sh win32|win64 PREFIX PROGRAM [ARGS...]" >&2; exit 2; }
arch=$1
prefix=$(realpath -m "$2")  # wine wants it absolute, and the program runs from its own folder
program=$(realpath -m "$3")
shift 3

# Debian's /usr/bin/wine starts the 32-bit loader first, even for a 64-bit program: call the
# loader for the architecture directly.
case "$arch" in
  win32) loaders=(/usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine) package="wine32:i386" ;;
  win64) loaders=(/usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64) package="wine64" ;;
  *) echo "run-under-wine.sh: unknown architecture '$arch'; use win32 or win64" >&2; exit 2 ;;
esac
loader=
for candidate in "${loaders[@]}"; do
  if [ -x "$candidate" ]; then
    loader=$candidate
    break
  fi
done
if [ -z "$loader" ]; then
  echo "run-under-wine.sh: no wine loader for $arch (looked for ${loaders[*]})." >&2
  echo "run-under-wine.sh: install it with 'bash tools/install-deps.sh test' (package $package)" >&2
  exit 1
fi

# The wine32 loader is a 32-bit Linux program; some kernels (or sandboxes) cannot execute those,
# and then only qemu emulation (tools/enable-i386-emulation.sh) lets it start.
if [ "$arch" = win32 ] && ! "$loader" --version >/dev/null 2>&1; then
  echo "run-under-wine.sh: SKIPPED: this machine cannot execute 32-bit Linux programs, natively or" >&2
  echo "run-under-wine.sh: under qemu, so wine cannot run 32-bit Windows programs here" >&2
  echo "run-under-wine.sh: ($loader --version fails). $program was built but NOT run." >&2
  echo "run-under-wine.sh: To run it, set up qemu emulation as root with" >&2
  echo "run-under-wine.sh: 'bash tools/install-deps.sh test' (see docs/windows.md)." >&2
  exit 77
fi

export WINEPREFIX=$prefix WINEARCH=$arch WINELOADER=$loader
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs when the prefix is made; no display needed.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$(dirname "$prefix")"

# Windows finds the program's DLLs next to it: run it from its own folder.
cd "$(dirname "$program")"
exec "$loader" "$(basename "$program")" "$@"
