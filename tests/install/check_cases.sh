#!/usr/bin/env bash
# clasp-check under Wine, in a fresh prefix of its own, one row per case: its
# command line (help, refused options), a working registration-free folder in
# text and JSON, the installed package as an inventory reads it, and the
# class left without its InprocServer32, then served again but without its
# name. Given the 32-bit build too (x64 only), also the 32-bit registration
# pointing at the 64-bit DLL, as the 32-bit check sees it: one fault, the rest
# following from it.
# Usage: check_cases.sh x86|x64 BUILD_DIR [WIN32_BUILD_DIR]
# Prints "ok - name" or "FAIL - name" per case and a ctest-style count.
set -uo pipefail

. "$(dirname "$0")/prefix.sh"
package_arguments "$@"
regfree=$build/tests/install/regfree
for file in "$msi" "$bundle/Holdfast.dll" "$build/clasp-check.exe" "$regfree/regfree_client.exe"; do
  [ -f "$file" ] || { echo "check.$arch: $file is missing"; exit 1; }
done

fresh_prefix "$loader"
[ "$arch" = x64 ] && share_classes "$loader"
reg() { "$loader" reg "$@" </dev/null >/dev/null 2>&1; }

# The check runs from a folder of its own, as it does from the release: no
# Holdfast.dll beside it to be loaded by mistake.
mkdir "$work/check" "$work/check32" "$work/app"
cp "$build/clasp-check.exe" "$work/check/"
[ -z "$other_build" ] || cp "$other_build/clasp-check.exe" "$work/check32/"
cp "$regfree/regfree_client.exe" "$regfree/regfree_client.exe.manifest" \
   "$bundle/Holdfast.dll" "$bundle/Clasp.Holdfast.manifest" "$work/app/"
app=$(windows_path "$work/app")
clsid='{5D3B8000-FB87-4881-A317-F716839E71F7}'

# The application's folder again with its DLL signed by a throwaway
# certificate made here, and again with that signed DLL altered afterwards.
sign_copies() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 1 \
    -subj "/CN=Clasp throwaway check signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null &&
    cp -r "$work/app" "$work/signed" && cp -r "$work/app" "$work/altered" &&
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 \
      -in "$work/app/Holdfast.dll" -out "$work/Holdfast.signed.dll" >/dev/null &&
    mv "$work/Holdfast.signed.dll" "$work/signed/Holdfast.dll" || return 1
  # One byte of the DOS stub's message changed: the DLL still works, but the
  # signature no longer covers the file.
  python3 -c 'import sys; data = bytearray(open(sys.argv[1], "rb").read()); data[0x50] ^= 0x20; open(sys.argv[2], "wb").write(data)' \
    "$work/signed/Holdfast.dll" "$work/altered/Holdfast.dll"
}

# The package is set-up, not what is checked: an install into a fresh prefix
# that fails once (seen once under Wine, passing by hand and on the next run)
# gets one more attempt, and says so.
install_package() {
  local attempt status
  for attempt in 1 2; do
    "$loader" msiexec /i "$(windows_path "$msi")" /qn </dev/null >/dev/null 2>&1
    status=$?
    [ "$status" -eq 0 ] && return 0
    echo "    msiexec /i ended with $status (attempt $attempt)"
    sleep 2
  done
  return 1
}
delete_server() { reg delete "HKCR\\CLSID\\$clsid\\InprocServer32" /f; }
# The class served again, but its name no longer leads to it.
unname_class() {
  reg add "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /d 'C:\Program Files\Clasp\Holdfast.dll' /f &&
    reg delete 'HKCR\Clasp.Holdfast\CLSID' /f
}
# Both packages installed, then the 32-bit class pointed at the 64-bit DLL.
point_32_at_64() {
  local other_msi
  other_msi=$(cache_value "$other_build" CLASP_DIST_DIR)/Clasp-Holdfast-$version-x86.msi
  # The name the row before took away; both bitnesses share it.
  reg add 'HKCR\Clasp.Holdfast\CLSID' /ve /d "$clsid" /f || return 1
  install_package || return 1
  "$wine32" msiexec /i "$(windows_path "$other_msi")" /qn </dev/null >/dev/null 2>&1 || return 1
  reg add "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /d 'C:\Program Files\Clasp\Holdfast.dll' /f /reg:32
}

# Each JSON expectation is path=value, path through the objects by dots.
json_has() {
  python3 -c '
import json, sys
report = json.loads(sys.argv[1])
for expectation in sys.argv[2:]:
    path, wanted = expectation.split("=", 1)
    value = report
    for key in path.split("."):
        value = value[int(key)] if isinstance(value, list) else value[key]
    if json.dumps(value) != wanted:
        sys.exit(f"{path}: {json.dumps(value)}, expected {wanted}")
' "$@"
}

# name | set-up ("-" for none) | exit status | arguments | what it says: text,
# or json:path=value;path=value... | the check: its own bitness's, or x86
cases=(
  "help|-|0|--help|Usage: clasp-check [--manifest FOLDER] [--json]"
  "help_short|-|0|/?|Exit status: 0 ready, 1 a problem found, 2 a command line not understood."
  "unknown_option_refused|-|2|--verbose|clasp-check: unknown option: --verbose"
  "stray_argument_refused|-|2|C:\\Terminal|clasp-check: unknown option: C:\\Terminal"
  "manifest_without_folder|-|2|--manifest --json|clasp-check: --manifest needs a folder"
  "regfree_folder_ready|-|0|--manifest $app|ok    an instance was created in the application's activation context, from $app\\Holdfast.dll"
  "regfree_folder_json|-|0|--manifest $app --json|json:verdict=\"ready\";mode=\"manifest\";module.bits=$bits;module.product_version=\"$version.0\";module.file_version=\"1.0.0.0\";module.signature.present=false;findings.4.ok=true"
  "signed_dll_json|sign_copies|0|--manifest $(windows_path "$work/signed") --json|json:module.signature.present=true;verdict=\"ready\""
  "altered_dll_json|-|0|--manifest $(windows_path "$work/altered") --json|json:module.signature.present=true;module.signature.valid=false;module.signature.answer=\"0x80096010\""
  "not_registered_json|-|1|--json|json:verdict=\"problems\";findings.0.cause=\"not_registered\";findings.1.follows=0"
  "installed_json|install_package|0|--json|json:verdict=\"ready\";process_bits=$bits;module.path=\"C:\\\\Program Files\\\\Clasp\\\\Holdfast.dll\";module.product_version=\"$version.0\";module.exists=true"
  "inproc_server_missing|delete_server|1||FAIL  registered for $bits-bit programs without its InprocServer32: HKCR\\CLSID\\$clsid\\InprocServer32 is missing"
  "name_leads_nowhere|unname_class|1||FAIL  registered for $bits-bit programs as $clsid -> C:\\Program Files\\Clasp\\Holdfast.dll, but the name Clasp.Holdfast does not lead to it"
)
if [ -n "$other_build" ]; then
  # Only the bitness is blamed; the library and the path are compared with
  # the wrong file, so they follow from it, and no expected path is derived.
  cases+=("x86_server_at_64_bit_dll|point_32_at_64|1|--json|json:findings.2.cause=\"wrong_bitness_file\";findings.3.follows=2;findings.4.follows=2;findings.5.follows=2;problems=4|x86")
fi

suite=check.$arch
. "$root/tests/install/checks.sh"

for row in "${cases[@]}"; do
  IFS='|' read -r name setup want arguments says which <<<"$row"
  case_test() {
    [ "$setup" = - ] || "$setup" || { echo "set-up $setup failed"; return 1; }
    local output status
    # Word splitting on purpose: the arguments are written as on a command line.
    # shellcheck disable=SC2086
    local program=("$loader" "$(windows_path "$work/check/clasp-check.exe")")
    [ "${which:-}" != x86 ] || program=("$wine32" "$(windows_path "$work/check32/clasp-check.exe")")
    output=$(cd "$work" && "${program[@]}" $arguments </dev/null 2>&1)
    status=$?
    output=$(tr -d '\r' <<<"$output")
    if [[ $says == json:* ]]; then
      local expectations
      IFS=';' read -r -a expectations <<<"${says#json:}"
      json_has "$output" "${expectations[@]}" ||
        { echo "exit status $status, printed:"; echo "$output"; return 1; }
    else
      grep -qF -- "$says" <<<"$output" ||
        { echo "missing: $says (exit status $status)"; echo "$output"; return 1; }
    fi
    [ "$status" -eq "$want" ] || { echo "exit status $status, expected $want"; echo "$output"; return 1; }
  }
  run "$name" case_test
done

summary
