"""Where the run reads and writes, and its limits."""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ENTRY = os.path.join(ROOT, "scripts", "mutate")
CORE_DIRS = ("src/host", "src/output", "src/report", "src/component")
EQUIVALENT_LIST = "tests/mutation/equivalent.txt"
WORK = "build/mutate"
REPORT = "build/mutate/mutation-report.json"
UNIT_TARGET = "clasp_tests"
SIM_TARGETS = ("clasp-sim", "clasp_sim_tests")
SIM_TESTS = r"^sim\."
# A mutant whose tests run this many times longer than the original's has looped.
TIME_FACTOR = 10
MIN_TEST_SECONDS = 10
BUILD_SECONDS = 600
KILL_RATE_GOAL = 95.0
# Fixed waits are stretched on a loaded machine, as the tests' time limits are.
_factor = os.environ.get("CLASP_TIMEOUT_FACTOR", "")
TIMEOUT_FACTOR = int(_factor) if _factor.isdigit() and int(_factor) > 0 else 2
