#!/bin/sh
# Runs a Windows program under Wine: in the caller's prefix when the caller
# made one (the Windows parts of scripts/test do, with Wine's services already
# up), otherwise in a prefix of this build directory, made on first use.
# Usage: run_in_prefix.sh PRIVATE_PREFIX WINEARCH WINE_LOADER PROGRAM [ARGS...]
set -e
private=$1
arch=$2
wine=$3
shift 3
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX="$private" WINEARCH="$arch"
  [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i
fi
exec "$wine" "$@"
