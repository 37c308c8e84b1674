#!/usr/bin/env bash
# Plays every script in game/ headless on the real data files, twice: the transcript must equal
# the recorded one and every shot must have its recorded checksum both times. A failed run's shots
# and transcript stay in BUILD/test-output/game_scripts; with KESTROVE_UPDATE_GOLDENS=1 the first
# run's output becomes the recorded one.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")/game" && pwd)"
work="$2/test-output/game_scripts"
rm -rf "$work"
failed=0

for script in "$here"/*.script; do
  name="$(basename "$script" .script)"
  for run in 1 2; do
    dir="$work/$name-$run"
    mkdir -p "$dir"
    ok=1
    (cd "$dir" && "$kestrove" --headless --data "$data" --script "$script" \
      --transcript transcript.txt) || ok=0
    if [ "${KESTROVE_UPDATE_GOLDENS:-}" = 1 ] && [ $run = 1 ] && [ $ok = 1 ]; then
      if [ -f "$here/$name.transcript" ]; then cp "$dir/transcript.txt" "$here/$name.transcript"; fi
      if [ -f "$here/$name.sums" ]; then
        shots="$(awk '{print $2}' "$here/$name.sums")"
        (cd "$dir" && sha256sum $shots) >"$here/$name.sums.new"
        mv "$here/$name.sums.new" "$here/$name.sums"
      fi
      echo "*** KESTROVE_UPDATE_GOLDENS=1: recorded the output of $name in $here ***" >&2
    fi
    if [ -f "$here/$name.transcript" ]; then
      diff -u "$here/$name.transcript" "$dir/transcript.txt" || ok=0
    fi
    if [ -f "$here/$name.sums" ]; then
      (cd "$dir" && sha256sum --quiet -c "$here/$name.sums") || ok=0
    fi
    if [ $ok = 0 ]; then
      echo "$name (run $run) FAILED: its shots and transcript are in $dir" >&2
      failed=1
    fi
  done
  echo "$name: done"
done
if [ $failed = 0 ]; then rm -rf "$work"; fi
exit $failed
