# A fresh Wine prefix for one install test script, which sources this file.
# `fresh_prefix LOADER` (WINEARCH set first) makes $work, a scratch folder, and
# WINEPREFIX, a new prefix in it, and keeps one Wine process reading a pipe so
# that the prefix's services stay up until the script ends; on exit Wine is
# stopped and the folder removed.

# The Wine loaders as the tests start them: through tests/support/wine-start,
# which starts again a process Wine failed to start.
wine32=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)/wine-start-32
wine64=${wine32%32}64

# `bitness ARCH` (x86 or x64) sets WINEARCH, $platform (the same: win32 or
# win64), $bits and $loader, the Wine that starts that bitness's programs.
bitness() {
  if [ "$1" = x64 ]; then
    loader=$wine64 bits=64
  else
    loader=$wine32 bits=32
  fi
  export WINEARCH=win$bits
  platform=$WINEARCH
}

# `cache_value BUILD NAME`: NAME's value in the CMake cache of BUILD.
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }

# `package_arguments ARCH BUILD [OTHER_BUILD]`, as the package tests are given
# them: sets $arch, $build and $other_build (absolute; empty when not given),
# $root, the package's $version, $dist, $bundle and $msi, and the bitness.
package_arguments() {
  arch=$1
  build=$(cd "$2" && pwd)
  other_build=${3:+$(cd "$3" && pwd)}
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  version=$(cache_value "$build" CMAKE_PROJECT_VERSION)
  dist=$(cache_value "$build" CLASP_DIST_DIR)
  bundle=$dist/Clasp-Holdfast-$version-$arch
  msi=$bundle.msi
  bitness "$arch"
}

prefix_cleanup() {
  exec 3>&- 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}

fresh_prefix() {
  local loader=$1
  work=$(mktemp -d)
  export WINEPREFIX=$work/prefix WINEDEBUG=-all
  trap prefix_cleanup EXIT
  "$loader" wineboot -i >/dev/null 2>&1
  mkfifo "$work/keep"
  "$loader" cmd <"$work/keep" >/dev/null 2>&1 &
  exec 3>"$work/keep"
}

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

# `share_classes LOADER`: both registry views share the ProgID key, as on 64-bit
# Windows; Wine's installer otherwise keeps a 32-bit component's ProgID in a
# copy of its own that 64-bit programs never see (see the .inf file).
share_classes() {
  "$1" rundll32 setupapi.dll,InstallHinfSection DefaultInstall 128 \
    "$(windows_path "$(dirname "${BASH_SOURCE[0]}")/shared_classes.inf")" </dev/null >/dev/null 2>&1
}
