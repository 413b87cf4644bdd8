#!/usr/bin/env bash
# The README's first command: installs what the build needs (Debian 12, as root), builds the
# VelmoraJava library, the virtual CANlib and the velmora-can tool, and runs the tool's demo on the
# virtual bus. Builds only what the demo needs, in its own tree, so it neither needs the test
# packages nor changes the settings of the full test run's tree.
# Usage: bash tools/demo.sh [build-dir]   (default: build-demo)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build-demo}

# Runs one step; on failure says which step failed and what to do.
step() {
  local what=$1 advice=$2
  shift 2
  if ! "$@"; then
    echo "demo.sh: $what failed; $advice" >&2
    exit 1
  fi
}

step "installing the build packages" "see install-deps.sh's message above" \
  bash tools/install-deps.sh build
echo "demo.sh: configuring $build_dir"
# Errors only: the warnings are about test packages (JUnit, mingw-w64, wine) the demo does not need.
step "configuring $build_dir" "see CMake's message above; delete $build_dir to start afresh" \
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF \
  --log-level=ERROR
step "building the tool in $build_dir" "see the compiler's message above" \
  cmake --build "$build_dir" --target velmora_can_tool -j "$(nproc)"

echo
echo "demo.sh: running $build_dir/tool/velmora-can demo"
echo
exec "$build_dir/tool/velmora-can" demo
