#!/usr/bin/env python3
"""Runs Setup.exe end to end under Wine, case by case, as a person would.

    python3 tests/e2e/run_e2e.py --bin-dir <folder with Setup.exe,
        e2e_driver.exe, e2e_stub.exe> --work <scratch folder> [-k substring]

Each case (cases.py and the files it includes) gets a fresh medium folder
under --work; e2e_driver.exe starts Setup.exe there, answers its message boxes
and operates its dialog from the case's script, and logs what it saw; the
runner compares that with the case. The Wine prefix under --work is made once
and reused. When DISPLAY is not set, an Xvfb of its own is started. A loopback
HTTP server (python3 -m http.server on 127.0.0.1) serves the cases' downloads
from --work/http while the cases run. Screenshots that a case asks for land in
--work/artifacts. Without wine the run is skipped (exit 0), unless CI is set.

The last line is "N passed, M failed"; the exit status is 0 only when no case
failed.
"""

import argparse
import importlib.util
import json
import os
import shutil
import re
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path
from typing import Dict, List, Optional

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from e2e_model import DIR, Box, Case, CaseRun, Dir, FromBin, Row, View  # noqa: E402

# Bump when the prefix settings below change: a prefix made with other
# settings is then made anew.
PREFIX_SETTINGS_VERSION = "1"
PREFIX_SETTINGS = [
    # A virtual desktop: without a window manager, every closing window
    # otherwise waits about 2 s for one.
    (r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
    (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "1024x768"),
    # No audio driver: message boxes would wait on it for their sound.
    (r"HKCU\Software\Wine\Drivers", "Audio", ""),
]
APP_DEFAULTS_KEY = r"HKCU\Software\Wine\AppDefaults\Setup.exe"


def log(msg: str) -> None:
    print(msg, flush=True)


def win_path(p: Path) -> str:
    """The Windows path of a Linux path (the prefix maps / to Z:)."""
    return "Z:" + str(p.resolve()).replace("/", "\\")


class Wine:
    """The prefix, the display and the wine server for one run."""

    def __init__(self, work: Path):
        self.work = work
        self.prefix = work / "wineprefix"
        self.logs = work / "logs"
        self.xvfb: Optional[subprocess.Popen] = None
        self.display = os.environ.get("DISPLAY", "")
        self.server_started = False

    def env(self) -> dict:
        env = dict(os.environ)
        env.update(
            WINEPREFIX=str(self.prefix),
            WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            DISPLAY=self.display,
            # A UTF-8 locale carries non-ASCII paths to Wine intact; C keeps
            # Wine's system language at 1033 whatever the machine's locale.
            LANG="C.UTF-8",
            LC_ALL="C.UTF-8",
        )
        return env

    def run(self, args: List[str], out_name: str, timeout: float) -> int:
        """Runs a wine command with its output in a file: wine's service
        processes inherit the standard handles, so a pipe would never end."""
        self.logs.mkdir(parents=True, exist_ok=True)
        with open(self.logs / out_name, "ab") as out:
            return subprocess.run(args, env=self.env(), stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.STDOUT, timeout=timeout).returncode

    def reg_add(self, key: str, name: str, data: str, type_: str = "REG_SZ", view: Optional[str] = None) -> None:
        args = ["wine", "reg", "add", key, "/v", name, "/t", type_, "/d", data, "/f"]
        if view:
            args.append("/reg:" + view)
        rc = self.run(args, "reg.out", 120)
        if rc != 0:
            raise RuntimeError("wine reg add %s /v %s failed (%d)" % (key, name, rc))

    def reg_delete(self, key: str, name: Optional[str] = None, view: Optional[str] = None) -> None:
        args = ["wine", "reg", "delete", key] + (["/v", name] if name is not None else []) + ["/f"]
        if view:
            args.append("/reg:" + view)
        self.run(args, "reg.out", 120)  # a missing key or value is fine

    def temp_dir(self) -> Path:
        """The temp folder that programs in the prefix see (%TEMP%)."""
        users = self.prefix / "drive_c" / "users"
        user = os.environ.get("USER") or ""
        if not user or not (users / user).is_dir():
            candidates = [p for p in users.iterdir() if p.is_dir() and p.name.lower() != "public"] \
                if users.is_dir() else []
            user = candidates[0].name if candidates else "root"
        return users / user / "Temp"

    # -- display

    def start_display(self) -> None:
        if self.display:
            return
        self.logs.mkdir(parents=True, exist_ok=True)
        for n in range(91, 200):
            if Path("/tmp/.X11-unix/X%d" % n).exists() or Path("/tmp/.X%d-lock" % n).exists():
                continue
            out = open(self.logs / "xvfb.out", "ab")
            proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            out.close()
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and proc.poll() is None:
                if Path("/tmp/.X11-unix/X%d" % n).exists():
                    self.xvfb = proc
                    self.display = ":%d" % n
                    return
                time.sleep(0.05)
            if proc.poll() is None:
                proc.terminate()
                proc.wait(10)
        raise RuntimeError("could not start Xvfb (see %s)" % (self.logs / "xvfb.out"))

    def stop_display(self) -> None:
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
            self.xvfb = None

    # -- prefix and server

    def ensure_prefix(self) -> bool:
        """Makes the prefix unless a complete one is there; True when made."""
        marker = self.prefix / ".e2e-complete"
        if marker.exists() and marker.read_text().strip() == PREFIX_SETTINGS_VERSION:
            return False
        if self.prefix.exists():
            self.run(["wineserver", "-k"], "wineserver.out", 60)
            shutil.rmtree(self.prefix)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        rc = self.run(["wineboot", "-i"], "wineboot.out", 600)
        if rc != 0:
            raise RuntimeError("wineboot -i failed (%d), see %s" % (rc, self.logs / "wineboot.out"))
        for key, name, data in PREFIX_SETTINGS:
            self.reg_add(key, name, data)
        # Wait for the server to end: it writes the registry to disk then.
        self.run(["wineserver", "-w"], "wineserver.out", 300)
        marker.write_text(PREFIX_SETTINGS_VERSION + "\n")
        return True

    def start_server(self) -> None:
        rc = self.run(["wineserver", "-p"], "wineserver.out", 60)
        # 2: a server already runs for this prefix (left by an interrupted run).
        if rc not in (0, 2):
            raise RuntimeError("wineserver -p failed (%d)" % rc)
        self.server_started = True

    def stop_server(self) -> None:
        if self.server_started:
            try:
                self.run(["wineserver", "-k"], "wineserver.out", 60)
            except subprocess.TimeoutExpired:
                pass
            self.server_started = False


# ------------------------------------------------------------------ one case

class Outcome:
    def __init__(self) -> None:
        self.problems: List[str] = []
        self.notes: List[str] = []


def stage(case: Case, case_dir: Path, bin_dir: Path) -> Path:
    if case_dir.exists():
        shutil.rmtree(case_dir)
    medium = case_dir / case.medium
    medium.mkdir(parents=True)
    shutil.copy2(bin_dir / "Setup.exe", medium / "Setup.exe")
    for rel, content in case.files.items():
        target = medium / rel
        if isinstance(content, Dir):
            target.mkdir(parents=True, exist_ok=True)
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, str):
            content = content.encode("utf-8")
        target.write_bytes(content)
    for rel in case.stubs:
        target = medium / rel
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(bin_dir / "e2e_stub.exe", target)
    return medium


def read_log(path: Path, outcome: Outcome) -> List[dict]:
    events = []
    if not path.exists():
        outcome.problems.append("the driver wrote no log")
        return events
    for n, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        if not line.strip():
            continue
        try:
            events.append(json.loads(line))
        except ValueError:
            outcome.problems.append("log line %d is not JSON: %r" % (n, line))
    return events


def compare_boxes(expected: List[Box], seen: List[Box], outcome: Outcome) -> None:
    if list(expected) == list(seen):
        return
    lines = ["message boxes differ:", "  expected:"]
    lines += ["    %d. %s" % (i + 1, b.show()) for i, b in enumerate(expected)] or ["    (none)"]
    lines.append("  seen:")
    lines += ["    %d. %s" % (i + 1, b.show()) for i, b in enumerate(seen)] or ["    (none)"]
    for i, (e, s) in enumerate(zip(expected, seen)):
        if e != s:
            fields = [f for f in ("caption", "text", "buttons", "icon") if getattr(e, f) != getattr(s, f)]
            lines.append("  first difference: box %d, in %s" % (i + 1, ", ".join(fields)))
            break
    else:
        lines.append("  first difference: %d boxes expected, %d seen" % (len(expected), len(seen)))
    outcome.problems.append("\n".join(lines))


def run_case(case: Case, wine: Wine, bin_dir: Path, cases_root: Path) -> Outcome:
    outcome = Outcome()
    case_dir = cases_root / case.name
    medium = stage(case, case_dir, bin_dir)
    script = case_dir / "script.txt"
    script.write_text("".join(a + "\n" for a in case.script), encoding="utf-8")
    log_path = case_dir / "driver.log"

    applied = []
    try:
        if case.windows_version:
            wine.reg_add(APP_DEFAULTS_KEY, "Version", case.windows_version)
            applied.append((APP_DEFAULTS_KEY, "Version"))
        for v in case.registry:
            wine.reg_add(v.key, v.name, v.data, v.type)
            applied.append((v.key, v.name))

        args = ["wine", str(bin_dir / "e2e_driver.exe"),
                "--exe", win_path(medium / "Setup.exe"), "--cwd", win_path(medium),
                "--script", win_path(script), "--log", win_path(log_path),
                "--timeout", str(case.timeout)]
        if case.args:
            args += ["--"] + list(case.args)
        with open(case_dir / "driver.out", "wb") as out:
            try:
                rc = subprocess.run(args, env=wine.env(), stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, timeout=case.timeout + 60).returncode
            except subprocess.TimeoutExpired:
                rc = None
                outcome.problems.append("the driver itself did not end within %g s" % (case.timeout + 60))
    finally:
        for key, name in reversed(applied):
            wine.reg_delete(key, name)

    events = read_log(log_path, outcome)
    boxes = [Box.from_log(e["box"]) for e in events if "box" in e]
    exits = [e["exit"] for e in events if "exit" in e]
    exit_code = exits[-1] if exits else None

    for e in events:
        if "timeout" in e:
            outcome.problems.append("Setup.exe was still running after %g s and was ended" % e["timeout"])
        if "error" in e:
            outcome.problems.append("driver: %s" % e["error"])
        if e.get("script_mismatch"):
            outcome.problems.append("the script answered %r, but the box has no such button" % e.get("answer"))
        if "box" in e and e["box"].get("icon") == "unknown":
            outcome.notes.append("icon not recognised, scores %s" % e.get("icon_scores"))
        if "window" in e:
            outcome.notes.append("window seen: %s" % json.dumps(e["window"], ensure_ascii=False))
    if rc not in (0, 2) and rc is not None:
        outcome.problems.append("the driver exited with %d (see %s)" % (rc, case_dir / "driver.out"))
    used = sum(1 for e in events if e.get("by") == "script")
    if used < len(case.script):
        outcome.problems.append("the script has %d answers, only %d were used" % (len(case.script), used))

    compare_boxes(list(case.boxes), boxes, outcome)
    if case.exit_code is not None and exit_code != case.exit_code:
        outcome.problems.append("exit code: expected %d, seen %s" % (case.exit_code, exit_code))

    for rel in case.exists:
        if not (medium / rel).exists():
            outcome.problems.append("missing afterwards: %s" % rel)
    for rel in case.absent:
        if (medium / rel).exists():
            outcome.problems.append("present afterwards, should not be: %s" % rel)
    for rel in case.ran:
        if not (medium / (rel + ".log")).exists():
            outcome.problems.append("component %s did not run" % rel)
    for rel in case.not_ran:
        if (medium / (rel + ".log")).exists():
            outcome.problems.append("component %s ran, it should not have" % rel)
    if case.check is not None:
        outcome.problems += case.check(CaseRun(case, str(case_dir), str(medium), events, boxes, exit_code))
    return outcome


# ------------------------------------------------------------------ main

def load_cases(path: Path) -> List[Case]:
    spec = importlib.util.spec_from_file_location("e2e_cases", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    cases = list(module.CASES)
    names = [c.name for c in cases]
    dupes = sorted({n for n in names if names.count(n) > 1})
    if dupes:
        raise SystemExit("duplicate case names: %s" % ", ".join(dupes))
    return cases


def indent(text: str) -> str:
    return "\n".join("    " + l for l in text.splitlines())


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin-dir", required=True, type=Path)
    ap.add_argument("--work", required=True, type=Path)
    ap.add_argument("-k", dest="pattern", default="", help="run only cases whose name contains this")
    ap.add_argument("--cases", type=Path, default=HERE / "cases.py", help="the file that defines CASES")
    ap.add_argument("--strict", action="store_true", help="count known failures as failures")
    opts = ap.parse_args()

    if shutil.which("wine") is None:
        if os.environ.get("CI"):
            log("FAIL: wine not found (CI is set, so this is an error)")
            return 1
        log("SKIP: wine not found")
        return 0

    bin_dir = opts.bin_dir.resolve()
    missing = [n for n in ("Setup.exe", "e2e_driver.exe", "e2e_stub.exe") if not (bin_dir / n).is_file()]
    if missing:
        log("error: %s missing in %s" % (", ".join(missing), bin_dir))
        return 2

    cases = [c for c in load_cases(opts.cases) if opts.pattern in c.name]
    if not cases:
        log("error: no case matches %r" % opts.pattern)
        return 2
    work = opts.work.resolve()
    work.mkdir(parents=True, exist_ok=True)
    wine = Wine(work)

    def on_signal(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, on_signal)
    passed = failed = known = 0
    try:
        wine.start_display()
        t0 = time.monotonic()
        made = wine.ensure_prefix()
        t1 = time.monotonic()
        log("prefix: %s in %.1f s (%s)" % ("made" if made else "reused", t1 - t0, wine.prefix))
        wine.start_server()
        for case in cases:
            start = time.monotonic()
            outcome = run_case(case, wine, bin_dir, work / "cases")
            took = time.monotonic() - start
            if not outcome.problems:
                passed += 1
                extra = "  (marked as a known failure, but passes now)" if case.known_failure else ""
                log("ok %s (%.1f s)%s" % (case.name, took, extra))
            elif case.known_failure and not opts.strict:
                known += 1
                log("xfail %s (%.1f s): known failure, not counted: %s" % (case.name, took, case.known_failure))
            else:
                failed += 1
                log("FAIL %s (%.1f s)" % (case.name, took))
            if outcome.problems:
                for p in outcome.problems + outcome.notes:
                    log(indent(p))
        t2 = time.monotonic()
        log("cases: %d run in %.1f s" % (len(cases), t2 - t1))
        if known:
            log("%d known failure(s) not counted" % known)
    except (RuntimeError, subprocess.TimeoutExpired) as e:
        log("error: %s" % e)
        failed += 1
    finally:
        wine.stop_server()
        wine.stop_display()
    log("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
