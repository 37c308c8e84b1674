#!/usr/bin/env bash
# A session played with real X key events in a window on a virtual X display, and recorded: a
# volley, held arrows into 세나, a conversation in Hangul and English, Esc twice. The recording replayed
# headless says the same lines and leaves the player where the live run did; recorded again, it
# is the same file.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in Xvfb xdotool xwininfo python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
cd "$work"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>display.txt >/dev/null 2>&1 &
xvfb=$!
game=""
trap 'kill $game $xvfb 2>/dev/null || true; cd /; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
export DISPLAY=":$(cat display.txt)"
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

DISPLAY=$DISPLAY SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  "$kestrove" --windowed --data "$data" --record live.txt --transcript live-said.txt &
game=$!
window=""
for _ in $(seq 100); do
  window="$(xdotool search --onlyvisible --name '^Kestrove soft$' 2>/dev/null | head -1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no game window"; exit 1; }
xdotool windowfocus --sync "$window" # no window manager gives it the focus
sleep 1

press() { xdotool key --delay 120 "$@"; sleep 0.5; }
position() { # the player's position, read from an F12 screenshot of the window
  local before
  before="$(find . -name 'kestrove-*.png' | wc -l)"
  for _ in $(seq 10); do # a loaded machine may be slow to show the key: ask again
    xdotool key F12
    for _ in $(seq 30); do
      [ "$(find . -name 'kestrove-*.png' | wc -l)" -gt "$before" ] && break 2
      sleep 0.1
    done
  done
  sleep 0.2
  last="$(find . -name 'kestrove-*.png' | sort | tail -1)"
  at="$(python3 "$here/screen_position.py" "$last" "$data/ascii.fnt")"
}
xdotool keydown z && sleep 0.4 && xdotool keyup z # a volley
# Down the path to the pond's row: held for a second (at most 30 frames, not yet there), then in
# short steps until the player is below 세나 (y 640 to 700, where Left stops under her).
xdotool keydown Down && sleep 1 && xdotool keyup Down
for _ in $(seq 100); do
  position
  [ "${at#* }" -ge 640 ] && break
  xdotool keydown Down && sleep 0.08 && xdotool keyup Down
done
xdotool keydown Left && sleep 2 && xdotool keyup Left # against the pond, long enough to repeat
xdotool keydown Up # into 세나
for _ in $(seq 100); do [ -s live-said.txt ] && break; sleep 0.1; done
sleep 0.3
xdotool keyup Up
press d k s s u d Return # 안녕 on the two-set layout
press Hangul             # the Hangul/English key
press h e l l o Return
press Escape # ends the conversation
position # the last screen
xdotool key Escape
wait $game
game=""

[ "$(grep -c '^> 안녕$' live-said.txt)" -eq 2 ] # the greeting at the bump, and the typed line
grep -q '^> hello$' live-said.txt
[ "$(grep -c -x 'down Left' live.txt)" -gt 1 ] # the key's repeats are there

# The last screen of the replay: a shot just before the Esc that quits.
awk -v last="$(grep -n -x 'down Esc' live.txt | tail -1 | cut -d: -f1)" \
  'NR == last { print "shot replay.png" } { print }' live.txt >replay-script.txt
"$kestrove" --headless --data "$data" --script replay-script.txt --transcript replay-said.txt
diff -u live-said.txt replay-said.txt
live_at="$at"
replay_at="$(python3 "$here/screen_position.py" replay.png "$data/ascii.fnt")"
echo "player at $live_at live, $replay_at replayed"
[ "$live_at" = "$replay_at" ]

"$kestrove" --headless --data "$data" --script live.txt --record again.txt
cmp live.txt again.txt
echo ok
