"""The mutator's own checks (no build)."""
import os
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time

from .mutators import AllMutants, CoreFiles, FindMutants, ReadEquivalents
from .runner import InstallSignalHandlers, Interrupted, Worker
from .settings import CORE_DIRS, ENTRY, EQUIVALENT_LIST, ROOT, TIMEOUT_FACTOR

# How long a stopped run may take to put the file back.
SIGNAL_SECONDS = 15


SELF_CHECK_CASES = [
    # source, mutations expected as "original -> replacement"
    ("int F(int a) { return a != 0 ? 1 : 2; }",
     ["!= -> ==", "!= -> <", "!= -> >", "0 -> 1", "1 -> 0", "1 -> 2", "2 -> 1", "2 -> 3"]),
    ('void F() { G(u"a < b", x); // a == b\n}',
     ["removed: G(u\"a < b\", x);"]),
    ("auto v = static_cast<std::int32_t>(w) >= k;",
     [">= -> >", ">= -> <"]),
    ("void F() { if (!Ok()) throw Bad(); x += 0x10; }",
     ["! -> (nothing)", "removed: throw Bad();", "+= -> -=", "0x10 -> 0xF", "0x10 -> 0x11",
      "removed: x += 0x10;"]),
    # Declarations in a class are no statements; a body inside one has them.
    ("struct S {\n  S() = default;\n  Failure(int n);\n  void F() { G(); }\n};",
     ["removed: G();"]),
    ("void F(const char* p, T&& t) { std::string s; ++n; a = b * c; }",
     ["++ -> --", "* -> /", "removed: ++n;", "removed: a = b * c;"]),
    ("bool F() { return a && !b; }",
     ["&& -> ||", "! -> (nothing)"]),
    ("#include <vector>\nstruct S { virtual void G() = 0; };\nbool f = true;\n"
     "enum class K { kA = 2 };",
     ["true -> false"]),
    ('void F() { auto s = u"x" + t; y = 10\'000ull - 1; }',
     ["removed: y = 10'000ull - 1;", "10'000ull -> 9999ull", "10'000ull -> 10001ull",
      "- -> +", "1 -> 0", "1 -> 2"]),
]


def SelfCheck(root):
    problems = []
    for source, expected in SELF_CHECK_CASES:
        found = sorted(m.Describe() for m in FindMutants("case.cpp", source))
        if found != sorted(expected):
            problems.append(f"{source!r}: found {found}, expected {sorted(expected)}")
    mutants = AllMutants(root, headers=True)
    for directory in CORE_DIRS:
        if not any(m.path.startswith(directory + "/") for m in mutants):
            problems.append(f"{directory}: no mutants found")
    for mutator in ("EqualityOperator", "ArithmeticOperator", "LogicalOperator",
                    "UpdateOperator", "BooleanLiteral", "ConstantShift", "StatementRemoval"):
        if not any(m.mutator == mutator for m in mutants):
            problems.append(f"no {mutator} mutant in the core")
    keys = [m.key for m in mutants]
    if len(set(keys)) != len(keys):
        problems.append("two mutants share a key")
    for key in ReadEquivalents(root):
        if key not in keys:
            problems.append(f"{EQUIVALENT_LIST}: no such mutant any more: {key}")
    problems.extend(CheckRestoreOnSignal(root))
    for problem in problems:
        print("self-check:", problem)
    print(f"self-check: {len(mutants)} mutants in {len(CoreFiles(root, headers=True))} core files; "
          f"{'FAILED' if problems else 'passed'}")
    return 0 if not problems else 1


def CheckRestoreOnSignal(root):
    """A run stopped by SIGINT or SIGTERM while a mutant is in place restores it."""
    problems = []
    for signal_number in (signal.SIGINT, signal.SIGTERM):
        with tempfile.TemporaryDirectory() as tree:
            path = "src/report/send_oex.cpp"
            os.makedirs(os.path.join(tree, os.path.dirname(path)))
            with open(os.path.join(root, path), encoding="utf-8") as f:
                source = f.read()
            with open(os.path.join(tree, path), "w", encoding="utf-8") as f:
                f.write(source)
            child = subprocess.Popen([sys.executable, ENTRY,
                                      "--hold-mutant", tree], stdout=subprocess.PIPE)
            ready = child.stdout.readline()
            with open(os.path.join(tree, path), encoding="utf-8") as f:
                during = f.read()
            child.send_signal(signal_number)
            name = signal.Signals(signal_number).name
            try:
                child.wait(timeout=SIGNAL_SECONDS * TIMEOUT_FACTOR)
            except subprocess.TimeoutExpired:
                # Stopped here, so that it cannot write into the tree once it is removed.
                child.kill()
                child.wait()
                problems.append(f"{name}: the holder did not stop on the signal")
            with open(os.path.join(tree, path), encoding="utf-8") as f:
                after = f.read()
            if ready.strip() != b"ready" or during == source:
                problems.append(f"{name}: the mutant was never in place")
            if after != source:
                problems.append(f"{name}: the file was not restored")
    return problems


def HoldMutant(tree):
    """For the self-check: puts a mutant in place and waits to be stopped."""
    worker = Worker(ROOT, 0, threading.Event())
    worker.tree = tree
    path = "src/report/send_oex.cpp"
    with open(os.path.join(tree, path), encoding="utf-8") as f:
        source = f.read()
    mutant = FindMutants(path, source)[0]
    InstallSignalHandlers()
    # The signal may come as soon as "ready" is out, before a sleep would have
    # begun: a sleep begun after it is not cut short, and the handler would wait
    # for its end. A signal always writes to the wakeup pipe, so a wait on the
    # pipe ends however early the signal came.
    wakeup, signalled = os.pipe()
    os.set_blocking(signalled, False)
    signal.set_wakeup_fd(signalled)
    try:
        worker.Apply(mutant, source)
        print("ready", flush=True)
        # The handler raises as soon as a wait ends, inside this try.
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            select.select([wakeup], [], [], deadline - time.monotonic())
    except Interrupted:
        pass
    finally:
        worker.Restore()
