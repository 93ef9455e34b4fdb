#!/usr/bin/env bash
# Assembles the validation kit from the release, both builds and this tree,
# as files.txt lists it. Text for Windows gets CRLF line ends; expected
# captures become UTF-16 with a byte order mark, the form cscript's file
# object reads whatever the system's code page.
# Usage: assemble_kit.sh WIN32_BUILD WIN64_BUILD KIT_FOLDER
set -euo pipefail

win32=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
kit=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$win32/CMakeCache.txt")
dist=$(sed -n 's/^CLASP_DIST_DIR:[A-Z]*=//p' "$win32/CMakeCache.txt")

rm -rf "$kit"
while IFS='|' read -r target source; do
  [[ -z $target || $target == \#* ]] && continue
  source=${source//@VERSION@/$version}
  case $source in
    dist/*) from=$dist/${source#dist/} ;;
    win32/*) from=$win32/${source#win32/} ;;
    win64/*) from=$win64/${source#win64/} ;;
    source/*) from=$root/${source#source/} ;;
    *) echo "assemble_kit: $target comes from an unknown place: $source" >&2; exit 1 ;;
  esac
  [ -f "$from" ] || {
    echo "assemble_kit: $from is missing (for $target; target release_parts builds it)" >&2
    exit 1
  }
  mkdir -p "$(dirname "$kit/$target")"
  case $target in
    *.expected)
      { printf '\xff\xfe'; sed 's/\r*$/\r/' "$from" | iconv -f UTF-8 -t UTF-16LE; } >"$kit/$target" ;;
    *.cmd | *.txt | *.vbs)
      sed "s/@VERSION@/$version/g; s/\r*\$/\r/" "$from" >"$kit/$target" ;;
    *)
      cp "$from" "$kit/$target" ;;
  esac
done <"$here/files.txt"
echo "assemble_kit: $(find "$kit" -type f | wc -l) files in $kit"
