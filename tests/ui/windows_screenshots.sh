#!/usr/bin/env bash
# Screenshots of the backup manager, the colour pair dialog, the URL dialog and the preview
# (showing the sample site converted with a hue shift of 120), taken under Xvfb.
# Usage: tests/ui/windows_screenshots.sh [build folder]   (default: build)
# The images land in screenshots/ at the top of the checkout (kept out of git). The run fails
# when a window does not appear or no font can draw the Japanese captions.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
tests=(ui_BackupFormTest ui_ColourPairFormTest ui_UrlViewFormTest ui_PreviewFormWebTest)
cmake --build "$build" --target "${tests[@]}"
out="$root/screenshots"
mkdir -p "$out"
export TESSIVAL_SCREENSHOT_DIR="$out"
export QT_QPA_PLATFORM=xcb
# The embedded browser's sandbox cannot start as root; software rendering under Xvfb.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
export LIBGL_ALWAYS_SOFTWARE=1
for t in "${tests[@]}"; do
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/$t" screenshot
done
ls -l "$out"/backup_manager.png "$out"/colour_pair_dialog.png "$out"/url_dialog.png "$out"/preview.png
