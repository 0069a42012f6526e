#!/usr/bin/env python3
"""Runs the real uninstaller under Wine: one end-to-end scenario, or the demo.

  run.py template                                   make the session's prefix template
  run.py list                                       the scenario names
  run.py scenario NAME --exe EXE --driver DRIVER [--planted DIR] [--screenshots DIR] [--keep]
  run.py demo --exe EXE --driver DRIVER [--version winxp] [--screenshot FILE]

Everything that starts Wine runs under its own Xvfb display (xvfb-run -a), except the demo when
a display is there to show the window on.
"""

import argparse
import os
import signal
import sys
import time
import traceback
import unicodedata

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import expected as X  # noqa: E402
import scenarios  # noqa: E402
import session  # noqa: E402


def log(message):
    print(message, flush=True)


def run_scenario(args):
    session.ensure_display()
    session.make_template()
    scenario = scenarios.SCENARIOS[args.name]
    began = time.monotonic()
    prefix = session.Prefix(args.exe, args.driver, log)
    ok = False
    try:
        ctx = scenarios.Context(prefix, args.screenshots, log, args.planted)
        scenario(ctx)
        ctx.finish()
        ok = True
    except session.ScenarioFailed as e:
        log("FAILED: %s" % e)
    except Exception:
        traceback.print_exc()
    finally:
        prefix.end(keep=args.keep and not ok)
    log("%s: %s in %.1f s" % (args.name, "passed" if ok else "FAILED", time.monotonic() - began))
    return 0 if ok else 1


def width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def print_table(rows):
    item_width = min(max([width(r[0]) for r in rows] + [10]), 100)
    for item, status in rows:
        print("  " + item + " " * max(1, item_width - width(item) + 2) + status)


def run_demo(args):
    headless = not os.environ.get("DISPLAY") or os.environ.get("E2E_UNDER_XVFB") == "1"
    if headless:
        session.ensure_display()
    session.make_template()
    prefix = session.Prefix(args.exe, args.driver, log)
    try:
        ctx = scenarios.Context(prefix, None, log)
        # On a desktop the window manager may frame the window (the tests' template says no).
        managed = [] if headless else ['[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="Y"\n']
        machine = scenarios.Machine(ctx, args.version, reg_overrides=managed)
        log("Demo prefix %s, Windows version %s, the driver package installed in %s" % (
            prefix.path, args.version, machine.layout["install"]))
        if not headless:
            log("Press 実行 (Run) to remove the package, 閉じる (Close) to end.")
            prefix.wine(scenarios.PROGRAM, timeout=None)
            return 0
        steps = scenarios.opening_steps(args.version)
        steps.add("run", "run")
        steps.add("rows", "rows")
        steps.add(None, "pause")
        steps.add("close", "close")
        results = steps.results(prefix.drive(steps.steps, screenshot=args.screenshot))
        window = results["window"]
        print()
        print("%s   OS : %s   Run %s" % (window["title"], window["label"],
                                         "enabled" if window["run_enabled"] else "disabled"))
        if results["run"].get("disabled"):
            print("Run is disabled on this Windows version: nothing was removed.")
        else:
            rows = results["rows"]["rows"]
            print()
            heading = tuple(c["text"] for c in window["columns"][:2])
            print_table([heading] + [tuple(r) for r in rows])
            box = results["run"]["box"]
            print()
            print("[%s] (%s)" % (box["caption"], box["icon"]))
            for line in box["text"].split("\n"):
                print("  " + line)
        print()
        print("Exit code %d. Screenshot: %s" % (results["close"]["exit"], args.screenshot))
        return 0
    finally:
        prefix.end()


def end_on_signal(signum, frame):
    # Turned into an exception so that the prefix's Wine processes are ended on the way out.
    raise SystemExit(128 + signum)


def main():
    signal.signal(signal.SIGTERM, end_on_signal)
    signal.signal(signal.SIGHUP, end_on_signal)
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    sub.add_parser("template")
    sub.add_parser("list")
    s = sub.add_parser("scenario")
    s.add_argument("name", choices=sorted(scenarios.SCENARIOS))
    s.add_argument("--exe", required=True)
    s.add_argument("--driver", required=True)
    s.add_argument("--planted", help="the folder of the test's comctl32.dll and shlwapi.dll")
    s.add_argument("--screenshots")
    s.add_argument("--keep", action="store_true", help="keep the prefix of a failed scenario")
    d = sub.add_parser("demo")
    d.add_argument("--exe", required=True)
    d.add_argument("--driver", required=True)
    d.add_argument("--version", default="winxp", choices=sorted(X.LABELS))
    d.add_argument("--screenshot", default=os.path.abspath("demo-screenshot.png"))
    args = parser.parse_args()

    if args.command == "template":
        session.make_template()
        return 0
    if args.command == "list":
        print("\n".join(sorted(scenarios.SCENARIOS)))
        return 0
    if args.command == "scenario":
        return run_scenario(args)
    return run_demo(args)


if __name__ == "__main__":
    sys.exit(main())
