"""The command line of scripts/mutate."""
import argparse
import os
import random

from .mutators import AllMutants, ReadEquivalents
from .report import Summarise, WriteReport
from .runner import JudgeAll
from .self_check import HoldMutant, SelfCheck
from .settings import EQUIVALENT_LIST, KILL_RATE_GOAL, REPORT, ROOT


def Main(usage):
    parser = argparse.ArgumentParser(description=usage.split("\n\n")[0])
    parser.add_argument("--sample", type=int, metavar="N",
                        help="test N mutants chosen at random instead of all")
    parser.add_argument("--seed", type=int, default=1, metavar="S",
                        help="seed of the sample (default 1): the same seed picks the same mutants")
    parser.add_argument("--jobs", type=int, default=1, metavar="J",
                        help="mutants built and tested at once, each in its own tree")
    parser.add_argument("--files", nargs="+", metavar="GLOB",
                        help="only these core files, e.g. 'src/report/*'")
    parser.add_argument("--headers", action="store_true",
                        help="mutate the core's headers too (each such mutant rebuilds "
                             "most of the suite)")
    parser.add_argument("--list", action="store_true", help="print the mutants; build nothing")
    parser.add_argument("--self-check", action="store_true",
                        help="check the mutator itself; build nothing")
    parser.add_argument("--hold-mutant", metavar="TREE", help=argparse.SUPPRESS)
    options = parser.parse_args()

    if options.hold_mutant:
        return HoldMutant(options.hold_mutant)
    if options.self_check:
        return SelfCheck(ROOT)

    everything = AllMutants(ROOT, options.files, options.headers)
    equivalents = ReadEquivalents(ROOT)
    known = {m.key for m in everything}
    for key in equivalents:
        if key not in known and not options.files and (options.headers or ".cpp |" in key):
            print(f"warning: {EQUIVALENT_LIST} names a mutant that no longer exists: {key}")
    ignored = [m for m in everything if m.key in equivalents]
    for m in ignored:
        m.status, m.reason = "Ignored", "equivalent: " + equivalents[m.key]
    candidates = [m for m in everything if m.key not in equivalents]
    if options.list:
        for m in everything:
            mark = "  (equivalent)" if m.key in equivalents else ""
            print(f"{m.id:>5} {m.path}:{m.line}:{m.column} {m.mutator}: {m.Describe()}{mark}")
        print(f"{len(everything)} mutants, {len(ignored)} listed as equivalent")
        return 0
    chosen = candidates
    if options.sample is not None and options.sample < len(candidates):
        chosen = random.Random(options.seed).sample(candidates, options.sample)
    # One file at a time keeps each build to one recompiled source.
    chosen.sort(key=lambda m: (m.path, m.start, m.end, m.replacement))
    print(f"{len(everything)} mutants in the core, {len(ignored)} equivalent; testing "
          f"{len(chosen)}" + (f" (sample, seed {options.seed})" if options.sample else ""),
          flush=True)

    interrupted, stopped = JudgeAll(ROOT, chosen, options.jobs)

    tested = [m for m in chosen if m.status]
    if not tested and not interrupted:
        return 1
    WriteReport(ROOT, tested + ignored, os.path.join(ROOT, REPORT))
    rate = Summarise(tested, len(everything), len(ignored))
    print(f"Report: {REPORT}" + ("  (interrupted: partial)" if interrupted else ""))
    if interrupted or stopped:
        return 130
    return 0 if rate >= KILL_RATE_GOAL else 1
