#!/usr/bin/env bash
# Both bitnesses on one 64-bit terminal, under Wine in a fresh win64 prefix
# (it has both registry views), and the update of a running terminal:
# - both DLLs registered, then either removed with regsvr32 /u, in both
#   orders; both packages installed, then either removed, in both orders.
#   The survivor still creates Clasp.Holdfast and runs a capture from its own
#   bitness's cscript and C++ client; after the second removal nothing is left.
# - a host holding the DLL while a newer package installs: the installer
#   answers 3010, the old file stays while the host runs, and the newer file
#   is in place after the restart (wineboot -r applies the pending rename).
# Usage: side_by_side_test.sh BUILD_DIR_WIN64 BUILD_DIR_WIN32
# Prints "ok - name" or "FAIL - name" per test and a ctest-style count; exits
# non-zero when any test failed.
set -uo pipefail

declare -A build=([64]=$(cd "$1" && pwd) [32]=$(cd "$2" && pwd))
root=$(cd "$(dirname "$0")/../.." && pwd)
declare -A loader=([64]=$root/tests/support/wine-start-64 [32]=$root/tests/support/wine-start-32)
declare -A arch=([64]=x64 [32]=x86)
declare -A folder=([64]="Program Files/Clasp" [32]="Program Files (x86)/Clasp")

cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }
version=$(cache_value "${build[64]}" CMAKE_PROJECT_VERSION)
newer=$(cache_value "${build[64]}" CLASP_NEWER_TEST_VERSION)
dist=$(cache_value "${build[64]}" CLASP_DIST_DIR)
declare -A msi newer_msi bundle newer_bundle
for bits in 64 32; do
  msi[$bits]=$dist/Clasp-Holdfast-$version-${arch[$bits]}.msi
  bundle[$bits]=$dist/Clasp-Holdfast-$version-${arch[$bits]}
  newer_msi[$bits]=${build[$bits]}/newer-package/Clasp-Holdfast-$newer-${arch[$bits]}.msi
  newer_bundle[$bits]=${build[$bits]}/newer-package/Clasp-Holdfast-$newer-${arch[$bits]}
  for file in "${msi[$bits]}" "${newer_msi[$bits]}" "${build[$bits]}/Holdfast.dll" \
      "${build[$bits]}/holdfast_server_tests.exe"; do
    [ -f "$file" ] || { echo "side_by_side: $file is missing (build msi, msi_newer and holdfast_server_tests)"; exit 1; }
  done
done

# The identities, written out here on purpose: a change in the table must fail.
clsid='{5D3B8000-FB87-4881-A317-F716839E71F7}'
libid='{57077DE8-E73B-43A7-BF84-57D466CC9376}'

export WINEARCH=win64
. "$root/tests/install/prefix.sh"
echo "side_by_side: creating a fresh Wine prefix"
fresh_prefix "${loader[64]}"
share_classes "${loader[64]}"
release_file=$WINEPREFIX/drive_c/clasp-release-host

# The ways in and out, for one bitness.
register() { "${loader[$1]}" regsvr32 /s "$(windows_path "${build[$1]}/Holdfast.dll")" </dev/null >/dev/null 2>&1; }
unregister() { "${loader[$1]}" regsvr32 /s /u "$(windows_path "${build[$1]}/Holdfast.dll")" </dev/null >/dev/null 2>&1; }
msi_install() { "${loader[$1]}" msiexec /i "$(windows_path "${msi[$1]}")" /qn </dev/null >/dev/null 2>&1; }
msi_uninstall() { "${loader[$1]}" msiexec /x "$(windows_path "${msi[$1]}")" /qn </dev/null >/dev/null 2>&1; }

# A key as a program of that bitness sees it.
key_exists() { "${loader[$1]}" reg query "$2" </dev/null >/dev/null 2>&1; }

# A capture from this bitness's cscript (the example a user copies) and from
# its C++ client (the test client's capture, every host access compared).
captures() {
  bash "$root/tests/server/run_vbscript.sh" "${loader[$1]}" "$root/examples/host.vbs" \
    "$root/tests/server/host_vbs.expected" || { echo "$1-bit cscript: no capture"; return 1; }
  local output
  output=$(cd "${build[$1]}" && "${loader[$1]}" ./holdfast_server_tests.exe \
    --gtest_filter='Bindings/HostCalls.CaptureSendsExactlyTheseVariants/*' </dev/null 2>&1)
  grep -q "PASSED.* 2 tests" <<<"$output" || { echo "$1-bit C++ client:"; echo "$output" | tail -20; return 1; }
}

# One order: both in, FIRST out, the survivor captures, the other out, nothing left.
side_by_side() {
  local add=$1 remove=$2 first=$3 second=$4
  "$add" 64 && "$add" 32 || { echo "$add failed"; return 1; }
  captures 64 && captures 32 || return 1
  "$remove" "$first" || { echo "$remove $first failed"; return 1; }
  ! key_exists "$first" "HKCR\\CLSID\\$clsid\\InprocServer32" ||
    { echo "the $first-bit class is still registered"; return 1; }
  captures "$second" || return 1
  "$remove" "$second" || { echo "$remove $second failed"; return 1; }
  local key bits
  for key in 'HKCR\Clasp.Holdfast' "HKCR\\TypeLib\\$libid" "HKCR\\CLSID\\$clsid"; do
    for bits in 64 32; do
      ! key_exists "$bits" "$key" || { echo "left for $bits-bit programs: $key"; return 1; }
    done
  done
}

# A host holds the DLL while the newer package installs over the current one.
update_in_place() {
  local bits=$1 installed=$WINEPREFIX/drive_c/${folder[$1]}/Holdfast.dll
  msi_install "$bits" || { echo "the current package did not install"; return 1; }
  rm -f "$release_file"
  # Each case's host writes to a file of its own, made afresh: the redirection
  # below happens in the background, so a wait begun on a file an earlier
  # host wrote could read that host's "holding" and stop at once.
  local out=$work/host-$bits.out
  rm -f "$out"
  "${loader[$bits]}" cscript //nologo "$(windows_path "$root/tests/install/holding_host.vbs")" \
    </dev/null >"$out" 2>&1 &
  local host=$! waited
  # A minute on an idle machine, stretched like every other time limit.
  for waited in $(seq $((60 * ${CLASP_TIMEOUT_FACTOR:-2}))); do
    grep -qs holding "$out" && break
    sleep 1
  done
  grep -qs holding "$out" || {
    echo "the host did not create the component; it wrote:"
    sed 's/^/      /' "$out" 2>/dev/null
    return 1
  }
  # cmd reports the installer's whole exit code; a process status keeps only its low byte.
  local answer
  answer=$("${loader[$bits]}" cmd /v:on /c \
    "msiexec /i $(windows_path "${newer_msi[$bits]}") /qn & echo installer !errorlevel!" \
    </dev/null 2>/dev/null | tr -d '\r')
  [ "$answer" = "installer 3010" ] || { echo "newer package: $answer, expected 3010"; return 1; }
  cmp -s "$installed" "${bundle[$bits]}/Holdfast.dll" ||
    { echo "the file in use was replaced at once"; return 1; }
  touch "$release_file"
  wait "$host"
  grep -q released "$out" || { echo "the host did not end as it should"; return 1; }
  "${loader[64]}" wineboot -r </dev/null >/dev/null 2>&1
  cmp -s "$installed" "${newer_bundle[$bits]}/Holdfast.dll" ||
    { echo "after the restart the newer file is not in place"; return 1; }
  captures "$bits" || return 1
  "${loader[$bits]}" msiexec /x "$(windows_path "${newer_msi[$bits]}")" /qn </dev/null >/dev/null 2>&1 &&
    [ ! -e "$installed" ] || { echo "the newer package did not uninstall"; return 1; }
}

suite=side_by_side
. "$root/tests/install/checks.sh"

# Each row: the test's name, then its function and arguments.
cases=(
  "regsvr32_remove_32_then_64|side_by_side register unregister 32 64"
  "regsvr32_remove_64_then_32|side_by_side register unregister 64 32"
  "msi_remove_x86_then_x64|side_by_side msi_install msi_uninstall 32 64"
  "msi_remove_x64_then_x86|side_by_side msi_install msi_uninstall 64 32"
  "update_x64_over_running_host|update_in_place 64"
  "update_x86_over_running_host|update_in_place 32"
)
for row in "${cases[@]}"; do
  read -r -a command <<<"${row#*|}"
  run "${row%%|*}" "${command[@]}"
done

summary
