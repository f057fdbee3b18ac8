#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh [--asan|--fuzz]
# Release (-O2) goes to build/, the sanitizer build (Debug, ASan + UBSan) to build-asan/,
# the libFuzzer targets (clang, ASan + UBSan, nothing else) to build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--asan" ]; then
  dir=build-asan
  args=(-DCMAKE_BUILD_TYPE=Debug -DTESSIVAL_SANITIZE=ON)
elif [ "${1:-}" = "--fuzz" ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DTESSIVAL_FUZZ=ON -DTESSIVAL_BUILD_UI=OFF -DTESSIVAL_BUILD_TESTS=OFF >/dev/null
  exec cmake --build build-fuzz -j "$(nproc)" --target fuzz_targets
else
  dir=build
  args=(-DCMAKE_BUILD_TYPE=Release)
fi
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
