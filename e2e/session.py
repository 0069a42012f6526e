"""A Wine prefix for one scenario, and the driver that works the uninstaller inside it.

The prefix is a copy of the session's template (scripts/wine-env.sh makes the template once and
the copies). All Wine processes of a prefix share one wineserver, kept alive for the scenario
and ended with "wineserver -k" of that prefix alone, never by process name.
"""

import json
import os
import shutil
import subprocess
import sys
import time

from installation import Layout, SeededFiles, host_path, reg_file_bytes

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_ENV = os.path.join(ROOT, "scripts", "wine-env.sh")
E2E_FOLDER = "C:\\e2e"  # the driver, the program, steps and reports inside the prefix

_env_cache = None


def wine_environment():
    """The environment scripts/wine-env.sh sets up (locale, code page, Wine settings)."""
    global _env_cache
    if _env_cache is None:
        out = subprocess.run(["bash", "-c", '. "$1" >/dev/null && env -0', "_", WINE_ENV],
                             check=True, stdout=subprocess.PIPE).stdout
        _env_cache = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
    return dict(_env_cache)


def wine_function(name, *args, env=None):
    """Runs one function of scripts/wine-env.sh and gives its output."""
    script = '. "$1" >/dev/null && shift && "$@"'
    out = subprocess.run(["bash", "-c", script, "_", WINE_ENV, name] + list(args), check=True,
                         stdout=subprocess.PIPE, env=env)
    return out.stdout.decode().strip()


def make_template():
    wine_function("wine_template")


class ScenarioFailed(AssertionError):
    pass


class Prefix:
    """One copy of the template, with the program and the driver copied into C:\\e2e."""

    def __init__(self, exe, driver, log=print):
        self.log = log
        self.env = wine_environment()
        self.path = wine_function("wine_new_prefix")
        self.env["WINEPREFIX"] = self.path
        self.files = SeededFiles()
        users = [u for u in os.listdir(os.path.join(self.path, "drive_c", "users")) if u != "Public"]
        if len(users) != 1:
            raise ScenarioFailed("cannot tell the prefix's user among %r" % users)
        self.user = users[0]
        os.makedirs(self.host(E2E_FOLDER), exist_ok=True)
        shutil.copy(exe, self.host(E2E_FOLDER + "\\TabletUninstaller.exe"))
        shutil.copy(driver, self.host(E2E_FOLDER + "\\e2e_driver.exe"))
        # One server for the whole scenario: without it every Wine command starts its own. It
        # lingers 30 s at most once nothing uses it, should this runner be killed before end().
        subprocess.run(["wineserver", "-p30"], env=self.env, check=True)
        self.runs = 0

    def layout(self, install=None):
        return Layout(self.user) if install is None else Layout(self.user, install)

    def host(self, windows_path):
        return host_path(self.path, windows_path)

    def output_file(self):
        # Not a pipe: Wine's background processes inherit the output and keep a pipe open for
        # as long as the server lives, so reading it to its end would wait for the scenario's end.
        return open(os.path.join(self.path, "wine-output.log"), "ab")

    def wine(self, *args, timeout=120):
        """Runs a Wine command; gives its exit code."""
        with self.output_file() as out:
            proc = subprocess.run(["wine"] + list(args), env=self.env, timeout=timeout,
                                  stdout=out, stderr=subprocess.STDOUT, cwd=self.path)
        return proc.returncode

    def import_registry(self, texts, name="seed.reg"):
        target = E2E_FOLDER + "\\" + name
        with open(self.host(target), "wb") as f:
            f.write(reg_file_bytes(texts))
        rc = self.wine("reg", "import", target)
        if rc != 0:
            raise ScenarioFailed("reg import of %s failed with %d" % (name, rc))

    def add_network_drive(self, letter):
        """Maps a drive letter to a folder of its own inside the prefix and gives it the type
        "network", which makes GetDriveTypeA report DRIVE_REMOTE. Wine reads drive types when a
        session starts, so the session is restarted; seed the drive's files afterwards."""
        folder = os.path.join(self.path, "network-" + letter.lower())
        os.makedirs(folder, exist_ok=True)
        link = os.path.join(self.path, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(folder, link)
        self.import_registry(['[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"%s:"="network"\n' % letter.lower()],
                             name="network-drive.reg")
        self.restart()

    def restart(self):
        """What a restart is to Wine: the session ends, and the next one starts afresh (and
        carries out the renames and deletions put off until then)."""
        subprocess.run(["wineserver", "-k"], env=self.env)
        subprocess.run(["wineserver", "-w"], env=self.env)
        subprocess.run(["wineserver", "-p30"], env=self.env, check=True)
        self.wine("cmd", "/c", "exit")

    def drive(self, steps, screenshot=None, timeout=600):
        """Runs the driver with the given steps (lists of fields) and gives its report, one dict
        per step. A "pause" step is answered by taking a screenshot into `screenshot`."""
        self.runs += 1
        name = "run%d" % self.runs
        steps_file = E2E_FOLDER + "\\" + name + ".steps"
        report_file = E2E_FOLDER + "\\" + name + ".jsonl"
        marker = E2E_FOLDER + "\\" + name + ".shot"
        lines = []
        for step in steps:
            if step[0] == "pause":
                step = ["pause", marker]
            lines.append("\t".join(step))
        with open(self.host(steps_file), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        began = time.monotonic()
        out = self.output_file()
        proc = subprocess.Popen(["wine", E2E_FOLDER + "\\e2e_driver.exe", steps_file, report_file],
                                env=self.env, cwd=self.path, stdout=out, stderr=subprocess.STDOUT)
        ready = self.host(marker + ".ready")
        try:
            while proc.poll() is None:
                if os.path.exists(ready):
                    os.remove(ready)
                    if screenshot:
                        self.take_screenshot(screenshot)
                    open(self.host(marker + ".go"), "w").close()
                if time.monotonic() - began > timeout:
                    proc.kill()
                    raise ScenarioFailed("the driver did not finish within %d s" % timeout)
                time.sleep(0.2)
        finally:
            out.close()
        report = []
        if os.path.exists(self.host(report_file)):
            with open(self.host(report_file), encoding="utf-8") as f:
                report = [json.loads(line) for line in f if line.strip()]
        timed = ", ".join("%s %ss" % (r["step"], r["seconds"]) for r in report if "seconds" in r)
        self.log("driver run %d: %.1f s (%s), exit %s" % (
            self.runs, time.monotonic() - began, timed, proc.returncode))
        errors = [r for r in report if "error" in r]
        if proc.returncode != 0 or errors or len(report) != len(steps):
            raise ScenarioFailed("the driver failed (exit %s): %s" % (
                proc.returncode, errors or report[-1:] or "no report"))
        return report

    def take_screenshot(self, target):
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # The root window holds only the program's windows on a black ground: trim to them.
        subprocess.run(["import", "-window", "root", "-trim", "+repage", target], check=True,
                       env=dict(os.environ), timeout=60)
        self.log("screenshot: " + target)

    def end(self, keep=False):
        subprocess.run(["wineserver", "-k"], env=self.env)
        subprocess.run(["wineserver", "-w"], env=self.env)
        if keep:
            self.log("prefix kept: " + self.path)
            return
        # Read-only seeds and folders must not stop the clean-up.
        for folder, dirs, files in os.walk(self.path):
            for name in dirs + files:
                p = os.path.join(folder, name)
                if not os.path.islink(p):
                    try:
                        os.chmod(p, 0o755 if os.path.isdir(p) else 0o644)
                    except OSError:
                        pass
        shutil.rmtree(self.path, ignore_errors=True)


def ensure_display():
    """Runs this script again under xvfb-run unless it already is: tests never open windows on
    the developer's display, and a headless machine has none."""
    if os.environ.get("E2E_UNDER_XVFB") == "1":
        return
    env = dict(os.environ, E2E_UNDER_XVFB="1")
    args = ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable] + sys.argv
    os.execvpe("xvfb-run", args, env)
