#!/bin/bash
# Whether two builds of tessival-batch convert pages and stylesheets alike: a change made for
# speed must leave every converted byte and every log line as it was.
#
#   bench/same_output.sh OLD_BATCH NEW_BATCH [FOLDER...]
#
# Converts a fresh copy of each FOLDER (default: examples/site, tests/text/data and, when it
# exists, the site bench/compare.sh generates in $BENCH_SITE) with both programs at several
# settings (hue, saturation, brightness, all three, colour pairs with and without the shift)
# and compares the HTML and CSS files and the logs. Pictures are left out: a PNG written
# carries the time it was written. Prints one line per folder and setting; exits 1 when
# anything differs.

set -uo pipefail

[ $# -ge 2 ] || { echo "usage: same_output.sh OLD_BATCH NEW_BATCH [FOLDER...]" >&2; exit 2; }
old=$1 new=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -gt 0 ]; then
    folders=("$@")
else
    folders=("$root/examples/site" "$root/tests/text/data")
    site=${BENCH_SITE:-/dev/shm/tessival-site}
    [ -d "$site" ] && folders+=("$site")
fi
settings=("--hue 120" "--saturation -30" "--brightness 20" "--hue -45 --saturation 25 --brightness -10"
          "--pair FF0000=00FF00 --pair-adjust 000080=123456 --hue 30" "--pair FFFFFF=000000")

work=$(mktemp -d "${BENCH_TMP:-/dev/shm}/tessival-same.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
for folder in "${folders[@]}"; do
    for setting in "${settings[@]}"; do
        for which in old new; do
            program=$old
            [ $which = new ] && program=$new
            rm -rf "$work/run"
            mkdir -p "$work/run"
            (cd "$folder" && find . -type f \( -iname '*.htm' -o -iname '*.html' -o -iname '*.css' \) \
                 -exec cp --parents -t "$work/run" {} +)
            # shellcheck disable=SC2086  # the setting is several options
            "$program" --jobs 2 $setting "$work/run" >"$work/$which.log" 2>&1
            echo "exit status $?" >>"$work/$which.log"
            rm -rf "${work:?}/$which"
            mv "$work/run" "$work/$which"
        done
        if diff -r "$work/old" "$work/new" >/dev/null && cmp -s "$work/old.log" "$work/new.log"; then
            echo "same:      $folder  $setting  ($(find "$work/new" -type f | wc -l) files)"
        else
            echo "DIFFERENT: $folder  $setting"
            diff -r "$work/old" "$work/new" | head -n 5
            diff "$work/old.log" "$work/new.log" | head -n 5
            status=1
        fi
    done
done
exit $status
