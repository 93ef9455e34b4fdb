# Sourced by the install and signing tests: runs named checks and counts them
# the way ctest does. Set `suite` (e.g. install.x86) before the first check.

passed=0
failed=0

# run NAME FUNCTION [ARGUMENTS...]: the function prints what went wrong and
# returns non-zero.
run() {
  local output
  if output=$("${@:2}" 2>&1); then
    echo "ok - $suite.$1"
    passed=$((passed + 1))
  else
    echo "FAIL - $suite.$1"
    echo "$output" | sed 's/^/    /'
    failed=$((failed + 1))
  fi
}

# Prints the count; succeeds only when no check failed.
summary() {
  local total=$((passed + failed))
  echo "$suite: $(( total > 0 ? passed * 100 / total : 0 ))% tests passed, $failed tests failed out of $total"
  [ "$failed" -eq 0 ]
}
