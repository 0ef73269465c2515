#!/usr/bin/env python3
"""Shows a medium's dialog before it ships: runs the medium's Setup.exe under
Wine, in a Wine prefix and on a display of its own (a virtual desktop of
1024 x 768 at 96 dpi), waits for the dialog, saves a picture of it and
leaves with Exit. Only Setup.exe and its setup.xml are copied into a
scratch folder for the run, so nothing of the medium can be installed.

usage: preview.py MEDIUM [--language N] [--out FILE.png] [--build DIR] [--keep]

Wine reports the system language 1033 (English, United States). With
--language N the preview's prefix reports N instead: Setup.exe reads the
system language from the first translation entry of the version resource of
user.exe in the system folder, and the prefix's copy of that file names N
(nothing outside the preview's own prefix is changed). The dialog is then
compared with what `setup-check --plan --language N` says Setup.exe chooses:
the configuration's caption and the listed components' rows.
Exit status: 0 with a picture of the expected dialog, 1 when the dialog did
not show or differs from the plan, 2 on wrong arguments.
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
from typing import List, Optional

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tests" / "pe"))
from run_e2e import Wine, drive_once  # noqa: E402
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


def language_id(text: str) -> int:
    value = int(text, 0)
    if not 1 <= value <= 0xFFFF:
        raise argparse.ArgumentTypeError("a Windows language identifier is a number from 1 to 65535")
    return value


def main() -> int:
    paragraphs = __doc__.split("\n\n")
    ap = argparse.ArgumentParser(description=paragraphs[0], epilog="\n\n".join(paragraphs[2:]),
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("medium", type=Path)
    ap.add_argument("--language", type=language_id, default=WINE_LANGUAGE,
                    help="the system language Setup.exe reads, e.g. 1031 German, 1036 French (default: 1033)")
    ap.add_argument("--out", type=Path, default=Path("preview.png"), help="the picture (.png or .bmp)")
    ap.add_argument("--build", type=Path, default=ROOT / "build", help="the build folder (default: build)")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder with the Wine prefix and logs")
    args = ap.parse_args()
    medium, build, language = args.medium.resolve(), args.build.resolve(), args.language
    driver, setup_check = build / "win" / "e2e_driver.exe", build / "setup-check"
    if not (medium / "Setup.exe").is_file():
        print("preview: %s holds no Setup.exe" % medium, file=sys.stderr)
        return 2
    for needed in (driver, setup_check):
        if not needed.is_file():
            print("preview: %s is missing (build first: scripts/build.sh)" % needed, file=sys.stderr)
            return 2

    scratch = Path(tempfile.mkdtemp(prefix="setup-preview-"))
    try:
        document = configuration_of(medium)
        plan = plan_of(setup_check, document, scratch, language)
        if plan.get("configuration", {}).get("install_silent"):
            print("preview: the configuration for %d runs silently (install_silent): Setup.exe shows no dialog"
                  % language)
            print(language_note(language))
            return 1
        copy = scratch / "medium"
        copy.mkdir()
        shutil.copy2(medium / "Setup.exe", copy / "Setup.exe")
        if (medium / "setup.xml").is_file():
            shutil.copy2(medium / "setup.xml", copy / "setup.xml")
        print("running Setup.exe under Wine in a prefix of its own, system language %d (about half a minute)"
              % language, flush=True)
        if language != WINE_LANGUAGE:
            try:
                prepare_prefix(scratch, language)
            except (RuntimeError, OSError, subprocess.SubprocessError) as e:
                print("preview: the prefix could not be given the system language %d: %s" % (language, e))
                return 1
        log = drive_once(scratch, driver, copy / "Setup.exe",
                         ["dialog: picture preview", "dialog: read", "dialog: exit"], timeout=120, own_display=True,
                         keep_prefix=args.keep)
        events = [json.loads(line) for line in log.splitlines() if line.strip()]
        picture = scratch / "preview.bmp"
        taken = any(e.get("step") == "picture preview" and e.get("result") == "taken" for e in events)
        if not taken or not picture.exists():
            print("preview: the dialog did not show; what Setup.exe did:")
            for e in events:
                if "box" in e:
                    print("  message box %r: %r" % (e["box"].get("caption"), e["box"].get("text")))
                elif "exit" in e:
                    print("  it ended with status %d" % e["exit"])
            print("(when every listed component is installed, the run starts by itself without the dialog)")
            print(language_note(language))
            return 1
        out = args.out.resolve()
        out.parent.mkdir(parents=True, exist_ok=True)
        if out.suffix.lower() == ".bmp":
            shutil.copy2(picture, out)
        else:
            subprocess.run(["/usr/bin/convert", str(picture), str(out)], check=True)
        read = [e["dialog"] for e in events if "dialog" in e and e.get("step") == "read"]
        for d in read:
            print("dialog %r, message %r" % (d.get("caption"), (d.get("message") or {}).get("text")))
            for row in d.get("rows", []):
                state = "checked" if row.get("image") == 2 else "unchecked"
                print("  row %r (%s%s)" % (row.get("text"), state, ", locked" if row.get("locked") else ""))
        print("picture: %s" % out)
        print(language_note(language))
        problems = differences(document, plan, read[0]) if read and plan else ["the dialog or the plan was not read"]
        if problems:
            print("preview: the dialog is not the one setup-check --plan --language %d chooses:" % language)
            for problem in problems:
                print("  " + problem)
            return 1
        configuration = plan["configuration"]
        print("the dialog is the configuration setup-check chooses for the language %d (element %s, line %s)"
              % (language, configuration.get("index"), configuration.get("line")))
        return 0
    finally:
        if args.keep:
            print("scratch folder kept: %s" % scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
