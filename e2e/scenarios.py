"""The end-to-end scenarios: a seeded machine, the real program worked through the driver, and
what must hold afterwards (rows, summary, exit code, files, registry).

Each scenario is a function taking a Context; SCENARIOS maps the CTest names to them.
"""

import os
import shutil

import expected as X
from installation import INSTALL_FOLDER, parse_reg, read_manifest, read_reg, reg_string, version_reg
from session import E2E_FOLDER, ScenarioFailed

PROGRAM = E2E_FOLDER + "\\TabletUninstaller.exe"
WORKING_FOLDER = E2E_FOLDER + "\\cwd"  # the program's current folder
PENDING_KEY = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
PENDING_VALUE = "PendingFileRenameOperations"
# Pen class instances of package-9x.reg whose "DriverDesc" names the driver, in key order.
PEN_INFS = ["OEM3.INF", "OEM7.INF"]
# Keys of the 9x removal list that package-9x.reg does not create (a one-tablet machine).
WIN9X_ABSENT_KEYS = [
    "HLM\\Enum\\SERENUM\\ZRV0A50", "HLM\\Enum\\SERENUM\\ZRV0A40", "HLM\\Enum\\SERENUM\\ZRV0A42",
    "HLM\\Enum\\SERENUM\\ZRV0A30", "HLM\\" + X.UNINSTALL + "Tablet Driver",
]


# Where the shell looks up a user's moved shell folders, and the value of each layout name.
USER_SHELL_FOLDERS = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
SHELL_FOLDER_VALUES = {"programs": "Programs", "startup": "Startup"}
# A Japanese Windows 98 keeps the user's start-up folder under a half-width katakana name.
JAPANESE_STARTUP = "C:\\windows\\ｽﾀｰﾄ ﾒﾆｭｰ\\ﾌﾟﾛｸﾞﾗﾑ\\ｽﾀｰﾄｱｯﾌﾟ"


def user_shell_folders(folders):
    """Registry lines that move shell folders ({layout name: Windows path})."""
    text = ""
    for name, path in folders.items():
        text += '[%s]\n"%s"="%s"\n' % (USER_SHELL_FOLDERS, SHELL_FOLDER_VALUES[name], reg_string(path))
    return text


class Context:
    def __init__(self, prefix, screenshots, log, planted=None):
        """`planted`: the folder of the test's comctl32.dll and shlwapi.dll (plant_libraries)."""
        self.prefix = prefix
        self.screenshots = screenshots
        self.log = log
        self.planted = planted
        self.failures = []

    # ---- checks: every difference is collected, the scenario fails at its end -----------------

    def fail(self, message):
        self.failures.append(message)
        self.log("FAIL: " + message)

    def equal(self, what, got, want):
        if got != want:
            self.fail("%s: got %r, want %r" % (what, got, want))

    def rows(self, what, got, want):
        got = [tuple(r) for r in got]
        if got == want:
            self.log("%s: %d rows as expected" % (what, len(got)))
            return
        lines = ["%s: the rows differ (got %d, want %d)" % (what, len(got), len(want))]
        for i in range(max(len(got), len(want))):
            g = got[i] if i < len(got) else None
            w = want[i] if i < len(want) else None
            if g != w:
                lines.append("  row %d: got %r, want %r" % (i, g, w))
        self.fail("\n".join(lines[:40]))

    def finish(self):
        if self.failures:
            raise ScenarioFailed("%d check(s) failed" % len(self.failures))


class Steps:
    """Driver steps with names, so that their reports can be picked out afterwards."""

    def __init__(self):
        self.steps = []
        self.names = []

    def add(self, name, *fields):
        self.steps.append(list(fields))
        self.names.append(name)
        return self

    def results(self, report):
        return {name: r for name, r in zip(self.names, report) if name}


class Machine:
    """What a scenario seeded: package files and keys, canary files and keys."""

    def __init__(self, ctx, version, install=INSTALL_FOLDER, skip_files=(), reg_overrides=(),
                 package=True, shell_folders=None):
        """`shell_folders`: {layout name: Windows path} of shell folders moved elsewhere through
        the user's shell folder settings (see user_shell_folders)."""
        p = ctx.prefix
        self.ctx = ctx
        self.version = version
        self.nt = version in X.NT_VERSIONS or version in ("win2003", "win7")
        self.layout = p.layout(install)
        reg_overrides = list(reg_overrides)
        if shell_folders:
            self.layout.folders.update(shell_folders)
            reg_overrides.append(user_shell_folders(shell_folders))
        family = "nt" if self.nt else "9x"
        os.makedirs(p.host(WORKING_FOLDER), exist_ok=True)
        self.package_files = []
        if package:
            self.package_files = p.files.add_manifest(p.path, self.layout, "package-%s.files" % family,
                                                      skip=skip_files)
            if version == "win95":
                self.package_files += p.files.add_manifest(p.path, self.layout, "inf-win95.files")
            elif not self.nt:
                self.package_files += p.files.add_manifest(p.path, self.layout, "inf-later-9x.files")
        self.canary_files = p.files.add_manifest(p.path, self.layout, "canaries.files")
        package_reg = read_reg("package-%s.reg" % family, install) if package else ""
        canary_reg = read_reg("canaries.reg", install)
        self.package_keys = parse_reg(package_reg)
        self.canary_keys = parse_reg(canary_reg)
        p.import_registry([version_reg(version), package_reg, canary_reg] + list(reg_overrides))

    # ---- steps that check the registry after the program has ended ------------------------------

    def registry_steps(self, steps):
        for key in self.canary_keys:
            steps.add("canary " + key, "key", key)
        for key in self.removal_keys():
            steps.add("removed " + key, "key", key)
        if not self.nt:
            steps.add("runservices", "key", X.WIN9X_VALUES[0][0])
        steps.add("pending", "value", PENDING_KEY, PENDING_VALUE)
        return steps

    def removal_keys(self):
        return X.NT_KEYS if self.nt else X.WIN9X_KEYS

    def check_canaries(self, results):
        """Every canary file with its bytes, every canary key with its values."""
        ctx = self.ctx
        for path in self.canary_files:
            self.check_file_kept(path)
        for key, values in self.canary_keys.items():
            r = results["canary " + key]
            if not r["exists"]:
                ctx.fail("canary key removed: " + key)
                continue
            for name, value in values.items():
                if name == "Tablet" and key == X.WIN9X_VALUES[0][0]:
                    continue
                ctx.equal("canary value %s\\%s" % (key, name), r["values"].get(name), value)

    def check_file_kept(self, path, data=None):
        host = self.ctx.prefix.host(path)
        want = self.ctx.prefix.files.files.get(path) if data is None else data
        if not os.path.isfile(host):
            self.ctx.fail("file removed that must stay: " + path)
            return
        with open(host, "rb") as f:
            if f.read() != want:
                self.ctx.fail("file changed that must stay: " + path)

    def check_package_gone(self, results, left=()):
        """The package's files, menu folders and keys are gone, except the paths in `left`."""
        ctx = self.ctx
        for path in self.package_files:
            if path in left:
                self.check_file_kept(path)
            elif os.path.lexists(ctx.prefix.host(path)):
                ctx.fail("package file still there: " + path)
        menus = X.NT_MENU_FOLDERS if self.nt else X.WIN9X_MENU_FOLDERS
        for base in ("common_programs", "programs"):
            for name in menus:
                path = self.layout[base] + "\\" + name
                if path not in left and os.path.lexists(ctx.prefix.host(path)):
                    ctx.fail("menu folder still there: " + path)
        for key in self.removal_keys():
            if results["removed " + key]["exists"]:
                ctx.fail("key still there: " + key)
        if not self.nt:
            values = results["runservices"]["values"]
            if "Tablet" in values:
                ctx.fail("the RunServices value Tablet is still there")

    def pending(self, results):
        """The deletions put off until restart: Windows paths with an empty new name."""
        data = results["pending"]["data"] or []
        out = []
        for i in range(0, len(data), 2):
            source = data[i]
            target = data[i + 1] if i + 1 < len(data) else ""
            out.append((source[4:] if source.startswith("\\??\\") else source, target))
        return out

    def check_pending(self, results, paths):
        pending = self.pending(results)
        for path in paths:
            if (path, "") not in pending:
                self.ctx.fail("not scheduled for deletion at restart: %s (pending: %r)" % (path, pending))


def standard_run(steps, name="", screenshot=False, ask_end_session=False):
    """Run pressed and the rows read, with which of them the list shows. `ask_end_session`: the
    driver also asks whether the session may end while the run goes on and while its summary box
    is up (check_end_session)."""
    steps.add("run" + name, *(["run", "ask-end-session"] if ask_end_session else ["run"]))
    steps.add("rows" + name, "rows")
    if screenshot:
        steps.add(None, "pause")
    return steps


def check_box(ctx, what, result, summary):
    box = result.get("box")
    if box is None:
        ctx.fail("%s: no summary box" % what)
        return
    ctx.equal(what + " caption", box["caption"], X.SUMMARY_CAPTION)
    ctx.equal(what + " text", box["text"], summary[0])
    ctx.equal(what + " icon", box["icon"], summary[1])


# How long a window may leave a sent message unanswered during a run: the system calls a window
# "not responding" after 5 s; a user notices well before that.
LONGEST_SILENCE_MS = 1000


def check_responsive(ctx, what, result):
    """While the run went on, the window answered sent messages with no long silence, the system
    never counted it as hung, and rows of this run could be read before the summary box."""
    w = result.get("watch")
    if w is None:
        ctx.fail("%s: the run was not watched" % what)
        return
    ctx.log("%s: %d of %d probes answered, longest silence %d ms in %d ms, hung %s, rows %d before, "
            "%d read mid-run" % (what, w["answered"], w["sent"], w["longest_silence_ms"], w["run_ms"],
                                 w["hung"], w["rows_before"], w["rows_mid_run"]))
    if w["longest_silence_ms"] >= LONGEST_SILENCE_MS:
        ctx.fail("%s: the window answered nothing for %d ms" % (what, w["longest_silence_ms"]))
    ctx.equal(what + ": counted as hung", w["hung"], False)
    if w["rows_mid_run"] <= w["rows_before"]:
        ctx.fail("%s: no row of the run could be read before its end (%d rows before, %d read)" % (
            what, w["rows_before"], w["rows_mid_run"]))


def check_end_session(ctx, what, result, rows_in_run, idle):
    """The end of the session was refused while the run's rows were being added, and agreed to
    once they all were: while its summary box was up, and (`idle`) once the box had gone.
    `rows_in_run`: how many rows the run adds, to tell that the first question came while its
    rows were still being added."""
    asked = result.get("end_session")
    if asked is None:
        ctx.fail("%s: the end-of-session question was not asked" % what)
        return
    mid, box = asked["mid_run"], asked["box"]
    ctx.log("%s: end of session asked mid-run %r, with the box up %r, idle %r" % (what, mid, box, idle))
    if mid is None:
        ctx.fail("%s: no row of the run showed before its end, so nobody asked during it" % what)
    else:
        rows_before = result["watch"]["rows_before"]
        if mid["box_after"] or not rows_before < mid["rows_after"] < rows_before + rows_in_run:
            ctx.fail("%s: the question was answered after the run's last row (%d rows before the run, %d "
                     "after the answer, box %s)" % (what, rows_before, mid["rows_after"], mid["box_after"]))
        ctx.equal(what + ": question answered during the run", mid["answered"], True)
        ctx.equal(what + ": may the session end during the run", mid["answer"], 0)
    if box is None:
        ctx.fail("%s: the question was not asked while the summary box was up" % what)
    else:
        ctx.equal(what + ": question answered with the box up", box["answered"], True)
        if box["answer"] == 0:
            ctx.fail("%s: with the summary box up the window refuses the end of the session" % what)
    ctx.equal("idle: question answered", idle["answered"], True)
    if idle["answer"] == 0:
        ctx.fail("idle after the run: the window refuses the end of the session")


def check_row_in_view(ctx, what, rows_result, index):
    """The list shows row `index` (wholly) once the run is over."""
    top, per_page = rows_result["top"], rows_result["per_page"]
    if not top <= index < top + per_page:
        ctx.fail("%s: row %d is out of view (rows %d to %d shown)" % (what, index, top, top + per_page - 1))


# A download folder: the program saved by a browser, next to whatever a web page dropped there.
DOWNLOADS = "C:\\Downloads"
PLANTED = ("comctl32", "shlwapi")


def planted_mark(name):
    return "C:\\planted-%s.txt" % name  # written by planted_library.c when loaded


def plant_libraries(ctx):
    """The program copied into DOWNLOADS next to the test's comctl32.dll and shlwapi.dll, and Wine
    told to look next to the exe first for those names, as Windows does for every library that is
    not a known DLL. The driver stays in C:\\e2e, out of their reach (it imports SHELL32, which
    imports shlwapi). Gives the copy's path."""
    p = ctx.prefix
    program = DOWNLOADS + "\\TabletUninstaller.exe"
    os.makedirs(p.host(DOWNLOADS), exist_ok=True)
    shutil.copy(p.host(PROGRAM), p.host(program))
    for name in PLANTED:
        shutil.copy(os.path.join(ctx.planted, name + ".dll"), p.host(DOWNLOADS + "\\" + name + ".dll"))
    overrides = [p.env.get("WINEDLLOVERRIDES"), ",".join(PLANTED) + "=n,b"]
    p.env["WINEDLLOVERRIDES"] = ";".join(o for o in overrides if o)
    return program


def check_planted_unused(ctx):
    for name in PLANTED:
        mark = ctx.prefix.host(planted_mark(name))
        if os.path.exists(mark):
            with open(mark, "rb") as f:
                loader = f.read().decode("cp932", "replace")
            ctx.fail("the %s.dll of the download folder was loaded, by %s" % (name, loader))


def check_window(ctx, results, version):
    w = results["window"]
    ctx.equal("title", w["title"], X.TITLE)
    ctx.equal("version label", w["label"], X.LABELS[version])
    ctx.equal("Run enabled", w["run_enabled"], X.LABELS[version] != "不明")
    ctx.equal("columns", [(c["text"], c["width"]) for c in w["columns"]], X.COLUMNS)
    ctx.equal("Run caption", w["run"], "実行")
    ctx.equal("Close caption", w["close"], "閉じる")


def opening_steps(version, before=(), program=PROGRAM, folder=WORKING_FOLDER):
    """The machine's questions, then the program started from `program` with `folder` as its
    current folder. `before`: steps (name, fields...) run just before the start, inside the same
    Wine session."""
    steps = Steps()
    steps.add("version", "version")
    steps.add("folders", "folders")
    for step in before:
        steps.add(*step)
    steps.add("start", "start", program, folder)
    steps.add("window", "window")
    return steps


def check_machine(ctx, machine, results, version):
    """The prefix is what the expectations assume: the version Wine reports and its folders."""
    earlier = len(ctx.failures)  # a scenario's earlier variants may have failed on their own
    v = results["version"]
    want = {
        "win95": (4, 0, 950, 1), "win95osr2": (4, 0, 1111, 1), "win98": (4, 10, 2222, 1),
        "winme": (4, 90, 3000, 1), "nt40": (4, 0, 1381, 2), "win2k": (5, 0, 2195, 2),
        "winxp": (5, 1, 2600, 2), "win2003": (5, 2, 3790, 2), "win7": (6, 1, 7601, 2),
    }[version]
    ctx.equal("reported version", (v["major"], v["minor"], v["build"] & 0xFFFF, v["platform"]), want)
    ctx.equal("ANSI code page", v["acp"], 932)
    f = results["folders"]
    for name in ("windows", "system", "common_programs", "programs", "common_startup", "startup"):
        ctx.equal("folder " + name, f[name], machine.layout[name])
    if len(ctx.failures) > earlier:
        raise ScenarioFailed("the prefix is not the machine the scenario expects")


# ---- scenarios -----------------------------------------------------------------------------------


def full_installation(version, screenshot=False, watched=False, end_session=False, planted=False):
    """A complete installation removed, then Run pressed again in the same window: the second
    run finds nothing but the folder that waits for the restart, and cannot find the install
    folder any more, whose registration the first run removed. Each run leaves its newest row in
    view. `watched`: both runs must keep the window answering (check_responsive). `end_session`:
    another program asks during the first run, and again once it is over, whether the session
    may end (check_end_session). `planted`: the program runs from a download folder into which
    a web page dropped a comctl32.dll and a shlwapi.dll, and loads neither (plant_libraries)."""

    def scenario(ctx):
        m = Machine(ctx, version)
        steps = opening_steps(version, program=plant_libraries(ctx) if planted else PROGRAM)
        standard_run(steps, "1", screenshot, ask_end_session=end_session)
        if end_session:
            steps.add("idle question", "end-session")
        standard_run(steps, "2")
        steps.add("close", "close")
        m.registry_steps(steps)
        try:
            results = steps.results(ctx.prefix.drive(steps.steps, screenshot=ctx.screenshots and screenshot and
                                                     os.path.join(ctx.screenshots, "window-%s.png" % version)))
        finally:
            if planted:
                check_planted_unused(ctx)
        check_machine(ctx, m, results, version)
        check_window(ctx, results, version)
        ztablet = m.layout["system"] + "\\Ztablet"
        pen = PEN_INFS if version == "win95" else ()
        first = X.first_run().but(ztablet, X.AT_RESTART)
        if not m.nt:
            for key in WIN9X_ABSENT_KEYS:
                first.but(key, X.NO_KEY)
        rows1 = X.rows_for(m.layout, version, first, pen)
        rows2 = X.rows_for(m.layout, version, X.second_run().but(ztablet, X.AT_RESTART), ())
        check_box(ctx, "first summary", results["run1"], X.SUMMARY_RESTART)
        ctx.rows("first run", results["rows1"]["rows"], rows1)
        check_box(ctx, "second summary", results["run2"], X.SUMMARY_PARTIAL)
        # A later run's rows go in from the top: above those of the first run.
        ctx.rows("both runs", results["rows2"]["rows"], rows2 + rows1)
        check_row_in_view(ctx, "first run's last row", results["rows1"], len(rows1) - 1)
        check_row_in_view(ctx, "second run's last row", results["rows2"], len(rows2) - 1)
        if watched:
            check_responsive(ctx, "first run", results["run1"])
            check_responsive(ctx, "second run", results["run2"])
        if end_session:
            check_end_session(ctx, "first run", results["run1"], len(rows1),
                              results["idle question"]["end_session"])
        ctx.equal("exit code", results["close"]["exit"], 0)
        # The emptied folder stays until the restart that was asked for.
        if not os.path.isdir(ctx.prefix.host(ztablet)):
            ctx.fail("Ztablet was removed before the restart")
        m.check_package_gone(results)
        m.check_canaries(results)
        m.check_pending(results, [ztablet])
        # The system took the deferral, so the start-up rename file was left alone.
        if os.path.exists(ctx.prefix.host(m.layout["windows"] + "\\wininit.ini")):
            ctx.fail("wininit.ini was written although the delayed move worked")
        if not os.path.isdir(ctx.prefix.host(m.layout["common_programs"])):
            ctx.fail("the shared Programs folder itself was removed")
        if version == "win95":
            m.check_file_kept(m.layout["inf"] + "\\OEM5.INF")

    scenario.__doc__ = full_installation.__doc__
    return scenario


def unknown_version(version, close_step):
    """A Windows the tool does not know: "不明", Run disabled, and nothing removed even when a
    Run command reaches the window from elsewhere."""

    def scenario(ctx):
        m = Machine(ctx, version)
        steps = opening_steps(version)
        steps.add("run", "run")
        steps.add("forced", "run-force", "6")
        steps.add("rows", "rows")
        steps.add("close", close_step)
        m.registry_steps(steps)
        results = steps.results(ctx.prefix.drive(steps.steps))
        check_machine(ctx, m, results, version)
        check_window(ctx, results, version)
        ctx.equal("Run pressed", results["run"].get("disabled"), True)
        ctx.equal("box after a forced Run", results["forced"]["box"], None)
        ctx.equal("rows", results["rows"]["rows"], [])
        ctx.equal("exit code", results["close"]["exit"], 0)
        for path in m.package_files:
            m.check_file_kept(path)
        for key in m.package_keys:
            if not results.get("removed " + key, {"exists": True})["exists"]:
                ctx.fail("key removed: " + key)
        m.check_canaries(results)
        ctx.equal("pending deletions", m.pending(results), [])

    return scenario


def file_in_use(ctx):
    """A driver file held open by another program: put off until restart, the restart summary,
    the request recorded for Windows, and the file gone once Wine has restarted."""
    version = "winxp"
    layout = ctx.prefix.layout()
    ztablet_file = layout["system"] + "\\Ztablet\\TabUserZ.exe"
    # Without the "Ztablet" folder the held file is the only thing left for the restart.
    m = Machine(ctx, version, skip_files=[ztablet_file])
    held = m.layout["system"] + "\\tablet.cpl"
    steps = opening_steps(version)
    steps.add("hold", "hold", held)
    standard_run(steps)
    steps.add("close", "close")
    steps.add("release", "release")
    m.registry_steps(steps)
    results = steps.results(ctx.prefix.drive(steps.steps))
    check_machine(ctx, m, results, version)
    outcome = (X.first_run().but(held, X.AT_RESTART)
               .but(ztablet_file, X.NO_FILE).but(m.layout["system"] + "\\Ztablet", X.NO_FILE))
    ctx.rows("run", results["rows"]["rows"], X.rows_for(m.layout, version, outcome))
    check_box(ctx, "summary", results["run"], X.SUMMARY_RESTART)
    ctx.equal("exit code", results["close"]["exit"], 0)
    m.check_package_gone(results, left=[held])
    m.check_pending(results, [held])
    m.check_canaries(results)
    ctx.prefix.restart()
    if os.path.exists(ctx.prefix.host(held)):
        ctx.fail("the file put off until restart is still there after the restart")
    else:
        ctx.log("after the restart the held file is gone")
    for path in m.canary_files:
        m.check_file_kept(path)


def started_in_install_folder(version):
    """The program started where it removes: first the shipped exe with the install folder as its
    current folder (a command prompt there), which must not keep that folder from going; then the
    shipped exe as the package's own Remove.exe, started from the install folder as its Start-menu
    entry does. The running exe can only go at the restart, and so can the folder that holds
    nothing else: both are put off, the folder after the exe, and a restarted Wine session takes
    them."""

    def scenario(ctx):
        p = ctx.prefix
        install = INSTALL_FOLDER
        ztablet = p.layout()["system"] + "\\Ztablet"
        m = Machine(ctx, version)
        steps = opening_steps(version, folder=install)
        standard_run(steps)
        steps.add("close", "close")
        m.registry_steps(steps)
        results = steps.results(p.drive(steps.steps))
        check_machine(ctx, m, results, version)
        outcome = X.first_run().but(ztablet, X.AT_RESTART)
        ctx.rows("run in the install folder", results["rows"]["rows"], X.rows_for(m.layout, version, outcome))
        check_box(ctx, "summary", results["run"], X.SUMMARY_RESTART)
        ctx.equal("exit code", results["close"]["exit"], 0)
        if os.path.lexists(p.host(install)):
            ctx.fail("the install folder, the program's current folder at its start, is still there")
        m.check_package_gone(results)
        m.check_canaries(results)

        m = Machine(ctx, version)
        remove = install + "\\Remove.exe"
        with open(p.host(PROGRAM), "rb") as f:
            p.files.add(p.path, remove, data=f.read())
        steps = opening_steps(version, program=remove, folder=install)
        standard_run(steps)
        steps.add("close", "close")
        m.registry_steps(steps)
        results = steps.results(p.drive(steps.steps))
        check_machine(ctx, m, results, version)
        outcome = X.first_run().but(ztablet, X.AT_RESTART).but(remove, X.AT_RESTART).but(install, X.AT_RESTART)
        ctx.rows("run as Remove.exe", results["rows"]["rows"], X.rows_for(m.layout, version, outcome))
        check_box(ctx, "summary as Remove.exe", results["run"], X.SUMMARY_RESTART)
        ctx.equal("exit code as Remove.exe", results["close"]["exit"], 0)
        # Until the restart the folder holds the exe that ran, and nothing else.
        if os.path.isdir(p.host(install)):
            ctx.equal("install folder before the restart", os.listdir(p.host(install)), ["Remove.exe"])
        else:
            ctx.fail("the install folder went before the restart although the exe in it ran")
        m.check_package_gone(results, left=[remove])
        m.check_canaries(results)
        m.check_pending(results, [remove, install])
        pending = m.pending(results)
        if (remove, "") in pending and (install, "") in pending and \
                pending.index((install, "")) < pending.index((remove, "")):
            ctx.fail("the install folder is put off before the exe inside it: %r" % pending)
        p.restart()
        for path in (remove, install, ztablet):
            if os.path.lexists(p.host(path)):
                ctx.fail("still there after the restart: " + path)
        for path in m.canary_files:
            m.check_file_kept(path)

    return scenario


# ---- deferral without the delayed-move service ---------------------------------------------------

DENY_DELAYED_MOVES = ("deny", "deny-delayed-moves")


def check_delayed_moves_denied(ctx, results):
    """The system refuses delayed moves, as Windows 9x does, or the scenario tests nothing."""
    if not results["deny"]["refused"]:
        raise ScenarioFailed("Wine still accepts delayed moves: the deferral path is not reached")


# wininit.ini as an earlier setup program left it, in two parts: up to and including the
# rename heading, and the rest. Its old requests delete one file and rename another at the
# next start. Japanese text with 0x5C trail bytes (ソ, 表) must survive byte for byte.
OLD_DELETED = "C:\\windows\\temp\\OLDSETUP.TMP"
OLD_RENAMED = ("C:\\windows\\temp\\TABNEW.TMP", "C:\\windows\\TABNEW.DAT")
OLD_RENAME_LINES = ("NUL=C:\\WINDOWS\\TEMP\\OLDSETUP.TMP\r\n"
                    "C:\\WINDOWS\\TABNEW.DAT=C:\\WINDOWS\\TEMP\\TABNEW.TMP\r\n")
OLD_RENAME_FILES = {
    # Other sections around a lower-case heading.
    "win98": ("; 以前のセットアップ\r\n[Settings]\r\nProgress=1\r\n\r\n[rename]\r\n",
              OLD_RENAME_LINES + "\r\n[表示]\r\nソフト=1\r\n"),
    # The capitalised heading first, a comment under it, another section after.
    "winme": ("[Rename]\r\n",
              "; ソフト表示の古い指示\r\n" + OLD_RENAME_LINES + "[CombineVxDs]\r\nTABLET.VXD=1\r\n"),
}


def deferred_through_rename_file(version):
    """Files in use on the 9x family, whose system has no delayed-move service: each one, with
    a long name, a long path or a Japanese path, is put off until restart through a line in the
    existing wininit.ini. Every byte of that file stays, the new lines name the 8.3 forms and
    stand newest first right under the heading, the emptied "Ztablet" folder (which the file
    cannot take) goes at once, and the summary asks for the restart. A restarted Wine session
    then does what WININIT.EXE does: the held files go and the old requests are carried out."""

    def scenario(ctx):
        p = ctx.prefix
        m = Machine(ctx, version, shell_folders={"startup": JAPANESE_STARTUP})
        held = [m.layout["system"] + "\\tabletservice.exe",           # a long name
                m.layout["common_startup"] + "\\TabUserZ.exe.lnk",    # long names all along
                m.layout["startup"] + "\\TabUserZ.lnk"]               # a Japanese path
        p.files.add(p.path, OLD_DELETED)
        p.files.add(p.path, OLD_RENAMED[0])
        rename_file = m.layout["windows"] + "\\wininit.ini"
        head, tail = (t.encode("cp932") for t in OLD_RENAME_FILES[version])
        # Seeded inside the session: one there when a session starts is carried out at once.
        before = [("short " + path, "short-name", path) for path in held]
        before += [DENY_DELAYED_MOVES, (None, "write-file", rename_file, (head + tail).hex())]
        steps = opening_steps(version, before)
        for path in held:
            steps.add(None, "hold", path)
        standard_run(steps)
        steps.add("close", "close")
        steps.add(None, "release")
        steps.add("rename file", "read-file", rename_file)
        m.registry_steps(steps)
        results = steps.results(p.drive(steps.steps))
        check_machine(ctx, m, results, version)
        check_delayed_moves_denied(ctx, results)
        ztablet = m.layout["system"] + "\\Ztablet"
        outcome = X.first_run().but(ztablet, X.DELETED)
        for path in held:
            outcome.but(path, X.AT_RESTART)
        for key in WIN9X_ABSENT_KEYS:
            outcome.but(key, X.NO_KEY)
        ctx.rows("run", results["rows"]["rows"], X.rows_for(m.layout, version, outcome))
        check_box(ctx, "summary", results["run"], X.SUMMARY_RESTART)
        ctx.equal("exit code", results["close"]["exit"], 0)
        # The last request made stands first.
        lines = b"".join(b"NUL=" + bytes.fromhex(results["short " + path]["hex"]) + b"\r\n"
                         for path in reversed(held))
        want = head + lines + tail
        got = results["rename file"]["hex"]
        got = None if got is None else bytes.fromhex(got)
        if got != want:
            ctx.fail("wininit.ini after the run:\n  got  %r\n  want %r" % (got, want))
        else:
            ctx.log("wininit.ini as expected: %r" % got)
        ctx.equal("pending deletions", m.pending(results), [])
        if os.path.lexists(p.host(ztablet)):
            ctx.fail("the emptied Ztablet folder is still there")
        m.check_package_gone(results, left=held)
        m.check_canaries(results)

        p.restart()
        for path in held:
            if os.path.lexists(p.host(path)):
                ctx.fail("still there after the restart: " + path)
        if os.path.lexists(p.host(OLD_DELETED)) or os.path.lexists(p.host(OLD_RENAMED[0])):
            ctx.fail("the old requests of wininit.ini were not carried out")
        else:
            m.check_file_kept(OLD_RENAMED[1], data=p.files.files[OLD_RENAMED[0]])
        if os.path.lexists(p.host(rename_file)):
            ctx.fail("wininit.ini is still there after the restart")
        m.check_file_kept(m.layout["windows"] + "\\wininit.bak", data=want)
        for path in m.canary_files:
            m.check_file_kept(path)

    return scenario


def deferral_denied_nt(version):
    """A file in use on the NT family while the delayed-move service refuses: the file stays
    with an error row, no wininit.ini is written (NT never reads it), the emptied "Ztablet"
    folder goes at once, and the summary reports the failure."""

    def scenario(ctx):
        p = ctx.prefix
        m = Machine(ctx, version)
        held = m.layout["system"] + "\\tablet.cpl"
        rename_file = m.layout["windows"] + "\\wininit.ini"
        steps = opening_steps(version, [DENY_DELAYED_MOVES])
        steps.add(None, "hold", held)
        standard_run(steps)
        steps.add("close", "close")
        steps.add(None, "release")
        steps.add("rename file", "read-file", rename_file)
        m.registry_steps(steps)
        results = steps.results(p.drive(steps.steps))
        check_machine(ctx, m, results, version)
        check_delayed_moves_denied(ctx, results)
        ztablet = m.layout["system"] + "\\Ztablet"
        outcome = X.first_run().but(held, X.ERROR).but(ztablet, X.DELETED)
        ctx.rows("run", results["rows"]["rows"], X.rows_for(m.layout, version, outcome))
        check_box(ctx, "summary", results["run"], X.SUMMARY_PARTIAL)
        ctx.equal("exit code", results["close"]["exit"], 0)
        ctx.equal("wininit.ini", results["rename file"]["hex"], None)
        ctx.equal("pending deletions", m.pending(results), [])
        if os.path.lexists(p.host(ztablet)):
            ctx.fail("the emptied Ztablet folder is still there")
        m.check_package_gone(results, left=[held])
        m.check_canaries(results)

    return scenario


def install_folder_extra_file(version):
    """The install folder holds a file of the user's: the package's files go, the folder and
    that file stay, the folder's row is an error and the summary says so."""

    def scenario(ctx):
        notes = INSTALL_FOLDER + "\\メモ.txt"
        m = Machine(ctx, version)
        ctx.prefix.files.add(ctx.prefix.path, notes)
        steps = opening_steps(version)
        standard_run(steps)
        steps.add("close", "close")
        m.registry_steps(steps)
        results = steps.results(ctx.prefix.drive(steps.steps))
        check_machine(ctx, m, results, version)
        outcome = X.first_run().but(m.layout["system"] + "\\Ztablet", X.AT_RESTART).but(
            INSTALL_FOLDER, X.ERROR)
        if not m.nt:
            for key in WIN9X_ABSENT_KEYS:
                outcome.but(key, X.NO_KEY)
        ctx.rows("run", results["rows"]["rows"],
                 X.rows_for(m.layout, version, outcome, PEN_INFS if version == "win95" else ()))
        check_box(ctx, "summary", results["run"], X.SUMMARY_PARTIAL)
        m.check_file_kept(notes)
        m.check_package_gone(results)
        m.check_canaries(results)

    return scenario


def install_folder_missing(version):
    """The registration names an install folder that no longer exists: every install file is
    missing, the folder's row is an error, and nothing else is touched because of it."""

    def scenario(ctx):
        layout = ctx.prefix.layout()
        skip = [layout.expand(t) for t, _ in read_manifest("package-%s.files" % (
            "nt" if version in X.NT_VERSIONS else "9x")) if t.startswith("{install}")]
        m = Machine(ctx, version, skip_files=skip)
        if os.path.exists(ctx.prefix.host(INSTALL_FOLDER)):
            raise ScenarioFailed("the install folder was seeded although it must be missing")
        steps = opening_steps(version)
        standard_run(steps)
        steps.add("close", "close")
        m.registry_steps(steps)
        results = steps.results(ctx.prefix.drive(steps.steps))
        check_machine(ctx, m, results, version)
        outcome = X.Outcome(install_file=X.NO_FILE, install_folder=X.ERROR).but(
            m.layout["system"] + "\\Ztablet", X.AT_RESTART)
        if not m.nt:
            for key in WIN9X_ABSENT_KEYS:
                outcome.but(key, X.NO_KEY)
        ctx.rows("run", results["rows"]["rows"], X.rows_for(m.layout, version, outcome))
        check_box(ctx, "summary", results["run"], X.SUMMARY_PARTIAL)
        m.check_package_gone(results)
        m.check_canaries(results)
        if os.path.exists(ctx.prefix.host(INSTALL_FOLDER)):
            ctx.fail("the missing install folder was created")
        m.check_file_kept(layout.expand("{install}\\..\\Shared\\keep.dll"))

    return scenario


def links_in_start_menu(version):
    """A folder link inside a Start-menu folder, and a Start-menu folder that is itself a link,
    each pointing at files elsewhere: the tool never walks through a link, so what the links
    point at stays. (A Linux directory symlink inside drive_c is what Wine shows as a folder
    link, attributes 0x410.)

    Whether the link itself goes depends on the system: Windows removes a junction with
    RemoveDirectoryA, Wine 8 follows the symlink and refuses because the target is not empty.
    A probe link made the same way tells which system this is; the rows must then match it."""

    def scenario(ctx):
        p = ctx.prefix
        layout = p.layout()
        linked_menu = layout["programs"] + "\\タブレット"
        m = Machine(ctx, version, skip_files=[linked_menu + "\\ペンの設定.lnk"])
        inner_link = m.layout["common_programs"] + "\\Zorvik Tablet\\リンク"
        probe = "C:\\outside\\probe"
        targets = {inner_link: "C:\\outside\\リンク先", linked_menu: "C:\\outside\\メニュー",
                   probe: "C:\\outside\\probe-target"}
        kept = []
        for link, target in targets.items():
            for name in ("Keep.lnk", "下\\Keep2.lnk", "下\\ソフト表示\\Keep3.txt"):
                p.files.add(p.path, target + "\\" + name)
                kept.append(target + "\\" + name)
            host_link = p.host(link)
            os.makedirs(os.path.dirname(host_link), exist_ok=True)
            os.symlink(os.path.relpath(p.host(target), os.path.dirname(host_link)), host_link)
        steps = opening_steps(version)
        steps.add("attributes", "attributes", inner_link)
        steps.add("attributes menu", "attributes", linked_menu)
        steps.add("probe", "remove-folder", probe)
        standard_run(steps)
        steps.add("close", "close")
        m.registry_steps(steps)
        results = steps.results(p.drive(steps.steps))
        check_machine(ctx, m, results, version)
        # The prefix shows the symlinks as folder links, or the scenario tests nothing.
        ctx.equal("attributes of the inner link", results["attributes"]["attributes"], 0x410)
        ctx.equal("attributes of the linked menu", results["attributes menu"]["attributes"], 0x410)
        links_removable = results["probe"]["removed"]
        ctx.log("this system %s a folder link with RemoveDirectory (code %d)" % (
            "removes" if links_removable else "does not remove", results["probe"]["code"]))
        outcome = X.first_run().but(m.layout["system"] + "\\Ztablet", X.AT_RESTART)
        if not m.nt:
            for key in WIN9X_ABSENT_KEYS:
                outcome.but(key, X.NO_KEY)
        inner_menu = m.layout["common_programs"] + "\\Zorvik Tablet"
        left = []
        if not links_removable:
            # The walk stops at the link with an error; the folder and the link stay.
            outcome.but(inner_menu, X.ERROR).but(linked_menu, X.ERROR)
            left = [inner_menu, linked_menu]
        ctx.rows("run", results["rows"]["rows"], X.rows_for(m.layout, version, outcome,
                                                           PEN_INFS if version == "win95" else ()))
        check_box(ctx, "summary", results["run"],
                  X.SUMMARY_RESTART if links_removable else X.SUMMARY_PARTIAL)
        for path in kept:
            m.check_file_kept(path)
        for link in (inner_link, linked_menu):
            if os.path.lexists(p.host(link)) == links_removable:
                ctx.fail("the link %s: %s" % ("is still there" if links_removable else "was removed", link))
        # Files of the package inside the menu folder may have gone before the walk met the link.
        m.package_files = [f for f in m.package_files if not f.startswith(inner_menu + "\\")]
        m.check_package_gone(results, left=left)
        m.check_canaries(results)

    return scenario


def uninstall_registration(nt, uninstall_string, doc_location=None):
    """Registry lines that replace the package's uninstall command line (and, on the 9x family,
    its documents location)."""
    keys = ["Zorvik Tablet Driver"] + (["Tablet Driver"] if nt else [])
    text = ""
    for key in keys if uninstall_string is not None else ():
        text += '[HKEY_LOCAL_MACHINE\\%s%s]\n"UninstallString"="%s"\n' % (
            X.UNINSTALL, key, reg_string(uninstall_string))
    if doc_location is not None:
        text += '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tablet]\n"OEMDocLocation"="%s"\n' % reg_string(doc_location)
    return text


# Folders that are not the package's but hold files with the install files' names: the root of
# C: and a "Tablet" folder in the program's current folder, for registrations that name no real
# folder at all ...
UNUSABLE_BAIT = ("C:", WORKING_FOLDER + "\\Tablet")
# ... and for registrations that name a real folder that cannot be the package's own: the
# Windows and system folders, Program Files, a folder above the shared Start menu, a share on a
# server, and another vendor's folder (which a link in place of the install folder points at).
OTHER_VENDOR = "C:\\Program Files\\Kestrin Soft\\Pen Tools"
FOREIGN_BAIT = ("C:\\windows", "C:\\windows\\system32", "C:\\Program Files", "C:\\ProgramData",
                "\\\\server\\share\\x", OTHER_VENDOR)


DRIVE_REMOTE = 4  # GetDriveTypeA's answer for a network drive


def install_registrations(version, variants, bait_folders):
    """Uninstall registrations (and on the 9x family documents locations) and where they lead.
    Those that name no folder the tool may empty must not be taken for the package's folder:
    files with the install files' names in `bait_folders` stay, and the run reports the install
    folder as not found (the detection-error row), the rest of the run going on as usual. Those
    that name the package's folder remove it like a normal run, the folder itself included.

    `variants` are (uninstall string or None for the package's own, documents location or None,
    whether the package's folder is then found, and optionally a dict of: "version", another
    Windows version for this variant; "install", where the package is installed; "link", a
    folder that the install folder is a link to; "network", a drive letter that is made a
    network drive before the package is installed on it). A link variant comes last: the
    package's folder is replaced by the link."""

    def scenario(ctx):
        p = ctx.prefix
        names = X.NT_INSTALL_FILES  # the same names on both families
        bait = [folder + "\\" + n for folder in bait_folders for n in names]
        for path in bait:
            p.files.add(p.path, path)
        for uninstall_string, doc_location, found, *more in variants:
            options = more[0] if more else {}
            v = options.get("version", version)
            install = options.get("install", INSTALL_FOLDER)
            target = options.get("link")
            nt = v in X.NT_VERSIONS
            install_files = [install + "\\" + n for n in names]
            ctx.log("%s: UninstallString %r, OEMDocLocation %r, installed in %s%s" % (
                v, uninstall_string, doc_location, install,
                ", a link to %s" % target if target else ""))
            if options.get("network"):
                drive = options["network"] + ":\\"
                p.add_network_drive(options["network"])
            if target:
                # A Linux directory symlink is what Wine shows as a folder link (0x410).
                host = p.host(install)
                if os.path.lexists(host):
                    shutil.rmtree(host)
                os.symlink(os.path.relpath(p.host(target), os.path.dirname(host)), host)
            overrides = []
            if uninstall_string is not None or doc_location is not None:
                overrides.append(uninstall_registration(nt, uninstall_string, doc_location))
            m = Machine(ctx, v, install=install, reg_overrides=overrides,
                        skip_files=install_files if target else ())
            steps = opening_steps(v)
            if target:
                steps.add("link", "attributes", install)
            if options.get("network"):
                steps.add("drive type", "drive-type", drive)
            standard_run(steps)
            steps.add("close", "close")
            m.registry_steps(steps)
            results = steps.results(p.drive(steps.steps))
            check_machine(ctx, m, results, v)
            if target:
                ctx.equal("attributes of the linked install folder", results["link"]["attributes"], 0x410)
            if options.get("network") and results["drive type"]["type"] != DRIVE_REMOTE:
                raise ScenarioFailed("%s is not a network drive to the program (type %d)" % (
                    drive, results["drive type"]["type"]))
            outcome = X.first_run(install_found=found).but(m.layout["system"] + "\\Ztablet", X.AT_RESTART)
            if not nt:
                for key in WIN9X_ABSENT_KEYS:
                    outcome.but(key, X.NO_KEY)
            ctx.rows("run with %r" % (uninstall_string or target or install), results["rows"]["rows"],
                     X.rows_for(m.layout, v, outcome))
            check_box(ctx, "summary", results["run"], X.SUMMARY_RESTART if found else X.SUMMARY_PARTIAL)
            for path in bait:
                m.check_file_kept(path)
            if target and not os.path.islink(p.host(install)):
                ctx.fail("the link in place of the install folder was removed")
            if found and not target and os.path.lexists(p.host(install)):
                ctx.fail("the install folder is still there: " + install)
            m.check_package_gone(results, left=[] if found or target else install_files)
            m.check_canaries(results)

    return scenario


SCENARIOS = {}
for _v in X.WIN9X_VERSIONS + X.NT_VERSIONS:
    SCENARIOS["full_" + _v] = full_installation(_v, screenshot=(_v in ("winxp", "win98")),
                                                watched=(_v in ("winxp", "win98", "win2k")),
                                                end_session=(_v in ("winxp", "win98")))
for _v in ("winxp", "win98"):
    SCENARIOS["planted_libraries_" + _v] = full_installation(_v, planted=True)
SCENARIOS["unknown_win2003"] = unknown_version("win2003", "close")
SCENARIOS["unknown_win7"] = unknown_version("win7", "close-window")
SCENARIOS["in_use_winxp"] = file_in_use
SCENARIOS["install_extra_file_winxp"] = install_folder_extra_file("winxp")
SCENARIOS["install_extra_file_win98"] = install_folder_extra_file("win98")
SCENARIOS["install_missing_win2k"] = install_folder_missing("win2k")
SCENARIOS["install_missing_winme"] = install_folder_missing("winme")
SCENARIOS["deferral_win98"] = deferred_through_rename_file("win98")
SCENARIOS["deferral_winme"] = deferred_through_rename_file("winme")
SCENARIOS["deferral_denied_winxp"] = deferral_denied_nt("winxp")
SCENARIOS["started_in_install_folder_winxp"] = started_in_install_folder("winxp")
SCENARIOS["links_winxp"] = links_in_start_menu("winxp")
SCENARIOS["links_win98"] = links_in_start_menu("win98")
SCENARIOS["uninstall_string_winxp"] = install_registrations("winxp", [
    ("", None, False),
    ("Tablet\\Remove.exe /s", None, False),
    ("C:\\Remove.exe", None, False),
    ("\"Remove.exe\" -y", None, False),
], UNUSABLE_BAIT)
SCENARIOS["uninstall_string_win98"] = install_registrations("win98", [
    # No marker: the documents location names the real folder, which is then removed.
    ("C:\\WINDOWS\\IsUninst.exe -y", INSTALL_FOLDER + "\\", True),
    ("", "C:\\", False),
    ("C:\\Uninst.isu", "Tablet", False),
], UNUSABLE_BAIT)
SCENARIOS["foreign_folder_winxp"] = install_registrations("winxp", [
    ("\"C:\\windows\\Remove.exe\" -u", None, False),
    ("\"C:\\Program Files\\Remove.exe\"", None, False),
    ("\"\\\\server\\share\\x\\Remove.exe\"", None, False),
    (None, None, False, {"link": OTHER_VENDOR}),
], FOREIGN_BAIT)
SCENARIOS["foreign_folder_win98"] = install_registrations("win98", [
    # The documents location is asked when the uninstall command names no folder to use.
    ("\"C:\\windows\\Remove.exe\" -u", "C:\\windows\\system32\\", False),
    ("C:\\Program Files\\Remove.exe", "C:\\ProgramData", False),
    ("\"\\\\server\\share\\x\\Remove.exe\"", "\\\\server\\share\\x\\", False),
    (None, None, False, {"link": OTHER_VENDOR}),
], FOREIGN_BAIT)
# Lines without quotes: the folder begins at the drive letter after the program's name.
SCENARIOS["uninstall_unquoted_winxp_win98"] = install_registrations("winxp", [
    ("C:\\WINNT\\IsUn0411.exe -f%s\\Uninst.isu -a" % INSTALL_FOLDER, None, True),
    # The documents location names no usable folder: only the command line finds the package.
    ("C:\\WINDOWS\\IsUninst.exe -fC:\\ZORVIK\\Tablet\\Uninst.isu", "C:\\", True,
     {"version": "win98", "install": "C:\\ZORVIK\\Tablet"}),
], UNUSABLE_BAIT)
# A mapped network drive is refused like a share: every file there stays.
SCENARIOS["network_drive_winxp"] = install_registrations("winxp", [
    (None, None, False, {"install": "D:\\ZORVIK\\Tablet", "network": "D"}),
], ())
