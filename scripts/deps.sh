#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing; safe to run
# again on a warm machine (nothing is reinstalled).
#
#   scripts/deps.sh --programs   what building and running tessival and tessival-batch needs (./run)
#   scripts/deps.sh --tests      that, and what building and running every test needs (./test)
#   scripts/deps.sh --package    that, and what making and checking the packages needs
#                                (scripts/package.sh)
#   scripts/deps.sh --docs       that, and what docs/pictures.sh needs
#   scripts/deps.sh --bench      that, and the peer the benchmarks compare against
#   scripts/deps.sh              all of the above but --docs and --bench
set -euo pipefail

programs=(
  # toolchain
  cmake g++ make ninja-build pkg-config
  # core libraries
  libpcre2-dev zlib1g-dev libjpeg62-turbo-dev libwebp-dev
  # desktop program: Qt 6 widgets, the preview's web engine, the X connection, Japanese glyphs
  qt6-base-dev qt6-webengine-dev libgl-dev libxcb1-dev fonts-ipafont-gothic
  # Qt's own texts (the file and colour dialogs) in Japanese
  qt6-translations-l10n
  # the English translation of the windows: lrelease at build time (CMake's LinguistTools),
  # lupdate for scripts/update-translations.sh and the translation test
  qt6-tools-dev qt6-l10n-tools
)
tests=(
  # GoogleTest, and the independent tools the tests compare against
  libgtest-dev libgmock-dev pngcheck python3-pil gifsicle perl
  # window tests: a virtual X server, and xwininfo for the start test
  xvfb xauth x11-utils
  # fuzz targets (clang with libFuzzer and the sanitizer runtimes)
  clang libclang-rt-14-dev
)
package=(
  # cpack's Debian generator: dpkg-shlibdeps finds the dependencies, file finds the programs
  dpkg-dev file
  # the checks of the packages, the AppStream metadata and the menu entry
  lintian appstream desktop-file-utils
)
bench=(
  # ImageMagick's mogrify, the peer of bench/compare.sh, bench_jpeg and bench/webp.sh (it reads
  # and writes WebP); bc for the figures of bench/webp.sh
  imagemagick bc
)
docs=(
  # the README's pictures: window screenshots under Xvfb, pages drawn by headless Chromium,
  # put side by side with PIL
  xvfb xauth x11-utils chromium python3-pil
)

case "${1:-}" in
  --programs) packages=("${programs[@]}") ;;
  --tests) packages=("${programs[@]}" "${tests[@]}") ;;
  --package) packages=("${programs[@]}" "${package[@]}") ;;
  --docs) packages=("${programs[@]}" "${tests[@]}" "${docs[@]}") ;;
  --bench) packages=("${programs[@]}" "${bench[@]}") ;;
  "") packages=("${programs[@]}" "${tests[@]}" "${package[@]}") ;;
  *) echo "usage: scripts/deps.sh [--programs|--tests|--package|--docs|--bench]" >&2; exit 2 ;;
esac

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
