#!/usr/bin/env bash
# The include check passes on the tree and catches each rule broken in a small copy of src/.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
check="$root/scripts/check_includes.py"
python3 "$check" "$root" || { echo "FAILED: the tree breaks an include rule"; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
# expect CASE MESSAGE: the tree in $work/CASE fails with MESSAGE.
expect() {
  local out
  if out="$(python3 "$check" "$work/$1" 2>&1)"; then
    echo "FAILED: $1 passed the check"; status=1
  elif ! grep -qF "$2" <<<"$out"; then
    echo "FAILED: $1 gave: $out"; status=1
  fi
}
make_tree() {
  mkdir -p "$work/$1"/{src/app,src/world,src/platform/substitute/win32,tests/support}
  touch "$work/$1"/src/platform/substitute/win32/windows_subset.h "$work/$1"/tests/support/x.h
  echo '#include "world/Map.h"' >"$work/$1/src/app/Game.cpp"
  echo '' >"$work/$1/src/world/Map.h"
}
make_tree circle
echo '#include "app/Game.h"' >"$work/circle/src/world/Map.cpp"
touch "$work/circle/src/app/Game.h"
expect circle "circle: src/app/Game -> src/world/Map -> src/app/Game"
make_tree tests
echo '#include "support/x.h"' >"$work/tests/src/world/Map.h"
expect tests "src/world/Map.h: includes test code tests/support/x.h"
make_tree standin
echo '#include "../platform/substitute/win32/windows_subset.h"' >"$work/standin/src/world/Map.h"
expect standin "includes the stand-in-only header src/platform/substitute/win32/windows_subset.h"
exit $status
