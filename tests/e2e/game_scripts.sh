#!/usr/bin/env bash
# Plays every script in game/ headless on the real data files, twice: the transcript must equal
# the recorded one and every shot must have its recorded checksum both times.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")/game" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for script in "$here"/*.script; do
  name="$(basename "$script" .script)"
  for run in 1 2; do
    dir="$work/$name-$run"
    mkdir -p "$dir"
    (cd "$dir" && "$kestrove" --headless --data "$data" --script "$script" --transcript transcript.txt)
    if [ -f "$here/$name.transcript" ]; then
      diff -u "$here/$name.transcript" "$dir/transcript.txt"
    fi
    if [ -f "$here/$name.sums" ]; then
      (cd "$dir" && sha256sum --quiet -c "$here/$name.sums")
    fi
  done
  echo "$name: ok"
done
