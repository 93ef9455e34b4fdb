#!/usr/bin/env bash
# Completes the release in the dist folder from both bitnesses' builds, each
# of which has already put its package, its registration-free bundle and its
# clasp-check there and built what the kit carries (target release_parts):
# adds the debug symbols of both DLLs in one archive, the validation kit and
# the host contract (contract/host-contract.json, when the tree has one),
# then SHA256SUMS over every file. scripts/release does it all in one.
# Usage: packaging/assemble_dist.sh WIN32_BUILD WIN64_BUILD
set -euo pipefail

win32=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
version=$(cache_value "$win32" CMAKE_PROJECT_VERSION)
dist=$(cache_value "$win32" CLASP_DIST_DIR)
[ "$(cache_value "$win64" CLASP_DIST_DIR)" = "$dist" ] ||
  { echo "assemble_dist: the two builds put their packages in different folders" >&2; exit 1; }

# The symbols, named by bitness; the same bytes give the same archive.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/x86" "$work/x64"
cp "$win32/Holdfast.dll.debug" "$work/x86/"
cp "$win64/Holdfast.dll.debug" "$work/x64/"
tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -C "$work" -cf - x86 x64 |
  gzip -n -9 >"$dist/Clasp-Holdfast-$version-debug-symbols.tar.gz"

"$root/packaging/kit/assemble_kit.sh" "$win32" "$win64" "$dist/validation-kit"

# The contract a host is written against, as a file a host's own checks can
# read, once the tree has one; until then the release goes without.
contract=$root/contract/host-contract.json
rm -f "$dist/host-contract.json"
if [ -f "$contract" ]; then
  cp "$contract" "$dist/host-contract.json"
fi

# Over everything but itself, in a fixed order, as sha256sum -c reads it.
rm -f "$dist/SHA256SUMS"
(cd "$dist" && find . -type f ! -name SHA256SUMS -printf '%P\0' | LC_ALL=C sort -z |
   xargs -0 sha256sum) >"$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$dist/SHA256SUMS"
echo "assemble_dist: $(wc -l <"$dist/SHA256SUMS") files in $dist, SHA256SUMS written"
