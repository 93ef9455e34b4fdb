#!/usr/bin/env bash
# Signing: with a throwaway self-signed certificate made here, the build signs
# the bundled DLL and the package; osslsigncode verifies each against that
# certificate, and the DLL inside the package is the signed one. Without a
# certificate nothing is signed. The build is set back as it was afterwards.
# Usage: signing_test.sh x86|x64 BUILD_DIR
set -uo pipefail

arch=$1
build=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
dist=$(cache_value CLASP_DIST_DIR)
name=Clasp-Holdfast-$version-$arch

work=$(mktemp -d)
# Changing the signing command makes the build drop the packages it made with
# the old one, so they are made again, unsigned, where they were.
restore() {
  cmake -S "$root" -B "$build" -DCLASP_SIGN_PFX= -DCLASP_DIST_DIR="$dist" >/dev/null &&
    cmake --build "$build" --target msi msi_older >/dev/null ||
    echo "signing.$arch: could not rebuild the unsigned packages" >&2
  rm -rf "$work"
}
trap restore EXIT

suite=signing.$arch
. "$root/tests/install/checks.sh"

# The throwaway certificate, trusted by nothing but this test.
password=$(openssl rand -hex 16)
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 1 -subj "/CN=Clasp throwaway test signer" -addext "extendedKeyUsage=codeSigning" \
  2>/dev/null || { echo "signing: openssl could not make a certificate"; exit 1; }
openssl pkcs12 -export -out "$work/cert.pfx" -inkey "$work/key.pem" -in "$work/cert.pem" \
  -passout "pass:$password" || { echo "signing: openssl could not make a PFX"; exit 1; }

verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }

test_unsigned_by_default() {
  # The packages the build made without a certificate carry no signature.
  local file
  for file in "$dist/$name/Holdfast.dll" "$dist/$name.msi"; do
    if verify "$file"; then echo "$file is signed"; return 1; fi
    grep -qiE "no signature( found)?" "$work/verify.log" || { cat "$work/verify.log"; return 1; }
  done
}

test_signed_build() {
  local signed=$work/dist
  cmake -S "$root" -B "$build" -DCLASP_SIGN_PFX="$work/cert.pfx" -DCLASP_DIST_DIR="$signed" \
    >/dev/null || return 1
  CLASP_SIGN_PASSWORD=$password cmake --build "$build" --target msi >"$work/build.log" 2>&1 ||
    { tail -20 "$work/build.log"; return 1; }
  local file
  for file in "$signed/$name/Holdfast.dll" "$signed/$name.msi"; do
    verify "$file" || { echo "$file:"; cat "$work/verify.log"; return 1; }
    grep -q "Signature verification: ok" "$work/verify.log" || { cat "$work/verify.log"; return 1; }
  done
  # The package carries the signed DLL, byte for byte.
  mkdir "$work/extracted"
  (cd "$work/extracted" && msiextract "$signed/$name.msi" >/dev/null) || return 1
  local payload
  payload=$(find "$work/extracted" -name Holdfast.dll)
  [ -n "$payload" ] || { echo "no Holdfast.dll in the package"; return 1; }
  cmp "$payload" "$signed/$name/Holdfast.dll" || return 1
  verify "$payload" || { cat "$work/verify.log"; return 1; }
  # The password is nowhere in the build tree.
  if grep -rqF "$password" "$build" "$signed"; then echo "password written to a file"; return 1; fi
}

run unsigned_by_default test_unsigned_by_default
run signs_dll_and_package test_signed_build

summary
