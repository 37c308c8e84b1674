#!/usr/bin/env bash
# Recordings without a screen: a recorded replay of a recording repeats it byte for byte, a
# recording cut short replays up to its cut, and a replay on other data is warned about but runs.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
run() { "$kestrove" --headless --data "$data" "$@"; }

run --script "$here/demo.script" --transcript t0.txt --record r1.txt
run --script r1.txt --transcript t1.txt --record r2.txt 2>err.txt
[ ! -s err.txt ] # the same data: nothing to warn about
head -1 r1.txt | grep -q '^# recorded by kestrove .* | H3.MAF [0-9]* bytes crc32 [0-9a-f]\{8\} |'
grep -qx 'down Esc' r1.txt
cmp r1.txt r2.txt
cmp t0.txt t1.txt

# Cut in the middle of the line that sends the name: everything before it replays.
at="$(grep -b -x 'down Enter' r1.txt | sed -n 2p | cut -d: -f1)"
head -c "$((at + 3))" r1.txt >cut.txt
run --script cut.txt --transcript tc.txt --record rc.txt 2>err.txt
grep -q 'cut.txt was cut short' err.txt
cmp rc.txt <(head -c "$at" r1.txt)
[ -s tc.txt ] && [ "$(wc -c <tc.txt)" -lt "$(wc -c <t0.txt)" ]
cmp tc.txt <(head -c "$(wc -c <tc.txt)" t0.txt)

# Other data: a warning naming the file that differs, and the replay still runs.
cp -r "$data" other
printf x >>other/H3.MAF
"$kestrove" --headless --data other --script r1.txt 2>err.txt
grep -q 'warning: r1.txt: recorded with another H3.MAF' err.txt
[ "$(grep -c warning err.txt)" -eq 1 ]
echo ok
