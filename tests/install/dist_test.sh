#!/usr/bin/env bash
# The release in the dist folder, as an integrator receives it: every artefact
# there and of the right kind, the debug symbols those of the shipped DLLs,
# and SHA256SUMS covering every file and verifying.
# Usage: dist_test.sh BUILD_DIR (either bitness's: it names the dist folder)
set -uo pipefail

build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
dist=$(cache_value CLASP_DIST_DIR)
objdump=x86_64-w64-mingw32-objdump
objcopy=x86_64-w64-mingw32-objcopy
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

suite=dist
. "$root/tests/install/checks.sh"

# path in dist | what it must be: msi, pe32 or pe32+ (objdump's format), manifest ARCH, file
artefacts=(
  "Clasp-Holdfast-$version-x86.msi|msi"
  "Clasp-Holdfast-$version-x64.msi|msi"
  "Clasp-Holdfast-$version-x86/Holdfast.dll|pei-i386"
  "Clasp-Holdfast-$version-x86/Clasp.Holdfast.manifest|manifest x86"
  "Clasp-Holdfast-$version-x64/Holdfast.dll|pei-x86-64"
  "Clasp-Holdfast-$version-x64/Clasp.Holdfast.manifest|manifest amd64"
  "clasp-check-$version-x86/clasp-check.exe|pei-i386"
  "clasp-check-$version-x64/clasp-check.exe|pei-x86-64"
  "Clasp-Holdfast-$version-debug-symbols.tar.gz|file"
  "validation-kit/validate.cmd|file"
  "SHA256SUMS|file"
)

test_artefacts() {
  local row path kind status=0
  for row in "${artefacts[@]}"; do
    IFS='|' read -r path kind <<<"$row"
    local file=$dist/$path
    [ -s "$file" ] || { echo "$path: missing or empty"; status=1; continue; }
    case $kind in
      msi)
        msiinfo export "$file" File | grep -q "clasp-check.exe" ||
          { echo "$path: no clasp-check.exe in the package"; status=1; } ;;
      pei-*)
        $objdump -f "$file" | grep -q "file format $kind\$" ||
          { echo "$path: not $kind"; $objdump -f "$file" | head -3; status=1; } ;;
      manifest*)
        grep -q "name=\"Clasp.Holdfast\" version=\"$version.0\" processorArchitecture=\"${kind#manifest }\"" "$file" ||
          { echo "$path: not the $version.0 ${kind#manifest } assembly"; status=1; } ;;
    esac
  done
  return $status
}

# The archive holds each DLL's symbols, and the DLL's debug link names them
# by their checksum: a debugger then takes them for that very build.
test_symbols_fit_the_dlls() {
  tar -xzf "$dist/Clasp-Holdfast-$version-debug-symbols.tar.gz" -C "$work" || return 1
  local arch
  for arch in x86 x64; do
    local symbols=$work/$arch/Holdfast.dll.debug dll=$dist/Clasp-Holdfast-$version-$arch/Holdfast.dll
    $objdump -h "$symbols" | grep -q '\.debug_info' || { echo "$arch: no debug information"; return 1; }
    $objcopy --dump-section .gnu_debuglink="$work/$arch.link" "$dll" "$work/$arch.ignored" ||
      { echo "$arch: the DLL has no debug link"; return 1; }
    python3 - "$work/$arch.link" "$symbols" <<'PYTHON' || { echo "$arch: symbols of another build"; return 1; }
import struct, sys, zlib
link = open(sys.argv[1], "rb").read()
name = link.split(b"\0", 1)[0].decode()
crc = struct.unpack("<I", link[-4:])[0]
actual = zlib.crc32(open(sys.argv[2], "rb").read())
assert name == "Holdfast.dll.debug", name
assert crc == actual, f"link {crc:08x}, file {actual:08x}"
PYTHON
  done
}

test_checksums_cover_and_verify() {
  (cd "$dist" && sha256sum --strict --quiet -c SHA256SUMS) || return 1
  local listed present
  listed=$(sed 's/^[0-9a-f]*  //' "$dist/SHA256SUMS" | LC_ALL=C sort)
  present=$(cd "$dist" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort)
  diff <(echo "$listed") <(echo "$present") || { echo "SHA256SUMS does not cover the folder"; return 1; }
}

# The host contract travels with the release exactly when the tree has one.
test_contract_when_the_tree_has_one() {
  local contract=$root/contract/host-contract.json shipped=$dist/host-contract.json
  if [ -f "$contract" ]; then
    cmp "$contract" "$shipped" || { echo "the release lacks the tree's host contract"; return 1; }
  elif [ -e "$shipped" ]; then
    echo "the release has a host contract the tree does not"
    return 1
  fi
}

run artefacts_present_and_of_their_kind test_artefacts
run host_contract_when_the_tree_has_one test_contract_when_the_tree_has_one
run symbols_fit_the_shipped_dlls test_symbols_fit_the_dlls
run checksums_cover_every_file_and_verify test_checksums_cover_and_verify

summary
