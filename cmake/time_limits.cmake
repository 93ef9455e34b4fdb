# The tests' time limits are written for an idle machine and stretched by
# CLASP_TIMEOUT_FACTOR (a whole number from the environment when configuring;
# 2 when unset), so that a loaded machine reports a hang and not its own
# slowness. The scripts the tests run read the same variable when they run.
set(CLASP_TIMEOUT_FACTOR "$ENV{CLASP_TIMEOUT_FACTOR}")
if(NOT CLASP_TIMEOUT_FACTOR MATCHES "^[1-9][0-9]*$")
  set(CLASP_TIMEOUT_FACTOR 2)
endif()

# clasp_time_limit(OUT SECONDS): SECONDS stretched by the factor, into OUT.
function(clasp_time_limit out seconds)
  math(EXPR stretched "${seconds} * ${CLASP_TIMEOUT_FACTOR}")
  set(${out} ${stretched} PARENT_SCOPE)
endfunction()

# How long listing a test program's tests may take.
clasp_time_limit(CLASP_DISCOVERY_SECONDS 60)
