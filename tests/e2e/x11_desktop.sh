#!/usr/bin/env bash
# The game on a virtual X desktop, played with real key events: full screen with and without a
# window manager and Alt+Enter both ways (each time the whole picture, scaled and centred), right
# Alt and Caps Lock; SIGTERM, SIGINT, SIGHUP and a close request end it in order, and a display
# that goes away ends it, each time keeping the recording up to the last key taken; and no
# display at all.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in Xvfb xdotool xwininfo xprop import convert compare openbox python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
source "$here/lib/x_test.bash"
game=""
trap 'kill $game $x_wm 2>/dev/null || true; x_stop; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  cat "$work/game.log" >&2 2>/dev/null || true
  exit 1
}

# No display: the game says so instead of running unseen.
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 10 "$kestrove" --data "$data" \
  2>"$work/nodisplay.txt"
code=$?
set -e
[ "$code" -ne 0 ] && [ "$code" -ne 124 ] || fail "no display: exit code $code"
grep -q 'cannot open a window' "$work/nodisplay.txt" || fail "no display: $(cat "$work/nodisplay.txt")"

start_x() { x_start 1600x1000x24 -br || fail "Xvfb did not start"; }
window=""
found() { window="$(xdotool search --onlyvisible --name '^Kestrove soft$' 2>/dev/null | head -1)"; }
start_game() {
  rm -f "$work/t.txt" "$work"/kestrove-*.png
  # The desktop libraries keep allocations to the end; the headless runs check our leaks.
  # A script's background job starts with SIGINT ignored, which the game respects: as from a
  # terminal, it is not.
  (cd "$work" && SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
    exec env --default-signal=INT "$kestrove" --data "$data" --transcript "$work/t.txt" "$@" \
    >"$work/game.log" 2>&1) &
  game=$!
  poll 600 found || fail "no window"
}
# at SIZE POSITION: the game's window has that size and place on the screen (sanitizer builds
# are slow to answer).
placed() {
  xwininfo -root -tree | awk -v size="$1" -v pos="$2" '/"Kestrove soft"/ && index($(NF - 1), size "+") == 1 && $NF == pos { found = 1 } END { exit !found }'
}
at() { poll 300 placed "$1" "$2" || fail "the window is not at $1 $2"; }
said() { grep -qx -- "$1" "$work/t.txt" 2>/dev/null; }
# ends_within TENTHS: the game has ended; its exit code in $code.
ends_within() {
  poll "$1" eval '! kill -0 $game 2>/dev/null' || fail "the game did not end"
  set +e
  wait "$game"
  code=$?
  set -e
  game=""
}
# The game's own screenshot (F12) appears at X,Y scaled S times, the rest of the screen is black.
# The window may not show the new placement yet: tried until it does.
picture_at() {
  local x=$1 y=$2 s=$3 name=$4 w=$((640 * $3)) h=$((480 * $3)) differ outside try
  for try in $(seq 30); do
    local own
    own="$(game_shot "$work" xdotool key F12)" || fail "$name: F12 wrote nothing"
    import -window root "$work/$name.png"
    convert "$work/$name.png" -crop "${w}x${h}+$x+$y" +repage -sample 640x480! "$work/$name-in.png"
    differ=$(compare -metric AE -fuzz 4% "$work/$name-in.png" "$own" null: 2>&1 || true)
    outside=$(convert "$work/$name.png" -fill black \
      -draw "rectangle $x,$y $((x + w - 1)),$((y + h - 1))" -format '%[fx:maxima]' info:)
    [ "${differ%%.*}" -lt 3000 ] && [ "$outside" = 0 ] && return 0
  done
  fail "$name: $differ pixels differ from the game's picture; outside it, maximum $outside"
}
# The player's X, from a screenshot of the game's own (F12).
player_x() {
  local own
  own="$(game_shot "$work" xdotool key F12)" || fail "F12 wrote nothing"
  python3 "$here/screen_position.py" "$own" "$data/ascii.fnt" | cut -d' ' -f1
}
# walk KEY: holds Left or Right until the player has moved, lets go once the game stopped it:
# the game has taken both keys.
walk() {
  local x0 x1
  x0="$(player_x)"
  xdotool keydown "$1"
  poll 300 eval '[ "$(player_x)" != "$x0" ]' || fail "the player did not walk"
  xdotool keyup "$1"
  x1="$(player_x)"
  for _ in $(seq 100); do
    x0="$x1"
    x1="$(player_x)"
    [ "$x1" = "$x0" ] && return 0
  done
  fail "the player did not stop"
}

# Walks to 세나 and stays; a conversation starts at the bump.
script="$work/walk.script"
grep -v '^#' "$here/demo.script" | head -7 >"$script"

# No window manager: full screen is the game's own doing.
start_x
start_game --script "$script"
poll 600 test -s "$work/t.txt" || fail "no conversation"
at 1600x1000 +0+0
picture_at 160 20 2 full
xdotool key alt+Return
at 640x480 +480+260
picture_at 480 260 1 window
xdotool key alt+Return
at 1600x1000 +0+0
picture_at 160 20 2 full-again
# Right Alt switches to English; Caps Lock inverts Shift.
xdotool key Alt_R
xdotool key shift+h i Return
poll 300 said '> Hi' || fail "right Alt: $(cat "$work/t.txt")"
xdotool key Alt_R Caps_Lock shift+h i Return
poll 300 said '> hI' || fail "Caps Lock: $(cat "$work/t.txt")"
xdotool key Caps_Lock
kill -TERM "$game"
ends_within 100
[ "$code" -eq 0 ] || fail "SIGTERM: exit code $code"

# SIGINT, SIGHUP (the terminal closed) and the window closed as a window manager closes it: the
# game ends in order, with the recording whole.
xkeys_start
for end in SIGINT SIGHUP close; do
  rm -f "$work/r.txt"
  start_game --windowed --record "$work/r.txt"
  xdotool windowfocus --sync "$window"
  walk Right
  if [ "$end" = close ]; then xkeys close "$window"; else kill -"${end#SIG}" "$game"; fi
  ends_within 100
  [ "$code" -eq 0 ] || fail "$end: exit code $code"
  grep -qx 'up Right' "$work/r.txt" || fail "$end: the recording lost keys"
  tail -1 "$work/r.txt" | grep -qx 'wait [0-9]*' || fail "$end: the recording lost its end"
done

# The display goes away: the game ends promptly, saying so, full screen or not, and keeps the
# recording up to its last key, also one it has not written out yet: the file is written once a
# second, so the game is stopped (SIGSTOP) at a moment its last release is not in the file yet.
for mode in --windowed ""; do
  rm -f "$work/r.txt"
  start_game $mode --record "$work/r.txt"
  xdotool windowfocus --sync "$window"
  walks=0
  for key in Right Left Right Left Right Left Right Left; do
    walk "$key"
    walks=$((walks + 1))
    kill -STOP "$game"
    [ "$(grep -cxE 'up (Left|Right)' "$work/r.txt" || true)" -lt "$walks" ] && break
    kill -CONT "$game"
  done
  x_stop
  kill -CONT "$game" 2>/dev/null || true # none was caught: it ended already
  ends_within 100
  [ "$code" -ne 0 ] || fail "lost display ($mode): exit code 0"
  grep -q 'lost the display' "$work/game.log" || fail "lost display ($mode): no message"
  [ "$(grep -cxE 'up (Left|Right)' "$work/r.txt")" -eq "$walks" ] ||
    fail "lost display ($mode): the recording lost keys"
  start_x
done

# With a window manager the full-screen request is answered.
x_window_manager || fail "openbox did not start"
start_game
at 1600x1000 +0+0
picture_at 160 20 2 openbox
kill -TERM "$game"
ends_within 100
echo ok
