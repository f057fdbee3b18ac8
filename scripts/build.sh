#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh [--programs|--asan|--fuzz]
# Release (-O2) goes to build/: with --programs only tessival and tessival-batch, otherwise
# the tests too. The sanitizer build (Debug, ASan + UBSan, with the tests) goes to build-asan/,
# the libFuzzer targets (clang, ASan + UBSan, nothing else) to build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  --asan)
    dir=build-asan
    args=(-DCMAKE_BUILD_TYPE=Debug -DTESSIVAL_SANITIZE=ON -DTESSIVAL_BUILD_TESTS=ON) ;;
  --fuzz)
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DTESSIVAL_FUZZ=ON -DTESSIVAL_BUILD_UI=OFF -DTESSIVAL_BUILD_TESTS=OFF >/dev/null
    exec cmake --build build-fuzz -j "$(nproc)" --target fuzz_targets ;;
  --programs)
    dir=build
    args=(-DCMAKE_BUILD_TYPE=Release -DTESSIVAL_BUILD_TESTS=OFF) ;;
  "")
    dir=build
    args=(-DCMAKE_BUILD_TYPE=Release -DTESSIVAL_BUILD_TESTS=ON) ;;
  *) echo "usage: scripts/build.sh [--programs|--asan|--fuzz]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
