#!/usr/bin/env bash
# The game on a virtual X desktop, played with real key events: full screen with and without a
# window manager and Alt+Enter both ways (each time the whole picture, scaled and centred), right
# Alt and Caps Lock, SIGTERM, and a display that goes away; and no display at all.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in Xvfb xdotool xwininfo import convert compare openbox; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
xvfb="" game="" wm=""
trap 'kill $game $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  cat "$work/game.log" >&2 2>/dev/null || true
  exit 1
}
poll() { # poll TENTHS COMMAND...: true once COMMAND succeeds
  for _ in $(seq "$1"); do "${@:2}" && return 0; sleep 0.1; done
  return 1
}

# No display: the game says so instead of running unseen.
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 10 "$kestrove" --data "$data" \
  2>"$work/nodisplay.txt"
code=$?
set -e
[ "$code" -ne 0 ] && [ "$code" -ne 124 ] || fail "no display: exit code $code"
grep -q 'cannot open a window' "$work/nodisplay.txt" || fail "no display: $(cat "$work/nodisplay.txt")"

start_x() {
  display=":$((90 + RANDOM % 400))"
  Xvfb "$display" -screen 0 1600x1000x24 -br -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=$display
  poll 50 xwininfo -root >/dev/null 2>&1 || fail "Xvfb did not start"
}
shown() { xwininfo -root -tree 2>/dev/null | grep -q '"Kestrove soft"'; }
start_game() {
  rm -f "$work/t.txt"
  # The desktop libraries keep allocations to the end; the headless runs check our leaks.
  (cd "$work" && SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
    exec "$kestrove" --data "$data" --transcript "$work/t.txt" "$@" >"$work/game.log" 2>&1) &
  game=$!
  poll 300 shown || fail "no window"
  sleep 0.5
}
# at SIZE POSITION: the game's window has that size and place on the screen (sanitizer builds
# are slow to answer).
placed() {
  xwininfo -root -tree | awk -v size="$1" -v pos="$2" '/"Kestrove soft"/ && index($(NF - 1), size "+") == 1 && $NF == pos { found = 1 } END { exit !found }'
}
at() {
  poll 200 placed "$1" "$2" || fail "the window is not at $1 $2"
  sleep 1
}
said() { grep -qx -- "$1" "$work/t.txt" 2>/dev/null; }
# ends_within TENTHS: the game has ended; its exit code in $code.
ends_within() {
  poll "$1" eval '! kill -0 $game 2>/dev/null' || fail "the game did not end"
  set +e
  wait "$game"
  code=$?
  set -e
}
# The game's own screenshot (F12) appears at X,Y scaled S times, the rest of the screen is black.
# A slow (sanitizer) build may not have redrawn yet: a few tries.
picture_at() {
  local x=$1 y=$2 s=$3 name=$4 w=$((640 * $3)) h=$((480 * $3)) differ outside try
  for try in 1 2 3 4 5; do
    rm -f "$work"/kestrove-*.png
    xdotool key F12
    import -window root "$work/$name.png"
    poll 50 test -s "$work/kestrove-0001.png" || fail "$name: F12 wrote nothing"
    sleep 0.2
    convert "$work/$name.png" -crop "${w}x${h}+$x+$y" +repage -sample 640x480! "$work/$name-in.png"
    differ=$(compare -metric AE -fuzz 4% "$work/$name-in.png" "$work/kestrove-0001.png" null: 2>&1 || true)
    outside=$(convert "$work/$name.png" -fill black \
      -draw "rectangle $x,$y $((x + w - 1)),$((y + h - 1))" -format '%[fx:maxima]' info:)
    [ "${differ%%.*}" -lt 3000 ] && [ "$outside" = 0 ] && return 0
    sleep 1
  done
  fail "$name: $differ pixels differ from the game's picture; outside it, maximum $outside"
}

# Walks to 세나 and stays; a conversation starts at the bump.
script="$work/walk.script"
grep -v '^#' "$here/demo.script" | head -7 >"$script"

# No window manager: full screen is the game's own doing.
start_x
start_game --script "$script"
poll 300 test -s "$work/t.txt" || fail "no conversation"
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
poll 200 said '> Hi' || fail "right Alt: $(cat "$work/t.txt")"
xdotool key Alt_R Caps_Lock shift+h i Return
poll 200 said '> hI' || fail "Caps Lock: $(cat "$work/t.txt")"
kill -TERM "$game"
ends_within 60

start_game --windowed
kill -INT "$game"
ends_within 60

# The display goes away: the game ends promptly, saying so, full screen or not.
for mode in --windowed ""; do
  start_game $mode
  kill "$xvfb"
  ends_within 60
  [ "$code" -ne 0 ] || fail "lost display ($mode): exit code 0"
  grep -q 'lost the display' "$work/game.log" || fail "lost display ($mode): no message"
  wait "$xvfb" 2>/dev/null || true
  start_x
done

# With a window manager the full-screen request is answered.
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
start_game
at 1600x1000 +0+0
picture_at 160 20 2 openbox
kill -TERM "$game"
ends_within 60
echo ok
