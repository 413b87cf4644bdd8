#!/usr/bin/env bash
# The full test run: installs what the tests need, builds everything and runs every suite with
# one ctest. Usage: bash tools/test-all.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
bash tools/install-deps.sh test

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 600
