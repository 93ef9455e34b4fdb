#!/usr/bin/env bash
# The validation kit run as an integrator runs it on Windows: copied whole to
# C:\ of a fresh 64-bit Wine prefix and started with `cmd /c validate.cmd` from
# its folder, once from a 64-bit prompt and once from a 32-bit one (which
# reaches the 64-bit programs through Sysnative). Its JUnit report must parse
# and list every case of cases.txt, passed, and its summary name the system
# and each case. Then a kit of a few cases that must fail: one that fails its
# exit status, one that prints nothing, one that never prints its closing
# line and one that hangs; the last is ended at the kit's time limit, with
# everything it started, and the kit goes on. And on 32-bit Windows (a 32-bit
# prefix) the 64-bit cases are skipped, the others pass. The installation
# guide's lines on the kit name the commands run here.
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

# validate FOLDER [PROMPT]: runs the kit copied to C:\FOLDER from the prompt
# PROMPT starts (the loader's own bitness unless given); its exit status.
validate() {
  local folder=$WINEPREFIX/drive_c/$1 prompt=${2:-$loader}
  cp -r "$kit" "$folder"
  # The terminals' code page, in which the captures print their Chinese text.
  (cd "$folder" && LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 $prompt cmd /c validate.cmd \
     </dev/null >"$work/$1.console" 2>&1)
}
bits=64

# The two prompts of 64-bit Windows: the loader that starts cmd, as the
# installation guide spells it, and what the summary says of the prompt.
prompts=(
  "/usr/lib/wine/wine64|AMD64"
  "wine|x86"
)

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

# test_kit_passes PROMPT ARCH: every case passes from that prompt.
test_kit_passes() {
  local folder=kit_$2
  validate "$folder" "$1" ||
    { echo "validate.cmd failed:"; iconv -c -f GBK -t UTF-8 "$work/$folder.console"; return 1; }
  report_says "$folder" "" || return 1
  local summary=$WINEPREFIX/drive_c/$folder/results/summary.txt total
  total=$(listed_cases "$WINEPREFIX/drive_c/$folder/cases.txt" | wc -l)
  local text
  for text in "Windows:   Microsoft Windows" "Bitness:   64-bit Windows (this prompt: $2)" \
      "Cases:     $total passed, 0 failed, 0 skipped of $total" "passed   x86.vbscript_host" \
      "passed   x64.vbscript_failures" "passed   x64.server_tests" \
      "passed   x86.check_unregistered"; do
    tr -d '\r' <"$summary" | grep -qF "$text" || { echo "summary lacks: $text"; cat "$summary"; return 1; }
  done
}

# A few cases an engineer might add, each failing in its own way, then one
# that passes: the kit judges each on its own and goes on.
test_kit_reports_failing_cases() {
  cp -r "$kit" "$work/broken"
  printf '%s\r\n' 'WScript.Echo "waiting"' \
    'CreateObject("WScript.Shell").Run "ping -n 3600 127.0.0.1", 0, True' \
    >"$work/broken/scripts/stuck.vbs"
  printf '%s\r\n' \
    'refused_option|32|0|Result:|clasp-check.exe --no-such-option' \
    'silent|32|0|[  PASSED  ]|type nul' \
    'no_summary|32|1|[  PASSED  ]|clasp-check.exe' \
    'stuck|32|0|[  PASSED  ]|"%SYS%\cscript.exe" //nologo "%KIT%scripts\stuck.vbs"' \
    'check_not_registered|32|1|Result:|clasp-check.exe' >"$work/broken/cases.txt"
  local saved=$kit limit=20 started=$SECONDS
  kit=$work/broken
  CLASP_KIT_SECONDS=$limit validate broken
  local status=$? took=$((SECONDS - started))
  kit=$saved
  [ "$status" -eq 1 ] || { echo "validate.cmd exit status $status, expected 1"; return 1; }
  # Ended at its limit, not at the end of the hour it waits.
  [ "$took" -lt $((limit + 100)) ] ||
    { echo "the kit took $took s with a $limit s limit"; return 1; }
  report_says broken x86.refused_option,x86.silent,x86.no_summary,x86.stuck || return 1
  local results=$WINEPREFIX/drive_c/broken/results text
  for text in "FAILED   x86.refused_option: exit status 2, expected 0" \
      "FAILED   x86.silent: exit status 0 and printed nothing" \
      "FAILED   x86.no_summary: exit status 1 but no line [  PASSED  ]" \
      "FAILED   x86.stuck: no end within $limit s; ended" "passed   x86.check_not_registered"; do
    tr -d '\r' <"$results/summary.txt" | grep -qF "$text" ||
      { echo "summary lacks: $text"; cat "$results/summary.txt"; return 1; }
  done
  # What the stuck case printed before it was ended: in its log and the report.
  grep -q waiting "$results/logs/x86.stuck.log" ||
    { echo "the stuck case's log lost its output"; return 1; }
  python3 - "$results/junit.xml" <<'PYTHON' || return 1
import sys
import xml.etree.ElementTree as tree
case = [c for c in tree.parse(sys.argv[1]).iter("testcase") if c.get("name") == "stuck"][0]
assert "waiting" in (case.find("failure").text or ""), "the report lacks the stuck case's output"
PYTHON
  # None of its processes left in this prefix (Wine shows their command lines).
  local pid
  for pid in $(pgrep -f 'stuck\.vbs|ping -n 3600'); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "the stuck case's processes outlived it: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
      return 1
    fi
  done
}

test_kit_skips_64_bit_cases_on_32_bit_windows() {
  export WINEPREFIX=$work/prefix32 WINEARCH=win32
  loader=/usr/lib/wine/wine
  bits=32
  "$loader" wineboot -i >/dev/null 2>&1
  validate kit
  local status=$?
  wineserver -k 2>/dev/null
  [ "$status" -eq 0 ] || { echo "validate.cmd failed:"; iconv -c -f GBK -t UTF-8 "$work/kit.console"; return 1; }
  report_says kit "" || return 1
  tr -d '\r' <"$WINEPREFIX/drive_c/kit/results/summary.txt" |
    grep -qF "skipped  x64.register: a 32-bit Windows runs no 64-bit programs" ||
    { cat "$WINEPREFIX/drive_c/kit/results/summary.txt"; return 1; }
}

# The installation guide tells the commands run here.
test_guide_names_the_commands() {
  local guide=docs/install.md row loader text status=0
  for row in "${prompts[@]}"; do
    loader=${row%%|*}
    text="\`$loader cmd /c validate.cmd\`"
    grep -qF "$text" "$root/$guide" || { echo "$guide lacks $text"; status=1; }
  done
  grep -qF CLASP_KIT_SECONDS "$root/$guide" ||
    { echo "$guide lacks CLASP_KIT_SECONDS"; status=1; }
  # The time limit the guide gives is validate.cmd's.
  local limit
  limit=$(sed -n 's/^set "LIMIT=\([0-9]*\)".*/\1/p' "$root/packaging/kit/validate.cmd")
  grep -qF "Each case has $limit seconds" "$root/$guide" ||
    { echo "$guide does not give the limit of validate.cmd, $limit s"; status=1; }
  return $status
}

run guide_names_the_commands test_guide_names_the_commands
for row in "${prompts[@]}"; do
  run "passes_from_the_${row#*|}_prompt" test_kit_passes "${row%%|*}" "${row#*|}"
done
run reports_failing_cases_and_goes_on test_kit_reports_failing_cases
run skips_64_bit_cases_on_32_bit_windows test_kit_skips_64_bit_cases_on_32_bit_windows

summary
