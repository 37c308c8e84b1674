#!/usr/bin/env bash
# The window the desktop program remembers: a stored window and its scale are what the game
# opens with, the command line overrides them for its run only, Alt+Enter is stored, scripted and
# headless runs neither read nor write the file, and a damaged file or an unwritable folder is said
# in one line while the game plays on and the file stays as it was.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in Xvfb xdotool xwininfo python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
source "$here/lib/x_test.bash"
game=""
trap 'kill $game 2>/dev/null || true; x_stop; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  cat "$work/game.log" >&2 2>/dev/null || true
  exit 1
}
settings="$XDG_CONFIG_HOME/kestrove/settings"
mkdir -p "$(dirname "$settings")"
stored() { printf '%s\n' "$@" >"$settings" && cp "$settings" "$work/before"; }
unchanged() { cmp -s "$settings" "$work/before" || fail "the settings changed: $(cat "$settings")"; }

# A headless run does not even read them.
stored 'windowed perhaps'
"$kestrove" --headless --frames 2 --data "$data" 2>"$work/game.log" || fail "headless run"
! grep -q settings "$work/game.log" || fail "a headless run read the settings"

x_start 1600x1000x24 || fail "Xvfb did not start"
xkeys_start
window=""
found() { window="$(xdotool search --onlyvisible --name '^Kestrove soft$' 2>/dev/null | head -1)"; }
start_game() {
  # The desktop libraries keep allocations to the end; the headless runs check our leaks.
  (cd "$work" && SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
    exec "$kestrove" --data "$data" "$@" >"$work/game.log" 2>&1) &
  game=$!
  window=""
  poll 600 eval 'found || ! kill -0 $game 2>/dev/null' && [ -n "$window" ] || fail "no window"
  xdotool windowfocus --sync "$window" # no window manager gives it the focus
}
placed() {
  xwininfo -root -tree | awk -v size="$1" -v pos="$2" '/"Kestrove soft"/ && index($(NF - 1), size "+") == 1 && $NF == pos { found = 1 } END { exit !found }'
}
at() { poll 300 placed "$1" "$2" || fail "the window is not at $1 $2"; }
full_screen() { at 1600x1000 +0+0; }
alt_enter() { xkeys down Alt_L && xkeys key Return && xkeys up Alt_L; }
# ends HOW: the game ended in order after SIGTERM or Esc.
ends() {
  if [ "$1" = term ]; then kill -TERM "$game"; else xkeys key Escape; fi
  poll 300 eval '! kill -0 $game 2>/dev/null' || fail "the game did not end"
  wait "$game" || fail "the game ended with $?"
  game=""
}
# told: exactly one line about the settings file, naming it.
told() {
  [ "$(grep -c settings "$work/game.log")" -eq 1 ] && grep -q "^kestrove: .*$1" "$work/game.log" ||
    fail "not one line naming $1"
}

stored '# mine' 'windowed yes' 'scale 2'
start_game
at 1280x960 +160+20
ends term
unchanged

start_game --scale 1
at 640x480 +480+260
ends term
unchanged

# The player's Alt+Enter is stored, the command line's choices are not.
start_game --fullscreen --scale 1
full_screen
alt_enter
at 640x480 +480+260
alt_enter
full_screen
poll 300 grep -qx 'windowed no' "$settings" || fail "Alt+Enter was not stored: $(cat "$settings")"
ends esc
grep -qx 'scale 2' "$settings" || fail "the run's --scale was stored: $(cat "$settings")"
[ "$(ls -A "$(dirname "$settings")")" = settings ] || fail "left over: $(ls -A "$(dirname "$settings")")"

# A replay looks the same on every desktop.
stored 'windowed yes' 'scale 2'
printf 'wait 1000000\n' >"$work/long.script"
start_game --script "$work/long.script"
full_screen
alt_enter
at 640x480 +480+260
ends term
unchanged

printf 'windowed\0\1\2yes\nscale 2\n' >"$settings"
cp "$settings" "$work/before"
start_game
full_screen
ends term
told "$settings"
unchanged

# A configuration folder that cannot be made: said once, at the first Alt+Enter; play goes on.
touch "$work/plain"
XDG_CONFIG_HOME="$work/plain/config" start_game
full_screen
alt_enter
at 640x480 +480+260
poll 300 grep -q settings "$work/game.log" || fail "an unwritable folder was not said"
alt_enter
full_screen
ends esc
told "$work/plain/config/kestrove/settings"
echo ok
