#!/usr/bin/env bash
# What the game costs on a desktop: its CPU share on a virtual 1280x1024 screen (Xvfb, openbox),
# windowed 1x, windowed 2x and full screen, each standing for 10 s and then walking and firing
# for 10 s, for this tree beside an older build (by default b83be5b, the last one that uploaded
# and redrew the whole window through SDL's renderer on every flip); then a headless run of
# walking and firing, whole process, beside BM_FrameVolley's time per frame from the same build.
#   bench/desktop.sh [base-commit]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
base_commit="${1:-b83be5b}"
source "$src/scripts/deps.sh"
kestrove_need_packages "${KESTROVE_BUILD_PACKAGES[@]}" libbenchmark-dev xvfb xauth x11-utils \
  xdotool openbox

new="$src/build-bench"
base="$src/build-bench-base" # the older tree, built in the same layout so ccache can share
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$src"
  export CCACHE_NOHASHDIR=1
fi
echo "Building this tree and $base_commit (Release)..."
cmake -S "$src" -B "$new" -DKESTROVE_BENCH=ON -DKESTROVE_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$new" -j2 --target kestrove game_bench kestrove_data >/dev/null
want="$(git -C "$src" rev-parse "$base_commit")"
if [ "$(cat "$base/commit" 2>/dev/null)" != "$want" ]; then
  rm -rf "$base"
  mkdir -p "$base/src"
  git -C "$src" archive "$want" | tar -x -C "$base/src"
  echo "$want" >"$base/commit"
fi
cmake -S "$base/src" -B "$base/src/build-bench" -DKESTROVE_TESTS=OFF -DKESTROVE_DATA=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$base/src/build-bench" -j2 --target kestrove >/dev/null
data="$new/data"

work="$(mktemp -d)"
xvfb="" wm="" game=""
trap 'kill $game $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
# The benchmark's own server and window manager (as the X tests start theirs).
source "$src/tests/e2e/lib/x_test.bash"
x_start 1280x1024x24
xvfb=$x_server
x_window_manager
wm=$x_wm

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
share() { # share PID SECONDS [COMMAND...]: CPU share of PID, in %, while COMMAND runs (or a sleep)
  local pid=$1 secs=$2 t0 t1 w0 w1
  shift 2
  t0=$(ticks "$pid")
  w0=$(date +%s%N)
  if [ $# -gt 0 ]; then "$@"; else sleep "$secs"; fi
  t1=$(ticks "$pid")
  w1=$(date +%s%N)
  awk -v t="$((t1 - t0))" -v hz="$(getconf CLK_TCK)" -v ns="$((w1 - w0))" \
    'BEGIN { printf "%5.1f %%", 100 * t / hz / (ns / 1e9) }'
}
walk_and_fire() { # 10 s: left and right by turns, Z held
  xdotool keydown z
  for _ in 1 2 3 4 5; do
    xdotool keydown Left sleep 1 keyup Left keydown Right sleep 1 keyup Right
  done
  xdotool keyup z
}
measure() { # measure BINARY ARGS...: "standing walking"
  (cd "$work" && exec "$1" --data "$data" "${@:2}" >/dev/null 2>&1) &
  game=$!
  poll 300 x_shown 'Kestrove soft'
  sleep 2 # past start-up, which is not what is measured
  local standing walking
  standing=$(share $game 10)
  walking=$(share $game 10 walk_and_fire)
  kill $game
  wait $game 2>/dev/null || true
  game=""
  echo "$standing   $walking"
}

printf '\nCPU share of one core (standing 10 s, walking and firing 10 s)\n'
printf '%-22s %-22s %-22s\n' case "before ($base_commit)" after
for args in "--windowed" "--windowed --scale 2" ""; do
  # shellcheck disable=SC2086
  before=$(measure "$base/src/build-bench/kestrove" $args)
  # shellcheck disable=SC2086
  after=$(measure "$new/kestrove" $args)
  printf '%-22s %-22s %-22s\n' "${args:-full screen}" "$before" "$after"
done
echo "aims: standing 4 % at 1x, 8 % at 2x; walking and firing 8 % at 1x"

# The headless path: the whole process against the frame benchmark, in the same run, by turns
# three times (one run of either is at the mercy of a neighbour's burst), medians compared.
frames=1800
printf 'down Left\ndown Z\nwait %d\nup Left\nup Z\n' "$frames" >"$work/walk.script"
whole=() volley=()
for _ in 1 2 3; do
  w0=$(date +%s%N)
  (cd "$data" && "$new/kestrove" --headless --script "$work/walk.script" >/dev/null 2>&1)
  w1=$(date +%s%N)
  whole+=("$(((w1 - w0) / 1000 / frames))")
  volley+=("$(KESTROVE_DATA="$data" "$new/bench/game_bench" --benchmark_filter='^BM_FrameVolley$' \
    --benchmark_format=csv 2>/dev/null | awk -F, '/^"?BM_FrameVolley/ { printf "%d", $3 }')")
done
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
awk -v f="$(median "${whole[@]}")" -v v="$(median "${volley[@]}")" -v all="${whole[*]} / ${volley[*]}" 'BEGIN {
  printf "\nheadless walking and firing: %d us a frame (whole process); BM_FrameVolley: %d us; ratio %.2f (aim 1.3)\n", f, v, f / v
  printf "three turns (us, whole process / BM_FrameVolley): %s\n", all
}'
