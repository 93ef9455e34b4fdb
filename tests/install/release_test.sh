#!/usr/bin/env bash
# The release command run as a release engineer runs it: in a clean copy of
# this tree (its files, no build folder), `scripts/release OUT_DIR` alone must
# produce the whole release, with the host contract once the tree has one,
# and SHA256SUMS there must verify. The copy lies under build/ so that a
# compiler cache (CMAKE_CXX_COMPILER_LAUNCHER=ccache) serves it from the
# builds already made; without one it builds everything again. The
# installation guide gives the command as the script's usage line does.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
suite=release
. "$root/tests/install/checks.sh"

copy=$root/build/release-test
work=$(mktemp -d)
trap 'rm -rf "$copy" "$work"' EXIT
version=$(sed -n 's/^project(Clasp VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# The tree's own files, as a checkout of it would have them.
clean_copy() {
  rm -rf "$copy"
  mkdir -p "$copy"
  if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
       while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
       tar --null -T - -cf -) | tar -xf - -C "$copy"
  else
    tar -C "$root" --exclude=./build -cf - . | tar -xf - -C "$copy"
  fi
  # A host contract, should the tree not have one yet: the release carries it.
  if [ ! -f "$copy/contract/host-contract.json" ]; then
    mkdir -p "$copy/contract"
    printf '{"contract": "release test"}\n' >"$copy/contract/host-contract.json"
  fi
}

test_release_from_a_clean_tree() {
  clean_copy
  [ ! -e "$copy/build" ] || { echo "the copy has a build folder"; return 1; }
  # The compiler cache hashes no folder names: the copy's objects are the tree's.
  CCACHE_NOHASHDIR=1 "$copy/scripts/release" "$work/out" >"$work/release.log" 2>&1 ||
    { echo "scripts/release failed:"; tail -30 "$work/release.log"; return 1; }
  (cd "$work/out" && sha256sum --strict --quiet -c SHA256SUMS) || return 1
  local path
  for path in "Clasp-Holdfast-$version-x86.msi" "Clasp-Holdfast-$version-x64.msi" \
      "Clasp-Holdfast-$version-x86/Holdfast.dll" "Clasp-Holdfast-$version-x64/Holdfast.dll" \
      "Clasp-Holdfast-$version-x86/Clasp.Holdfast.manifest" \
      "Clasp-Holdfast-$version-x64/Clasp.Holdfast.manifest" \
      "clasp-check-$version-x86/clasp-check.exe" "clasp-check-$version-x64/clasp-check.exe" \
      "Clasp-Holdfast-$version-debug-symbols.tar.gz" "validation-kit/validate.cmd" \
      "validation-kit/x64/holdfast_apartment_tests.exe" "host-contract.json"; do
    grep -qE "^[0-9a-f]{64}  $path\$" "$work/out/SHA256SUMS" ||
      { echo "SHA256SUMS lacks $path"; return 1; }
  done
  cmp "$copy/contract/host-contract.json" "$work/out/host-contract.json" || return 1
}

test_guide_gives_the_usage() {
  local guide=docs/install.md usage
  usage=$(sed -n 's/^# Usage: //p' "$root/scripts/release")
  [ -n "$usage" ] || { echo "scripts/release has no usage line"; return 1; }
  grep -qF "\`$usage\`" "$root/$guide" || { echo "$guide lacks \`$usage\`"; return 1; }
}

run guide_gives_the_usage test_guide_gives_the_usage
run release_from_a_clean_tree test_release_from_a_clean_tree

summary
