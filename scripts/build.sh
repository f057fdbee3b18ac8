#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh [--asan]
# Release (-O2) goes to build/, the sanitizer build (Debug, ASan + UBSan) to build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--asan" ]; then
  dir=build-asan
  args=(-DCMAKE_BUILD_TYPE=Debug -DTESSIVAL_SANITIZE=ON)
else
  dir=build
  args=(-DCMAKE_BUILD_TYPE=Release)
fi
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
