"""Building and judging, in a private copy of the tree."""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

from .settings import (BUILD_SECONDS, MIN_TEST_SECONDS, SIM_TARGETS, SIM_TESTS, TIME_FACTOR,
                       UNIT_TARGET, WORK)


def TreeFiles(root):
    """The files of the working tree that a build needs (tracked and new, not ignored)."""
    try:
        listing = subprocess.run(["git", "ls-files", "-z", "-c", "-o", "--exclude-standard"],
                                 cwd=root, check=True, capture_output=True).stdout
        return sorted({p for p in listing.decode().split("\0") if p and not p.startswith("build/")})
    except (OSError, subprocess.CalledProcessError):
        files = []
        for directory, subdirs, names in os.walk(root):
            subdirs[:] = [d for d in subdirs if d not in (".git", "build")]
            files.extend(os.path.relpath(os.path.join(directory, n), root) for n in names)
        return sorted(files)


def SyncTree(root, tree):
    """Makes the copy hold exactly the working tree's content; untouched files keep
    their time stamps so that the build stays incremental."""
    wanted = TreeFiles(root)
    keep = set(wanted)
    for directory, _, names in os.walk(tree):
        for name in names:
            path = os.path.relpath(os.path.join(directory, name), tree)
            if path not in keep:
                os.remove(os.path.join(tree, path))  # gone from the working tree
    for path in wanted:
        source, target = os.path.join(root, path), os.path.join(tree, path)
        if not os.path.isfile(source):
            continue
        with open(source, "rb") as f:
            content = f.read()
        if os.path.exists(target):
            with open(target, "rb") as f:
                if f.read() == content:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(content)
        shutil.copymode(source, target)


def NativeSettings(root):
    """Generator and cache variables of the native configure preset."""
    with open(os.path.join(root, "CMakePresets.json"), encoding="utf-8") as f:
        presets = json.load(f)
    native = next(p for p in presets["configurePresets"] if p["name"] == "native")
    arguments = ["-G", native.get("generator", "Unix Makefiles")]
    for name, value in native.get("cacheVariables", {}).items():
        arguments.append(f"-D{name}={value}")
    return arguments


class Interrupted(Exception):
    pass


class Worker:
    """One private tree and build directory; runs one mutant at a time."""

    def __init__(self, root, number, stop):
        self.root = root
        self.tree = os.path.join(root, WORK, f"tree-{number}")
        self.build = os.path.join(root, WORK, f"build-{number}")
        self.stop = stop
        self.process = None
        self.lock = threading.Lock()
        self.unit_seconds = MIN_TEST_SECONDS
        self.sim_seconds = MIN_TEST_SECONDS
        self.pending = {}  # path -> original bytes of a file now mutated

    def Run(self, command, timeout, cwd=None):
        """(exit status or None on time-out, output)."""
        with self.lock:
            if self.stop.is_set():
                raise Interrupted()
            self.process = subprocess.Popen(command, cwd=cwd or self.build,
                                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                            start_new_session=True)
        try:
            output, _ = self.process.communicate(timeout=timeout)
            status = self.process.returncode
        except subprocess.TimeoutExpired:
            self.Kill()
            output, _ = self.process.communicate()
            status = None
        finally:
            with self.lock:
                self.process = None
        if self.stop.is_set():
            raise Interrupted()
        return status, output.decode(errors="replace")

    def Kill(self):
        with self.lock:
            if self.process and self.process.poll() is None:
                try:
                    os.killpg(self.process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass

    def Build(self, targets):
        return self.Run(["cmake", "--build", ".", "--target", *targets], BUILD_SECONDS)

    def UnitTests(self):
        binary = os.path.join(self.build, "tests", UNIT_TARGET)
        return self.Run([binary, "--gtest_fail_fast", "--gtest_brief=1"], self.unit_seconds)

    def SimTests(self):
        return self.Run(["ctest", "-R", SIM_TESTS, "--stop-on-failure", "-j1"], self.sim_seconds)

    def Prepare(self):
        """Copy, configure, build and run the unmutated suite once, timing it."""
        os.makedirs(self.tree, exist_ok=True)
        SyncTree(self.root, self.tree)
        os.makedirs(self.build, exist_ok=True)
        status, output = self.Run(["cmake", "-S", self.tree, "-B", self.build,
                                   *NativeSettings(self.root)], BUILD_SECONDS)
        if status != 0:
            sys.exit("configuring the mutation build failed:\n" + output)
        status, output = self.Build([UNIT_TARGET, *SIM_TARGETS])
        if status != 0:
            sys.exit("the unmutated tree does not build:\n" + output[-3000:])
        began = time.monotonic()
        status, output = self.UnitTests()
        self.unit_seconds = max(MIN_TEST_SECONDS, TIME_FACTOR * (time.monotonic() - began))
        if status != 0:
            sys.exit("the unmutated unit tests fail:\n" + output[-3000:])
        began = time.monotonic()
        status, output = self.SimTests()
        self.sim_seconds = max(MIN_TEST_SECONDS, TIME_FACTOR * (time.monotonic() - began))
        if status != 0:
            sys.exit("the unmutated simulator tests fail:\n" + output[-3000:])

    def Apply(self, mutant, source):
        target = os.path.join(self.tree, mutant.path)
        with open(target, "rb") as f:
            self.pending.setdefault(mutant.path, f.read())
        mutated = source[:mutant.start] + mutant.replacement + source[mutant.end:]
        with open(target, "w", encoding="utf-8", newline="") as f:
            f.write(mutated)

    def Restore(self):
        for path, content in list(self.pending.items()):
            with open(os.path.join(self.tree, path), "wb") as f:
                f.write(content)
            del self.pending[path]

    def Judge(self, mutant, source):
        self.Apply(mutant, source)
        try:
            status, output = self.Build([UNIT_TARGET])
            if status != 0:
                mutant.status = "CompileError"
                errors = [l for l in output.splitlines() if "error" in l]
                mutant.reason = (errors[0] if errors else output.strip()[-200:])[:300]
                return
            status, output = self.UnitTests()
            if status is None:
                mutant.status, mutant.reason = "Timeout", "unit tests ran out of time"
                return
            if status != 0:
                mutant.status = "Killed"
                failed = re.findall(r"^\[  FAILED  \] (\S+)", output, re.MULTILINE)
                mutant.killed_by = failed[0] if failed else f"unit tests (exit {status})"
                return
            status, output = self.Build(list(SIM_TARGETS))
            if status != 0:
                mutant.status, mutant.reason = "CompileError", "simulator does not build"
                return
            status, output = self.SimTests()
            if status is None:
                mutant.status, mutant.reason = "Timeout", "simulator tests ran out of time"
            elif status != 0:
                mutant.status = "Killed"
                failed = re.findall(r"\d+ - (\S+) \(", output)
                mutant.killed_by = failed[0] if failed else "simulator tests"
            else:
                mutant.status = "Survived"
        finally:
            self.Restore()


def InstallSignalHandlers():
    def Stop(signal_number, frame):
        raise Interrupted()
    signal.signal(signal.SIGINT, Stop)
    signal.signal(signal.SIGTERM, Stop)


def JudgeAll(root, chosen, jobs):
    """Builds and judges the chosen mutants, `jobs` trees at a time, printing each
    verdict as it comes. Answers (interrupted by a signal, stopped by a failure)."""
    stop = threading.Event()
    workers = [Worker(root, n + 1, stop) for n in range(max(1, jobs))]
    sources = {}
    for m in chosen:
        if m.path not in sources:
            with open(os.path.join(root, m.path), encoding="utf-8") as f:
                sources[m.path] = f.read()
    # Each worker takes whole files, so its builds stay incremental.
    by_file = {}
    for m in chosen:
        by_file.setdefault(m.path, []).append(m)
    queue = sorted(by_file.values(), key=len, reverse=True)
    queue_lock = threading.Lock()
    done = [0]
    began = time.monotonic()

    def Work(worker):
        try:
            worker.Prepare()
            while not stop.is_set():
                with queue_lock:
                    if not queue:
                        return
                    group = queue.pop(0)
                for m in group:
                    worker.Judge(m, sources[m.path])
                    with queue_lock:
                        done[0] += 1
                        mark = f"  <- {m.killed_by}" if m.killed_by else ""
                        print(f"[{done[0]}/{len(chosen)} {time.monotonic() - began:5.0f}s] "
                              f"{m.status:12} {m.path}:{m.line} {m.Describe()}{mark}",
                              flush=True)
        except Interrupted:
            pass
        except SystemExit as exit_:
            print(exit_.code, file=sys.stderr)
            stop.set()
        finally:
            worker.Restore()

    InstallSignalHandlers()
    threads = [threading.Thread(target=Work, args=(w,), daemon=True) for w in workers]
    interrupted = False
    try:
        for t in threads:
            t.start()
        for t in threads:
            while t.is_alive():
                t.join(timeout=0.5)
    except Interrupted:
        interrupted = True
        stop.set()
        for w in workers:
            w.Kill()
        for t in threads:
            t.join()
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        for w in workers:
            w.Restore()
    return interrupted, stop.is_set()
