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
  poll 100 shown || fail "no window"
  sleep 0.5
}
# ends_within TENTHS: the game has ended; its exit code in $code.
ends_within() {
  poll "$1" eval '! kill -0 $game 2>/dev/null' || fail "the game did not end"
  set +e
  wait "$game"
  code=$?
  set -e
}
# The game's own screenshot (F12) appears at X,Y scaled S times, the rest of the screen is black.
picture_at() {
  local x=$1 y=$2 s=$3 name=$4 w=$((640 * $3)) h=$((480 * $3))
  rm -f "$work"/kestrove-*.png
  xdotool key F12
  import -window root "$work/$name.png"
  poll 50 test -s "$work/kestrove-0001.png" || fail "$name: F12 wrote nothing"
  sleep 0.2
  convert "$work/$name.png" -crop "${w}x${h}+$x+$y" +repage -sample 640x480! "$work/$name-in.png"
  local differ outside
  differ=$(compare -metric AE -fuzz 4% "$work/$name-in.png" "$work/kestrove-0001.png" null: 2>&1 || true)
  [ "${differ%%.*}" -lt 3000 ] || fail "$name: $differ pixels differ from the game's picture"
  outside=$(convert "$work/$name.png" -fill black -draw "rectangle $x,$y $((x + w - 1)),$((y + h - 1))" \
    -format '%[fx:maxima]' info:)
  [ "$outside" = 0 ] || fail "$name: the screen outside the picture is not black"
}

# Walks to 세나 and stays; a conversation starts at the bump.
script="$work/walk.script"
grep -v '^#' "$here/demo.script" | head -7 >"$script"

# No window manager: full screen is the game's own doing. Caps Lock is on before the game starts.
start_x
xdotool key Caps_Lock
start_game --script "$script"
poll 100 test -s "$work/t.txt" || fail "no conversation"
sleep 1
picture_at 160 20 2 full
xdotool key alt+Return
sleep 1
picture_at 480 260 1 window
xdotool key alt+Return
sleep 1
picture_at 160 20 2 full-again
# Right Alt switches to English; Caps Lock (on since before the start) inverts Shift, until the
# key turns it off.
xdotool key Alt_R
xdotool key shift+h i Return
sleep 0.3
xdotool key Alt_R Caps_Lock shift+h i Return
sleep 0.5
kill -TERM "$game"
ends_within 60
grep -qx '> hI' "$work/t.txt" || fail "right Alt or Caps Lock: $(cat "$work/t.txt")"
grep -qx '> Hi' "$work/t.txt" || fail "Caps Lock key: $(cat "$work/t.txt")"

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
sleep 1
picture_at 160 20 2 openbox
kill -TERM "$game"
ends_within 60
echo ok
