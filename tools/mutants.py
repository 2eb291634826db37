#!/usr/bin/env python3
"""The mutation check: does the test suite notice when one line of the code goes wrong?

Each mutant of tools/mutants.txt names a file, a piece of one of its lines exactly as written, and what
that piece becomes. The mutants are applied one at a time to a copy of the tree in build/mutant-tree
(the tree itself is never written), which is built in its own folder and tested: first the test program
of the mutated file's folder, then, if that still passes, the whole suite. A mutant whose text is no
longer in its file (or is there more than once) is "stale" and the list wants updating.

The results are compared with tools/mutants-baseline.txt: a mutant caught there that survives now is
a loss of fault-catching power, and the check then fails.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Two levels below the copy, as build/<name> is below the tree: the shared compiler cache then sees
# the same relative paths and hits for everything not mutated.
COPY = os.path.join(ROOT, "build", "mutant-tree")
BUILD = os.path.join(COPY, "build", "m")
COPIED = ["CMakeLists.txt", "cmake", "src", "tests", "tools", "fuzz", "Language", "data", "man"]
# The test program that runs first for a mutant in each source folder: most mutants fail there fast.
FIRST_PROGRAM = {"cache": "loftwick_cache_tests", "scan": "loftwick_scan_tests",
                 "results": "loftwick_results_tests", "support": "loftwick_support_tests",
                 "app": "loftwick_app_tests", "about": "loftwick_about_tests", "cli": "loftwick_cli_tests"}
PROGRAM_SECONDS = 600
SUITE_SECONDS = 1800


class Mutant:
    def __init__(self, name, path):
        self.name, self.path, self.original, self.replacement = name, path, None, None


def read_list(path):
    mutants, current = [], None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line.startswith("== "):
                fields = line[3:].split()
                if len(fields) != 2:
                    sys.exit(f"{path}:{number}: expected '== name file'")
                current = Mutant(*fields)
                mutants.append(current)
            elif line.startswith("-") and current and current.original is None:
                current.original = line[1:].strip().replace("\\n", "\n")
            elif line.startswith("+") and current and current.original is not None and current.replacement is None:
                current.replacement = line[1:].strip().replace("\\n", "\n")
            else:
                sys.exit(f"{path}:{number}: unexpected line")
    for m in mutants:
        if not m.original or m.replacement is None:
            sys.exit(f"{path}: mutant {m.name} needs a '-' line and a '+' line")
    names = [m.name for m in mutants]
    if len(set(names)) != len(names):
        sys.exit(f"{path}: mutant names must differ")
    return mutants


def read_baseline(path):
    results = {}
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                fields = line.split()
                if len(fields) >= 2 and not line.startswith("#"):
                    results[fields[0]] = fields[1]
    return results


def locate(m, root):
    """The text of the file and where the piece stands in it, or the reason it cannot be mutated."""
    try:
        with open(os.path.join(root, m.path), encoding="utf-8") as f:
            text = f.read()
    except OSError:
        return None, "stale: no such file"
    count = text.count(m.original)
    if count != 1:
        return None, "stale: text not found" if count == 0 else f"stale: text found {count} times"
    return text, None


def run(args, seconds, log, cwd=None):
    """True when the command succeeds; None when it ran out of time."""
    try:
        return subprocess.run(args, stdout=log, stderr=subprocess.STDOUT, timeout=seconds,
                              cwd=cwd).returncode == 0
    except subprocess.TimeoutExpired:
        return None


def sync_copy():
    """Makes the copy match the tree, writing only the files that differ so the build stays incremental."""
    wanted = set()
    for top in COPIED:
        source = os.path.join(ROOT, top)
        # Links (golden folders hold some) are copied as links, whatever they point to.
        paths = [source] if os.path.isfile(source) else [
            os.path.join(d, f) for d, dirs, files in os.walk(source) for f in files + [
                e for e in dirs if os.path.islink(os.path.join(d, e))]]
        for path in paths:
            relative = os.path.relpath(path, ROOT)
            wanted.add(relative)
            copy = os.path.join(COPY, relative)
            if os.path.islink(path):
                if not os.path.islink(copy) or os.readlink(copy) != os.readlink(path):
                    if os.path.lexists(copy):
                        os.remove(copy)
                    os.makedirs(os.path.dirname(copy), exist_ok=True)
                    os.symlink(os.readlink(path), copy)
                continue
            if os.path.islink(copy):
                os.remove(copy)
            with open(path, "rb") as f:
                content = f.read()
            if os.path.exists(copy):
                with open(copy, "rb") as f:
                    if f.read() == content:
                        continue
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            # A fresh time, newer than any object built from an earlier copy.
            shutil.copyfile(path, copy)
            shutil.copymode(path, copy)
    for d, dirs, files in os.walk(COPY):
        if os.path.relpath(d, COPY).split(os.sep)[0] == "build":
            continue
        for f in files + [e for e in dirs if os.path.islink(os.path.join(d, e))]:
            if os.path.relpath(os.path.join(d, f), COPY) not in wanted:
                os.remove(os.path.join(d, f))


def configure(log):
    if os.path.exists(os.path.join(BUILD, "build.ninja")):
        return True
    return run(["cmake", "-S", COPY, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                "-DLOFTWICK_BENCH=OFF", "-DLOFTWICK_FUZZ=OFF"], None, log)


def build(log, target=None):
    return run(["ninja", "-C", BUILD, f"-j{JOBS}"] + ([target] if target else []), None, log)


def suite(log):
    return run(["ctest", "--test-dir", BUILD, f"-j{JOBS}", "--stop-on-failure", "--output-on-failure"],
               SUITE_SECONDS, log)


def test_mutant(m, log):
    """caught / survived / broken, and what caught it."""
    folder = m.path.split("/")[1] if m.path.startswith("src/") else ""
    program = FIRST_PROGRAM.get(folder)
    if program:
        if not build(log, program):
            return "broken", "does not build"
        tests = os.path.join(BUILD, "tests")
        passed = run([os.path.join(tests, program)], PROGRAM_SECONDS, log, cwd=tests)
        if passed is None:
            return "caught", program + " (time-out)"
        if not passed:
            return "caught", program
    if not build(log):
        return "broken", "does not build"
    passed = suite(log)
    if passed is None:
        return "caught", "whole suite (time-out)"
    return ("survived", "") if passed else ("caught", "whole suite")


def write_baseline(options, baseline, results):
    """Written after every mutant, so that an interrupted run keeps what it found."""
    merged = dict(baseline)
    merged.update(results)
    with open(options.baseline, "w", encoding="utf-8") as f:
        f.write("# Mutant results of `make mutants` (tools/mutants.py); a later run compares with these.\n")
        for m in read_list(options.list):
            if m.name in merged:
                f.write(f"{m.name} {merged[m.name]}\n")


def main():
    global JOBS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", default=os.path.join(ROOT, "tools", "mutants.txt"))
    parser.add_argument("--baseline", default=os.path.join(ROOT, "tools", "mutants-baseline.txt"))
    parser.add_argument("--write-baseline", action="store_true", help="save these results as the baseline")
    parser.add_argument("--only", default="", help="comma-separated mutant names")
    parser.add_argument("--stale", action="store_true", help="only report the mutants whose text is gone")
    parser.add_argument("-j", "--jobs", type=int, default=2)
    options = parser.parse_args()
    JOBS = options.jobs

    mutants = read_list(options.list)
    if options.only:
        wanted = set(options.only.split(","))
        mutants = [m for m in mutants if m.name in wanted]
    if options.stale:
        stale = [(m, why) for m in mutants for why in [locate(m, ROOT)[1]] if why]
        for m, why in stale:
            print(f"{m.name:28} {why} ({m.path})")
        print(f"{len(stale)} of {len(mutants)} mutants stale")
        return 1 if stale else 0

    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
    os.makedirs(BUILD, exist_ok=True)
    log_path = os.path.join(BUILD, "mutants.log")
    baseline = read_baseline(options.baseline)
    results = {}
    with open(log_path, "w") as log:
        sync_copy()
        print("Building and testing the unmutated tree...", flush=True)
        if not configure(log) or not build(log) or not suite(log):
            print(f"The unmutated tree does not pass its tests; see {log_path}")
            return 2
        width = max(len(m.name) for m in mutants)
        for k, m in enumerate(mutants, 1):
            started = time.time()
            text, why = locate(m, COPY)
            if why:
                outcome, detail = "stale", why[len("stale: "):]
            else:
                target = os.path.join(COPY, m.path)
                log.write(f"\n===== {m.name}: {m.path}\n- {m.original}\n+ {m.replacement}\n")
                log.flush()
                try:
                    with open(target, "w", encoding="utf-8") as f:
                        f.write(text.replace(m.original, m.replacement))
                    outcome, detail = test_mutant(m, log)
                finally:
                    # Put back with a new time, so that the next build compiles the original again.
                    with open(target, "w", encoding="utf-8") as f:
                        f.write(text)
            results[m.name] = outcome
            before = baseline.get(m.name)
            note = "  << caught before, survived now" if before == "caught" and outcome == "survived" else ""
            if options.write_baseline:
                write_baseline(options, baseline, results)
            print(f"[{k:2}/{len(mutants)}] {m.name:{width}}  {outcome:8}  {detail:32} {time.time() - started:5.0f}s{note}",
                  flush=True)

    counts = {o: sum(1 for r in results.values() if r == o) for o in ("caught", "survived", "stale", "broken")}
    print(f"\n{counts['caught']} caught, {counts['survived']} survived, {counts['stale']} stale, "
          f"{counts['broken']} broken, of {len(results)} mutants")
    lost = [n for n, r in results.items() if r == "survived" and baseline.get(n) == "caught"]
    if lost:
        print("Caught before, survived now: " + ", ".join(lost))
    if options.write_baseline:
        print(f"Baseline written to {os.path.relpath(options.baseline, ROOT)}")
    return 1 if lost else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        print("\nInterrupted; the tree was never changed, and the copy is restored.")
        sys.exit(130)
