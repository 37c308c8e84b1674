# Sourced by the scripts that run the Windows program. kestrove_start_wine DIR starts a
# 640x480x24 virtual X display (Wine cannot switch a larger one to 640 x 480) and makes a fresh
# Wine prefix in DIR/prefix, exporting what wine needs; kestrove_stop_wine ends both.
kestrove_wine_xvfb=""

kestrove_start_wine() {
  local work="$1" display=""
  # The server picks a free display itself and says which; it must not reset between Wine's
  # clients, or one that connects during the reset is refused.
  rm -f "$work/display.txt"
  Xvfb -displayfd 3 -noreset -screen 0 640x480x24 -nolisten tcp 3>"$work/display.txt" \
    >"$work/xvfb.log" 2>&1 &
  kestrove_wine_xvfb=$!
  for _ in $(seq 300); do
    [ -s "$work/display.txt" ] && { display=":$(cat "$work/display.txt")"; break; }
    kill -0 "$kestrove_wine_xvfb" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$display" ] || { echo "no virtual display could be started"; cat "$work/xvfb.log"; return 1; }
  export DISPLAY="$display" WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
  # No .NET or HTML engine: the game needs neither, and their installers would ask.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; return 1; }
  wineserver -w
}

kestrove_stop_wine() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  [ -n "$kestrove_wine_xvfb" ] && kill "$kestrove_wine_xvfb" 2>/dev/null || true
  kestrove_wine_xvfb=""
}
