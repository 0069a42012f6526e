#!/usr/bin/env python3
"""Whole runs of the real program under Wine, timed: full installations of Windows XP and 98
seeded as the end-to-end tests seed them (e2e's modules, used as they are), the program started
and Run pressed by bench_full_run.exe, which takes the time from Run to the summary box. The
floor of a run is its rows times the 100 ms pause the program makes after each row.

  full_run.py --exe EXE --driver DRIVER [--runs N]

Runs the versions alternately (XP 98 98 XP ...) in one prefix, a fresh installation each time,
and prints min and median per version with the rows and the floor.
"""

import argparse
import os
import statistics
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "e2e"))

import scenarios  # noqa: E402
import session  # noqa: E402

DRIVER = session.E2E_FOLDER + "\\bench_full_run.exe"
VERSIONS = [("winxp", "XP"), ("win98", "98")]


def quiet(message):
    pass


def one_run(prefix, version):
    """Seeds a full installation of `version` and times one run of it: a dict of the driver's
    fields (rows, run_ms, start_ms, exit)."""
    ctx = scenarios.Context(prefix, None, quiet)
    scenarios.Machine(ctx, version)
    report = os.path.join(prefix.path, "full_run.txt")
    # Into a file, not a pipe: Wine's background processes would keep a pipe open.
    with open(report, "wb") as out:
        subprocess.run(["wine", DRIVER, scenarios.PROGRAM, scenarios.WORKING_FOLDER], env=prefix.env,
                       cwd=prefix.path, stdout=out, stderr=subprocess.DEVNULL, timeout=600)
    with open(report, encoding="ascii", errors="replace") as f:
        text = f.read().strip()
    fields = dict(item.split("=", 1) for item in text.split() if "=" in item)
    if "error" in fields or "run_ms" not in fields or fields.get("exit") != "0":
        raise session.ScenarioFailed("the run on %s failed: %s" % (version, text or "no report"))
    return {"rows": int(fields["rows"]), "run_ms": float(fields["run_ms"]), "start_ms": float(fields["start_ms"])}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    session.ensure_display()
    session.make_template()
    prefix = session.Prefix(args.exe, args.driver, quiet)
    results = {v: [] for v, _ in VERSIONS}
    try:
        os.replace(prefix.host(session.E2E_FOLDER + "\\e2e_driver.exe"), prefix.host(DRIVER))
        for run in range(args.runs):
            order = VERSIONS if run % 2 == 0 else VERSIONS[::-1]
            for version, _ in order:
                results[version].append(one_run(prefix, version))
    finally:
        prefix.end()

    print("\nwhole runs: the shipped exe on a full installation, Run pressed until the summary box")
    print("  %-10s %5s %5s %10s %10s %10s %8s %14s %10s" % (
        "", "runs", "rows", "min ms", "median ms", "floor ms", "ratio", "above/row ms", "start ms"))
    for version, label in VERSIONS:
        r = results[version]
        rows = sorted(set(x["rows"] for x in r))
        times = [x["run_ms"] for x in r]
        median = statistics.median(times)
        floor = rows[0] * 100.0
        print("  %-10s %5d %5s %10.0f %10.0f %10.0f %8.2f %14.1f %10.0f" % (
            label, len(r), "/".join(str(n) for n in rows), min(times), median, floor, median / floor,
            (median - floor) / rows[0], statistics.median(x["start_ms"] for x in r)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
