#!/usr/bin/env bash
# Installation tests of one bitness under Wine, in a fresh prefix of their own:
# registration-free use where nothing is registered, the package installed
# over an older one, the registry it leaves against regsvr32's, a card capture
# from cscript, the registration check in each broken state, and removal.
# Given the other bitness's build too (x64 only), the check is also run where
# the component is registered for the other bitness alone, and where the
# 32-bit registration points at a 64-bit DLL, and with both packages installed.
# Usage: install_test.sh x86|x64 BUILD_DIR [OTHER_BUILD_DIR]
# Prints "ok - name" or "FAIL - name" per test and a ctest-style count; exits
# non-zero when any test failed.
set -uo pipefail

. "$(dirname "$0")/prefix.sh"
package_arguments "$@"
older=$(cache_value "$build" CLASP_OLDER_TEST_VERSION)
older_msi=$build/older-package/Clasp-Holdfast-$older-$arch.msi

for file in "$msi" "$older_msi" "$bundle/Holdfast.dll" "$build/clasp-check.exe"; do
  [ -f "$file" ] || { echo "install.$arch: $file is missing (build the msi and msi_older targets)"; exit 1; }
done


# The identities, written out here on purpose: a change in the table must fail.
clsid='{5D3B8000-FB87-4881-A317-F716839E71F7}'
libid='{57077DE8-E73B-43A7-BF84-57D466CC9376}'
owned_keys=(
  "HKCR\\CLSID\\$clsid"
  'HKCR\Clasp.Holdfast'
  "HKCR\\TypeLib\\$libid"
  'HKCR\Interface\{9973A428-EA4E-45BA-9393-22DEADA18D8E}'
  'HKCR\Interface\{44965D7D-2220-4EAA-8C31-9F194DF3F3C8}'
  'HKCR\Interface\{7ED3A0C2-565A-4A1A-A832-84156A9CC18F}'
)
installed_dll='C:\Program Files\Clasp\Holdfast.dll'
typelib_key="HKCR\\TypeLib\\$libid\\1.2\\409\\$platform"

echo "install.$arch: creating a fresh Wine prefix"
fresh_prefix "$loader"
[ "$arch" = x64 ] && share_classes "$loader"
program_files=$WINEPREFIX/drive_c/Program\ Files/Clasp

msiexec() { "$loader" msiexec "$1" "$(windows_path "$2")" /qn </dev/null >/dev/null 2>&1; }
regsvr32() { "$loader" regsvr32 /s "$@" </dev/null >/dev/null 2>&1; }
reg() { "$loader" reg "$@" </dev/null >/dev/null 2>&1; }

# The keys below the ones registration owns, exported whole, as text.
registry_dump() {
  local key
  for key in "${owned_keys[@]}"; do
    if "$loader" reg export "$key" "$work/key.reg" /y </dev/null >/dev/null 2>&1; then
      iconv -f UTF-16 -t UTF-8 "$work/key.reg" | tr -d '\r' | sed 1d
    else
      echo "[absent: $key]"
    fi
  done
}

# Products the installer knows by our name.
installed_products() {
  "$loader" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s \
    </dev/null 2>/dev/null | tr -d '\r' | grep -c "DisplayName.*Clasp Holdfast ($arch)"
}

manifest_version() {
  sed -n 's/.*name="Clasp.Holdfast" version="\([0-9.]*\)".*/\1/p' "$program_files/Clasp.Holdfast.manifest"
}

suite=install.$arch
. "$root/tests/install/checks.sh"

# expect_check STATUS TEXT...: the check exits with STATUS and says each TEXT.
# On a failure it shows the exit status and what Wine wrote to stderr too: a
# check that never ran or died reads otherwise like a wrong report.
expect_check() {
  local want=$1
  shift
  local output status
  output=$("$loader" "$(windows_path "$build/clasp-check.exe")" </dev/null 2>"$work/check.err")
  status=$?
  output=$(tr -d '\r' <<<"$output")
  local text
  for text in "$@"; do
    grep -qF -- "$text" <<<"$output" ||
      { echo "missing: $text (exit status $status)"; echo "$output"; cat "$work/check.err"; return 1; }
  done
  [ "$status" -eq "$want" ] ||
    { echo "exit status $status, expected $want"; echo "$output"; cat "$work/check.err"; return 1; }
}

test_check_not_registered() {
  expect_check 1 "FAIL  not registered" "not registered at all" "0x800401F3"
}

regfree_dir=$work/regfree
prepare_regfree() {
  mkdir -p "$regfree_dir"
  cp "$build/tests/install/regfree/regfree_client.exe" \
     "$build/tests/install/regfree/regfree_client.exe.manifest" \
     "$bundle/Holdfast.dll" "$bundle/Clasp.Holdfast.manifest" "$regfree_dir/"
}

test_regfree_creates() {
  prepare_regfree
  local output status
  output=$(cd "$regfree_dir" && "$loader" regfree_client.exe </dev/null 2>/dev/null)
  status=$?
  echo "$output"
  [ "$status" -eq 0 ] && grep -q "CoCreateInstance: 0x00000000" <<<"$output" &&
    grep -q "Cols: dispid 0x60030007" <<<"$output" || return 1
  # And the registry still knows nothing of it.
  registry_dump | grep -vq '^\[absent' && { echo "registry was written"; return 1; }
  return 0
}

test_regfree_fails_cleanly_without_manifest() {
  rm -f "$regfree_dir/regfree_client.exe.manifest"
  local output status
  output=$(cd "$regfree_dir" && "$loader" regfree_client.exe </dev/null 2>/dev/null)
  status=$?
  echo "$output"
  echo "exit status $status"
  # 1 is the client's own answer; a crash would end it otherwise.
  [ "$status" -eq 1 ] && grep -q "CLSIDFromProgID: 0x800401F3" <<<"$output" &&
    grep -q "CoCreateInstance: 0x80040154" <<<"$output"
}

test_upgrade_leaves_one_copy() {
  msiexec /i "$older_msi" || { echo "older package did not install"; return 1; }
  [ "$(manifest_version)" = "$older.0" ] || { echo "older manifest: $(manifest_version)"; return 1; }
  msiexec /i "$msi" || { echo "current package did not install"; return 1; }
  local products
  products=$(installed_products)
  [ "$products" -eq 1 ] || { echo "$products products installed"; return 1; }
  [ "$(manifest_version)" = "$version.0" ] || { echo "manifest: $(manifest_version)"; return 1; }
  cmp "$program_files/Holdfast.dll" "$bundle/Holdfast.dll" || return 1
  local server
  server=$("$loader" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve </dev/null 2>/dev/null | tr -d '\r')
  grep -qF "$installed_dll" <<<"$server" || { echo "server: $server"; return 1; }
  # And the older one refuses to go back over the newer one.
  if msiexec /i "$older_msi"; then echo "older package installed over the newer"; return 1; fi
  [ "$(installed_products)" -eq 1 ] && [ "$(manifest_version)" = "$version.0" ] ||
    { echo "a refused downgrade changed the installation"; return 1; }
}

test_check_ready_after_install() {
  expect_check 0 "ok    registered for $bits-bit programs: Clasp.Holdfast -> $installed_dll" \
    "ok    file version 1.0.0.0, $bits-bit module" "same as the DLL's own" \
    "registry values: all as this version writes them" "ok    an instance was created" \
    "Result: ready for $bits-bit programs."
}

test_script_host_captures() {
  bash "$root/tests/server/run_vbscript.sh" "$loader" "$root/examples/host.vbs" \
    "$root/tests/server/host_vbs.expected"
}

test_registry_equals_regsvr32() {
  local from_package from_regsvr32
  from_package=$(registry_dump)
  regsvr32 /u "$installed_dll" || { echo "regsvr32 /u failed"; return 1; }
  [ "$(registry_dump | grep -vc '^\[absent')" -eq 0 ] || { echo "regsvr32 /u left keys"; registry_dump; return 1; }
  regsvr32 "$installed_dll" || { echo "regsvr32 failed"; return 1; }
  from_regsvr32=$(registry_dump)
  grep -q "$clsid" <<<"$from_package" || { echo "package wrote nothing"; return 1; }
  diff <(echo "$from_package") <(echo "$from_regsvr32")
}

test_check_names_moved_file() {
  mv "$program_files/Holdfast.dll" "$program_files/Holdfast.moved"
  expect_check 1 "FAIL  file missing: $installed_dll" "moved or deleted"
  local status=$?
  mv "$program_files/Holdfast.moved" "$program_files/Holdfast.dll"
  return $status
}

test_check_names_older_type_library() {
  local library="HKCR\\TypeLib\\$libid"
  reg copy "$library\\1.2" "$library\\1.1" /s /f && reg delete "$library\\1.2" /f ||
    { echo "moving the library's key to 1.1 failed"; return 1; }
  local status=1
  # The state the check is to name, as the registry holds it now.
  if reg query "$library\\1.1" && ! reg query "$library\\1.2"; then
    expect_check 1 "type library Clasp 1.2 not registered; registered instead: 1.1" \
      "stale type library"
    status=$?
  else
    echo "after the move:"
    "$loader" reg query "$library" /s </dev/null 2>&1 | tr -d '\r'
  fi
  reg copy "$library\\1.1" "$library\\1.2" /s /f && reg delete "$library\\1.1" /f
  return $status
}

test_check_names_foreign_type_library() {
  reg add "$typelib_key" /ve /d 'C:\windows\system32\stdole2.tlb' /f || return 1
  expect_check 1 "is not the one this DLL carries" "stale type library"
  local status=$?
  reg add "$typelib_key" /ve /d "$installed_dll" /f
  return $status
}

test_check_names_missing_values() {
  reg delete "HKCR\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /f || return 1
  expect_check 1 "1 registry value missing or different" "ThreadingModel: missing" \
    "registration is incomplete"
  local status=$?
  reg add "HKCR\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment /f
  return $status
}

test_check_ready_again() {
  expect_check 0 "Result: ready for $bits-bit programs."
}

test_uninstall_leaves_nothing() {
  msiexec /x "$msi" || { echo "removal failed"; return 1; }
  local left
  left=$(registry_dump | grep -v '^\[absent')
  [ -z "$left" ] || { echo "keys left:"; echo "$left"; return 1; }
  [ ! -e "$program_files" ] || { echo "left: $(ls -la "$program_files")"; return 1; }
  [ "$(installed_products)" -eq 0 ] || { echo "still listed as installed"; return 1; }
  expect_check 1 "not registered at all"
}

# A 64-bit terminal with only one bitness installed: each check names the other.
test_check_names_other_bitness() {
  local other_msi other_version
  other_version=$(cache_value "$other_build" CMAKE_PROJECT_VERSION)
  other_msi=$(cache_value "$other_build" CLASP_DIST_DIR)/Clasp-Holdfast-$other_version-x86.msi
  check32() { "$wine32" "$(windows_path "$other_build/clasp-check.exe")" </dev/null 2>/dev/null | tr -d '\r'; }
  "$wine32" msiexec /i "$(windows_path "$other_msi")" /qn </dev/null >/dev/null 2>&1 ||
    { echo "x86 package did not install"; return 1; }
  expect_check 1 "FAIL  not registered for 64-bit programs" "registered only for 32-bit programs" ||
    return 1
  check32 | grep -q "Result: ready for 32-bit programs." || { echo "32-bit check:"; check32; return 1; }
  # The 64-bit DLL copied over the 32-bit one: registered, but not loadable.
  local x86_folder=$WINEPREFIX/drive_c/Program\ Files\ \(x86\)/Clasp
  cp "$bundle/Holdfast.dll" "$x86_folder/Holdfast.dll" || return 1
  local output
  output=$(check32)
  grep -q "FAIL  the registered file is a 64-bit module" <<<"$output" || { echo "$output"; return 1; }
  "$wine32" msiexec /x "$(windows_path "$other_msi")" /qn </dev/null >/dev/null 2>&1
  msiexec /i "$msi" || { echo "x64 package did not install"; return 1; }
  output=$(check32)
  grep -q "registered only for 64-bit programs" <<<"$output" || { echo "$output"; return 1; }
  # Both packages side by side: each bitness ready, neither removing the other.
  "$wine32" msiexec /i "$(windows_path "$other_msi")" /qn </dev/null >/dev/null 2>&1 ||
    { echo "x86 package did not install beside the x64 one"; return 1; }
  expect_check 0 "Result: ready for 64-bit programs." || return 1
  output=$(check32)
  grep -q "Result: ready for 32-bit programs." <<<"$output" || { echo "$output"; return 1; }
  "$wine32" msiexec /x "$(windows_path "$other_msi")" /qn </dev/null >/dev/null 2>&1
  msiexec /x "$msi"
}

run check_reports_not_registered test_check_not_registered
run regfree_creates_with_nothing_registered test_regfree_creates
run regfree_fails_cleanly_without_manifest test_regfree_fails_cleanly_without_manifest
run older_then_current_leaves_one_copy_and_no_downgrade test_upgrade_leaves_one_copy
run check_ready_after_install test_check_ready_after_install
run script_host_captures_after_install test_script_host_captures
run package_registry_equals_regsvr32 test_registry_equals_regsvr32
run check_names_moved_file test_check_names_moved_file
run check_names_older_type_library test_check_names_older_type_library
run check_names_foreign_type_library test_check_names_foreign_type_library
run check_names_missing_values test_check_names_missing_values
run check_ready_again test_check_ready_again
run uninstall_leaves_nothing test_uninstall_leaves_nothing
if [ -n "$other_build" ]; then
  run check_names_other_bitness test_check_names_other_bitness
fi

summary
