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
