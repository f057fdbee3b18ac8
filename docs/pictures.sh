#!/usr/bin/env bash
# Remakes the pictures README.md shows:
#   docs/main-window.png   the main window, from tests/ui/screenshots.sh (under Xvfb)
#   docs/before-after.png  the sample site's home page as it is and after
#                          `tessival-batch --hue 120`, both drawn by headless Chromium
# Usage: docs/pictures.sh [build folder]   (default: build, configured with the tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh --docs
build=${1:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
cmake --build "$build" --target tessival-batch ui_MainScreenshotTest

BUILD="$build" tests/ui/screenshots.sh "$build/screenshots" >/dev/null
cp "$build/screenshots/main.png" docs/main-window.png

work=$(mktemp -d "${TMPDIR:-/tmp}/tessival-pictures.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -R examples/site "$work/before"
cp -R examples/site "$work/after"
"$build/bin/tessival-batch" --hue 120 --no-backup "$work/after" >/dev/null
for side in before after; do
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=480,560 \
    --screenshot="$work/$side.png" "file://$work/$side/index.html" 2>/dev/null
done
/usr/bin/python3 - "$work/before.png" "$work/after.png" docs/before-after.png <<'PY'
import sys
from PIL import Image, ImageDraw
before, after = (Image.open(p).convert("RGB") for p in sys.argv[1:3])
gap, band = 16, 24
w, h = before.width + gap + after.width, max(before.height, after.height) + band
out = Image.new("RGB", (w, h), "white")
out.paste(before, (0, band))
out.paste(after, (before.width + gap, band))
draw = ImageDraw.Draw(out)
draw.text((4, 6), "examples/site", fill="black")
draw.text((before.width + gap + 4, 6), "tessival-batch --hue 120 examples/site", fill="black")
out.save(sys.argv[3], optimize=True)
PY
ls -l docs/*.png
