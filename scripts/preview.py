#!/usr/bin/env python3
"""Shows a medium's dialog before it ships: runs the medium's Setup.exe under
Wine, in a Wine prefix and on a display of its own (a virtual desktop of
1024 x 768 at 96 dpi), waits for the dialog, saves a picture of it and
leaves with Exit. Only Setup.exe and its setup.xml are copied into a
scratch folder for the run, so nothing of the medium can be installed.

usage: preview.py MEDIUM [--out FILE.png] [--build DIR] [--keep]

Wine always reports the system language 1033 (English, United States), so
the picture shows the configuration chosen for 1033; what another language
gets is shown by `setup-check --plan --language N --os-code 100 FILE`.
Exit status: 0 with a picture, 1 when the dialog did not show, 2 on wrong
arguments.
"""
import argparse
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tests" / "pe"))
from run_e2e import drive_once  # noqa: E402
from check_pe import PE, RT_RCDATA  # noqa: E402

LANGUAGE_NOTE = ("Wine reports the system language 1033, so this is the configuration for 1033; for another "
                 "language run: setup-check --plan --language N --os-code 100 FILE")


def configuration_of(medium: Path) -> bytes:
    """What Setup.exe reads: setup.xml beside it, else its stored copy."""
    beside = medium / "setup.xml"
    if beside.is_file():
        return beside.read_bytes()
    return PE((medium / "Setup.exe").read_bytes()).resources().get((RT_RCDATA, 103), b"")


def runs_silently(setup_check: Path, document: bytes, scratch: Path) -> bool:
    path = scratch / "configuration.xml"
    path.write_bytes(document)
    plan = subprocess.run([str(setup_check), "--plan", "--language", "1033", "--os-code", "100", "--format", "json",
                           str(path)], capture_output=True, text=True)
    try:
        return bool(json.loads(plan.stdout).get("configuration", {}).get("install_silent"))
    except ValueError:
        return False


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("medium", type=Path)
    ap.add_argument("--out", type=Path, default=Path("preview.png"))
    ap.add_argument("--build", type=Path, default=ROOT / "build", help="the build folder (default: build)")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder with the Wine prefix and logs")
    args = ap.parse_args()
    medium, build = args.medium.resolve(), args.build.resolve()
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
        if runs_silently(setup_check, configuration_of(medium), scratch):
            print("preview: the configuration for 1033 runs silently (install_silent): Setup.exe shows no dialog")
            print(LANGUAGE_NOTE)
            return 1
        copy = scratch / "medium"
        copy.mkdir()
        shutil.copy2(medium / "Setup.exe", copy / "Setup.exe")
        if (medium / "setup.xml").is_file():
            shutil.copy2(medium / "setup.xml", copy / "setup.xml")
        print("running Setup.exe under Wine in a prefix of its own (about a minute)", flush=True)
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
            print(LANGUAGE_NOTE)
            return 1
        out = args.out.resolve()
        out.parent.mkdir(parents=True, exist_ok=True)
        if out.suffix.lower() == ".bmp":
            shutil.copy2(picture, out)
        else:
            subprocess.run(["/usr/bin/convert", str(picture), str(out)], check=True)
        for e in events:
            if "dialog" in e and e.get("step") == "read":
                d = e["dialog"]
                print("dialog %r, message %r" % (d.get("caption"), (d.get("message") or {}).get("text")))
                for row in d.get("rows", []):
                    state = "checked" if row.get("image") == 2 else "unchecked"
                    print("  row %r (%s%s)" % (row.get("text"), state, ", locked" if row.get("locked") else ""))
        print("picture: %s" % out)
        print(LANGUAGE_NOTE)
        return 0
    finally:
        if args.keep:
            print("scratch folder kept: %s" % scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
