#!/bin/bash
# Site conversion speed beside the floors and a peer, in one run on this machine.
#
#   bench/compare.sh [--disk DIR] [FOLDER]
#
# --disk DIR runs the same comparison in DIR (a folder on a real disk) instead of on tmpfs, and
# takes cp -r followed by sync of the same files as the floor: on a disk a batch that keeps
# every file old or new after a power cut must be measured against a copy that is on the disk
# too. Copies that served are not removed until the end: ext4 without a journal passes over
# every inode freed in the last minute (six while not yet written back) when it looks for one
# to give a new file, so files removed just before a run would make it measure their removal.
#
# FOLDER holds the files to convert (HTML/CSS, PNG, GIF, in any subfolders); it is never
# changed: every run works on a fresh copy. Without it, a site is generated once into
# $BENCH_SITE (default /dev/shm/tessival-site; 500 pages and stylesheets of about 20 MB, 200 PNGs of 0.2-4
# megapixels, 200 GIFs of up to 1 megapixel) and reused afterwards.
#
# Per kind of file it prints: tessival-batch with --jobs 1 and with all cores (no backups,
# hue +120), the floors (cp of the same files; for PNG zlib alone inflating and deflating
# every image's data at the default level; for text reading and writing the same bytes), the
# peer (ImageMagick's mogrify -modulate 100,100,166.667, the same hue turn) when installed,
# and the ratios. Builds nothing: it runs the programs in build/bin (or $TESSIVAL_BIN); the
# benchmarks are built only on request:
#   cmake -S . -B build -DTESSIVAL_BUILD_BENCH=ON && cmake --build build --target tessival-batch bench_floor
#
# Settings through the environment:
#   TESSIVAL_BIN   folder of tessival-batch and bench_floor (default: build/bin)
#   BENCH_TMP      work folder, best on tmpfs (default: /dev/shm)
#   BENCH_KINDS    kinds to measure (default: "text png gif")
#   BENCH_SITE     where the generated site is kept (default: /dev/shm/tessival-site)
#   BENCH_PEER     set to 0 to leave the peer out
#   BENCH_PEER_1   set to 1 to run the peer once more on one thread
#   BENCH_ROUNDS   with --disk: rounds in which the floor (cp + sync) and the batch take turns,
#                  each on a fresh copy, once with backups and once without (two series, see
#                  take_turns); the ratios are of their medians (default 5; 1 measures each once)

set -euo pipefail

disk=""
if [ "${1:-}" = "--disk" ]; then
    [ $# -ge 2 ] || { echo "compare.sh: --disk needs a folder" >&2; exit 2; }
    disk=$(cd "$2" && pwd)
    shift 2
fi

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
bin=${TESSIVAL_BIN:-$root/build/bin}
tmp=${BENCH_TMP:-/dev/shm}
[ -n "$disk" ] && tmp=$disk
kinds=${BENCH_KINDS:-text png gif}
rounds=${BENCH_ROUNDS:-5}
batch=$bin/tessival-batch
floor=$bin/bench_floor
cores=$(nproc)

for program in "$batch" "$floor"; do
    if [ ! -x "$program" ]; then
        echo "compare.sh: $program is missing; build it first:" >&2
        echo "  cmake -S . -B build -DTESSIVAL_BUILD_BENCH=ON && cmake --build build --target tessival-batch bench_floor" >&2
        exit 2
    fi
done

fstype=$(stat -f -c %T "$tmp" 2>/dev/null || echo unknown)
case $fstype in
    tmpfs|ramfs) [ -n "$disk" ] && echo "note: --disk $disk is on $fstype, not on a disk" ;;
    *) [ -z "$disk" ] && echo "note: $tmp is not on tmpfs; creating files on disk costs time that drifts" ;;
esac

if [ $# -ge 1 ]; then
    site=$(cd "$1" && pwd)
else
    site=${BENCH_SITE:-/dev/shm/tessival-site}
    if [ ! -e "$site/.complete" ]; then
        echo "generating the default site into $site ..."
        rm -rf "$site"
        start=$(date +%s)
        /usr/bin/python3 "$here/gen_site.py" "$site"
        echo "  (generated in $(( $(date +%s) - start )) s)"
        touch "$site/.complete"
    fi
fi

work=$(mktemp -d "$tmp/tessival-compare.XXXXXX")
if [ -n "$disk" ]; then
    trap 'rm -rf "$work"; echo "note: the copies are removed; ext4 without a journal passes over inodes freed in the last minutes, so another --disk run on this disk within about six minutes measures their removal too"' EXIT
else
    trap 'rm -rf "$work"' EXIT
fi

have_time=0
[ -x /usr/bin/time ] && have_time=1
have_peer=0
[ "${BENCH_PEER:-1}" != 0 ] && command -v mogrify >/dev/null 2>&1 && have_peer=1

loadavg() { cut -d' ' -f1 /proc/loadavg; }

# Copies the files of one kind from the site into $1, keeping the folders.
copy_kind() {
    local kind=$1 dst=$2
    mkdir -p "$dst"
    case $kind in
        text) (cd "$site" && find . -type f \( -iname '*.htm' -o -iname '*.html' -o -iname '*.css' \) \
                   -exec cp --parents -t "$dst" {} +) ;;
        png)  (cd "$site" && find . -type f -iname '*.png' -exec cp --parents -t "$dst" {} +) ;;
        gif)  (cd "$site" && find . -type f -iname '*.gif' -exec cp --parents -t "$dst" {} +) ;;
    esac
}

# Puts a folder that served out of the way: on tmpfs it is removed, on a disk kept until the end
# (see --disk above).
discard() {
    if [ -n "$disk" ] && [ -e "$1" ]; then
        mkdir -p "$work/served"
        mv "$1" "$(mktemp -d "$work/served/XXXXXX")/"
    else
        rm -rf "$1"
    fi
}

# Fresh copy of the kind's files for one run, in $work/run.
fresh() {
    discard "$work/run"
    cp -r "$work/src" "$work/run"
    sync
}

# measure COMMAND...: runs it, sets wall (s), cpu (s), peak (KB, or empty), load (1 min).
measure() {
    status=0
    load=$(loadavg)
    local t0 t1
    t0=$(date +%s%N)
    if [ $have_time = 1 ]; then
        /usr/bin/time -f "%U %S %M" -o "$work/time" "$@" >"$work/out" 2>&1 || status=$?
    else
        "$@" >"$work/out" 2>&1 || status=$?
    fi
    t1=$(date +%s%N)
    if [ "$status" != 0 ]; then
        echo "  ! $(basename "$1") ended with status $status:" >&2
        tail -n 3 "$work/out" >&2
    fi
    wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    if [ $have_time = 1 ]; then
        # The last line: a failing command puts a note before it.
        read -r u s peak < <(tail -n 1 "$work/time")
        cpu=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')
    else
        cpu=""
        peak=""
    fi
}

status=0
row() {  # row LABEL SECONDS CPU AMOUNT UNIT PEAK_KB
    local label=$1 secs=$2 c=$3 amount=$4 unit=$5 pk=$6
    awk -v l="$label" -v s="$secs" -v c="$c" -v a="$amount" -v u="$unit" -v p="$pk" -v ld="$load" \
        -v big="$largest" 'BEGIN {
            rate = (s > 0) ? a / s : 0
            mem = (p == "") ? "n/a" : sprintf("%.1f", p / 1024)
            bpp = (p == "" || big == 0 || u != "Mpx/s") ? "" : sprintf(" = %4.1f B/px", p * 1024 / big)
            cpu = (c == "") ? "n/a" : sprintf("%.2f", c)
            printf "  %-32s %8.3f s  cpu %7s s  %8.1f %-5s  peak %7s MB%s  load %s\n", l, s, cpu, rate, u, mem, bpp, ld
        }'
}

median() {  # median NUMBER... : prints the middle one (the mean of the two middle ones)
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# take_turns [--no-backup]: on a disk, $rounds rounds of the floor (cp + sync) and the batch with
# all cores (with backups, or without), each on a fresh copy; sets turn_floor and turn_ours to
# their medians. One run of each says little there: the floor alone moves by half between runs.
# The two kinds of run take turns in separate series: a run without backups frees every file it
# replaces, and ext4 without a journal passes over inodes freed in the last minutes when it
# gives a new file one, so it would slow whatever comes after it (floor and batch alike, but
# the batch makes three names per file where the copy makes one).
take_turns() {
    local floors=() ours=() r what="with backups"
    [ "${1:-}" = --no-backup ] && what="without backups"
    for ((r = 0; r < rounds; r++)); do
        discard "$work/cp"
        sync
        measure sh -c 'cp -r "$1" "$2" && sync' sh "$work/src" "$work/cp"
        floors+=("$wall")
        fresh
        measure "$batch" "$@" --jobs "$cores" --hue 120 "$work/run"
        check_batch
        ours+=("$wall")
    done
    discard "$work/cp"
    echo "  $rounds rounds taking turns, $what (seconds): cp + sync ${floors[*]}; ours ${ours[*]}"
    turn_floor=$(median "${floors[@]}")
    turn_ours=$(median "${ours[@]}")
}

ratio() {  # ratio TEXT A B : prints A / B
    awk -v t="$1" -v a="$2" -v b="$3" 'BEGIN { if (b > 0) printf "  %-44s %6.2f\n", t, a / b }'
}

check_batch() {
    if ! grep -q "個のファイルを変換成功" "$work/out"; then
        echo "  ! tessival-batch gave no summary" >&2
    elif grep -q "^失敗> " "$work/out"; then
        echo "  ! some files failed: $(grep -c '^失敗> ' "$work/out")" >&2
    fi
    status=0
}

echo "Tessival site conversion beside the floors and the peer${disk:+ (on disk: $disk, $fstype)}"
echo "  site: $site   work: $work   cores: $cores   load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  programs: $bin"
[ $have_time = 1 ] || echo "  peak memory not measured: /usr/bin/time is missing (Debian package 'time')"
if [ $have_peer = 1 ]; then
    echo "  peer: $(mogrify -version | head -n 1)"
elif [ "${BENCH_PEER:-1}" = 0 ]; then
    echo "  peer left out (BENCH_PEER=0)"
else
    echo "  peer not measured: mogrify is missing (Debian package 'imagemagick')"
fi

largest=0

for kind in $kinds; do
    discard "$work/src"
    discard "$work/run"
    copy_kind "$kind" "$work/src"
    files=$(find "$work/src" -type f | wc -l)
    if [ "$files" = 0 ]; then
        echo; echo "$kind: no files"
        continue
    fi
    case $kind in
        text) amount=$(du -sb --apparent-size "$work/src" | awk '{ printf "%.3f", $1 / 1e6 }'); unit=MB/s
              what="$amount MB" ;;
        png)  amount=$("$floor" pixels "$work/src" | sed -n 's/.*png_pixels=\([0-9]*\).*/\1/p' | awk '{ printf "%.3f", $1 / 1e6 }')
              unit=Mpx/s; what="$amount megapixels" ;;
        gif)  amount=$("$floor" pixels "$work/src" | sed -n 's/.*gif_pixels=\([0-9]*\).*/\1/p' | awk '{ printf "%.3f", $1 / 1e6 }')
              unit=Mpx/s; what="$amount megapixels" ;;
    esac
    "$floor" pixels "$work/src" >"$work/pixels"
    largest=$(sed -n 's/.*largest=\([0-9]*\).*/\1/p' "$work/pixels")
    echo
    echo "$kind: $files files, $what"
    [ "$kind" != text ] && echo "  (peak memory also in bytes per pixel of the largest picture, $largest pixels)"

    # The floors.
    discard "$work/cp"
    measure cp -r "$work/src" "$work/cp"
    discard "$work/cp"
    cp_secs=$wall
    row "cp" "$wall" "$cpu" "$amount" "$unit" "$peak"
    sync_secs=""
    if [ -n "$disk" ]; then
        sync
        measure sh -c 'cp -r "$1" "$2" && sync' sh "$work/src" "$work/cp"
        discard "$work/cp"
        sync_secs=$wall
        row "cp + sync (the floor on disk)" "$wall" "$cpu" "$amount" "$unit" "$peak"
    fi
    floor_secs=""; floor_cpu=""
    if [ "$kind" = png ]; then
        fresh
        measure "$floor" png "$work/run"
        floor_secs=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' "$work/out" | tail -n 1)
        floor_cpu=$(sed -n 's/.*cpu=\([0-9.]*\).*/\1/p' "$work/out" | tail -n 1)
        row "zlib inflate + deflate (-1)" "$floor_secs" "$floor_cpu" "$amount" "$unit" "$peak"
    elif [ "$kind" = text ]; then
        fresh
        measure "$floor" text "$work/run"
        floor_secs=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' "$work/out" | tail -n 1)
        floor_cpu=$(sed -n 's/.*cpu=\([0-9.]*\).*/\1/p' "$work/out" | tail -n 1)
        row "read + write" "$floor_secs" "$cpu" "$amount" "$unit" "$peak"
    fi

    # On a disk, first the runs with backups taking turns with the floor: they free no file
    # (each old file lives on as its backup), so they go before anything that does.
    sync_backed=""; backed_median=""
    if [ -n "$disk" ] && [ "$rounds" -gt 1 ]; then
        take_turns
        sync_backed=$turn_floor
        backed_median=$turn_ours
        row "cp + sync, median" "$turn_floor" "" "$amount" "$unit" ""
        row "ours with backups, median" "$turn_ours" "" "$amount" "$unit" ""
    fi

    # Ours.
    fresh
    measure "$batch" --no-backup --jobs 1 --hue 120 "$work/run"
    check_batch
    ours1=$wall; ours1_cpu=$cpu
    row "tessival-batch --jobs 1" "$wall" "$cpu" "$amount" "$unit" "$peak"
    fresh
    measure "$batch" --no-backup --jobs "$cores" --hue 120 "$work/run"
    check_batch
    oursn=$wall
    row "tessival-batch --jobs $cores" "$wall" "$cpu" "$amount" "$unit" "$peak"
    fresh
    measure "$batch" --jobs "$cores" --hue 120 "$work/run"
    check_batch
    oursb=$wall
    row "  the same with backups" "$wall" "$cpu" "$amount" "$unit" "$peak"
    [ -n "$backed_median" ] && oursb=$backed_median

    # The peer.
    peer=""
    if [ $have_peer = 1 ] && [ "$kind" != text ]; then
        fresh
        measure find "$work/run" -type f -iname "*.$kind" -exec mogrify -modulate 100,100,166.667 {} +
        peer=$wall
        row "mogrify -modulate (all threads)" "$wall" "$cpu" "$amount" "$unit" "$peak"
        if [ "${BENCH_PEER_1:-0}" = 1 ]; then
            fresh
            measure env MAGICK_THREAD_LIMIT=1 find "$work/run" -type f -iname "*.$kind" \
                -exec mogrify -modulate 100,100,166.667 {} +
            row "mogrify -modulate (1 thread)" "$wall" "$cpu" "$amount" "$unit" "$peak"
        fi
    fi

    # The runs without backups, taking turns with the floor (see take_turns).
    sync_plain=""
    if [ -n "$disk" ] && [ "$rounds" -gt 1 ]; then
        take_turns --no-backup
        sync_plain=$turn_floor
        oursn=$turn_ours
        row "cp + sync, median" "$turn_floor" "" "$amount" "$unit" ""
        row "tessival-batch --jobs $cores, median" "$turn_ours" "" "$amount" "$unit" ""
    fi

    echo "  ratios (time / time):"
    if [ -n "$sync_secs" ]; then
        ratio "ours --jobs $cores / (cp + sync)" "$oursn" "${sync_plain:-$sync_secs}"
        ratio "ours --jobs $cores with backups / (cp + sync)" "$oursb" "${sync_backed:-$sync_secs}"
    fi
    ratio "ours --jobs 1 / cp" "$ours1" "$cp_secs"
    [ -n "$floor_secs" ] && ratio "ours --jobs 1 / floor" "$ours1" "$floor_secs"
    [ -n "$floor_cpu" ] && [ -n "$ours1_cpu" ] && ratio "ours --jobs 1 / floor, by cpu time" "$ours1_cpu" "$floor_cpu"
    ratio "ours --jobs 1 / ours --jobs $cores (scaling)" "$ours1" "$oursn"
    [ -n "$peer" ] && ratio "peer / ours --jobs $cores" "$peer" "$oursn"
    [ -n "$peer" ] && ratio "peer / ours --jobs 1" "$peer" "$ours1"
done

echo
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
