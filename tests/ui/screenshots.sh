#!/usr/bin/env bash
# Screenshots of every window (main window and its menus, preview, batch window after a run over
# the sample site, colour pair dialog with and without its error, URL dialog, backup manager,
# the message boxes with the longest texts) in Japanese
# and in English, each at single scale on 1920 x 1080, at double scale on 1400 x 1000
# (QT_SCALE_FACTOR=2) and at single scale on 1024 x 768, taken under Xvfb by the window size
# test (tests/ui/WindowSizeTest.cpp), which also checks that each window fits its screen and
# speaks the language asked for. Also main.png and operation.png of the main screenshot test,
# whose captions must be drawn with real glyphs (docs/pictures.sh takes main.png).
# Usage: tests/ui/screenshots.sh [OUTPUT FOLDER]   (default: build/screenshots; never committed)
# BUILD names the build folder (default: build). Files: LANGUAGE-SCREEN-WINDOW.png, as
# en-2x-main.png or ja-1024x768-batch.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
out=${1:-$build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cmake --build "$build" --target ui_WindowSizeTest ui_MainScreenshotTest >/dev/null

export QT_QPA_PLATFORM=xcb
# The embedded browser's sandbox cannot start as root; software rendering under Xvfb.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
export LIBGL_ALWAYS_SOFTWARE=1
export TESSIVAL_SCREENSHOT_DIR="$out"

# language: the locale that chooses it (as the programs read it)
declare -A locales=([ja]="LC_ALL=C.UTF-8" [en]="LC_ALL= LC_MESSAGES= LANG=en_US.UTF-8")
# name: the screen in pixels and its scale
declare -A screens=([1x]="1920x1080@1" [2x]="1400x1000@2" [1024x768]="1024x768@1")
for language in ja en; do
  for name in 1x 2x 1024x768; do
    screen=${screens[$name]}
    echo "$language, $name ($screen)"
    env ${locales[$language]} TESSIVAL_EXPECT_LANGUAGE=$language TESSIVAL_TEST_SCREEN="$screen" \
      TESSIVAL_SCREENSHOT_NAME="$language-$name" \
      xvfb-run -a -s "-screen 0 ${screen%@*}x24" "$build/bin/ui_WindowSizeTest" -silent
  done
done
env LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" "$build/bin/ui_MainScreenshotTest" -silent
ls "$out"
