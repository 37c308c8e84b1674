#!/usr/bin/env bash
# A session played with real X key events in a window on a virtual X display, and recorded: it
# starts with Caps Lock on, fires a volley, walks into 세나 with held arrows and talks, switching
# Hangul and English with right Alt (alone and with left Alt held), the Hangul key and Ctrl+U,
# with Shift, Caps Lock, and Alt+Enter both ways while Shift is held; Esc ends the talk, the player
# walks away, Esc quits. Replayed headless, the recording says the same lines and leaves the
# player where the live run did; recorded again, it is the same file.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in Xvfb xdotool xwininfo xprop python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
source "$here/lib/x_test.bash"
game=""
trap 'kill $game 2>/dev/null || true; x_stop; cd /; rm -rf "$work"' EXIT
cd "$work"
fail() {
  echo "FAIL: $*"
  for f in game.log live-said.txt live.txt; do echo "--- $f"; cat "$f" 2>/dev/null || true; done
  exit 1
}

x_start 800x600x24 || fail "Xvfb did not start"
xkeys_start
xkeys key Caps_Lock
[ "$(xkeys caps)" = "caps on" ] || fail "the server has no Caps Lock"

SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  "$kestrove" --windowed --data "$data" --record live.txt --transcript live-said.txt \
  >game.log 2>&1 &
game=$!
window=""
found() { window="$(xdotool search --onlyvisible --name '^Kestrove soft$' 2>/dev/null | head -1)"; }
poll 600 found || fail "no game window"
xdotool windowfocus --sync "$window" # no window manager gives it the focus

# The player's position, read from an F12 screenshot of the window, once it stands still.
screen() {
  last="$(game_shot . xkeys key F12)" && python3 "$here/screen_position.py" "$last" "$data/ascii.fnt" >at.txt
}
position() {
  local before=""
  for _ in $(seq 50); do
    screen || fail "no screenshot"
    at="$(cat at.txt)"
    [ "$at" = "$before" ] && return 0
    before="$at"
  done
  fail "the player does not stand still"
}
# recorded LINE: the game has taken that key (the file is written at least once a second).
recorded() { grep -qx -- "$1" live.txt 2>/dev/null; }
# hold KEYSYM LINE: down until the game has taken it, then up.
hold() {
  xkeys down "$1"
  poll 300 recorded "$2" || fail "the game did not take $1"
  xkeys up "$1"
}
# says LINE: the player says LINE (one more time than before), after the keys that type it.
says() {
  local line="$1" before
  shift
  before="$(grep -cx -- "$line" live-said.txt || true)"
  xkeys key "$@"
  poll 300 eval '[ "$(grep -cx -- "$line" live-said.txt || true)" -gt "$before" ]' ||
    fail "'$line' was not said"
}

hold z 'down z' # a volley
# Down the path, then in short steps with Ctrl (a third of the speed) until the player is below
# 세나 (y 640 to 700, where Left stops under her), back up if a step went too far.
xkeys down Down
poll 300 eval 'screen && [ "$(cut -d" " -f2 at.txt)" -ge 500 ]' || fail "the player did not walk"
xkeys up Down
xkeys down Control_L
for _ in $(seq 100); do
  position
  y="${at#* }"
  [ "$y" -ge 640 ] && [ "$y" -le 700 ] && break
  if [ "$y" -lt 640 ]; then step=Down; else step=Up; fi
  xkeys down "$step"
  poll 300 eval 'screen && [ "$(cut -d" " -f2 at.txt)" != "$y" ]' || fail "no step $step"
  xkeys up "$step"
done
xkeys up Control_L
[ "$y" -ge 640 ] && [ "$y" -le 700 ] || fail "the player did not reach the pond's row: $at"
xkeys down Left # against the pond, long enough to repeat
poll 300 eval '[ "$(grep -cx "down Left" live.txt 2>/dev/null)" -gt 3 ]' || fail "no repeats"
xkeys up Left
xkeys down Up # into 세나
poll 300 test -s live-said.txt || fail "no conversation"
xkeys up Up

says '> 안녕' d k s s u d Return # Hangul on the two-set layout; Caps Lock changes nothing here
xkeys key Alt_R                 # right Alt: English, in capitals while the lock is on
says '> HI' h i Return
xkeys down Alt_L # right Alt with left Alt held is still the Hangul key
xkeys key Alt_R
xkeys up Alt_L
says '> HELLO' h e l l o Return
xkeys key Hangul # the Hangul/English key; Shift inverts the lock
xkeys down Shift_L
xkeys key h
xkeys up Shift_L
says '> hI' i Return
xkeys key Caps_Lock # the lock off; Ctrl+U switches too
xkeys down Control_L
xkeys key u
xkeys up Control_L
says '> ok' o k Return
# Shift held across Alt+Enter there and back: still held for the doubled consonant after it.
xkeys down Shift_L
xkeys down Alt_L
xkeys key Return
xkeys up Alt_L
poll 300 eval 'xwininfo -id "$window" | grep -q "Width: 800"' || fail "no full screen"
xkeys down Alt_L
xkeys key Return
xkeys up Alt_L
poll 300 eval 'xwininfo -id "$window" | grep -q "Width: 640"' || fail "no window again"
xkeys key r
xkeys up Shift_L
says '> 까' k Return
says '> ' Escape # ends the conversation
xkeys down Right # and the player walks again
poll 300 eval 'screen && [ "$(cut -d" " -f1 at.txt)" -ge "$(( ${at% *} + 30 ))" ]' ||
  fail "the player did not walk away"
xkeys up Right
position # the last screen
xkeys key Escape
wait "$game" || fail "the game ended with $?"
game=""

# The last screen of the replay: a shot just before the Esc that quits.
awk -v last="$(grep -n -x 'down Esc' live.txt | tail -1 | cut -d: -f1)" \
  'NR == last { print "shot replay.png" } { print }' live.txt >replay-script.txt
"$kestrove" --headless --data "$data" --script replay-script.txt --transcript replay-said.txt
diff -u live-said.txt replay-said.txt || fail "the replay says other lines"
live_at="$at"
replay_at="$(python3 "$here/screen_position.py" replay.png "$data/ascii.fnt")"
echo "player at $live_at live, $replay_at replayed"
[ "$live_at" = "$replay_at" ] || fail "the replay leaves the player elsewhere"

"$kestrove" --headless --data "$data" --script live.txt --record again.txt
cmp live.txt again.txt || fail "recording the replay gives another file"
echo ok
