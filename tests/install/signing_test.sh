#!/usr/bin/env bash
# Signing: with a throwaway self-signed certificate made here, the build signs
# the bundled DLL, the registration check and the package; osslsigncode
# verifies each against that certificate, and the DLL inside the package is
# the signed one. Without a certificate nothing is signed. Given a time-stamp
# server (a responder made here, with its own throwaway TSA certificate), each
# signature carries a time stamp and still verifies once the certificate has
# expired, where one without fails. The build is set back as it was afterwards.
# Usage: signing_test.sh x86|x64 BUILD_DIR   (OSSLSIGNCODE=path to try another one)
set -uo pipefail

arch=$1
build=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
dist=$(cache_value CLASP_DIST_DIR)
name=Clasp-Holdfast-$version-$arch
check=clasp-check-$version-$arch/clasp-check.exe
osslsigncode=$(command -v "${OSSLSIGNCODE:-osslsigncode}")
tool_before=$(cache_value CLASP_OSSLSIGNCODE)

work=$(mktemp -d)
# Changing the signing command makes the build drop the packages it made with
# the old one, so they are made again, unsigned, where they were.
restore() {
  cmake -S "$root" -B "$build" -DCLASP_SIGN_PFX= -DCLASP_DIST_DIR="$dist" \
    -DCLASP_OSSLSIGNCODE="$tool_before" >/dev/null &&
    cmake --build "$build" --target msi msi_older >/dev/null ||
    echo "signing.$arch: could not rebuild the unsigned packages" >&2
  [ -z "${responder:-}" ] || kill "$responder" 2>/dev/null
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

verify() { "$osslsigncode" verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }

test_unsigned_by_default() {
  # The packages the build made without a certificate carry no signature.
  local file
  for file in "$dist/$name/Holdfast.dll" "$dist/$check" "$dist/$name.msi"; do
    if verify "$file"; then echo "$file is signed"; return 1; fi
    grep -qiE "no signature( found)?" "$work/verify.log" || { cat "$work/verify.log"; return 1; }
  done
}

# signed_build DIST [TIME-STAMP URL]: the packages signed into DIST.
signed_build() {
  cmake -S "$root" -B "$build" -DCLASP_SIGN_PFX="$work/cert.pfx" -DCLASP_DIST_DIR="$1" \
    -DCLASP_OSSLSIGNCODE="$osslsigncode" >/dev/null || return 1
  CLASP_SIGN_PASSWORD=$password CLASP_SIGN_TIMESTAMP_URL=${2:-} \
    cmake --build "$build" --target msi >"$work/build.log" 2>&1 ||
    { tail -20 "$work/build.log"; return 1; }
}

test_signed_build() {
  local signed=$work/dist
  signed_build "$signed" || return 1
  local file
  for file in "$signed/$name/Holdfast.dll" "$signed/$check" "$signed/$name.msi"; do
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

# The time-stamp authority: its own certificate, for time stamping only, and
# openssl ts answering behind a local HTTP server.
start_responder() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/tsa-key.pem" -out "$work/tsa.pem" \
    -days 30 -subj "/CN=Clasp throwaway test time stamps" \
    -addext "extendedKeyUsage=critical,timeStamping" -addext "keyUsage=critical,digitalSignature" \
    2>/dev/null || return 1
  echo 01 >"$work/tsa-serial"
  cat >"$work/tsa.cnf" <<CONFIG
[ tsa ]
default_tsa = throwaway
[ throwaway ]
serial = $work/tsa-serial
signer_cert = $work/tsa.pem
certs = $work/tsa.pem
signer_key = $work/tsa-key.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_alg = sha256
CONFIG
  # Started here, not inside a check: a check's output is read to its end,
  # which a server holding it open would never give.
  python3 "$root/tests/install/timestamp_responder.py" "$work/tsa.cnf" "$work/tsa-port" \
    >/dev/null 2>&1 &
  responder=$!
  local wait
  # Ten seconds on an idle machine, stretched like every other time limit.
  for wait in $(seq $((100 * ${CLASP_TIMEOUT_FACTOR:-2}))); do
    [ -s "$work/tsa-port" ] && return 0
    sleep 0.1
  done
  echo "the time-stamp responder did not start"
  return 1
}

test_timestamped_build() {
  [ -s "$work/tsa-port" ] || { echo "no time-stamp responder"; return 1; }
  local stamped=$work/dist-stamped
  signed_build "$stamped" "http://127.0.0.1:$(cat "$work/tsa-port")" || return 1
  # Three days on, the one-day certificate has expired.
  local later=$(($(date +%s) + 3 * 24 * 60 * 60))
  local file
  for file in "$stamped/$name/Holdfast.dll" "$stamped/$check" "$stamped/$name.msi"; do
    "$osslsigncode" verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa.pem" -in "$file" \
      >"$work/verify.log" 2>&1 &&
      grep -q "Timestamp Server Signature verification: ok" "$work/verify.log" &&
      grep -q "Signature verification: ok" "$work/verify.log" ||
      { echo "$file:"; cat "$work/verify.log"; return 1; }
    "$osslsigncode" verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa.pem" -time "$later" \
      -in "$file" >"$work/verify.log" 2>&1 ||
      { echo "$file, after the certificate expired:"; cat "$work/verify.log"; return 1; }
  done
  # Without the time stamp the same check fails: the certificate has expired.
  if "$osslsigncode" verify -CAfile "$work/cert.pem" -time "$later" \
    -in "$work/dist/$name/Holdfast.dll" >"$work/verify.log" 2>&1; then
    echo "a signature without a time stamp verified after the certificate expired"
    return 1
  fi
}

echo "$suite: $("$osslsigncode" --version 2>&1 | head -1)"
start_responder
run unsigned_by_default test_unsigned_by_default
run signs_dll_check_and_package test_signed_build
run time_stamped_signatures_outlive_the_certificate test_timestamped_build

summary
