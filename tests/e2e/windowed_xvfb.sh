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
source "$here/lib/x_test.bash"
game=""
trap 'kill $game 2>/dev/null || true; x_stop; rm -rf "$work"' EXIT
x_start 800x600x24

# The desktop libraries (D-Bus, GL drivers) keep allocations to the end; our own leaks are
# checked by the headless runs.
SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
  "$kestrove" --windowed --data "$data" --script "$here/demo.script" --transcript "$work/t.txt" &
game=$!
poll 600 x_shown 'Kestrove soft'
# The game, not an empty screen: a picture with many colours, while the demo plays (for seconds).
colourful() {
  import -window root "$work/screen.png" 2>/dev/null &&
    [ "$(identify -format '%k' "$work/screen.png")" -gt 500 ]
}
until colourful; do kill -0 "$game" 2>/dev/null || { echo "no picture while the game ran"; exit 1; }; done
if [ -n "${KESTROVE_KEEP_SCREENSHOT:-}" ]; then cp "$work/screen.png" "$KESTROVE_KEEP_SCREENSHOT"; fi
wait "$game" # the script's Esc closes the game with exit code 0
game=""
grep -q '^그건 제 이름인데요?$' "$work/t.txt"
echo ok
