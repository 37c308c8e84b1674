# Sourced by the play and test scripts: installs the Debian packages the build needs, only when
# one is missing, so a second run costs nothing.
kestrove_need_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

KESTROVE_BUILD_PACKAGES=(cmake make g++ pkg-config libsdl2-dev unifont libturbojpeg0-dev)
# scripts/check: the include rules and the formatting.
KESTROVE_CHECK_PACKAGES=(python3 clang-format)
# The X tests drive the game with real key events, with and without a window manager;
# python3 reads the screens they leave.
KESTROVE_TEST_PACKAGES=(libgtest-dev libgmock-dev xvfb xauth x11-utils imagemagick xdotool openbox python3)
# The fuzz harnesses need clang with its libFuzzer runtime; llvm-symbolizer names the lines of
# a finding.
KESTROVE_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev llvm-14)
# The native Windows build and its run under Wine on a virtual display (scripts/test-windows).
KESTROVE_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 libwine fonts-wine xvfb xauth x11-utils libgl1 libglx-mesa0 libgl1-mesa-dri
  libxrandr2 libxrender1 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxxf86vm1 libxfixes3
  python3)
# The release packages (scripts/package) and their checks (scripts/test-packages).
KESTROVE_PACKAGE_PACKAGES=(dpkg-dev debhelper python3 lintian desktop-file-utils appstream man-db)
# The browser build and its tests (scripts/web, scripts/test-web): Emscripten and Chromium from
# Debian, puppeteer-core from the npm registry at the version in tests/web/package-lock.json.
KESTROVE_WEB_PACKAGES=(emscripten chromium nodejs)
# Cross-building for arm64 and running it under qemu (scripts/test-arm64, scripts/package):
# Debian's multiarch archive beside the machine's own.
KESTROVE_ARM64_PACKAGES=(crossbuild-essential-arm64 qemu-user-static file libsdl2-dev:arm64
  libturbojpeg0-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64)
kestrove_arm64_tools() {
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture arm64
  fi
  kestrove_need_packages "${KESTROVE_BUILD_PACKAGES[@]}" "${KESTROVE_ARM64_PACKAGES[@]}"
}

kestrove_web_tools() {
  local root="$1"
  kestrove_need_packages "${KESTROVE_BUILD_PACKAGES[@]}" "${KESTROVE_WEB_PACKAGES[@]}"
  # A Node.js from outside Debian brings its own npm; Debian's comes as a package.
  command -v npm >/dev/null || kestrove_need_packages npm
  # Debian's emcc loads acorn through Node, which finds Debian's modules only here.
  export NODE_PATH=/usr/share/nodejs
  local web="$root/tests/web"
  if [ ! -f "$web/node_modules/.package-lock.json" ] ||
    [ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]; then
    (cd "$web" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
  fi
}
# Builds the game for Linux (the data files) and the site into build-web/site.
kestrove_build_site() {
  local root="$1" jobs
  jobs="$(nproc)"
  if [ -f "$root/build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$root/build" >/dev/null
  else
    cmake -S "$root" -B "$root/build" -DKESTROVE_TESTS=OFF >/dev/null
  fi
  cmake --build "$root/build" -j"$jobs"
  emcmake cmake -S "$root" -B "$root/build-web" -DKESTROVE_TESTS=OFF -DKESTROVE_DATA=OFF \
    -DCMAKE_BUILD_TYPE=Release -DKESTROVE_WEB_DATA="$root/build/data" >/dev/null
  cmake --build "$root/build-web" -j"$jobs"
}
