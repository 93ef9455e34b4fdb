#!/usr/bin/env bash
# Runs a VBScript under Wine's cscript in the Chinese code page (as on the
# terminals) and compares everything it prints with the expected text.
# Usage: run_vbscript.sh WINE_LOADER SCRIPT EXPECTED
set -euo pipefail
loader=$1
script=$2
expected=$3

# Wine sees the Linux root as drive Z:.
windows_path="Z:${script//\//\\}"
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
# cscript prints in the console code page: GBK here.
LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$loader" cscript //nologo "$windows_path" \
  | iconv -f GBK -t UTF-8 | tr -d '\r' > "$actual"
# A script that does not compile prints nothing and still exits 0; the
# comparison catches that through the closing line.
if ! diff -u "$expected" "$actual"; then
  echo "$(basename "$script"): output differs from $(basename "$expected")" >&2
  exit 1
fi
echo "$(basename "$script"): $(wc -l < "$actual") lines as expected"
