"""The medium and its stand-ins: the configuration Setup.exe reads, what
setup-check --plan makes of it, and the scratch copy of a run that goes on
(stand-in component programs, the configuration in setup.xml and stored in
the scratch copy of Setup.exe)."""
import json
import shutil
import struct
import subprocess
import xml.etree.ElementTree as ET
from pathlib import Path
from typing import Dict, List, Optional, Tuple
from xml.parsers import expat

from check_pe import PE, RT_RCDATA

# The Windows version code of Wine's default prefix (Windows 7: "Vista and
# every later release").
WINE_OS_CODE = 100
# The stand-in component programs (copies of the e2e stub, whose name tells
# it what to do): the component that holds until its picture is taken and
# then fails, and every other one (which never runs: the run ends at the
# held or downloading component).
HELD_STUB = "preview_hold_exit1.exe"
OTHER_STUB = "preview_exit1.exe"


class PreviewError(Exception):
    """A picture that cannot be taken of this medium, and why."""


def configuration_of(medium: Path) -> bytes:
    """What Setup.exe reads: setup.xml beside it, else its stored copy."""
    beside = medium / "setup.xml"
    if beside.is_file():
        return beside.read_bytes()
    return PE((medium / "Setup.exe").read_bytes()).resources().get((RT_RCDATA, 103), b"")


def plan_of(setup_check: Path, document: bytes, scratch: Path, language: int, so_far: int, size: int) -> dict:
    """What setup-check --plan says Setup.exe makes of the configuration on
    a system like the preview's, with the texts Setup.exe shows (the
    download window's with so_far of size bytes arrived); {} when it cannot
    say."""
    path = scratch / "configuration.xml"
    path.write_bytes(document)
    plan = subprocess.run([str(setup_check), "--plan", "--language", str(language), "--os-code", str(WINE_OS_CODE),
                           "--download-progress", "%d/%d" % (so_far, size), "--format", "json", str(path)],
                          capture_output=True, text=True)
    try:
        return json.loads(plan.stdout)
    except ValueError:
        return {}


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
        return self.plan_configuration.get("show_progress") is True

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

    def point_downloads_at(self, target: ET.Element, url: str) -> None:
        """Points the target's downloads (those of its first downloaddialog,
        the one Setup.exe reads) at the loopback server."""
        dialog = target.find("downloaddialog")
        downloads = dialog.find("downloads") if dialog is not None else None
        for d in downloads.findall("download") if downloads is not None else []:
            d.set("sourceurl", url)
            if not d.get("destinationfilename"):
                d.set("destinationfilename", url.rsplit("/", 1)[-1])

    def serialise(self) -> bytes:
        """The document in UTF-8 without white space between elements (which
        Setup.exe ignores), so that it fits where the stored copy was."""
        for e in self.root.iter():
            if e.text is not None and not e.text.strip():
                e.text = None
            if e.tail is not None and not e.tail.strip():
                e.tail = None
        return b'<?xml version="1.0" encoding="utf-8"?>\n' + ET.tostring(self.root, encoding="unicode").encode("utf-8")


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
