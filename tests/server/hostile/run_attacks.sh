#!/usr/bin/env bash
# Runs every attack of hostile.exe in a process of its own, so that a crash
# fails that attack and not the run, and prints the figure line:
#   hostile: N attacks, N survived
# N counted from hostile.exe --list, so the figure is always the table's own.
# Usage (in the directory of hostile.exe and Holdfast.dll): run_attacks.sh WINE_LOADER
set -uo pipefail
loader=$1
# Longer than any attack takes, stretched on a loaded machine as the tests'
# own limits are; a hang counts as a failure, not a stall.
limit=$((60 * ${CLASP_TIMEOUT_FACTOR:-2}))

list=$("$loader" ./hostile.exe --list | tr -d '\r')
total=0
survived=0
while read -r index name; do
  [ -n "$index" ] || continue
  total=$((total + 1))
  output=$(timeout "$limit" "$loader" ./hostile.exe --attack "$index" 2>&1 | tr -d '\r')
  status=$?
  if [ "$status" -eq 0 ]; then
    survived=$((survived + 1))
  else
    echo "attack $index ($name) failed, exit status $status:"
    echo "$output" | head -5
  fi
done <<<"$list"
echo "hostile: $total attacks, $survived survived"
[ "$total" -gt 0 ] && [ "$survived" -eq "$total" ]
