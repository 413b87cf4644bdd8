#!/usr/bin/env bash
# Installs, from Debian's packages, what the build needs ("build") or what the full test run needs
# ("test"). Installs only what is missing, so a second run costs a few seconds.
set -euo pipefail

what=${1:-build}
build_packages=(build-essential cmake openjdk-17-jdk-headless)
test_packages=(googletest libgtest-dev libbenchmark-dev junit5 clang libclang-rt-14-dev valgrind
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64)
wine_packages=(wine wine32:i386 wine64)

case "$what" in
  build) wanted=("${build_packages[@]}") ;;
  test) wanted=("${build_packages[@]}" "${test_packages[@]}" "${wine_packages[@]}") ;;
  *) echo "install-deps.sh: unknown set '$what'; use 'build' or 'test'" >&2; exit 2 ;;
esac

if [ "$(id -u)" -ne 0 ]; then
  need_root=1
else
  need_root=0
fi

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
# wine's 32-bit loader needs a kernel that runs 32-bit programs, or qemu emulation where it cannot.
enable_i386_emulation() {
  if [ "$what" = test ]; then
    bash "$(dirname "$0")/enable-i386-emulation.sh" ||
      echo "install-deps.sh: WARNING: no 32-bit emulation, so the 32-bit wine suite will be skipped" >&2
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  enable_i386_emulation
  exit 0
fi

if [ "$need_root" -eq 1 ]; then
  echo "install-deps.sh: missing packages: ${missing[*]}" >&2
  echo "install-deps.sh: run as root (or install them with apt-get) and try again" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
echo "install-deps.sh: installing ${missing[*]}"
if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }; then
  echo "install-deps.sh: apt-get could not install: ${missing[*]}" >&2
  echo "install-deps.sh: check the network to Debian's mirrors and 'apt-get update', then run again" >&2
  exit 1
fi
enable_i386_emulation
