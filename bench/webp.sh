#!/bin/bash
# WebP conversion speed: megapixels per second of tessival-batch on lossy and lossless WebP
# pictures of 1 to 8 megapixels, beside ImageMagick's mogrify doing the same hue turn.
#
#   bench/webp.sh [FOLDER]
#
# FOLDER holds .webp files (never changed: every run works on a fresh copy). Without it a set
# is made once into $BENCH_WEBP (default /dev/shm/tessival-webp) with ImageMagick: photographs
# (plasma fractals) of 1, 2, 4 and 8 megapixels, lossy at qualities 75 and 90, and drawings
# (flat shapes and text, as site graphics are) of 1, 2, 4 and 8 megapixels, lossless.
#
# Per kind (lossy, lossless) it prints tessival-batch --hue 120 --no-backup with --jobs 1 and
# with all cores, and mogrify -modulate 100,100,166.667 (the same 120 degree turn) with one
# thread and with its default, each as seconds and megapixels per second, and the load
# average before each run. mogrify writes lossless files back lossless only when told
# (-define webp:lossless=true, given for the lossless set) and lossy ones at its own default
# quality; tessival-batch keeps each file's kind and quality.
#
# Needs tessival-batch in build/bin (or $TESSIVAL_BIN) and ImageMagick with WebP (Debian's
# imagemagick; scripts/deps.sh --bench).

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
bin=${TESSIVAL_BIN:-$root/build/bin}
batch=$bin/tessival-batch
tmp=${BENCH_TMP:-/dev/shm}
cores=$(nproc)

[ -x "$batch" ] || { echo "webp.sh: $batch is missing: cmake --build build --target tessival-batch" >&2; exit 2; }
command -v mogrify >/dev/null || { echo "webp.sh: mogrify is missing (scripts/deps.sh --bench)" >&2; exit 2; }
convert -list format 2>/dev/null | grep -q 'WEBP.*rw' || { echo "webp.sh: this ImageMagick cannot read and write WebP" >&2; exit 2; }

set_dir=${1:-}
if [ -z "$set_dir" ]; then
    set_dir=${BENCH_WEBP:-$tmp/tessival-webp}
    if [ ! -f "$set_dir/.complete" ]; then
        rm -rf "$set_dir"
        mkdir -p "$set_dir/lossy" "$set_dir/lossless"
        echo "making the WebP set in $set_dir ..."
        # Any font fontconfig finds for the lettering (ImageMagick's own default may be absent).
        font=$(fc-match -f '%{file}' sans 2>/dev/null || true)
        lettering=()
        [ -n "$font" ] && lettering=(-font "$font")
        for size in 1000x1000 2000x1000 2000x2000 4000x2000; do
            for q in 75 90; do
                convert -seed 7 -size "$size" plasma:fractal -blur 0x1 -quality "$q" "$set_dir/lossy/photo-$size-q$q.webp"
            done
            w=${size%x*}
            h=${size#*x}
            convert -size "$size" xc:'#F4F1EA' \
                -fill '#3366CC' -draw "roundrectangle $((w/20)),$((h/20)) $((w/2)),$((h/3)) 40,40" \
                -fill '#CC3333' -draw "circle $((w*3/4)),$((h/2)) $((w*3/4)),$((h/4))" \
                -fill '#228B22' -draw "rectangle 0,$((h*4/5)) $w,$h" \
                -fill '#222222' "${lettering[@]}" -pointsize $((h/12)) -annotate +$((w/10))+$((h*2/3)) 'Spring sale 2026' \
                -define webp:lossless=true "$set_dir/lossless/drawing-$size.webp"
        done
        touch "$set_dir/.complete"
    fi
fi

megapixels() {
    local total=0
    while IFS= read -r f; do
        read -r w h < <(identify -format '%w %h\n' "$f" | head -n 1)
        total=$((total + w * h))
    done < <(find "$1" -name '*.webp' | sort)
    echo "scale=2; $total / 1000000" | bc
}

# Runs "$@" on a fresh copy of folder $1 (given as {} in the command); prints the seconds.
timed() {
    local from=$1
    shift
    local work
    work=$(mktemp -d "$tmp/tessival-webp-run-XXXXXX")
    cp -r "$from/." "$work/"
    local files=()
    while IFS= read -r f; do files+=("$f"); done < <(find "$work" -name '*.webp' | sort)
    local start end
    start=$(date +%s.%N)
    "$@" "${files[@]}" >/dev/null 2>&1 || { echo "failed: $*" >&2; rm -rf "$work"; exit 1; }
    end=$(date +%s.%N)
    rm -rf "$work"
    echo "$end - $start" | bc
}

report() {
    local name=$1 mpx=$2 seconds=$3
    printf '  %-44s %7.2f s %8.2f Mpx/s   (load before: %s)\n' "$name" "$seconds" "$(echo "scale=4; $mpx / $seconds" | bc)" "$load"
}

echo "cores: $cores"
for kind in lossy lossless; do
    dir=$set_dir/$kind
    [ -d "$dir" ] || dir=$set_dir
    count=$(find "$dir" -name '*.webp' | wc -l)
    mpx=$(megapixels "$dir")
    echo "$kind: $count files, $mpx megapixels"
    define=()
    [ "$kind" = lossless ] && define=(-define webp:lossless=true)
    load=$(cut -d' ' -f1-3 /proc/loadavg); report "tessival-batch --jobs 1" "$mpx" "$(timed "$dir" "$batch" --hue 120 --no-backup --jobs 1)"
    load=$(cut -d' ' -f1-3 /proc/loadavg); report "tessival-batch --jobs $cores" "$mpx" "$(timed "$dir" "$batch" --hue 120 --no-backup --jobs "$cores")"
    load=$(cut -d' ' -f1-3 /proc/loadavg); report "mogrify -modulate 100,100,166.667 (1 thread)" "$mpx" "$(timed "$dir" env MAGICK_THREAD_LIMIT=1 mogrify "${define[@]}" -modulate 100,100,166.667)"
    load=$(cut -d' ' -f1-3 /proc/loadavg); report "mogrify -modulate 100,100,166.667" "$mpx" "$(timed "$dir" mogrify "${define[@]}" -modulate 100,100,166.667)"
done
