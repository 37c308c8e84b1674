#!/usr/bin/env bash
# The program end to end without a screen: a frame limit, a script with a screenshot, bad input.
set -euo pipefail
kestrove="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Without any data file the game still runs, and says what it had to do without. The data folder
# named by the environment wins over the one beside the program.
KESTROVE_DATA="$work" "$kestrove" --headless --frames 120 2> missing.txt
for f in bg_image.jpg H3.MAF deja1.kv0 deja2.kv0 ascii.fnt H01.fnt; do
  grep -q "^kestrove: $f is missing or unusable" missing.txt
done

printf 'wait 3\nshot shots/first.png\npress Esc\nwait 1000\n' > run.txt
mkdir shots
"$kestrove" --headless --script run.txt
# A PNG of the whole 640 x 480 screen.
[ "$(head -c 8 shots/first.png | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]
[ "$(od -An -tu1 -j16 -N8 shots/first.png | tr -s ' ')" = " 0 0 2 128 0 0 1 224" ]

# A bad line stops the run before anything runs, naming the line.
printf 'wait 1\nshot never.png\nhop 2\n' > bad.txt
if "$kestrove" --headless --script bad.txt 2> err.txt; then exit 1; fi
grep -q 'line 3' err.txt
[ ! -e never.png ]

"$kestrove" --version | grep -q '^kestrove '
if "$kestrove" --bogus 2>/dev/null; then exit 1; fi
if "$kestrove" --headless 2>/dev/null; then exit 1; fi
echo ok
