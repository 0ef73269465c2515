#!/usr/bin/env python3
"""DLL-planting test of Setup.exe under Wine.

    python3 tests/planting/run_planting.py --bin-dir <build/win> --work <scratch folder>
        [-k substring]

--bin-dir holds Setup.exe, e2e_driver.exe and e2e_stub.exe (tests/e2e) and,
in planting/, what tests/planting/CMakeLists.txt builds: planted DLLs named
version.dll, urlmon.dll, msi.dll and comctl32.dll (and, without exports,
bcrypt.dll, crypt32.dll, rsaenh.dll and wininet.dll, which system DLLs load
for Setup.exe while it hashes and downloads), each of which appends a JSON
line to planted-markers.log in its own folder when it is loaded and when one
of its exports is called (see planted_common.h); and small probe programs.

Everything runs with WINEDLLOVERRIDES preferring native DLLs for those names,
in a Wine prefix of its own under --work (removed afterwards unless --keep-prefix).

1. Proofs: the probe programs show that a planted DLL is loaded and caught
   when a program imports it, loads it by name, or gets it as a dependency
   of a system DLL it loads; and that a start-up load of version.dll by
   Wine's own user32 (which imports version.dll) is told apart from those.
2. Setup.exe runs, each with the planted DLLs (a) beside Setup.exe and (b)
   in its current folder, a different folder from the medium: a silent run
   that reads file versions (check_file with fileversion, comparison
   "version"), a silent run that downloads a file (with its sha256) from a
   loopback python3 -m http.server and runs it, and an interactive run that
   shows the dialog and leaves it with Exit. Under Wine's default search
   order the current folder comes after the system folder, so a DLL planted
   only there is never found by name; runs (b) therefore switch the prefix
   to SafeDllSearchMode=0, which puts the current folder right after the
   program's own folder.
   For each run: the run did what it should (so the checks below are not
   vacuous), and no planted DLL was loaded into Setup.exe's process or
   called from its code. version.dll is judged by who loaded it: Setup.exe's
   import table or a load call of its own fails; a load by one of Wine's
   system DLLs does not. A separate check per run asks that version.dll not
   be loaded at start-up at all: Setup.exe's manifest names it with
   loadFrom, which keeps Wine's user32 from taking the planted copy.

One line per check ("ok ..." or "FAIL ..." with details), "note: ..." lines
for facts measured on the way, and last "N passed, M failed"; the exit status
is 0 only when everything passed. Without wine the run is skipped (exit 0),
unless the CI environment variable is set.
"""

import argparse
import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path
from typing import Dict, List, Tuple

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))

from run_e2e import HttpServer, Wine, win_path  # noqa: E402

MAIN_DLLS = ["version.dll", "urlmon.dll", "msi.dll", "comctl32.dll"]
EXTRA_DLLS = ["bcrypt.dll", "crypt32.dll", "rsaenh.dll", "wininet.dll"]
ALL_DLLS = MAIN_DLLS + EXTRA_DLLS
OVERRIDES = "%s=n,b;mscoree,mshtml=" % ",".join(d[:-4] for d in ALL_DLLS)
PROBES = ["probe_static_version.exe", "probe_static_urlmon.exe", "probe_static_msi.exe",
          "probe_static_comctl32.exe", "probe_static_comctl32_v6.exe", "probe_load.exe",
          "probe_load_gui.exe", "probe_load_gui_loadfrom.exe"]
MARKERS = "planted-markers.log"
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
# Frames skipped when looking for the module that asked for a load: the
# loader itself, and the C runtimes, whose stale return addresses were seen
# inside kernelbase's frames of a LoadLibraryW call made by the program.
TRANSPARENT_MODULES = {"ntdll.dll", "kernelbase.dll", "kernel32.dll", "msvcrt.dll", "ucrtbase.dll"}
RUN_TIMEOUT = 30


def log(msg: str = "") -> None:
    print(msg, flush=True)


def base_name(path: str) -> str:
    return path.replace("/", "\\").rsplit("\\", 1)[-1].lower()


def same_path(a: str, b: str) -> bool:
    return a.replace("/", "\\").lower() == b.replace("/", "\\").lower()


class PlantingWine(Wine):
    """The e2e harness's prefix, display and server, with native DLLs
    preferred for the planted names."""

    def env(self) -> dict:
        env = super().env()
        env["WINEDLLOVERRIDES"] = OVERRIDES
        return env


# ------------------------------------------------------------------ markers

def read_markers(folder: Path) -> List[dict]:
    path = folder / MARKERS
    if not path.exists():
        return []
    events = []
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        if line.strip():
            try:
                events.append(json.loads(line))
            except ValueError:
                events.append({"event": "bad", "text": line})
    return events


def classify(ev: dict) -> Tuple[str, str]:
    """Who loaded a planted DLL, from its attach line: (kind, words).
    kind: import, startup, own_call, system, unknown."""
    exe = base_name(ev["exe"])
    own = ev["dll"].lower()
    stack = [s.lower() for s in ev.get("stack", [])]
    while stack and stack[0] == own:  # the planted DLL's own DllMain frames
        stack.pop(0)
    requester = next((m for m in stack if m not in TRANSPARENT_MODULES), None)
    importers = [i for i in ev.get("importers", []) if i.lower() != exe]
    if ev.get("static"):
        if ev.get("exe_imports"):
            return "import", "at start-up, through the program's own import table"
        return "startup", "at start-up, as an import of %s" % (", ".join(importers) or "an unknown module")
    if requester == exe:
        dep = " (as an import of %s, which that call loaded)" % ", ".join(importers) if importers else ""
        return "own_call", "at run time, by a load call of the program's own code%s" % dep
    if requester:
        return "system", "at run time, by a load call of %s" % requester
    return "unknown", "at run time, by a caller not found on the stack"


class Verdict:
    """What the markers say about one planted DLL in one program's process."""

    def __init__(self) -> None:
        self.faults: List[str] = []
        self.startup: List[str] = []   # version.dll loaded at start-up by a system DLL
        self.notes: List[str] = []
        self.kinds: List[str] = []     # classify() kinds of the attach lines seen


def judge(dll: str, events: List[dict], exe_path: str) -> Verdict:
    """Faults: for version.dll a load through the program's import table or
    its own load call; for every other name any load into the process. For
    every name, any call of a planted export from the program's own code."""
    v = Verdict()
    for ev in events:
        if ev.get("event") == "bad":
            v.faults.append("unreadable marker line: %r" % ev["text"])
            continue
        if ev.get("dll", "").lower() != dll or not same_path(ev.get("exe", ""), exe_path):
            continue
        if ev["event"] == "attach":
            kind, words = classify(ev)
            v.kinds.append(kind)
            what = "%s loaded from %s %s" % (dll, ev["path"], words)
            if dll == "version.dll" and kind in ("startup", "system"):
                (v.startup if kind == "startup" else v.notes).append(what + " (a load by Wine's own DLLs)")
            else:
                v.faults.append(what)
        elif ev["event"] == "call":
            what = "%s!%s (planted copy %s) called from %s; LoadLibraryExW of the system folder's copy gave %s" % (
                dll, ev["function"], ev["path"], ev["caller"], ev["system_copy"])
            if ev.get("caller_is_exe"):
                v.faults.append(what)
            else:
                v.notes.append(what)
    return v


def other_processes(events: List[dict], exe_path: str) -> List[str]:
    out = []
    for ev in events:
        if ev.get("event") == "attach" and not same_path(ev["exe"], exe_path):
            out.append("%s loaded into %s, %s" % (ev["dll"], ev["exe"], classify(ev)[1]))
    return sorted(set(out))


# ------------------------------------------------------------------ results

def counted(lines: List[str]) -> List[str]:
    """The lines in order, each once, with how often it came when more than once."""
    seen: Dict[str, int] = {}
    for line in lines:
        seen[line] = seen.get(line, 0) + 1
    return [line if n == 1 else "%s [%d times]" % (line, n) for line, n in seen.items()]


class Results:
    def __init__(self, pattern: str) -> None:
        self.passed = 0
        self.failed = 0
        self.pattern = pattern

    def wanted(self, name: str) -> bool:
        return self.pattern in name

    def check(self, name: str, ok: bool, details: List[str] = (), notes: List[str] = ()) -> bool:
        if not self.wanted(name):
            return ok
        if ok:
            self.passed += 1
            log("ok   %s" % name)
        else:
            self.failed += 1
            log("FAIL %s" % name)
            for d in counted(details):
                log("       " + d.replace("\n", "\n       "))
        for n in counted(notes):
            log("       (%s)" % n)
        return ok

    @staticmethod
    def note(text: str) -> None:
        log("note: " + text)


# ------------------------------------------------------------------ proofs

class Lab:
    """Runs programs in the prefix and stages folders under --work."""

    def __init__(self, wine: PlantingWine, bin_dir: Path, work: Path) -> None:
        self.wine = wine
        self.bin_dir = bin_dir
        self.planting = bin_dir / "planting"
        self.work = work

    def fresh(self, *parts: str) -> Path:
        d = self.work.joinpath(*parts)
        if d.exists():
            shutil.rmtree(d)
        d.mkdir(parents=True)
        return d

    def plant(self, folder: Path, dlls: List[str]) -> None:
        for dll in dlls:
            shutil.copy2(self.planting / dll, folder / dll)

    def run(self, exe: Path, args: List[str], cwd: Path, out: Path) -> int:
        """wine <exe> <args>, started in cwd (Wine maps it to the Windows
        current folder), output to a file."""
        with open(out, "wb") as f:
            return subprocess.run(["wine", str(exe)] + args, env=self.wine.env(), cwd=str(cwd),
                                  stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT,
                                  timeout=RUN_TIMEOUT + 60).returncode

    def safe_search(self, on: bool) -> None:
        if on:
            self.wine.reg_delete(SESSION_MANAGER, "SafeDllSearchMode")
        else:
            self.wine.reg_add(SESSION_MANAGER, "SafeDllSearchMode", "0", "REG_DWORD")


def read_json_lines(path: Path) -> List[dict]:
    if not path.exists():
        return []
    return [json.loads(l) for l in path.read_text(encoding="utf-8").splitlines() if l.strip()]


def probe(lab: Lab, name: str, exe: str, args: List[str], plant: List[str],
          where: str = "beside") -> Tuple[List[dict], str, List[dict], Path]:
    """Runs a probe with planted DLLs beside it (where="beside") or only in
    its current folder (where="cwd"). Returns the markers, the probe's
    Windows path, its own result lines and its output file."""
    root = lab.fresh("proofs", name)
    exe_dir = root / "program"
    exe_dir.mkdir()
    shutil.copy2(lab.planting / exe, exe_dir / exe)
    plant_dir = exe_dir if where == "beside" else root / "current"
    plant_dir.mkdir(exist_ok=True)
    lab.plant(plant_dir, plant)
    results = root / "results.json"
    full_args = ["--out", win_path(results)] + args if exe.startswith("probe_load") else args
    out = root / "output.txt"
    rc = lab.run(exe_dir / exe, full_args, plant_dir, out)
    if rc != 0:
        raise RuntimeError("%s exited with %d (see %s)" % (exe, rc, out))
    return read_markers(plant_dir), win_path(exe_dir / exe), read_json_lines(results), out


COMMON_CONTROLS = "Microsoft.Windows.Common-Controls"
PRIVATE_ASSEMBLY = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                    processorArchitecture="x86" publicKeyToken="6595b64144ccf1df"/>
  <file name="comctl32.dll"/>
</assembly>
"""


def _beside(lab: "Lab", root: Path, exe: str) -> List[Path]:
    lab.plant(root, ["comctl32.dll"])
    return [root]


def _dotlocal_folder(lab: "Lab", root: Path, exe: str) -> List[Path]:
    folder = root / (exe + ".local")
    folder.mkdir()
    lab.plant(folder, ["comctl32.dll"])
    return [folder]


def _dotlocal_file(lab: "Lab", root: Path, exe: str) -> List[Path]:
    (root / (exe + ".local")).write_bytes(b"")
    lab.plant(root, ["comctl32.dll"])
    return [root]


def _private_assembly(lab: "Lab", root: Path, exe: str) -> List[Path]:
    folder = root / COMMON_CONTROLS
    folder.mkdir()
    for f in (root, folder):
        (f / (COMMON_CONTROLS + ".manifest")).write_text(PRIVATE_ASSEMBLY, encoding="utf-8")
        lab.plant(f, ["comctl32.dll"])
    return [root, folder]


COMCTL32_WAYS = [
    ("beside the program", _beside),
    ("in a <program>.local folder", _dotlocal_folder),
    ("beside the program with a <program>.local file", _dotlocal_file),
    ("as a private assembly of the same name (manifest and DLL beside the program and in a %s folder)"
     % COMMON_CONTROLS, _private_assembly),
]


def run_proofs(lab: Lab, res: Results) -> None:
    # A program that imports version.dll gets the planted copy and is caught.
    name = "proof: version.dll imported by a program is caught (import table, and its calls)"
    if res.wanted(name):
        events, exe, _, _ = probe(lab, "version-import", "probe_static_version.exe", [], ["version.dll"])
        v = judge("version.dll", events, exe)
        res.check(name, "import" in v.kinds and any("called from" in f for f in v.faults),
                  ["markers: %s" % json.dumps(events)], v.faults)

    name = "proof: version.dll loaded by a program's own LoadLibraryW is caught"
    if res.wanted(name):
        events, exe, _, _ = probe(lab, "version-own-load", "probe_load.exe", ["name:version.dll"], ["version.dll"])
        v = judge("version.dll", events, exe)
        res.check(name, "own_call" in v.kinds and any("called from" in f for f in v.faults),
                  ["markers: %s" % json.dumps(events)], v.faults)

    # A GUI program: Wine's user32 imports version.dll. Then the program loads
    # the system folder's copy by full path, as Setup.exe does.
    name = "proof: version.dll loaded at start-up by Wine's user32 is told apart (not a fault)"
    name2 = "proof: LoadLibraryExW(<system folder>\\version.dll) gives the system copy while a planted one is loaded"
    if res.wanted(name) or res.wanted(name2):
        events, exe, lines, _ = probe(lab, "version-user32", "probe_load_gui.exe", ["system:version.dll"],
                                      ["version.dll"])
        v = judge("version.dll", events, exe)
        by_user32 = any("user32.dll" in s.lower() for s in v.startup)
        res.check(name, not v.faults and v.kinds == ["startup"] and by_user32,
                  ["kinds %s, faults %s, markers: %s" % (v.kinds, v.faults, json.dumps(events))],
                  v.startup + v.notes)
        line = lines[0] if lines else {}
        system = line.get("module", "")
        res.check(name2, "startup" in v.kinds and system.lower().endswith("\\system32\\version.dll")
                  and line.get("version_size", 0) > 0,
                  ["the probe's load gave %r (GetFileVersionInfoSizeW: %s); planted copy loaded: %s" % (
                      system, line.get("version_size"), "startup" in v.kinds)],
                  ["the load gave %s" % system])

    # The same GUI program with only the loadFrom entry of Setup.exe's manifest.
    name = "fact: Wine honours the manifest's <file name=\"version.dll\" loadFrom=...>"
    if res.wanted(name):
        events, exe, _, _ = probe(lab, "version-loadfrom", "probe_load_gui_loadfrom.exe", [], ["version.dll"])
        loaded = [e for e in events if e["event"] == "attach"]
        if loaded:
            Results.note("a GUI program whose manifest names version.dll with loadFrom still loaded the planted "
                         "copy: %s" % classify(loaded[0])[1])
        else:
            Results.note("a GUI program whose manifest names version.dll with loadFrom does not load the planted "
                         "version.dll beside it at start-up (without that entry Wine's user32 does)")

    for dll, exe in (("urlmon.dll", "probe_static_urlmon.exe"), ("msi.dll", "probe_static_msi.exe"),
                     ("comctl32.dll", "probe_static_comctl32.exe")):
        name = "proof: %s imported by a program (no manifest) is caught" % dll
        if res.wanted(name):
            events, path, _, _ = probe(lab, dll[:-4] + "-import", exe, [], [dll])
            v = judge(dll, events, path)
            res.check(name, "import" in v.kinds, ["markers: %s" % json.dumps(events)], v.faults)

    name = "fact: comctl32.dll with the common-controls v6 manifest"
    if res.wanted(name):
        tried = []
        for way, stage in COMCTL32_WAYS:
            root = lab.fresh("proofs", "comctl32-v6-" + way.split()[0].strip(",").lower())
            exe = root / "probe_static_comctl32_v6.exe"
            shutil.copy2(lab.planting / exe.name, exe)
            folders = stage(lab, root, exe.name)
            out = root / "output.txt"
            rc = lab.run(exe, [], root, out)
            said = out.read_text(encoding="utf-8", errors="replace").strip().splitlines()
            module = said[-1].split(": ", 1)[-1] if said else "(no output)"
            loaded = any(e["event"] == "attach" for f in folders for e in read_markers(f))
            tried.append("%s: %s (rc %d, the program got %s)" % (way, "LOADED" if loaded else "not loaded", rc,
                                                                 module))
        Results.note("comctl32.dll for a program with the common-controls v6 manifest, as Setup.exe has; "
                     "planted copies tried:\n      " + "\n      ".join(tried))

    # The current folder: by name, under the default and the unsafe search order.
    name = "fact: current folder under Wine's default search order"
    if res.wanted(name):
        events, path, lines, _ = probe(lab, "cwd-default", "probe_load.exe", ["name:urlmon.dll"], ["urlmon.dll"],
                                       where="cwd")
        got = lines[0]["module"] if lines else "(nothing)"
        if events:
            Results.note("under the default search order a urlmon.dll only in the current folder WAS loaded by "
                         "name: %s" % got)
        else:
            Results.note("under the default search order a DLL only in the current folder is not found by name "
                         "(LoadLibraryW(\"urlmon.dll\") gave %s): the current-folder runs below set "
                         "SafeDllSearchMode=0" % got)

    name = "proof: with SafeDllSearchMode=0 a urlmon.dll only in the current folder is loaded by name and caught"
    if res.wanted(name):
        lab.safe_search(False)
        try:
            events, path, _, _ = probe(lab, "cwd-unsafe", "probe_load.exe", ["name:urlmon.dll"], ["urlmon.dll"],
                                       where="cwd")
        finally:
            lab.safe_search(True)
        v = judge("urlmon.dll", events, path)
        res.check(name, "own_call" in v.kinds, ["markers: %s" % json.dumps(events)], v.faults)

    # Dependencies of a system DLL loaded by full path come from the program's
    # folder unless the search is restricted.
    name = "proof: bcrypt.dll, crypt32.dll, wininet.dll loaded as dependencies of system DLLs are caught"
    if res.wanted(name):
        events, path, _, _ = probe(lab, "dependencies", "probe_load.exe", ["plain:rsaenh.dll", "plain:urlmon.dll"],
                                   EXTRA_DLLS)
        caught = {d: judge(d, events, path) for d in ("bcrypt.dll", "crypt32.dll", "wininet.dll")}
        res.check(name, all(v.faults for v in caught.values()),
                  ["%s: %s" % (d, v.faults or "not loaded") for d, v in caught.items()],
                  [f for v in caught.values() for f in v.faults])
        if not judge("rsaenh.dll", events, path).kinds:
            Results.note("rsaenh.dll is loaded by full path (Wine registers its CryptoAPI provider as "
                         "C:\\windows\\system32\\rsaenh.dll), so its planted copy cannot be reached by name")

    name = "fact: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) under Wine"
    if res.wanted(name):
        events, path, _, _ = probe(lab, "dependencies-restricted", "probe_load.exe",
                                   ["restrict", "plain:rsaenh.dll", "plain:urlmon.dll"], EXTRA_DLLS)
        loaded = sorted({e["dll"] for e in events if e["event"] == "attach"})
        Results.note("after SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) the same loads took %s" % (
            "planted copies of " + ", ".join(loaded) if loaded else "no planted DLL"))


# ------------------------------------------------------------------ Setup.exe runs

VERSIONS_XML = """<?xml version="1.0"?>
<configurations>
  <configuration type="install" lcid="" install_silent="True">
    <components>
      <component type="cmd" description="Present" command="#APPPATH\\tools\\present_exit0.exe">
        <installedcheck type="check_file" filename="#SYSTEMPATH\\kernel32.dll" fileversion="1.0" comparison="version"/>
      </component>
      <component type="cmd" description="Missing" command="#APPPATH\\tools\\missing_exit0.exe">
        <installedcheck type="check_file" filename="#SYSTEMPATH\\kernel32.dll" fileversion="999.0" comparison="version"/>
      </component>
    </components>
  </configuration>
</configurations>
"""

DOWNLOAD_XML = """<?xml version="1.0"?>
<configurations>
  <configuration type="install" lcid="" install_silent="True">
    <components>
      <component type="cmd" description="Downloaded" command="#APPPATH\\tools\\downloaded_exit0.exe">
        <downloaddialog>
          <downloads>
            <download componentname="Downloaded" sourceurl="@URL@" destinationpath="#APPPATH\\tools"
                      destinationfilename="downloaded_exit0.exe" sha256="@SHA256@"/>
          </downloads>
        </downloaddialog>
      </component>
    </components>
  </configuration>
</configurations>
"""

DIALOG_XML = """<?xml version="1.0"?>
<configurations>
  <configuration type="install" lcid="" dialog_caption="Planting test" install_caption="Continue"
                 cancel_caption="Exit" status_installed=" [Already installed]">
    <components>
      <component type="cmd" description="Present" command="#APPPATH\\tools\\present_exit0.exe">
        <installedcheck type="check_file" filename="#SYSTEMPATH\\kernel32.dll" fileversion="1.0" comparison="version"/>
      </component>
      <component type="cmd" description="Missing" command="#APPPATH\\tools\\missing_exit0.exe">
        <installedcheck type="check_file" filename="#SYSTEMPATH\\kernel32.dll" fileversion="999.0" comparison="version"/>
      </component>
    </components>
  </configuration>
</configurations>
"""


class SetupRun:
    def __init__(self, lab: Lab, http: HttpServer, kind: str, where: str) -> None:
        self.lab, self.http, self.kind, self.where = lab, http, kind, where
        self.id = "%s-%s" % (where, kind)
        self.root = lab.fresh("runs", self.id)
        self.medium = self.root / "medium"
        self.cwd = self.root / "current"
        self.tools = self.medium / "tools"
        self.events: List[dict] = []
        self.requests: List[str] = []
        self.payload = b""

    @property
    def plant_dir(self) -> Path:
        return self.medium if self.where == "beside" else self.cwd

    @property
    def setup_exe(self) -> str:
        return win_path(self.medium / "Setup.exe")

    def stage(self) -> None:
        bin_dir = self.lab.bin_dir
        self.tools.mkdir(parents=True)
        self.cwd.mkdir()
        shutil.copy2(bin_dir / "Setup.exe", self.medium / "Setup.exe")
        for stub in ("present_exit0.exe", "missing_exit0.exe"):
            shutil.copy2(bin_dir / "e2e_stub.exe", self.tools / stub)
        if self.kind == "versions":
            xml = VERSIONS_XML
        elif self.kind == "download":
            self.http.start()
            served = self.http.root / self.id
            if served.exists():
                shutil.rmtree(served)
            served.mkdir(parents=True)
            self.payload = (bin_dir / "e2e_stub.exe").read_bytes()
            (served / "payload.exe").write_bytes(self.payload)
            url = "http://127.0.0.1:%d/%s/payload.exe" % (self.http.port, self.id)
            xml = DOWNLOAD_XML.replace("@URL@", url).replace("@SHA256@", hashlib.sha256(self.payload).hexdigest())
        else:
            xml = DIALOG_XML
        (self.medium / "setup.xml").write_text(xml, encoding="utf-8")
        self.lab.plant(self.plant_dir, ALL_DLLS)

    def run(self) -> None:
        script = self.root / "script.txt"
        script.write_text("dialog: read shown\ndialog: exit\n" if self.kind == "dialog" else "", encoding="utf-8")
        driver_log = self.root / "driver.log"
        offset = self.http.log_size()
        args = ["--exe", self.setup_exe, "--cwd", win_path(self.cwd), "--script", win_path(script),
                "--log", win_path(driver_log), "--timeout", str(RUN_TIMEOUT)]
        # The driver itself starts in the run's own folder, which holds no DLL.
        self.lab.run(self.lab.bin_dir / "e2e_driver.exe", args, self.root, self.root / "driver.out")
        self.events = read_json_lines(driver_log) if driver_log.exists() else []
        self.requests = self.http.requests_since(offset)

    def outcome_problems(self) -> List[str]:
        p = []
        if not self.events:
            return ["the driver wrote no log (see %s)" % (self.root / "driver.out")]
        for e in self.events:
            if "timeout" in e:
                p.append("Setup.exe was still running after %s s" % e["timeout"])
            if "error" in e:
                p.append("driver: %s" % e["error"])
            if "box" in e:
                p.append("unexpected message box: %s" % json.dumps(e["box"], ensure_ascii=False))
        if not any("exit" in e for e in self.events):
            p.append("Setup.exe did not end by itself")
        ran = lambda stub: (self.tools / (stub + ".log")).exists()  # noqa: E731
        if self.kind == "versions":
            if ran("present_exit0.exe"):
                p.append("the component whose file version is new enough ran: the version was not read")
            if not ran("missing_exit0.exe"):
                p.append("the component whose file version is too old did not run")
        elif self.kind == "download":
            path = "/%s/payload.exe" % self.id
            if not any(r.startswith(path + " ") for r in self.requests):
                p.append("the server was not asked for %s (requests: %s)" % (path, self.requests))
            got = self.tools / "downloaded_exit0.exe"
            if not got.exists() or got.read_bytes() != self.payload:
                p.append("the downloaded file is missing or differs from the served one")
            if not ran("downloaded_exit0.exe"):
                p.append("the downloaded component did not run")
        else:
            shown = [e for e in self.events if "dialog" in e]
            rows = [r["text"] for r in shown[0]["dialog"].get("rows", [])] if shown else []
            if not shown:
                p.append("the dialog was not shown")
            elif len(rows) != 2 or not rows[0].endswith("[Already installed]") or rows[1] != "Missing":
                p.append("dialog rows %r, expected the first marked installed (its version was read) and the "
                         "second 'Missing'" % rows)
            steps = [e for e in self.events if e.get("step") == "exit"]
            # "ended": Setup.exe had ended before the driver saw the dialog go.
            if not steps or steps[0].get("result") not in ("gone", "ended"):
                p.append("Exit did not close the dialog: %s" % steps)
            if ran("present_exit0.exe") or ran("missing_exit0.exe"):
                p.append("a component ran, though the dialog was left with Exit")
        return p


RUN_WORDS = {
    "versions": "reads file versions (silent)",
    "download": "downloads a file with its sha256 and runs it (silent)",
    "dialog": "shows the dialog, left with Exit",
}
WHERE_WORDS = {"beside": "planted beside Setup.exe", "cwd": "planted in the current folder"}


def run_setup(lab: Lab, http: HttpServer, res: Results, where: str, kind: str) -> None:
    prefix = "Setup.exe, %s, run that %s:" % (WHERE_WORDS[where], RUN_WORDS[kind])
    names = ["%s the run did what it should" % prefix] + \
            ["%s %s not loaded or called by Setup.exe" % (prefix, d) for d in MAIN_DLLS] + \
            ["%s %s not loaded at start-up either (manifest loadFrom)" % (prefix, "version.dll"),
             "%s %s not loaded" % (prefix, ", ".join(EXTRA_DLLS))]
    if not any(res.wanted(n) for n in names):
        return
    run = SetupRun(lab, http, kind, where)
    run.stage()
    started = time.monotonic()
    run.run()
    took = time.monotonic() - started
    events = read_markers(run.plant_dir)
    exe = run.setup_exe

    problems = run.outcome_problems()
    res.check(names[0], not problems, problems + ["files in %s" % run.root], ["%.1f s" % took])
    for dll, name in zip(MAIN_DLLS, names[1:5]):
        v = judge(dll, events, exe)
        res.check(name, not v.faults, v.faults, v.notes)
    v = judge("version.dll", events, exe)
    res.check(names[5], not v.startup, v.startup + ["Setup.exe's manifest should keep Wine's user32 from taking "
                                                    "this copy"])
    extra = {d: judge(d, events, exe) for d in EXTRA_DLLS}
    res.check(names[6], not any(v.faults for v in extra.values()),
              [f for v in extra.values() for f in v.faults], [n for v in extra.values() for n in v.notes])
    for line in other_processes(events, exe):
        Results.note("%s-%s, not Setup.exe: %s" % (where, kind, line))


# ------------------------------------------------------------------ main

def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin-dir", required=True, type=Path)
    ap.add_argument("--work", required=True, type=Path)
    ap.add_argument("-k", dest="pattern", default="", help="run only checks whose name contains this")
    ap.add_argument("--keep-prefix", action="store_true", help="keep the Wine prefix (about 1.3 GB) for the next run")
    opts = ap.parse_args()

    if shutil.which("wine") is None:
        if os.environ.get("CI"):
            log("FAIL: wine not found (CI is set, so this is an error)")
            log("0 passed, 1 failed")
            return 1
        log("SKIP: wine not found, the DLL-planting test did not run")
        return 0

    bin_dir = opts.bin_dir.resolve()
    needed = [bin_dir / n for n in ("Setup.exe", "e2e_driver.exe", "e2e_stub.exe")] + \
             [bin_dir / "planting" / n for n in ALL_DLLS + PROBES]
    missing = [str(p) for p in needed if not p.is_file()]
    if missing:
        log("error: missing: %s" % ", ".join(missing))
        log("0 passed, 1 failed")
        return 1

    work = opts.work.resolve()
    work.mkdir(parents=True, exist_ok=True)
    wine = PlantingWine(work)
    http = HttpServer(work)
    lab = Lab(wine, bin_dir, work)
    res = Results(opts.pattern)

    def on_signal(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, on_signal)
    t0 = time.monotonic()
    try:
        wine.start_display()
        made = wine.ensure_prefix()
        t1 = time.monotonic()
        log("prefix: %s in %.1f s (%s); WINEDLLOVERRIDES=%s" % ("made" if made else "reused", t1 - t0,
                                                               wine.prefix, OVERRIDES))
        wine.start_server()
        # A prefix left by an interrupted run may still search the current folder first.
        lab.safe_search(True)
        run_proofs(lab, res)
        t2 = time.monotonic()
        log("proofs: %.1f s" % (t2 - t1))
        for where in ("beside", "cwd"):
            if where == "cwd":
                lab.safe_search(False)
            try:
                for kind in ("versions", "download", "dialog"):
                    run_setup(lab, http, res, where, kind)
            finally:
                if where == "cwd":
                    lab.safe_search(True)
        log("Setup.exe runs: %.1f s" % (time.monotonic() - t2))
    except (RuntimeError, OSError, ValueError, subprocess.TimeoutExpired) as e:
        log("FAIL the test could not run: %s" % e)
        res.failed += 1
    finally:
        http.stop()
        wine.stop_server()
        wine.stop_display()
        if not opts.keep_prefix:
            wine.discard_prefix()
    log("total: %.1f s" % (time.monotonic() - t0))
    log("%d passed, %d failed" % (res.passed, res.failed))
    return 0 if res.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
