#!/usr/bin/env bash
# The full test run: installs what the tests need, builds everything and runs every suite with
# one ctest; then the same sources once more under AddressSanitizer and UndefinedBehaviorSanitizer
# (<build-dir>-asan, JVM suites included), and a bounded libFuzzer run of the entry points
# (<build-dir>-fuzz, clang).
# Usage: bash tools/test-all.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
bash tools/install-deps.sh test

# Explicit, so a tree configured otherwise before (e.g. without tests) cannot silently skip suites.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON \
  -DVELMORA_BUILD_JAVA=ON
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 600

# Runs one step of the sanitizer and fuzz runs; on failure says which and where to look.
sanitizer_step() {
  local what=$1
  shift
  if ! "$@"; then
    echo "test-all.sh: $what failed; the sanitizer or fuzzer report above names the fault" \
      "(docs/robustness.md shows how to rerun it by hand)" >&2
    exit 1
  fi
}

asan_dir="$build_dir-asan"
sanitizer_step "configuring the sanitized tree $asan_dir" \
  cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=address,undefined
sanitizer_step "building the sanitized tree $asan_dir" cmake --build "$asan_dir" -j "$(nproc)"
sanitizer_step "the sanitized test run in $asan_dir" \
  ctest --test-dir "$asan_dir" --output-on-failure -j "$(nproc)" --timeout 600

fuzz_dir="$build_dir-fuzz"
sanitizer_step "configuring the fuzz tree $fuzz_dir" \
  env CC=clang CXX=clang++ cmake -S . -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_BUILD_JAVA=OFF
sanitizer_step "building the fuzz target in $fuzz_dir" \
  cmake --build "$fuzz_dir" -j "$(nproc)" --target entry_points_fuzzer
sanitizer_step "the bounded fuzz run in $fuzz_dir" \
  ctest --test-dir "$fuzz_dir" -R '^robustness\.fuzz' --output-on-failure --timeout 600
