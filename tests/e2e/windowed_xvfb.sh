#!/usr/bin/env bash
# Under a virtual X display the game opens its window, titled as the game names it.
set -euo pipefail
kestrove="$1"
for tool in Xvfb xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 0; }
done
work="$(mktemp -d)"
display=":$((90 + RANDOM % 400))"
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

# The desktop libraries (D-Bus, GL drivers) keep allocations to the end; our own leaks are
# checked by the headless runs.
DISPLAY=$display SDL_VIDEODRIVER=x11 ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "$kestrove" --windowed --frames 180 &
game=$!
found=""
for _ in $(seq 60); do
  if DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q '"Kestrove soft"'; then
    found=yes
    break
  fi
  sleep 0.1
done
wait $game
[ -n "$found" ]
echo ok
