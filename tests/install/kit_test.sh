#!/usr/bin/env bash
# The validation kit run as an integrator runs it on Windows: copied whole to
# C:\ of a fresh 64-bit Wine prefix and started with `cmd /c validate.cmd`
# from its folder. Its JUnit report must parse and list every case of
# cases.txt, passed, and its summary name the system and each case. Then the
# same kit with one case that must fail: the report, the summary and the exit
# status all say so. And on 32-bit Windows (a 32-bit prefix) the 64-bit cases
# are skipped, the others pass.
# Usage: kit_test.sh BUILD_DIR (either bitness's: it names the dist folder)
set -uo pipefail

build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(sed -n 's/^CLASP_DIST_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
kit=$dist/validation-kit
[ -f "$kit/validate.cmd" ] || { echo "kit: $kit/validate.cmd is missing (packaging/assemble_dist.sh)"; exit 1; }

export WINEARCH=win64
loader=/usr/lib/wine/wine64
. "$root/tests/install/prefix.sh"
fresh_prefix "$loader"

suite=kit
. "$root/tests/install/checks.sh"

# validate FOLDER: runs the kit copied to C:\FOLDER; its exit status.
validate() {
  local folder=$WINEPREFIX/drive_c/$1
  cp -r "$kit" "$folder"
  # The terminals' code page, in which the captures print their Chinese text.
  (cd "$folder" && LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$loader" cmd /c validate.cmd \
     </dev/null >"$work/$1.console" 2>&1)
}
bits=64

# The cases as cases.txt lists them: x86.name or x64.name, in order.
listed_cases() {
  sed -n 's/\r$//; /^[^#]/p' "$1" |
    awk -F'|' '{ print ($2 == 64 ? "x64" : "x86") "." $1 }'
}

# report_says FOLDER FAILED: the JUnit report parses, holds every listed case
# once, fails exactly the named ones and skips the 64-bit ones on 32-bit Windows.
report_says() {
  local folder=$WINEPREFIX/drive_c/$1
  python3 - "$folder/results/junit.xml" "$2" <(listed_cases "$folder/cases.txt") "$bits" <<'PYTHON'
import sys
import xml.etree.ElementTree as tree
suite = tree.parse(sys.argv[1]).getroot().find("testsuite")
cases = [(c.get("classname").rsplit(".", 1)[1] + "." + c.get("name"), c) for c in suite.iter("testcase")]
listed = open(sys.argv[3]).read().split()
names = [name for name, _ in cases]
assert names == listed, f"report lists {names}, cases.txt {listed}"
failed = [name for name, case in cases if case.find("failure") is not None]
wanted = [name for name in sys.argv[2].split(",") if name]
assert failed == wanted, f"failed: {failed}, expected {wanted}"
skipped = [name for name, case in cases if case.find("skipped") is not None]
bits = sys.argv[4]
assert skipped == ([] if bits == "64" else [name for name in listed if name.startswith("x64.")]), skipped
assert suite.get("tests") == str(len(listed)) and suite.get("failures") == str(len(wanted))
assert suite.get("skipped") == str(len(skipped))
properties = {p.get("name"): p.get("value") for p in suite.iter("property")}
assert properties["os.bits"] == bits, properties
assert properties["os.version"].startswith("Microsoft Windows"), properties
PYTHON
}

test_kit_passes_on_a_fresh_machine() {
  validate kit || { echo "validate.cmd failed:"; iconv -f GBK -t UTF-8 "$work/kit.console"; return 1; }
  report_says kit "" || return 1
  local summary=$WINEPREFIX/drive_c/kit/results/summary.txt total
  total=$(listed_cases "$WINEPREFIX/drive_c/kit/cases.txt" | wc -l)
  local text
  for text in "Windows:   Microsoft Windows" "Bitness:   64-bit Windows" \
      "Cases:     $total passed, 0 failed, 0 skipped of $total" "passed   x86.vbscript_host" \
      "passed   x64.server_tests" "passed   x86.check_unregistered"; do
    tr -d '\r' <"$summary" | grep -qF "$text" || { echo "summary lacks: $text"; cat "$summary"; return 1; }
  done
}

test_kit_reports_a_failing_case() {
  # One more line, as an engineer adds a case: this one cannot pass.
  cp -r "$kit" "$work/broken"
  printf 'refused_option|32|0|clasp-check.exe --no-such-option\r\n' >>"$work/broken/cases.txt"
  local saved=$kit
  kit=$work/broken
  validate broken
  local status=$?
  kit=$saved
  [ "$status" -eq 1 ] || { echo "validate.cmd exit status $status, expected 1"; return 1; }
  report_says broken x86.refused_option || return 1
  tr -d '\r' <"$WINEPREFIX/drive_c/broken/results/summary.txt" |
    grep -qF "FAILED   x86.refused_option: exit status 2, expected 0" ||
    { cat "$WINEPREFIX/drive_c/broken/results/summary.txt"; return 1; }
}

test_kit_skips_64_bit_cases_on_32_bit_windows() {
  export WINEPREFIX=$work/prefix32 WINEARCH=win32
  loader=/usr/lib/wine/wine
  bits=32
  "$loader" wineboot -i >/dev/null 2>&1
  validate kit
  local status=$?
  wineserver -k 2>/dev/null
  [ "$status" -eq 0 ] || { echo "validate.cmd failed:"; iconv -f GBK -t UTF-8 "$work/kit.console"; return 1; }
  report_says kit "" || return 1
  tr -d '\r' <"$WINEPREFIX/drive_c/kit/results/summary.txt" |
    grep -qF "skipped  x64.register: a 32-bit Windows runs no 64-bit programs" ||
    { cat "$WINEPREFIX/drive_c/kit/results/summary.txt"; return 1; }
}

run passes_on_a_fresh_machine test_kit_passes_on_a_fresh_machine
run reports_a_failing_case test_kit_reports_a_failing_case
run skips_64_bit_cases_on_32_bit_windows test_kit_skips_64_bit_cases_on_32_bit_windows

summary
