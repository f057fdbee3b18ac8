#!/usr/bin/env bash
# Starts the desktop program many times in a row under one X server that resets itself
# whenever its last client leaves (as X servers do by default), so that most starts come just
# after such a reset; every start must show the main window. Then starts it with no X server
# behind DISPLAY, and with no display at all: it must end with a clear message and exit code
# 1, not abort. --help and --version print and end without a display.
# Usage: tests/ui/start_test.sh path/to/tessival [number of starts]   (exit 77: skipped)
set -u
TMPDIR_START=$(mktemp -d)
export TMPDIR_START
trap 'rm -rf "$TMPDIR_START"' EXIT
program=$1
runs=${2:-40}
if ! command -v xvfb-run >/dev/null || ! command -v xwininfo >/dev/null; then
  echo "skipped: xvfb-run and xwininfo (x11-utils) are needed"
  exit 77
fi

# Each start: wait up to 20 s for the window to be mapped, then close the program, so that the
# server is left without clients and resets before the next start.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  program=$1; runs=$2; failed=0
  for run in $(seq 1 "$runs"); do
    "$program" >"$TMPDIR_START/out" 2>&1 & pid=$!
    shown=0
    for try in $(seq 1 2000); do
      kill -0 $pid 2>/dev/null || break
      if xwininfo -name Tessival 2>/dev/null | grep -q IsViewable; then shown=1; break; fi
      sleep 0.01
    done
    if [ $shown = 1 ]; then
      kill $pid; wait $pid 2>/dev/null
    else
      kill $pid 2>/dev/null; wait $pid; rc=$?
      echo "start $run: no window (exit code $rc)"; cat "$TMPDIR_START/out"
      failed=$((failed + 1))
    fi
  done
  echo "$runs starts, $failed without a window"
  [ $failed = 0 ]' start-test "$program" "$runs" || exit 1

DISPLAY=:4093 QT_QPA_PLATFORM=xcb "$program" >"$TMPDIR_START/out" 2>&1
rc=$?
if [ $rc != 1 ] || ! grep -q "ディスプレイ :4093 に接続できません" "$TMPDIR_START/out"; then
  echo "without a display: exit code $rc, expected 1 and a message"; cat "$TMPDIR_START/out"
  exit 1
fi
echo "without a display: exit code 1 and the message"

# With no display named at all: a message and exit code 1, no core dump.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" >"$TMPDIR_START/out" 2>&1
rc=$?
if [ $rc != 1 ] || ! grep -q "ディスプレイ）がありません" "$TMPDIR_START/out"; then
  echo "no display named: exit code $rc, expected 1 and a message"; cat "$TMPDIR_START/out"
  exit 1
fi
echo "no display named: exit code 1 and the message"

# Help and version are printed and need no display.
for option in --help --version; do
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" $option >"$TMPDIR_START/out" 2>&1
  rc=$?
  case $option in --help) expected="使い方: tessival" ;; --version) expected="^tessival [0-9]" ;; esac
  if [ $rc != 0 ] || ! grep -q "$expected" "$TMPDIR_START/out"; then
    echo "$option: exit code $rc, expected 0 and the text"; cat "$TMPDIR_START/out"
    exit 1
  fi
done
echo "--help and --version: printed without a display"

# The same in an English locale: English messages and help, no Japanese left; LC_ALL=C keeps
# them Japanese whatever LANG says.
english=(env -u LC_ALL -u LC_MESSAGES)
japanese_re='[ぁ-んァ-ン一-龥（）]'
check_english() {  # what, expected exit code, expected text; the output in $TMPDIR_START/out
  if [ "$rc" != "$2" ] || ! grep -q "$3" "$TMPDIR_START/out" || grep -q "$japanese_re" "$TMPDIR_START/out"; then
    echo "$1 in English: exit code $rc, expected $2 and \"$3\""; cat "$TMPDIR_START/out"
    exit 1
  fi
}
"${english[@]}" LANG=en_US.UTF-8 DISPLAY=:4093 QT_QPA_PLATFORM=xcb "$program" >"$TMPDIR_START/out" 2>&1
rc=$?
check_english "without a display" 1 "cannot connect to display :4093"
"${english[@]}" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANG=en_US.UTF-8 "$program" >"$TMPDIR_START/out" 2>&1
rc=$?
check_english "no display named" 1 "there is no display"
"${english[@]}" -u DISPLAY LANG=en_US.UTF-8 "$program" --help >"$TMPDIR_START/out" 2>&1
rc=$?
check_english "--help" 0 "^Usage: tessival"
env LC_ALL=C LANG=en_US.UTF-8 "$program" --help >"$TMPDIR_START/out" 2>&1
rc=$?
if [ $rc != 0 ] || ! grep -q "使い方: tessival" "$TMPDIR_START/out"; then
  echo "--help with LC_ALL=C: exit code $rc, expected 0 and the Japanese help"; cat "$TMPDIR_START/out"
  exit 1
fi
echo "English messages and help in an English locale, Japanese with LC_ALL=C"
