#!/bin/bash
# Two or more ways of converting one site, measured against each other: each round runs every
# command once, in turn, on a fresh copy of the site, so that the moments when the machine is
# slower (a virtual machine's processor may change speed by half from one minute to the next)
# fall on all of them alike. Prints each command's wall times and processor times, sorted, with
# their medians.
#
#   bench/turns.sh [--rounds N] DIR SITE LABEL=COMMAND...
#
# DIR is where the copies go (a folder on the disk to measure; a new folder is made in it and
# kept, as removing many files makes the next minutes' runs on ext4 without a journal slower).
# SITE is never changed. COMMAND is run with the copy's path as its last argument, through the
# shell (so "NAME=value program --options" sets a variable for one command), for example:
#   bench/turns.sh /var/tmp/turns /dev/shm/site \
#       old="/tmp/old/tessival-batch --hue 120" new="build/bin/tessival-batch --hue 120"
# Processor time is that of the command and its threads (perf stat, when installed).

set -euo pipefail

rounds=7
if [ "${1:-}" = "--rounds" ]; then
    rounds=$2
    shift 2
fi
[ $# -ge 3 ] || { sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
dir=$1
site=$(cd "$2" && pwd)
shift 2

have_perf=0
command -v perf >/dev/null 2>&1 && perf stat -x, -e task-clock true >/dev/null 2>&1 && have_perf=1

mkdir -p "$dir"
top=$(mktemp -d "$dir/turns.XXXXXX")
cp -r "$site" "$top/site"
sync

declare -A wall cpu
labels=()
for entry in "$@"; do labels+=("${entry%%=*}"); done

for round in $(seq "$rounds"); do
    for entry in "$@"; do
        label=${entry%%=*}
        command=${entry#*=}
        copy="$top/$round-$label"
        cp -r "$top/site" "$copy"
        sync
        start=$(date +%s%N)
        status=0
        if [ "$have_perf" = 1 ]; then
            bash -c "perf stat -x, -e task-clock -o \"\$1\" -- env $command \"\$0\" >/dev/null 2>&1" "$copy" "$top/perf.txt" ||
                status=$?
            used=$(awk -F, '/task-clock/ {printf "%d", $1}' "$top/perf.txt")
        else
            bash -c "$command \"\$0\" >/dev/null 2>&1" "$copy" || status=$?
            used=-
        fi
        end=$(date +%s%N)
        if [ "$status" != 0 ]; then
            echo "turns.sh: $label ended with status $status on $copy: not a measurement" >&2
            exit 1
        fi
        wall[$label]="${wall[$label]:-} $(( (end - start) / 1000000 ))"
        cpu[$label]="${cpu[$label]:-} ${used:--}"
    done
done

sorted() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -n | tr '\n' ' '; }
median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
for label in "${labels[@]}"; do
    echo "$label: wall $(median "${wall[$label]}") ms (median; $(sorted "${wall[$label]}")), processor $(median "${cpu[$label]}") ms (median; $(sorted "${cpu[$label]}"))"
done
echo "load $(cut -d' ' -f1-3 /proc/loadavg); copies kept in $top"
