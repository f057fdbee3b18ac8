#!/usr/bin/env bash
# Refreshes the English translation of the windows, src/ui/translations/tessival_en.ts, from the
# texts the sources of src/ui mark with tr(), QCoreApplication::translate() or
# QT_TRANSLATE_NOOP(). New texts come in unfinished (translate them in Qt Linguist or by hand,
# then remove type="unfinished"); texts gone from the sources leave the file. No line numbers
# are kept, so the file changes only where a text does.
# Usage: scripts/update-translations.sh [LUPDATE]   (default: Qt 6's lupdate)
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=${1:-}
if [ -z "$lupdate" ]; then
  for candidate in /usr/lib/qt6/bin/lupdate "$(command -v lupdate6 || true)" "$(command -v lupdate || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then lupdate=$candidate; break; fi
  done
fi
[ -n "$lupdate" ] || { echo "lupdate not found (Debian: qt6-l10n-tools)" >&2; exit 1; }
"$lupdate" -silent -no-obsolete -locations none -source-language ja_JP -target-language en \
  -I src src/ui -ts src/ui/translations/tessival_en.ts
