#!/usr/bin/env python3
"""Shows a medium's dialog before it ships: runs the medium's Setup.exe under
Wine, in a Wine prefix and on a display of its own (a virtual desktop of
1024 x 768 at 96 dpi), and saves pictures of what it shows: the dialog as it
first shows, the dialog in the middle of the installation, and the download
window halfway through a file. Only Setup.exe and its setup.xml (and, for
a run that goes on, stand-in component programs) are copied into a scratch
folder, so nothing of the medium can be installed.

usage: preview.py MEDIUM [--out FILE.png] [--running FILE.png [--row N]]
                  [--download FILE.png [--component NAME]] [--language N] [--build DIR]
                  [--keep]

--out (the default, preview.png, when neither --running nor --download is
given): the dialog as it first shows, left with Exit. It is compared with
what `setup-check --plan --language N` says Setup.exe chooses: the
configuration's caption and the listed components' rows.

--running: the dialog while the component of row N (counted from 1; by
default the first checked row that is not installed) is being installed.
In the scratch copy of the configuration that component's program is a
stand-in that waits until its picture has been taken and then fails (the
failure question is answered No, which ends the run); the checked
components before it count as installed, and no component runs anything of
the medium or downloads anything. With show_progress="true" the dialog's
message then says installing_component_wait and the row is the selected
one; without it the dialog only waits, disabled.

--download: the download window of the first component to be installed
that has downloads, or with --component NAME of the component whose
description is NAME (it needs show_progress="true": without it the
interactive run downloads nothing). In the scratch copy its first file comes from a loopback
server of the preview's own, which sends half of a 3,000,000-byte file and
then nothing more; the picture is taken when the progress text shows that
half, then Cancel is pressed and the failure question answered No. The
checked components before it count as installed.

The scratch configuration goes where the medium's Setup.exe reads it: into
setup.xml when the medium has one, and into the configuration stored in the
scratch copy of Setup.exe (so that a Setup.exe built to read only its stored
configuration runs it too; the scratch configuration is written without the
blanks between elements, so it rarely is the larger). When it does not fit
there, the stored copy is blanked out beside a setup.xml (a Setup.exe that
reads only its stored configuration then fails to load, and nothing of the
medium runs), and without a setup.xml there is no picture of the run.

Wine reports the system language 1033 (English, United States). With
--language N the preview's prefix reports N instead: Setup.exe reads the
system language from the first translation entry of the version resource of
user.exe in the system folder, and the prefix's copy of that file names N
(nothing outside the preview's own prefix is changed). All pictures of one
call are taken in one prefix, one run of Setup.exe each.
Exit status: 0 with every picture asked for, 1 when one could not be taken
or the dialog differs from the plan, 2 on wrong arguments.
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path
from typing import Dict, List, Optional, Tuple
from xml.parsers import expat

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tests" / "pe"))
from run_e2e import HttpServer, Wine, drive_once  # noqa: E402
from check_pe import PE, RT_RCDATA  # noqa: E402

WINE_LANGUAGE = 1033
# The Windows version code of Wine's default prefix (Windows 7: "Vista and
# every later release").
WINE_OS_CODE = 100


def language_note(language: int) -> str:
    if language == WINE_LANGUAGE:
        return ("This is the configuration for the system language 1033; for another language run the preview "
                "with --language N (1031 German, 1036 French, ...)")
    return "This is the configuration for the system language %d (--language); without it Wine reports 1033" % language


def configuration_of(medium: Path) -> bytes:
    """What Setup.exe reads: setup.xml beside it, else its stored copy."""
    beside = medium / "setup.xml"
    if beside.is_file():
        return beside.read_bytes()
    return PE((medium / "Setup.exe").read_bytes()).resources().get((RT_RCDATA, 103), b"")


def plan_of(setup_check: Path, document: bytes, scratch: Path, language: int) -> dict:
    """What setup-check --plan says Setup.exe makes of the configuration on
    a system like the preview's; {} when it cannot say."""
    path = scratch / "configuration.xml"
    path.write_bytes(document)
    plan = subprocess.run([str(setup_check), "--plan", "--language", str(language), "--os-code", str(WINE_OS_CODE),
                           "--format", "json", str(path)], capture_output=True, text=True)
    try:
        return json.loads(plan.stdout)
    except ValueError:
        return {}


# --- The system language of the preview's prefix ----------------------------

def user_exe_of(prefix: Path) -> Path:
    """The user.exe that a 32-bit program finds in its system folder: in a
    64-bit prefix C:\\windows\\system32 is redirected to syswow64 for it."""
    windows = prefix / "drive_c" / "windows"
    for folder in ("syswow64", "system32"):
        if (windows / folder / "user.exe").is_file():
            return windows / folder / "user.exe"
    raise RuntimeError("no user.exe in %s (syswow64 or system32)" % windows)


def with_language(data: bytes, language: int) -> bytes:
    """The file with the language word of its version resource's first
    \\VarFileInfo\\Translation entry set to `language` (the code page word is
    kept). Wine's user.exe is a 16-bit program whose version resource has
    ASCII keys and 4-byte headers; a 32-bit one has UTF-16 keys and 6-byte
    headers. Values start on a 4-byte boundary from the resource's start."""
    for encoding, header in (("ascii", 4), ("utf-16-le", 6)):
        root, key = "VS_VERSION_INFO\0".encode(encoding), "Translation\0".encode(encoding)
        if data.count(root) != 1 or data.count(key) != 1:
            continue
        start, at = data.index(root) - header, data.index(key) - header
        length, value_length = struct.unpack_from("<HH", data, at)
        value = start + ((at + header + len(key) - start + 3) & ~3)
        if value_length < 4 or value + 4 > at + length or value + 4 > len(data):
            continue
        return data[:value] + struct.pack("<H", language) + data[value + 2:]
    raise RuntimeError("user.exe carries no translation entry that the preview knows how to change")


def set_system_language(prefix: Path, language: int) -> Path:
    """Makes the prefix's user.exe name `language`. The changed copy is
    written beside it and then takes its name, so that a file the prefix
    shares with Wine's installation (a link) is never written through."""
    target = user_exe_of(prefix)
    changed = target.with_name("user.exe.language")
    changed.write_bytes(with_language(target.read_bytes(), language))
    shutil.copymode(target, changed)
    os.replace(changed, target)
    return target


def prepare_prefix(scratch: Path, language: int) -> Path:
    """The prefix that drive_once then finds complete and takes as it is, made
    on a display of its own, with the system language changed."""
    wine = Wine(scratch / "wine")
    wine.display = ""
    try:
        try:
            wine.start_display()
            wine.ensure_prefix()
        finally:
            wine.stop_display()
        return set_system_language(wine.prefix, language)
    except BaseException:
        wine.discard_prefix()
        raise


# --- The dialog against the plan ---------------------------------------------

def expected_caption(document: bytes, plan: dict) -> Optional[str]:
    """The dialog_caption of the configuration element the plan chose."""
    index = plan.get("configuration", {}).get("index")
    try:
        root = ET.fromstring(document)
    except ET.ParseError:
        return None
    chosen = [e for e in root if e.tag == "configuration"]
    if not isinstance(index, int) or not 1 <= index <= len(chosen):
        return None
    return chosen[index - 1].get("dialog_caption")


def differences(document: bytes, plan: dict, dialog: dict) -> List[str]:
    """How the dialog differs from the configuration the plan chose for the
    language: its caption, and a row for each listed component in order
    (a row is the description, maybe followed by the required or installed
    note)."""
    out = []
    caption = expected_caption(document, plan)
    if caption is not None and dialog.get("caption") != caption:
        out.append("the caption is %r, the configuration's dialog_caption %r" % (dialog.get("caption"), caption))
    wanted = [c.get("description", "") for c in plan.get("components", []) if c.get("listed")]
    rows = [r.get("text") or "" for r in dialog.get("rows", [])]
    if len(rows) != len(wanted) or any(not r.startswith(w) for r, w in zip(rows, wanted)):
        out.append("the rows are %r, the plan lists %r" % (rows, wanted))
    return out


# --- The scratch configuration of a run that goes on ------------------------

# The stand-in component programs (copies of the e2e stub, whose name tells
# it what to do): the component that holds until its picture is taken and
# then fails, and every other one (which never runs: the run ends at the
# held or downloading component).
HELD_STUB = "preview_hold_exit1.exe"
OTHER_STUB = "preview_exit1.exe"
# The stalled download: a file of this size, of which the server sends half.
STALLED_SIZE = 3_000_000
STALLED_NAME = "preview-download.bin"


class PreviewError(Exception):
    """A picture that cannot be taken of this medium, and why."""


def parse_with_lines(document: bytes) -> Tuple[ET.Element, Dict[ET.Element, int]]:
    """The document as elements (comments dropped), with the line each
    element starts on, as setup-check's plan counts them."""
    builder = ET.TreeBuilder()
    lines: Dict[ET.Element, int] = {}
    parser = expat.ParserCreate()
    parser.buffer_text = True

    def start(tag, attributes):
        lines[builder.start(tag, attributes)] = parser.CurrentLineNumber

    parser.StartElementHandler = start
    parser.EndElementHandler = builder.end
    parser.CharacterDataHandler = builder.data
    try:
        parser.Parse(document, True)
    except expat.ExpatError as e:
        raise PreviewError("the configuration is not well-formed XML for the preview's own parser (%s); the "
                           "preview of a run needs it to write a scratch copy" % e)
    return builder.close(), lines


def is_true(value: Optional[str]) -> bool:
    """A boolean attribute that is false when absent (show_progress)."""
    return value is not None and value.lower() == "true"


def is_false(value: Optional[str]) -> bool:
    """A boolean attribute that is true when absent (autostartdownload)."""
    return value is not None and value.lower() == "false"


def format_size(n: int) -> str:
    """A size as the download window writes it (two decimals, halves to even)."""
    for unit, name in ((1 << 30, "GB"), (1 << 20, "MB"), (1 << 10, "KB")):
        if n >= unit:
            hundredths, rest = divmod(n * 100, unit)
            if rest * 2 > unit or (rest * 2 == unit and hundredths % 2 == 1):
                hundredths += 1
            return "%d.%02d%s" % (hundredths // 100, hundredths % 100, name)
    return str(n)


def one_string(text: str, argument: str) -> str:
    """The text with its first %s replaced and %% made %, as Setup.exe does."""
    out, used, i = [], False, 0
    while i < len(text):
        pair = text[i:i + 2]
        if pair == "%%":
            out.append("%")
            i += 2
        elif pair == "%s" and not used:
            out.append(argument)
            used = True
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


class Scratch:
    """The chosen configuration of the medium's document, its components
    matched with the plan's entries, ready to be changed for a run."""

    def __init__(self, document: bytes, plan: dict):
        self.root, lines = parse_with_lines(document)
        index = plan.get("configuration", {}).get("index")
        chosen = [e for e in self.root if e.tag == "configuration"]
        if not isinstance(index, int) or not 1 <= index <= len(chosen):
            raise PreviewError("setup-check --plan named no configuration that the preview can find")
        self.configuration = chosen[index - 1]
        self.plan_configuration = plan.get("configuration", {})
        holder = self.configuration.find("components")
        elements = list(holder) if holder is not None else []
        by_line = {lines[e]: e for e in elements}
        self.entries: List[Tuple[ET.Element, dict]] = []
        for entry in plan.get("components", []):
            element = by_line.get(entry.get("line"))
            if element is None or element.get("description", "") != entry.get("description", ""):
                raise PreviewError("the component of line %s could not be matched with the plan" % entry.get("line"))
            self.entries.append((element, entry))
        self.all_elements = elements

    def show_progress(self) -> bool:
        """As the plan says (Setup.exe's own reader), else as written."""
        said = self.plan_configuration.get("show_progress")
        return said if isinstance(said, bool) else is_true(self.configuration.get("show_progress"))

    def rows(self) -> List[Tuple[ET.Element, dict]]:
        return [(e, c) for e, c in self.entries if c.get("listed")]

    def prepare(self, target: ET.Element, target_stub: str, keep_downloads: bool) -> None:
        """Every component runs a stand-in and downloads nothing, except the
        target's downloads when asked to keep them; the checked components
        before the target count as installed (their turn has come and gone)."""
        before = True
        selected = {id(e) for e, c in self.entries if c.get("selected")}
        for element in self.all_elements:
            if element is target:
                before = False
            for name in ("package", "cmdparameters", "file"):
                element.attrib.pop(name, None)
            element.set("type", "cmd")
            element.set("command", "#APPPATH\\" + (target_stub if element is target else OTHER_STUB))
            for child in list(element):
                if child.tag == "downloaddialog" and not (element is target and keep_downloads):
                    element.remove(child)
            if before and id(element) in selected:
                for child in list(element):
                    if child.tag == "installedcheck":
                        element.remove(child)
                # Setup.exe itself lies in the scratch folder.
                check = {"type": "check_file", "filename": "#APPPATH\\Setup.exe"}
                element.insert(0, ET.Element("installedcheck", check))

    def point_downloads_at(self, target: ET.Element, url: str) -> Optional[ET.Element]:
        """Points the target's downloads at the loopback server; returns its
        first downloaddialog (the one Setup.exe reads)."""
        dialog = target.find("downloaddialog")
        downloads = dialog.find("downloads") if dialog is not None else None
        if downloads is None:
            return None
        for d in downloads.findall("download"):
            d.set("sourceurl", url)
            if not d.get("destinationfilename"):
                d.set("destinationfilename", STALLED_NAME)
        return dialog

    def serialise(self) -> bytes:
        """The document in UTF-8 without white space between elements (which
        Setup.exe ignores), so that it fits where the stored copy was."""
        for e in self.root.iter():
            if e.text is not None and not e.text.strip():
                e.text = None
            if e.tail is not None and not e.tail.strip():
                e.tail = None
        return b'<?xml version="1.0" encoding="utf-8"?>\n' + ET.tostring(self.root, encoding="unicode").encode("utf-8")


def stored_configuration_place(exe: bytes) -> Tuple[int, int]:
    """The file offset and size of the stored configuration (resource 103 of
    type RCDATA, its first language)."""
    pe = PE(exe)
    base = pe.offset(pe.dirs[2][0])

    def entry(offset: int, wanted: Optional[int]) -> int:
        named, ids = struct.unpack_from("<HH", exe, offset + 12)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", exe, offset + 16 + 8 * i)
            if wanted is None or ident == wanted:
                return base + (target & 0x7FFFFFFF)
        raise PreviewError("Setup.exe carries no stored configuration (resource 103)")

    leaf = entry(entry(entry(base, RT_RCDATA), 103), None)
    data_rva, size = struct.unpack_from("<II", exe, leaf)
    return pe.offset(data_rva), size


def with_stored_configuration(exe: bytes, document: Optional[bytes]) -> Optional[bytes]:
    """The program with `document` as its stored configuration, padded with
    blanks to the stored copy's size; None when it does not fit. With None
    for `document`, the stored copy is blanked: such a configuration fails
    to load, so that nothing of the original can run."""
    offset, size = stored_configuration_place(exe)
    document = document or b""
    if len(document) > size:
        return None
    return exe[:offset] + document + b" " * (size - len(document)) + exe[offset + size:]


def stage_scratch_medium(medium: Path, folder: Path, document: bytes, stub: Path) -> None:
    """Setup.exe and the scratch configuration in `folder`, with the stand-in
    programs: setup.xml when the medium has one, and the stored copy."""
    folder.mkdir()
    exe = (medium / "Setup.exe").read_bytes()
    beside = (medium / "setup.xml").is_file()
    changed = with_stored_configuration(exe, document)
    if changed is None:
        if not beside:
            raise PreviewError("the scratch configuration (%d bytes) is larger than the stored one: it cannot take "
                               "its place in the scratch copy of Setup.exe" % len(document))
        changed = with_stored_configuration(exe, None)
    (folder / "Setup.exe").write_bytes(changed)
    if beside:
        (folder / "setup.xml").write_bytes(document)
    for name in (HELD_STUB, OTHER_STUB):
        shutil.copy2(stub, folder / name)


# --- The pictures ---------------------------------------------------------------

def events_of(log: str) -> List[dict]:
    return [json.loads(line) for line in log.splitlines() if line.strip()]


def what_happened(events: List[dict]) -> None:
    for e in events:
        if "box" in e:
            box = e["box"]
            print("  message box %r: %r (answered %s)" % (box.get("caption"), box.get("text"), e.get("answer")))
        elif "exit" in e:
            print("  it ended with status %d" % e["exit"])
        elif "timeout" in e:
            print("  it was still running after %g s and was ended (a message box may have been waiting)"
                  % e["timeout"])
        elif "error" in e:
            print("  the driver: %s" % e["error"])


def taken(events: List[dict], step: str) -> bool:
    return any(e.get("step") == step and e.get("result") == "taken" for e in events)


def save_picture(bmp: Path, out: Path) -> Path:
    out = out.resolve()
    out.parent.mkdir(parents=True, exist_ok=True)
    if out.suffix.lower() == ".bmp":
        shutil.copy2(bmp, out)
    else:
        # Without time chunks: the same picture gives the same file.
        subprocess.run(["/usr/bin/convert", str(bmp), "-define", "png:exclude-chunks=date,time", str(out)],
                       check=True)
    return out


def print_dialog(d: dict) -> None:
    print("dialog %r, message %r" % (d.get("caption"), (d.get("message") or {}).get("text")))
    for row in d.get("rows", []):
        state = "checked" if row.get("image") == 2 else "unchecked"
        print("  row %r (%s%s%s)" % (row.get("text"), state, ", locked" if row.get("locked") else "",
                                     ", selected" if row.get("selected") else ""))


class Chosen:
    """The component a picture of the run is about, in its scratch copy."""

    def __init__(self, scratch: Scratch, target: ET.Element, entry: dict, row: int = -1):
        self.scratch, self.target, self.entry, self.row = scratch, target, entry, row


def choose_running(document: bytes, plan: dict, row: Optional[int]) -> Chosen:
    """The component of the row (counted from 1), by default the first row
    that the run installs."""
    scratch = Scratch(document, plan)
    rows = scratch.rows()
    if row is None:
        waiting = [i for i, (_, c) in enumerate(rows) if c.get("selected")]
        if not waiting:
            raise PreviewError("no row is checked and missing on a fresh system: nothing would be installed")
        index = waiting[0]
    else:
        if not 1 <= row <= len(rows):
            raise PreviewError("--row %d: the dialog has %d rows" % (row, len(rows)))
        index = row - 1
        if not rows[index][1].get("selected"):
            raise PreviewError("--row %d: %r is installed on a fresh system, so the run passes it over"
                               % (row, rows[index][1].get("description")))
    return Chosen(scratch, rows[index][0], rows[index][1], index)


def choose_download(document: bytes, plan: dict, name: Optional[str] = None) -> Chosen:
    """The first component that the run installs and that has downloads, or
    the one whose description is `name`."""
    scratch = Scratch(document, plan)
    if not scratch.show_progress():
        raise PreviewError("the download window needs show_progress=\"true\" on the configuration: without it "
                           "the interactive run downloads nothing (only the silent run does, without a window)")
    fetching = [(e, c) for e, c in scratch.entries if c.get("selected") and c.get("downloads")]
    if name is not None:
        named = [(e, c) for e, c in fetching if c.get("description") == name]
        if not named:
            known = ", ".join(repr(c.get("description")) for _, c in fetching) or "none"
            raise PreviewError("--component %r: no component of that description is missing on a fresh system "
                               "and has downloads (those that are: %s)" % (name, known))
        fetching = named
    if not fetching:
        raise PreviewError("no component that is missing on a fresh system has downloads")
    return Chosen(scratch, fetching[0][0], fetching[0][1])


class Run:
    """What every picture's run shares: the medium, the build, the scratch
    folder (with the one prefix) and the plan."""

    def __init__(self, medium: Path, build: Path, scratch: Path, document: bytes, plan: dict, language: int,
                 timeout: int = 120):
        self.medium, self.build, self.scratch = medium, build, scratch
        self.document, self.plan, self.language, self.timeout = document, plan, language, timeout
        self.driver, self.stub = build / "win" / "e2e_driver.exe", build / "win" / "e2e_stub.exe"

    def drive(self, setup: Path, script: List[str]) -> List[dict]:
        return events_of(drive_once(self.scratch, self.driver, setup, script, timeout=self.timeout,
                                    own_display=True, keep_prefix=True))

    def dialog(self, out: Path) -> int:
        """The dialog as it first shows, compared with the plan."""
        copy = self.scratch / "medium"
        copy.mkdir()
        shutil.copy2(self.medium / "Setup.exe", copy / "Setup.exe")
        if (self.medium / "setup.xml").is_file():
            shutil.copy2(self.medium / "setup.xml", copy / "setup.xml")
        events = self.drive(copy / "Setup.exe", ["dialog: picture preview", "dialog: read", "dialog: exit"])
        picture = self.scratch / "preview.bmp"
        if not taken(events, "picture preview") or not picture.exists():
            print("preview: the dialog did not show; what Setup.exe did:")
            what_happened(events)
            print("(when every listed component is installed, the run starts by itself without the dialog)")
            print(language_note(self.language))
            return 1
        out = save_picture(picture, out)
        read = [e["dialog"] for e in events if "dialog" in e and e.get("step") == "read"]
        for d in read:
            print_dialog(d)
        print("picture: %s" % out)
        print(language_note(self.language))
        problems = differences(self.document, self.plan, read[0]) if read and self.plan else \
            ["the dialog or the plan was not read"]
        if problems:
            print("preview: the dialog is not the one setup-check --plan --language %d chooses:" % self.language)
            for problem in problems:
                print("  " + problem)
            return 1
        configuration = self.plan["configuration"]
        print("the dialog is the configuration setup-check chooses for the language %d (element %s, line %s)"
              % (self.language, configuration.get("index"), configuration.get("line")))
        return 0

    def running(self, out: Path, chosen: Chosen) -> int:
        """The dialog while the chosen component is being installed."""
        scratch, target, entry, index = chosen.scratch, chosen.target, chosen.entry, chosen.row
        scratch.prepare(target, HELD_STUB, keep_downloads=False)
        folder = self.scratch / "medium-running"
        stage_scratch_medium(self.medium, folder, scratch.serialise(), self.stub)
        events = self.drive(folder / "Setup.exe",
                            ["dialog: continue", "wait start " + HELD_STUB, "dialog: picture running",
                             "dialog: read running", "release " + HELD_STUB, "no"])
        picture = self.scratch / "running.bmp"
        description = entry.get("description", "")
        if not taken(events, "picture running") or not picture.exists():
            print("preview: the run did not reach %r (row %d); what Setup.exe did:" % (description, index + 1))
            what_happened(events)
            return 1
        out = save_picture(picture, out)
        print("the run, while %r (row %d) is being installed:" % (description, index + 1))
        for e in events:
            if "dialog" in e and e.get("step") == "read":
                print_dialog(e["dialog"])
        print("picture: %s" % out)
        if not scratch.show_progress():
            print("(the configuration has no show_progress=\"true\": the dialog's message and rows do not follow "
                  "the run)")
        else:
            wait = scratch.configuration.get("installing_component_wait", "")
            shown = [(e["dialog"].get("message") or {}).get("text") for e in events
                     if "dialog" in e and e.get("step") == "read"]
            if wait and shown and shown[0] != one_string(wait, description):
                print("preview: the message is %r, installing_component_wait makes %r"
                      % (shown[0], one_string(wait, description)))
                return 1
        return 0

    def download(self, out: Path, chosen: Chosen) -> int:
        """The download window halfway through the chosen component's first
        file."""
        scratch, target, entry = chosen.scratch, chosen.target, chosen.entry
        scratch.prepare(target, OTHER_STUB, keep_downloads=True)
        http = HttpServer(self.scratch)
        try:
            http.start()
            (http.root / STALLED_NAME).write_bytes(os.urandom(STALLED_SIZE))
            (http.root / (STALLED_NAME + ".faults")).write_text("stallbody\n")
            dialog = scratch.point_downloads_at(target, "http://127.0.0.1:%d/%s" % (http.port, STALLED_NAME))
            folder = self.scratch / "medium-download"
            stage_scratch_medium(self.medium, folder, scratch.serialise(), self.stub)
            # The size that has arrived, in whatever words the configuration's
            # progress_text puts around it.
            half = format_size(STALLED_SIZE // 2)
            waits = entry.get("download_waits")
            if not isinstance(waits, bool):
                waits = dialog is not None and is_false(dialog.get("autostartdownload"))
            start = ["download: start"] if waits else []
            events = self.drive(folder / "Setup.exe",
                                ["dialog: continue"] + start +
                                ["download: wait-text " + half, "download: picture download", "download: read",
                                 "download: cancel", "no"])
        finally:
            http.stop()
        picture = self.scratch / "download.bmp"
        description = entry.get("description", "")
        if not taken(events, "download: picture download") or not picture.exists():
            print("preview: the download window of %r did not show %s arrived; what Setup.exe did:" % (description, half))
            what_happened(events)
            return 1
        out = save_picture(picture, out)
        print("the download window of %r, halfway through a file of %s:" % (description, format_size(STALLED_SIZE)))
        for e in events:
            if "download" in e:
                d = e["download"]
                print("window %r, message %r, progress %r" % (d.get("caption"), d.get("message"), d.get("status")))
                buttons = [d.get("start"), d.get("cancel")]
                print("  buttons: %s" % ", ".join("%r%s" % (b.get("text"), "" if b.get("visible") else " (hidden)")
                                                  for b in buttons if b))
        print("picture: %s" % out)
        return 0


def language_id(text: str) -> int:
    value = int(text, 0)
    if not 1 <= value <= 0xFFFF:
        raise argparse.ArgumentTypeError("a Windows language identifier is a number from 1 to 65535")
    return value


def row_number(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("rows count from 1")
    return value


def main() -> int:
    paragraphs = __doc__.split("\n\n")
    ap = argparse.ArgumentParser(description=paragraphs[0], epilog="\n\n".join(paragraphs[2:]),
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("medium", type=Path)
    ap.add_argument("--language", type=language_id, default=WINE_LANGUAGE, metavar="N",
                    help="the system language Setup.exe reads, e.g. 1031 German, 1036 French (default: 1033)")
    ap.add_argument("--out", type=Path, metavar="FILE",
                    help="the dialog as it first shows (.png or .bmp; default preview.png when neither --running "
                         "nor --download is given)")
    ap.add_argument("--running", type=Path, metavar="FILE",
                    help="the dialog in the middle of the installation (.png or .bmp)")
    ap.add_argument("--row", type=row_number, metavar="N",
                    help="with --running: the row, counted from 1, whose component is being installed "
                         "(default: the first checked row that is not installed)")
    ap.add_argument("--download", type=Path, metavar="FILE",
                    help="the download window halfway through a file (.png or .bmp)")
    ap.add_argument("--component", metavar="NAME",
                    help="with --download: the component, by its description, whose download window is pictured "
                         "(default: the first one the run installs that has downloads)")
    ap.add_argument("--build", type=Path, default=ROOT / "build", metavar="DIR",
                    help="the build folder (default: build)")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder with the Wine prefix and logs")
    args = ap.parse_args()
    if args.row is not None and args.running is None:
        ap.error("--row goes with --running")
    if args.component is not None and args.download is None:
        ap.error("--component goes with --download")
    if args.out is None and args.running is None and args.download is None:
        args.out = Path("preview.png")
    medium, build, language = args.medium.resolve(), args.build.resolve(), args.language
    needed = [build / "win" / "e2e_driver.exe", build / "setup-check"]
    if args.running or args.download:
        needed.append(build / "win" / "e2e_stub.exe")
    if not (medium / "Setup.exe").is_file():
        print("preview: %s holds no Setup.exe" % medium, file=sys.stderr)
        return 2
    for path in needed:
        if not path.is_file():
            print("preview: %s is missing (build first: scripts/build.sh)" % path, file=sys.stderr)
            return 2

    scratch = Path(tempfile.mkdtemp(prefix="setup-preview-"))
    try:
        document = configuration_of(medium)
        plan = plan_of(build / "setup-check", document, scratch, language)
        if plan.get("configuration", {}).get("install_silent"):
            print("preview: the configuration for %d runs silently (install_silent): Setup.exe shows no dialog"
                  % language)
            print(language_note(language))
            return 1
        status, chosen = 0, {}
        for what, out, choose in (("running", args.running, lambda: choose_running(document, plan, args.row)),
                                  ("download", args.download, lambda: choose_download(document, plan, args.component))):
            if out is None:
                continue
            try:
                chosen[what] = choose()
            except PreviewError as e:
                print("preview: no picture of the %s: %s" % ("run" if what == "running" else "download window", e))
                status = 1
        pictures = len(chosen) + (args.out is not None)
        if pictures == 0:
            return status
        print("running Setup.exe under Wine in a prefix of its own, system language %d (about half a minute%s)"
              % (language, "" if pictures == 1 else ", and a few seconds for each further picture"), flush=True)
        if language != WINE_LANGUAGE:
            try:
                prepare_prefix(scratch, language)
            except (RuntimeError, OSError, subprocess.SubprocessError) as e:
                print("preview: the prefix could not be given the system language %d: %s" % (language, e))
                return 1
        run = Run(medium, build, scratch, document, plan, language)
        if args.out is not None:
            status = max(status, run.dialog(args.out))
        for what, out in (("running", args.running), ("download", args.download)):
            if what not in chosen:
                continue
            try:
                status = max(status, run.running(out, chosen[what]) if what == "running"
                             else run.download(out, chosen[what]))
            except (PreviewError, RuntimeError) as e:
                print("preview: no picture of the %s: %s" % ("run" if what == "running" else "download window", e))
                status = 1
        return status
    finally:
        if args.keep:
            print("scratch folder kept: %s" % scratch)
        else:
            Wine(scratch / "wine").discard_prefix()
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
