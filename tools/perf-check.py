#!/usr/bin/env python3
"""Counts the instructions of the fixed workloads and compares them with their budgets.

Runs PROGRAM (bench/perf_workloads.cpp, built optimised) under Valgrind's callgrind,
which counts every instruction the workloads execute and nothing else: the program
switches collection on around each workload and dumps its count under the workload's
name. The counts are exact and the same on every run of the same build on the same
machine, so the budgets need no allowance for noise; the 3 % allowance is for small
changes that are not worth a new budget.

Usage:
  perf-check.py PROGRAM BUDGETS          prints budget, count and change of every
                                         workload; exits 1 when a count rises more
                                         than 3 % above its budget, when a workload
                                         has no budget or a budget no workload, or
                                         when a workload did not do its work
  perf-check.py --write PROGRAM BUDGETS  rewrites BUDGETS with the counts measured
"""

import argparse
import pathlib
import re
import subprocess
import sys
import tempfile

TOLERANCE_PERCENT = 3
HEADER = """\
# Instruction budgets of `make perf-check`: one workload a line, its name and the
# instructions Valgrind's callgrind counted for it (bench/perf_workloads.cpp says
# what each workload is). The check fails when a count rises more than {tolerance} %
# above its line. `make perf-budget` rewrites this file; commit it saying why the
# counts moved. Counts depend on the compiler and on Valgrind's version:
""".format(tolerance=TOLERANCE_PERCENT)
RECORDED = re.compile(r"^# recorded with: (.*)$")


def read_budgets(path):
    """The budget file's counts by name, and what recorded them ("" if unknown)."""
    budgets = {}
    recorded = ""
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
        match = RECORDED.match(line)
        if match:
            recorded = match.group(1)
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        fields = line.split()
        if len(fields) != 2 or not fields[1].isdigit():
            sys.exit(f"{path}:{number}: expected a workload's name and its count")
        budgets[fields[0]] = int(fields[1])
    return budgets, recorded


def write_budgets(path, counts, recorded):
    lines = [HEADER.rstrip("\n"), f"# recorded with: {recorded}"]
    lines += [f"{name} {count}" for name, count in counts.items()]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


# Objects whose instructions are left out of a count: the C library and the loader pick
# their string and memory routines (memcpy, memset, strlen) by the processor's features
# when the program starts, so the same build runs different instructions there on
# another processor. Everything else the workloads run is the same on every x86-64.
HOST_CHOSEN_OBJECTS = re.compile(r"/(libc\.so[^/]*|ld-linux[^/]*)$")


def read_dump(text):
    """The workload's name and its instruction count from one callgrind dump: the
    self cost of every function outside HOST_CHOSEN_OBJECTS. A cost line following a
    `calls=` line is the call's inclusive cost, already counted where it was spent."""
    name = None
    objects = {}
    current = None
    total = 0
    after_call = False
    for line in text.splitlines():
        if line.startswith("desc: Trigger: Client Request: "):
            name = line.split(": ", 3)[3]
            continue
        # An object is named once, at its first mention in an ob= or cob= line,
        # and then only by its number.
        match = re.match(r"(c?)ob=\((\d+)\)(?: (.*))?$", line)
        if match:
            if match.group(3) is not None:
                objects[match.group(2)] = match.group(3)
            if not match.group(1):
                current = objects.get(match.group(2), "")
            continue
        if line.startswith("calls="):
            after_call = True
            continue
        if line[:1].isdigit() or line[:1] in "+-*":
            if after_call:
                after_call = False
                continue
            fields = line.split()
            if len(fields) >= 2 and not HOST_CHOSEN_OBJECTS.search(current or ""):
                total += int(fields[1])
            continue
    return name, (total if name is not None else None)


def measure(program):
    """Runs the program under callgrind: its counts by workload, in run order, and
    the compiler and Valgrind that made them."""
    valgrind = subprocess.run(["valgrind", "--version"], capture_output=True, text=True)
    if valgrind.returncode != 0:
        sys.exit("perf-check: valgrind is not installed (Debian package valgrind)")
    with tempfile.TemporaryDirectory(prefix="perf-check-") as folder:
        out = pathlib.Path(folder) / "callgrind.out"
        run = subprocess.run(
            [
                "valgrind",
                "--tool=callgrind",
                "--instr-atstart=no",
                "--collect-atstart=no",
                "--dump-line=no",
                f"--callgrind-out-file={out}",
                str(program),
            ],
            capture_output=True,
            text=True,
        )
        if run.returncode != 0:
            sys.stderr.write(run.stdout + run.stderr)
            sys.exit(f"perf-check: {program} failed under callgrind (exit {run.returncode})")
        counts = {}
        # One dump a workload, callgrind.out.1, .2, ... in the order they ran; the
        # last file, written at exit, holds nothing.
        dumps = sorted(pathlib.Path(folder).glob("callgrind.out.*"),
                       key=lambda p: int(p.suffix[1:]))
        for dump in dumps:
            name, total = read_dump(dump.read_text(encoding="utf-8", errors="replace"))
            if name is not None and total is not None:
                counts[name] = total
    compiler = next((line.split(": ", 1)[1] for line in run.stdout.splitlines()
                     if line.startswith("compiler: ")), "unknown compiler")
    return counts, f"{compiler}, {valgrind.stdout.strip()}"


def compare(budgets, counts):
    """Report lines and the number of faults: counts above budget by more than the
    tolerance, workloads without a budget, budgets without a workload."""
    lines = [f"{'workload':<40} {'budget':>14} {'count':>14} {'change':>9}"]
    faults = 0
    below = 0
    for name in list(counts) + [name for name in budgets if name not in counts]:
        budget = budgets.get(name)
        count = counts.get(name)
        if budget is None or count is None:
            faults += 1
            old = "no budget" if budget is None else f"{budget:,}"
            new = "not run" if count is None else f"{count:,}"
            lines.append(f"{name:<40} {old:>14} {new:>14} {'':>9}  FAILED")
            continue
        change = (count - budget) * 100.0 / budget if budget else float("inf")
        over = count * 100 > budget * (100 + TOLERANCE_PERCENT)
        faults += over
        below += count < budget
        mark = f"  FAILED: more than {TOLERANCE_PERCENT} % above its budget" if over else ""
        lines.append(f"{name:<40} {budget:>14,} {count:>14,} {change:>+8.2f}%{mark}")
    return lines, faults, below


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--write", action="store_true", help="rewrite the budget file")
    parser.add_argument("program", type=pathlib.Path)
    parser.add_argument("budgets", type=pathlib.Path)
    args = parser.parse_args()

    counts, recorded = measure(args.program)
    if not counts:
        sys.exit("perf-check: callgrind wrote no workload's count")
    if args.write:
        write_budgets(args.budgets, counts, recorded)
        print(f"perf-check: wrote {len(counts)} budgets to {args.budgets} ({recorded})")
        return 0

    budgets, budget_recorded = (read_budgets(args.budgets) if args.budgets.exists()
                                else ({}, ""))
    lines, faults, below = compare(budgets, counts)
    print(f"perf-check: instructions counted by callgrind against {args.budgets}")
    print("\n".join(lines))
    if budget_recorded != recorded:
        print(f"perf-check: note: the budgets were recorded with {budget_recorded or 'unknown'},"
              f" this run used {recorded}; counts differ between compilers")
    if faults:
        print(f"perf-check: FAILED: {faults} of the workloads above")
        return 1
    print(f"perf-check: passed, no count more than {TOLERANCE_PERCENT} % above its budget")
    if below:
        print(f"perf-check: {below} counts fell below their budgets; `make perf-budget` "
              "records them (commit the file saying why)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
