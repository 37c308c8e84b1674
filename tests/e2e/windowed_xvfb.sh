#!/usr/bin/env bash
# Under a virtual X display the game opens its window, plays the demo script in it and ends by
# itself; a screenshot of the display shows the game.
set -euo pipefail
kestrove="$1"
data="$2/data"
here="$(cd "$(dirname "$0")" && pwd)"
for tool in Xvfb xwininfo import identify; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
display=":$((90 + RANDOM % 400))"
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

# The desktop libraries (D-Bus, GL drivers) keep allocations to the end; our own leaks are
# checked by the headless runs.
DISPLAY=$display SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  "$kestrove" --windowed --data "$data" --script "$here/demo.script" --transcript "$work/t.txt" &
game=$!
found=""
for _ in $(seq 100); do
  if DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q '"Kestrove soft"'; then
    found=yes
    break
  fi
  sleep 0.1
done
sleep 2
DISPLAY=$display import -window root "$work/screen.png"
wait $game # the script's Esc closes the game with exit code 0
[ -n "$found" ]
grep -q '^그건 제 이름인데요?$' "$work/t.txt"
# The game, not an empty screen: a picture with many colours.
[ "$(identify -format '%k' "$work/screen.png")" -gt 500 ]
if [ -n "${KESTROVE_KEEP_SCREENSHOT:-}" ]; then cp "$work/screen.png" "$KESTROVE_KEEP_SCREENSHOT"; fi
echo ok
