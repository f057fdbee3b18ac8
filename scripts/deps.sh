#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Used by ./run and ./test; safe to run again on a warm machine (nothing is reinstalled).
set -euo pipefail

packages=(
  # toolchain
  cmake g++ make ninja-build pkg-config dpkg-dev file
  # core libraries
  libpcre2-dev zlib1g-dev
  # tests
  libgtest-dev libgmock-dev pngcheck python3-pil gifsicle perl xvfb xauth
  # desktop program: Qt 6 widgets, the preview's web engine, Japanese glyphs
  qt6-base-dev qt6-webengine-dev libgl-dev libxcb1-dev fonts-ipafont-gothic x11-utils
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
