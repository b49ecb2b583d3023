# Shared by the scripts: package installation and the build.
# shellcheck shell=bash
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$top/build"

# What building Quorvale needs.
build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev
  libgl-dev libjpeg62-turbo-dev googletest libbenchmark-dev fonts-dejavu-core fonts-liberation2
  fonts-noto-color-emoji)
# What the tests need on top.
test_packages=(xvfb xauth x11-utils qt6-base-private-dev wine wine64 g++-mingw-w64-x86-64-posix qstat clang libclang-rt-14-dev)

# Installs the Debian packages that are not installed yet (apt-get, no recommends).
ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures (once, or again when given options: -DNAME=VALUE...) and builds into $build.
build_all() {
  local type=${1:-RelWithDebInfo}
  shift || true
  if [ ! -f "$build/build.ninja" ] || [ $# -gt 0 ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
  fi
  cmake --build "$build"
}

# Configures build/ (once) and builds only the targets named.
build_targets() {
  if [ ! -f "$build/build.ninja" ]; then
    ensure_packages "${build_packages[@]}"
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$build" --target "$@"
}

# Where scripts/windows-qt keeps the cross-built Qt and libjpeg for Windows.
windows_toolchain_dir() {
  echo "${XDG_CACHE_HOME:-$HOME/.cache}/quorvale/windows-qt-6.4.2-mingw64"
}

# The Windows build of the whole program, against the toolchain above, in build-windows-qt/.
wqbuild="$top/build-windows-qt"
require_windows_toolchain() {
  if ! "$top/scripts/windows-qt" --check; then
    echo "The Windows toolchain is not built yet: run scripts/windows-qt (about 25 minutes, once)."
    exit 1
  fi
  ensure_packages cmake ninja-build googletest wine wine64 g++-mingw-w64-x86-64-posix
}
windows_qt_build() {
  local qt
  qt=$(windows_toolchain_dir)
  if [ ! -f "$wqbuild/build.ninja" ]; then
    cmake -S "$top" -B "$wqbuild" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
      -DQT_CHAINLOAD_TOOLCHAIN_FILE="$top/cmake/mingw-w64-compilers.cmake"
  fi
  cmake --build "$wqbuild" --target "$@"
}
# The mingw runtime the Windows build's programs and Qt need beside them.
windows_runtime_dlls() {
  echo /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll \
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll
}
