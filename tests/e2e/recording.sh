#!/usr/bin/env bash
# Recordings without a screen: a recorded replay of a recording repeats it byte for byte, a
# recording cut short replays up to its cut, and a replay on other data is warned about but runs.
# A recording that cannot be written says so and fails the run, keeping its whole lines; a signal
# ends the game in order, with the recording whole; damaged or huge scripts are refused cleanly.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
game=""
trap 'kill $game 2>/dev/null || true; rm -rf "$work"' EXIT
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

# An edited header (an entry without its description) is warned about, not a crash.
printf '# recorded by kestrove 0.0 | H3.MAF\nwait 5\n' >edited.txt
run --script edited.txt 2>err.txt
grep -q 'recorded with another H3.MAF' err.txt

# A transcript that cannot be written is said, and fails the run.
if run --script "$here/demo.script" --transcript /dev/full 2>err.txt; then exit 1; fi
grep -q 'cannot write transcript /dev/full' err.txt
# Nothing can be written: said at once, and the run fails before it starts.
if run --script "$here/demo.script" --record /dev/full 2>err.txt; then exit 1; fi
grep -q 'cannot write recording /dev/full' err.txt
# The disk fills in the middle (here a file size limit): the run fails and the file ends at its
# last whole line, a beginning of the whole recording.
run --script "$here/game/chain.script" --record whole.txt
set +e
(trap '' XFSZ && ulimit -f 1 && exec "$kestrove" --headless --data "$data" \
  --script "$here/game/chain.script" --record part.txt) 2>err.txt
code=$?
set -e
[ "$code" -eq 1 ]
grep -q 'cannot write recording part.txt' err.txt
[ "$(tail -c 1 part.txt | od -An -c | tr -d ' ')" = '\n' ]
cmp part.txt <(head -c "$(wc -c <part.txt)" whole.txt)
[ "$(wc -c <part.txt)" -gt 500 ]

# SIGHUP (the terminal closed) and SIGTERM in the middle of a long wait: the game closes in
# order and the recording ends with the frames played.
for sig in HUP TERM; do
  printf 'press Right\nwait 100000000\n' >long.txt
  "$kestrove" --headless --data "$data" --script long.txt --record "sig-$sig.txt" &
  game=$!
  for _ in $(seq 300); do grep -qx 'up Right' "sig-$sig.txt" 2>/dev/null && break; sleep 0.1; done
  grep -qx 'up Right' "sig-$sig.txt"
  kill -"$sig" "$game"
  wait "$game" || true
  tail -1 "sig-$sig.txt" | grep -qx 'wait [1-9][0-9]*'
done

# Scripts that are not one: a folder, one too large to read, too many keys between two waits.
if run --script "$work" 2>err.txt; then exit 1; fi
grep -q 'is a folder' err.txt
head -c $((17 << 20)) /dev/zero | tr '\0' a | sed 's/^/type /' >huge.txt
if run --script huge.txt --frames 1 2>err.txt; then exit 1; fi
grep -q 'larger than 16 MiB' err.txt
{ printf 'type '; head -c 40000 /dev/zero | tr '\0' a; echo; } >many.txt
if run --script many.txt --frames 1 2>err.txt; then exit 1; fi
grep -q 'line 1: more than 65536 keys without a wait' err.txt
echo ok
