# Sourced by the X tests. Each test owns its X server: the server picks a free display itself
# (-displayfd) and says which, so tests run side by side never meet, and it never resets (-noreset):
# a reset after a client leaves (xwininfo, xdotool) refuses whoever connects during it.
# Needs $work (the test's own folder). Everything waits on what it checks, within a bound.

# The game in a window remembers its mode in the configuration folder: the test's own, so neither
# the player's settings change what a test sees nor a test's Alt+Enter what the player gets.
export XDG_CONFIG_HOME="$work/config"

x_server=""

# poll TENTHS COMMAND...: true once COMMAND succeeds, trying every tenth of a second.
poll() {
  local i
  for ((i = 0; i < $1; i++)); do
    "${@:2}" && return 0
    sleep 0.1
  done
  return 1
}

# x_start WxHxD [XVFB OPTIONS...]: a server of that screen, ready, as $DISPLAY.
x_start() {
  rm -f "$work/display.txt"
  Xvfb -displayfd 3 -noreset -screen 0 "$1" "${@:2}" -nolisten tcp 3>"$work/display.txt" \
    >"$work/xvfb.log" 2>&1 &
  x_server=$!
  poll 300 test -s "$work/display.txt" || { cat "$work/xvfb.log" >&2; return 1; }
  export DISPLAY=":$(cat "$work/display.txt")"
  poll 300 xwininfo -root >/dev/null 2>&1
}

x_stop() {
  xkeys_stop
  [ -n "$x_server" ] || return 0
  kill "$x_server" 2>/dev/null || true
  wait "$x_server" 2>/dev/null || true
  x_server=""
}

# x_window_manager: openbox on the test's server, once it has taken the screen; its pid in
# $x_wm.
x_wm=""
x_window_manager() {
  openbox --sm-disable >/dev/null 2>&1 &
  x_wm=$!
  poll 300 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
}

# x_shown TITLE: a window of that name is mapped.
x_shown() { xwininfo -root -tree 2>/dev/null | grep -q "\"$1\""; }

# xkeys_start: a key client on the test's server (tests/e2e/xkeys.py); xkeys COMMAND sends it a
# command and waits for the server to have it.
xkeys_start() {
  coproc XKEYS { exec python3 "$(dirname "${BASH_SOURCE[0]}")/../xkeys.py"; }
}
xkeys_stop() {
  [ -n "${XKEYS_PID:-}" ] || return 0
  kill "$XKEYS_PID" 2>/dev/null || true
  wait "$XKEYS_PID" 2>/dev/null || true
}
xkeys() {
  local reply
  echo "$*" >&"${XKEYS[1]}"
  read -r -t 60 reply <&"${XKEYS[0]}" || { echo "xkeys: no answer to '$*'" >&2; return 1; }
  case "$reply" in
    error*) echo "xkeys: $reply" >&2; return 1 ;;
    ok) ;;
    *) echo "$reply" ;;
  esac
}

# game_shot DIR COMMAND...: the game's own screenshot, as the path of a whole PNG file: COMMAND
# presses F12 once; before its first picture the game has nothing to save, so then again.
game_shot() {
  local dir="$1" before file
  shots_in() { find "$dir" -name 'kestrove-*.png' | wc -l; }
  before="$(shots_in)"
  "${@:2}" >/dev/null || return 1
  for _ in $(seq 10); do
    [ "$before" -eq 0 ] || break
    poll 100 eval '[ "$(shots_in)" -gt 0 ]' && break
    "${@:2}" >/dev/null || return 1
  done
  poll 600 eval '[ "$(shots_in)" -gt "$before" ]' || return 1
  file="$(find "$dir" -name 'kestrove-*.png' | sort | tail -1)"
  poll 100 eval 'python3 -c "import sys; d = open(sys.argv[1], \"rb\").read(); sys.exit(d[-8:-4] != b\"IEND\")" "$file" 2>/dev/null' ||
    return 1
  echo "$file"
}
