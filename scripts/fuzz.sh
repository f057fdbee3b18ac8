#!/usr/bin/env bash
# Runs the fuzz targets for a given number of minutes each, at most two at a time, and prints
# how many inputs each one tried. Usage: scripts/fuzz.sh MINUTES [TARGET...]
# Targets: png gif text convert jpeg webp svg (default: all that are built). New inputs go to
# build-fuzz/work/<target>/, anything that fails to build-fuzz/findings/<target>/; the corpus
# in tests/fuzz/corpus/ is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:?usage: scripts/fuzz.sh MINUTES [TARGET...]}
shift
scripts/build.sh --fuzz
bin=build-fuzz/bin
targets=("$@")
[ -x "$bin/fuzz_png" ] || { echo "no fuzz targets in $bin" >&2; exit 1; }
if [ ${#targets[@]} -eq 0 ]; then
  for t in png gif text convert jpeg webp svg; do
    [ -x "$bin/fuzz_$t" ] && targets+=("$t")
  done
fi

run_one() {
  local t=$1 top=$PWD/build-fuzz
  local work=$top/work/$t findings=$top/findings/$t log=$top/logs/$t.log
  mkdir -p "$work" "$findings" "$top/logs/$t"
  local status=0
  # One worker process per target (fork mode), which carries on past a finding so that a run
  # collects all it can; each finding is kept in $findings.
  (cd "$top/logs/$t" && "$top/bin/fuzz_$t" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time=$((minutes * 60)) -timeout=25 -rss_limit_mb=2048 -artifact_prefix="$findings/" \
    "$work" "$OLDPWD/tests/fuzz/corpus/$t") >"$log" 2>&1 || status=$?
  local runs found
  runs=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$log" | tail -1)
  found=$(find "$findings" -type f | wc -l)
  printf '%-8s %s executions in %s min, %s finding(s) in %s%s\n' "$t" "${runs:-?}" "$minutes" "$found" \
    "build-fuzz/findings/$t" "$([ "$status" -ne 0 ] && echo ", exit status $status (see $log)")"
}

# Two at a time: the machine is shared.
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || true
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || true; done
