#!/usr/bin/env bash
# Lets wine's 32-bit loader run on a machine whose kernel refuses 32-bit Linux programs ("Exec
# format error", no IA32 emulation): 32-bit ELF programs are handed to qemu-i386 through
# binfmt_misc. Does nothing where 32-bit programs run natively or the emulation is already set up.
# qemu must be 8.1 or later: older versions search for free guest memory page by page, which makes
# every wine process take about a minute to start; Debian 12 has a recent one in bookworm-backports.
# Usage (as root, after wine32:i386 is installed): bash tools/enable-i386-emulation.sh
set -euo pipefail

wine32=/usr/lib/wine/wine
qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
backports_list=/etc/apt/sources.list.d/bookworm-backports.sources

fail() {
  echo "enable-i386-emulation.sh: $*" >&2
  exit 1
}

[ -x "$wine32" ] || fail "$wine32 is missing; install wine32:i386 first (bash tools/install-deps.sh test)"
"$wine32" --version >/dev/null 2>&1 && exit 0
[ "$(id -u)" -eq 0 ] || fail "32-bit programs cannot run here; run this script as root to set up qemu emulation"

# True when $qemu exists and is at least 8.1.
qemu_recent_enough() {
  local major minor
  read -r major minor < <("$qemu" --version 2>/dev/null |
    sed -n 's/^qemu-i386 version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p') || return 1
  [ "$major" -gt 8 ] || { [ "$major" -eq 8 ] && [ "$minor" -ge 1 ]; }
}

if ! qemu_recent_enough; then
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$backports_list"
  fi
  echo "enable-i386-emulation.sh: installing qemu-user from bookworm-backports"
  export DEBIAN_FRONTEND=noninteractive
  # Only qemu-user comes from backports; its binfmt package does not register i386 on amd64.
  if ! { apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null; }; then
    fail "apt-get could not install qemu-user from bookworm-backports; check the network and 'apt-get update'"
  fi
  qemu_recent_enough || fail "$qemu is missing or older than 8.1 after the install; wine would be far too slow"
fi

if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" || fail "cannot mount $binfmt (the kernel needs binfmt_misc)"
fi
# An old entry may point at another qemu: replace it.
if [ -e "$entry" ]; then
  echo -1 >"$entry"
fi
# 32-bit little-endian i386 executables and shared objects. F: the kernel opens qemu now, so it is
# found from any mount namespace or chroot.
echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
  >"$binfmt/register" || fail "cannot register qemu-i386 in $binfmt"

"$wine32" --version >/dev/null 2>&1 ||
  fail "$wine32 still does not start under $qemu; the 32-bit wine suite will be skipped"
echo "enable-i386-emulation.sh: 32-bit programs now run under $("$qemu" --version | head -1)"
