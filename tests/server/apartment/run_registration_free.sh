#!/usr/bin/env bash
# Runs the apartment cases with nothing registered: the client program, its
# application manifest, Holdfast.dll and the assembly manifest in one folder,
# in a Wine prefix made for this run alone.
# Usage: run_registration_free.sh WINE_LOADER CLIENT.exe CLIENT_MANIFEST HOLDFAST_DLL ASSEMBLY_MANIFEST
set -uo pipefail
loader=$1
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/client"
cp "$2" "$work/client/"
cp "$3" "$work/client/$(basename "$2").manifest"
cp "$4" "$5" "$work/client/"
"$loader" wineboot -i >/dev/null 2>&1 </dev/null
# Nothing of the component may be in the registry of this prefix.
if "$loader" reg query 'HKCR\Clasp.Holdfast' >/dev/null 2>&1 </dev/null; then
  echo "the fresh prefix already knows Clasp.Holdfast"
  exit 1
fi
# Through a file: the prefix's own services would hold a pipe open after the run.
(cd "$work/client" && "$loader" "./$(basename "$2")" >"$work/output" 2>&1 </dev/null)
status=$?
tr -d '\r' <"$work/output"
exit "$status"
