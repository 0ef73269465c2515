#!/usr/bin/env python3
"""Runs Setup.exe end to end under Wine, case by case, as a person would.

    python3 tests/e2e/run_e2e.py --bin-dir <folder with Setup.exe,
        e2e_driver.exe, e2e_stub.exe> --work <scratch folder> [-k substring]

Each case (cases.py and the files it includes) gets a fresh medium folder
under --work; e2e_driver.exe starts Setup.exe there, answers its message boxes
and operates its dialog from the case's script, and logs what it saw; the
runner compares that with the case. The Wine prefix under --work is made for
the run and removed after it (about 1.3 GB), unless --keep-prefix keeps it for
the next run. When DISPLAY is not set, an Xvfb of its own is started. A loopback
HTTP server (http_server.py on 127.0.0.1, which also plays network faults)
serves the cases' downloads from --work/http while the cases run. Screenshots that a case asks for land in
--work/artifacts. Without wine the run is skipped (exit 0), unless CI is set.

The last line is "N passed, M failed"; the exit status is 0 only when no case
failed.
"""

import argparse
import hashlib
import importlib.util
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import uuid
from pathlib import Path
from typing import Dict, List, Optional

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from e2e_model import DIR, Box, Case, CaseRun, Dir, DownloadView, FromBin, Row, Sparse, View  # noqa: E402

# Bump when the prefix settings below change: a prefix made with other
# settings is then made anew.
PREFIX_SETTINGS_VERSION = "2"
PREFIX_SETTINGS = [
    # A virtual desktop: without a window manager, every closing window
    # otherwise waits about 2 s for one.
    (r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
    (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "1024x768"),
    # No audio driver: message boxes would wait on it for their sound.
    (r"HKCU\Software\Wine\Drivers", "Audio", ""),
]
# Free room that making a prefix asks for: it takes about 1.3 GB.
PREFIX_ROOM = 1_600_000_000
WINE_FONTS = [Path("/usr/share/wine/fonts/%s" % name) for name in ("tahoma.ttf", "tahomabd.ttf", "marlett.ttf")]
APP_DEFAULTS_KEY = r"HKCU\Software\Wine\AppDefaults\Setup.exe"
# Keys that belong to the cases alone; removed before and after a run.
TEST_KEYS = [r"HKLM\SOFTWARE\YolvaneTest", r"HKCU\Software\YolvaneTestUser"]
# Values that cases set in shared keys (the restart entry): removed too, or a
# run interrupted by hand would make every later dialog start its run at once.
TEST_VALUES = [(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run", "Yolvane Setup"),
               (r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run", "Yolvane Setup")]


def log(msg: str) -> None:
    print(msg, flush=True)


def display_in_use(n: int) -> bool:
    """Whether an X server holds, or held until a moment ago, display n: its
    lock file, its socket file or its abstract socket."""
    if Path("/tmp/.X11-unix/X%d" % n).exists() or Path("/tmp/.X%d-lock" % n).exists():
        return True
    try:
        with open("/proc/net/unix") as f:
            return any(line.rstrip().endswith("@/tmp/.X11-unix/X%d" % n) for line in f)
    except OSError:
        return False


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
        # An empty name is the key's default value.
        args = ["wine", "reg", "add", key] + (["/v", name] if name else ["/ve"]) + ["/t", type_, "/d", data, "/f"]
        if view:
            args.append("/reg:" + view)
        rc = self.run(args, "reg.out", 120)
        if rc != 0:
            raise RuntimeError("wine reg add %s /v %s failed (%d)" % (key, name, rc))

    def reg_delete(self, key: str, name: Optional[str] = None, view: Optional[str] = None) -> None:
        if name is None:
            args = ["wine", "reg", "delete", key, "/f"]
        else:
            args = ["wine", "reg", "delete", key] + (["/v", name] if name else ["/ve"]) + ["/f"]
        if view:
            args.append("/reg:" + view)
        self.run(args, "reg.out", 120)  # a missing key or value is fine

    def remove_test_keys(self) -> None:
        """The cases' own registry keys, left by an interrupted run."""
        for key in TEST_KEYS:
            for view in ("32", "64") if key.startswith("HKLM") else (None,):
                self.reg_delete(key, None, view)
        for key, name in TEST_VALUES:
            self.reg_delete(key, name, "32" if key.startswith("HKLM") else None)

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
        """An X server of this run's own. Its number is drawn at random from
        a wide range, so that a test never takes the number that the one
        before it has just given up (its server and its clients may still be
        going away); numbers with any trace of a server are skipped. The
        server does not reset when its last client leaves: Wine's processes
        come and go during the run, and one that connects while the server
        resets loses its connection."""
        if self.display:
            return
        self.logs.mkdir(parents=True, exist_ok=True)
        draw = random.Random()
        for _ in range(100):
            n = draw.randrange(100, 30000)
            if display_in_use(n):
                continue
            out = open(self.logs / "xvfb.out", "ab")
            proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                                     "-noreset"],
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
        self.discard_prefix()
        if self.prefix.exists():
            raise RuntimeError("the incomplete prefix %s could not be removed" % self.prefix)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        # Wine copies its DLLs of both architectures into the prefix; on a
        # full disk wineboot only says that kernel32.dll could not be loaded.
        free = shutil.disk_usage(self.prefix.parent).free
        if free < PREFIX_ROOM:
            raise RuntimeError("a Wine prefix takes about 1.3 GB, but %s has only %.1f GB free"
                               % (self.prefix.parent, free / 1e9))
        rc = self.run(["wineboot", "-i"], "wineboot.out", 600)
        if rc != 0:
            out = self.logs / "wineboot.out"
            tail = out.read_text(encoding="utf-8", errors="replace").splitlines()[-8:]
            raise RuntimeError("wineboot -i failed (%d); the end of %s:\n%s" % (rc, out, indent("\n".join(tail))))
        for key, name, data in PREFIX_SETTINGS:
            self.reg_add(key, name, data)
        # The dialog font of Windows, Tahoma, and the caption buttons' Marlett
        # as Wine ships them: in the prefix's own font folder, where every
        # Wine build finds them.
        for font in WINE_FONTS:
            if not font.is_file():
                raise RuntimeError("%s is missing (Debian package fonts-wine)" % font)
            shutil.copy2(font, self.prefix / "drive_c" / "windows" / "Fonts" / font.name)
        # Wait for the server to end: it writes the registry to disk then.
        self.run(["wineserver", "-w"], "wineserver.out", 300)
        marker.write_text(PREFIX_SETTINGS_VERSION + "\n")
        return True

    def discard_prefix(self) -> None:
        """Ends the prefix's server and removes the prefix: every Wine test
        makes one, and together they would fill a small disk."""
        if self.prefix.exists():
            self.run(["wineserver", "-k"], "wineserver.out", 60)
            self.run(["wineserver", "-w"], "wineserver.out", 60)
            shutil.rmtree(self.prefix, ignore_errors=True)

    def start_server(self) -> None:
        rc = self.run(["wineserver", "-p"], "wineserver.out", 60)
        # 2: a server already runs for this prefix (left by an interrupted run).
        if rc not in (0, 2):
            raise RuntimeError("wineserver -p failed (%d)" % rc)
        self.server_started = True

    def stop_server(self) -> None:
        """Ends the server and waits until it and its processes are gone, so
        that nothing of this prefix still talks to the display when it stops."""
        if self.server_started:
            try:
                self.run(["wineserver", "-k"], "wineserver.out", 60)
                self.run(["wineserver", "-w"], "wineserver.out", 60)
            except subprocess.TimeoutExpired:
                pass
            self.server_started = False


def drive_once(work: Path, driver: Path, program: Path, script: List[str], timeout: int = 60,
               own_display: bool = False, keep_prefix: bool = False) -> str:
    """Runs `program` once under the driver in a Wine prefix of its own under
    `work`, with the script's lines; answers the driver's log (one JSON
    object per line), or "" when it wrote none. `own_display`: an X server
    of its own even when DISPLAY is set. The prefix is removed afterwards
    unless `keep_prefix`."""
    work.mkdir(parents=True, exist_ok=True)
    script_path, log = work / "script.txt", work / "driver.log"
    script_path.write_text("".join(line + "\n" for line in script))
    log.unlink(missing_ok=True)
    wine = Wine(work / "wine")
    if own_display:
        wine.display = ""
    try:
        wine.start_display()
        wine.ensure_prefix()
        wine.start_server()
        wine.run(["wine", str(driver), "--exe", win_path(program), "--cwd", win_path(program.parent),
                  "--script", win_path(script_path), "--log", win_path(log), "--timeout", str(timeout)],
                 "driver.out", timeout * 2 + 60)
    finally:
        wine.stop_server()
        wine.stop_display()
        if not keep_prefix:
            wine.discard_prefix()
    return log.read_text(encoding="utf-8") if log.exists() else ""


# ------------------------------------------------------------------ HTTP server

class HttpServer:
    """http_server.py on a free loopback port, serving --work/http.
    Started when the first case that serves files runs, stopped at the end.
    Its request log tells which files were asked for."""

    def __init__(self, work: Path):
        self.root = work / "http"
        self.log_path = work / "logs" / "http.log"
        self.proc: Optional[subprocess.Popen] = None
        self.port = 0

    def start(self) -> None:
        if self.proc is not None:
            return
        self.root.mkdir(parents=True, exist_ok=True)
        self.log_path.parent.mkdir(parents=True, exist_ok=True)
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        out = open(self.log_path, "ab")
        self.proc = subprocess.Popen([sys.executable, "-u", str(HERE / "http_server.py"), str(self.root), str(self.port)],
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        out.close()
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                break
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    return
            except OSError:
                time.sleep(0.02)
        self.stop()
        raise RuntimeError("the HTTP server did not start (see %s)" % self.log_path)

    def stop(self) -> None:
        if self.proc is not None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
            self.proc = None

    def log_size(self) -> int:
        return self.log_path.stat().st_size if self.log_path.exists() else 0

    def requests_since(self, offset: int) -> List[str]:
        """The paths asked for (with their status) since the log had this size."""
        if not self.log_path.exists():
            return []
        with open(self.log_path, "rb") as f:
            f.seek(offset)
            text = f.read().decode("utf-8", "replace")
        return ["%s %s" % (m.group(1), m.group(2))
                for m in re.finditer(r'"GET (\S+) HTTP/[\d.]+" (\S+)', text)]


# ------------------------------------------------------------------ one case

class Outcome:
    def __init__(self) -> None:
        self.problems: List[str] = []
        self.notes: List[str] = []


def closed_port() -> int:
    """A loopback port where nothing listens (it was free a moment ago)."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def substitute(text: str, tokens: Dict[str, str]) -> str:
    for name, value in tokens.items():
        text = text.replace("@@%s@@" % name, value)
    return text


def stage(case: Case, case_dir: Path, bin_dir: Path, tokens: Dict[str, str], http_dir: Optional[Path]) -> Path:
    if case_dir.exists():
        shutil.rmtree(case_dir)
    medium = case_dir / case.medium
    medium.mkdir(parents=True)
    shutil.copy2(bin_dir / "Setup.exe", medium / "Setup.exe")
    for rel, content in case.files.items():
        target = medium / substitute(rel, tokens)
        if isinstance(content, Dir):
            target.mkdir(parents=True, exist_ok=True)
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, Sparse):
            with open(target, "wb") as f:
                f.truncate(content.size)
            continue
        if isinstance(content, str):
            content = substitute(content, tokens).encode("utf-8")
        target.write_bytes(content)
    for rel in case.stubs:
        target = medium / rel
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(bin_dir / "e2e_stub.exe", target)
    for rel, name in case.from_bin.items():
        target = medium / rel
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(bin_dir / name, target)
    if http_dir is not None:
        if http_dir.exists():
            shutil.rmtree(http_dir)
        http_dir.mkdir(parents=True)
        for rel, content in case.served.items():
            target = http_dir / rel
            target.parent.mkdir(parents=True, exist_ok=True)
            if isinstance(content, FromBin):
                shutil.copy2(bin_dir / content.name, target)
                continue
            if isinstance(content, str):
                content = content.encode("utf-8")
            target.write_bytes(content)
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
    if len(expected) == len(seen) and all(not e.differences(s) for e, s in zip(expected, seen)):
        return
    lines = ["message boxes differ:", "  expected:"]
    lines += ["    %d. %s" % (i + 1, b.show()) for i, b in enumerate(expected)] or ["    (none)"]
    lines.append("  seen:")
    lines += ["    %d. %s" % (i + 1, b.show()) for i, b in enumerate(seen)] or ["    (none)"]
    for i, (e, s) in enumerate(zip(expected, seen)):
        fields = e.differences(s)
        if fields:
            lines.append("  first difference: box %d, in %s" % (i + 1, ", ".join(fields)))
            break
    else:
        lines.append("  first difference: %d boxes expected, %d seen" % (len(expected), len(seen)))
    outcome.problems.append("\n".join(lines))


def trunc_half(n: int) -> int:
    """n / 2 as C divides: toward zero."""
    return int(n / 2) if n >= 0 else -((-n) // 2)


def is_centred(d: dict) -> bool:
    """Whether the dialog stands where centring in the work area puts it."""
    left, top, right, bottom = d["rect"]
    al, at, ar, ab = d["work_area"]
    w, h = right - left, bottom - top
    x = trunc_half(al + ar) - trunc_half(w)
    y = trunc_half(at + ab) - trunc_half(h)
    if x < al:
        x = al
    elif x + w > ar:
        x = ar - w
    if y < at:
        y = at
    elif y + h > ab:
        y = ab - h
    return (x, y) == (left, top)


def rows_of(d: dict) -> List[Row]:
    return [Row(text=r["text"], checked=r["image"] == 2, locked=r["locked"], selected=r["selected"],
                grey=None if r.get("ink") is None else r["ink"]["grey"])
            for r in d.get("rows", [])]


def view_differences(expected: View, event: dict) -> List[str]:
    d = event["dialog"]
    label = "shown" if event.get("shown") else event.get("label", "")

    def control(name: str, key: str):
        c = d.get(name)
        return None if c is None else c.get(key)

    seen = {
        "caption": d.get("caption"),
        "message": control("message", "text"),
        "continue_text": control("continue", "text"),
        "exit_text": control("exit", "text"),
        "continue_enabled": control("continue", "enabled"),
        "exit_enabled": control("exit", "enabled"),
        "selector_visible": control("selector", "visible"),
        "focus": d.get("focus"),
        "centred": is_centred(d),
        "dialog_enabled": d.get("enabled"),
        "responsive": d.get("ping_ms", -1) >= 0,
        "cursor": d.get("cursor"),
        "label": label,
    }
    out = []
    for name, value in seen.items():
        want = getattr(expected, name)
        if want is not None and want != value:
            out.append("%s: expected %r, seen %r" % (name, want, value))
    if expected.rows is not None:
        rows = rows_of(d)
        want_rows = list(expected.rows)
        same = len(rows) == len(want_rows) and all(
            w.text == r.text and w.checked == r.checked and w.locked == r.locked and
            (w.selected is None or w.selected == r.selected) and (w.grey is None or w.grey == r.grey)
            for w, r in zip(want_rows, rows))
        if not same:
            out.append("rows:\n      expected: %s\n      seen:     %s" % (
                "; ".join(r.show() for r in want_rows) or "(none)",
                "; ".join(r.show() for r in rows) or "(none)"))
    return out


def compare_downloads(expected: List[DownloadView], events: List[dict], outcome: Outcome) -> None:
    reads = [e for e in events if "download" in e]
    if len(reads) != len(expected):
        outcome.problems.append("download window reads: %d expected, %d made" % (len(expected), len(reads)))
    for i, (want, event) in enumerate(zip(expected, reads)):
        d = event["download"]
        seen = {
            "caption": d.get("caption"), "message": d.get("message"), "status": d.get("status"),
            "bar_pos": d.get("bar", {}).get("pos"), "bar_moving": d.get("bar", {}).get("moving"),
            "start_visible": (d.get("start") or {}).get("visible"), "start_text": (d.get("start") or {}).get("text"),
            "cancel_text": (d.get("cancel") or {}).get("text"), "owner": d.get("owner"),
            "dialog_enabled": d.get("dialog_enabled"), "dialog_responsive": d.get("dialog_ping_ms", -1) >= 0,
            "label": event.get("label", ""),
        }
        diffs = ["%s: expected %r, seen %r" % (k, getattr(want, k), v) for k, v in seen.items()
                 if getattr(want, k) is not None and getattr(want, k) != v]
        if diffs:
            outcome.problems.append("download window read %d (%s):\n    %s" % (i + 1, event.get("label", ""),
                                                                           "\n    ".join(diffs)))


def compare_views(expected: Optional[List[View]], events: List[dict], outcome: Outcome) -> None:
    reads = [e for e in events if "dialog" in e]
    if expected is None:
        if reads:
            outcome.problems.append("the dialog was shown, the case expects it never to show: %s" %
                                    json.dumps(reads[0]["dialog"], ensure_ascii=False))
        return
    if len(reads) != len(expected):
        labels = ["shown" if e.get("shown") else "read %s" % e.get("label", "") for e in reads]
        outcome.problems.append("dialog reads: %d expected, %d made (%s)" % (
            len(expected), len(reads), ", ".join(labels) or "the dialog never showed"))
    for i, (want, event) in enumerate(zip(expected, reads)):
        diffs = view_differences(want, event)
        if diffs:
            outcome.problems.append("dialog read %d (%s):\n    %s" % (
                i + 1, "shown" if event.get("shown") else "read %s" % event.get("label", ""),
                "\n    ".join(diffs)))


class Screenshots:
    """Serves the driver's screenshot requests: xwd of the X screen, cropped
    to the dialog with convert, into --work/artifacts/<name>.png."""

    def __init__(self, wine: "Wine", work: Path):
        self.wine = wine
        self.out = work / "artifacts"

    def serve(self, case_dir: Path, outcome: Outcome) -> None:
        for request in sorted(case_dir.glob("shot-*.request")):
            try:
                req = json.loads(request.read_text(encoding="utf-8"))
            except ValueError:
                req = {"name": request.stem[5:], "rect": None}
            name = re.sub(r"[^A-Za-z0-9_.-]", "_", req.get("name") or "dialog")
            self.out.mkdir(parents=True, exist_ok=True)
            raw = case_dir / ("shot-%s.xwd" % name)
            png = self.out / ("%s.png" % name)
            try:
                subprocess.run(["xwd", "-root", "-silent", "-display", self.wine.display, "-out", str(raw)],
                               check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, timeout=30)
                crop = []
                rect = req.get("rect")
                if rect:
                    l, t, r, b = rect
                    crop = ["-crop", "%dx%d+%d+%d" % (r - l, b - t, max(l, 0), max(t, 0)), "+repage"]
                subprocess.run(["/usr/bin/convert", str(raw)] + crop + [str(png)], check=True,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               timeout=60)
                outcome.notes.append("screenshot: %s" % png)
            except (OSError, subprocess.SubprocessError) as e:
                outcome.problems.append("screenshot %s failed: %s" % (name, e))
            request.unlink()
            (case_dir / ("shot-%s.done" % request.stem[5:])).write_text("done\n")


def run_case(case: Case, wine: Wine, bin_dir: Path, work: Path, http: HttpServer,
             shots: Screenshots) -> Outcome:
    outcome = Outcome()
    cases_root = work / "cases"
    case_dir = cases_root / case.name
    uses_http = bool(case.served) or any("@@HTTP@@" in str(v) for v in case.files.values())
    if uses_http:
        http.start()
    tokens = {
        "RUN": uuid.uuid4().hex[:12],
        "CASE": case.name,
        # The digest of the stub program, for downloads that name one.
        "STUB_SHA256": hashlib.sha256((bin_dir / "e2e_stub.exe").read_bytes()).hexdigest(),
    }
    tokens["STUB_SHA256_UPPER"] = tokens["STUB_SHA256"].upper()
    if uses_http:
        tokens["HTTP"] = "http://127.0.0.1:%d/%s" % (http.port, case.name)
        tokens["CLOSED"] = "http://127.0.0.1:%d" % closed_port()
    medium = stage(case, case_dir, bin_dir, tokens, http.root / case.name if uses_http else None)
    script = case_dir / "script.txt"
    script.write_text("".join(substitute(a, tokens) + "\n" for a in case.script), encoding="utf-8")
    log_path = case_dir / "driver.log"
    context = CaseRun(case, str(case_dir), str(medium), [], [], None, prefix=str(wine.prefix),
                      temp_dir=str(wine.temp_dir()), tokens=tokens)
    context.extra["bin_dir"] = str(bin_dir)
    http_offset = http.log_size()

    applied = []
    rc: Optional[int] = None
    try:
        if case.windows_version:
            wine.reg_add(APP_DEFAULTS_KEY, "Version", case.windows_version)
            applied.append((APP_DEFAULTS_KEY, "Version", None))
        for v in case.registry:
            key = substitute(v.key, tokens)
            view = v.view if key.upper().startswith(("HKLM", "HKEY_LOCAL_MACHINE")) else None
            wine.reg_add(key, v.name, substitute(v.data, tokens), v.type, view)
            applied.append((key, v.name, view))
        if case.prepare is not None:
            case.prepare(context)

        args = ["wine", str(bin_dir / "e2e_driver.exe"),
                "--exe", win_path(medium / "Setup.exe"), "--cwd", win_path(medium),
                "--script", win_path(script), "--log", win_path(log_path),
                "--timeout", str(case.timeout)]
        for part in case.foreign_windows:
            args += ["--foreign-window", substitute(part, tokens)]
        if case.limited:
            args.append("--limited")
        if case.args:
            args += ["--"] + list(case.args)
        with open(case_dir / "driver.out", "wb") as out:
            proc = subprocess.Popen(args, env=wine.env(), stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT)
            deadline = time.monotonic() + case.timeout + 60
            while True:
                try:
                    rc = proc.wait(0.02)
                    break
                except subprocess.TimeoutExpired:
                    pass
                shots.serve(case_dir, outcome)
                if time.monotonic() > deadline:
                    proc.kill()
                    proc.wait()
                    outcome.problems.append("the driver itself did not end within %g s" % (case.timeout + 60))
                    break
    finally:
        for key, name, view in reversed(applied):
            wine.reg_delete(key, name, view)

    events = read_log(log_path, outcome)
    boxes = [Box.from_log(e["box"]) for e in events if "box" in e]
    exits = [e["exit"] for e in events if "exit" in e]
    exit_code = exits[-1] if exits else None
    context.events, context.boxes, context.exit_code = events, boxes, exit_code
    if uses_http:
        context.requests = http.requests_since(http_offset)

    try:
        for e in events:
            if "timeout" in e:
                outcome.problems.append("Setup.exe was still running after %g s and was ended" % e["timeout"])
            if "error" in e:
                outcome.problems.append("driver: %s" % e["error"])
            if e.get("script_mismatch"):
                outcome.problems.append("the script answered %r, but the box has no such button" % e.get("answer"))
            if "pending" in e:
                outcome.problems.append("a box came while the script's next step was %r (the dialog was not "
                                        "there): %s" % (e["pending"], Box.from_log(e["box"]).show()))
            if "box" in e and e["box"].get("icon") == "unknown":
                outcome.notes.append("icon not recognised, scores %s" % e.get("icon_scores"))
            if "window" in e:
                outcome.notes.append("window seen: %s" % json.dumps(e["window"], ensure_ascii=False))
            if "foreign_window" in e:
                if e["foreign_window"] is None:
                    outcome.problems.append("no window of another program with %r in its caption appeared"
                                            % e.get("wanted"))
                elif not e.get("closed"):
                    outcome.notes.append("window %r did not close, it was ended" % e["foreign_window"]["caption"])
        if rc not in (0, 2) and rc is not None:
            outcome.problems.append("the driver exited with %d (see %s)" % (rc, case_dir / "driver.out"))
        used = sum(1 for e in events if e.get("by") == "script")
        if used < len(case.script):
            outcome.problems.append("the script has %d steps, only %d were used" % (len(case.script), used))

        compare_boxes(list(case.boxes), boxes, outcome)
        compare_views(None if case.views is None else list(case.views), events, outcome)
        compare_downloads(list(case.downloads), events, outcome)
        if case.exit_code is not None and exit_code != case.exit_code:
            outcome.problems.append("exit code: expected %d, seen %s" % (case.exit_code, exit_code))

        for rel in case.exists:
            if not (medium / rel).exists():
                outcome.problems.append("missing afterwards: %s" % rel)
        for rel in case.absent:
            if (medium / rel).exists():
                outcome.problems.append("present afterwards, should not be: %s" % rel)
        # A program started just before Setup.exe ended (the completion
        # command, a component that is not waited for) may write its log a
        # moment later: wait a little for it.
        ran_deadline = time.monotonic() + 5
        for rel in case.ran:
            while not (medium / (rel + ".log")).exists() and time.monotonic() < ran_deadline:
                time.sleep(0.02)
            if not (medium / (rel + ".log")).exists():
                outcome.problems.append("component %s did not run" % rel)
        for rel in case.not_ran:
            if (medium / (rel + ".log")).exists():
                outcome.problems.append("component %s ran, it should not have" % rel)
        if case.check is not None:
            outcome.problems += case.check(context)
    finally:
        if case.cleanup is not None:
            try:
                case.cleanup(context)
            except Exception as e:  # a failed clean-up is reported, not fatal
                outcome.problems.append("clean-up failed: %s" % e)
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
    ap.add_argument("--keep-prefix", action="store_true", help="keep the Wine prefix (about 1.3 GB) for the next run")
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
    http = HttpServer(work)
    shots = Screenshots(wine, work)
    try:
        wine.start_display()
        t0 = time.monotonic()
        made = wine.ensure_prefix()
        t1 = time.monotonic()
        log("prefix: %s in %.1f s (%s)" % ("made" if made else "reused", t1 - t0, wine.prefix))
        wine.start_server()
        wine.remove_test_keys()
        for case in cases:
            start = time.monotonic()
            try:
                outcome = run_case(case, wine, bin_dir, work, http, shots)
            except (OSError, ValueError, subprocess.SubprocessError) as e:
                # A case that cannot be staged or prepared (a missing tool or
                # file) fails alone; the others still run.
                outcome = Outcome()
                outcome.problems.append("the case could not run: %s: %s" % (type(e).__name__, e))
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
            else:
                for p in outcome.notes:
                    if p.startswith("screenshot:"):
                        log(indent(p))
        t2 = time.monotonic()
        log("cases: %d run in %.1f s" % (len(cases), t2 - t1))
        if known:
            log("%d known failure(s) not counted" % known)
    except (RuntimeError, subprocess.TimeoutExpired) as e:
        log("error: %s" % e)
        failed += 1
    finally:
        http.stop()
        if wine.server_started:
            wine.remove_test_keys()
        wine.stop_server()
        wine.stop_display()
        if not opts.keep_prefix:
            wine.discard_prefix()
    log("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
