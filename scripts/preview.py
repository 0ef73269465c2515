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
configuration's caption and the listed components' rows, as Setup.exe
writes them.

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
then nothing more; the picture is taken when the progress text is the one
that setup-check --plan says Setup.exe shows for that half, then Cancel is
pressed and the failure question answered No. The checked components
before it count as installed.

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
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import List, Optional, Tuple

# Beside this file in the publisher's kit; in the source tree the e2e
# runner and the PE reader come from the tests.
HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
for folder in (ROOT / "tests" / "pe", ROOT / "tests" / "e2e", HERE):
    if str(folder) in sys.path:
        sys.path.remove(str(folder))
    sys.path.insert(0, str(folder))
from run_e2e import drive_once  # noqa: E402
from preview_medium import (OTHER_STUB, HELD_STUB, Chosen, PreviewError, choose_download, choose_running,  # noqa: E402
                            configuration_of, plan_of, stage_scratch_medium)
from preview_pictures import differences, events_of, print_dialog, save_picture, taken, what_happened  # noqa: E402
from preview_prefix import WINE_LANGUAGE, discard_prefix, language_note, prepare_prefix  # noqa: E402
from preview_server import STALLED_SIZE, StalledDownload  # noqa: E402


class Tools:
    """The programs the preview runs: setup-check, the e2e driver and stub.
    In the kit setup-check lies beside preview.sh (one folder up) and the
    others beside this file; in the source tree all come from the build."""

    def __init__(self, build: Optional[Path]):
        if build is None:
            self.setup_check, self.driver, self.stub = HERE.parent / "setup-check", HERE / "e2e_driver.exe", \
                HERE / "e2e_stub.exe"
        else:
            self.setup_check = build / "setup-check"
            self.driver, self.stub = build / "win" / "e2e_driver.exe", build / "win" / "e2e_stub.exe"


class Run:
    """What every picture's run shares: the medium, the driver and stub, the
    scratch folder (with the one prefix) and the plan."""

    def __init__(self, medium: Path, tools: "Tools", scratch: Path, document: bytes, plan: dict, language: int,
                 timeout: int = 120):
        self.medium, self.scratch = medium, scratch
        self.document, self.plan, self.language, self.timeout = document, plan, language, timeout
        self.driver, self.stub = tools.driver, tools.stub

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
        problems = differences(self.plan, read[0]) if read and self.plan else \
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
            wanted = entry.get("installing_message", "")
            shown = [(e["dialog"].get("message") or {}).get("text") for e in events
                     if "dialog" in e and e.get("step") == "read"]
            if wanted and shown and shown[0] != wanted:
                print("preview: the message is %r, installing_component_wait makes %r" % (shown[0], wanted))
                return 1
        return 0

    def download(self, out: Path, chosen: Chosen) -> int:
        """The download window halfway through the chosen component's first
        file."""
        scratch, target, entry = chosen.scratch, chosen.target, chosen.entry
        scratch.prepare(target, OTHER_STUB, keep_downloads=True)
        # The status text Setup.exe shows for the half that arrives; only its
        # first line, as the driver's script takes one line a step.
        half = (entry.get("download_progress") or "").strip().split("\n")[0].strip()
        start = ["download: start"] if entry.get("download_waits") else []
        with StalledDownload(self.scratch) as server:
            scratch.point_downloads_at(target, server.url)
            folder = self.scratch / "medium-download"
            stage_scratch_medium(self.medium, folder, scratch.serialise(), self.stub)
            events = self.drive(folder / "Setup.exe",
                                ["dialog: continue"] + start +
                                ["download: wait-text " + half, "download: picture download", "download: read",
                                 "download: cancel", "no"])
        picture = self.scratch / "download.bmp"
        description = entry.get("description", "")
        if not taken(events, "download: picture download") or not picture.exists():
            print("preview: the download window of %r did not show %r; what Setup.exe did:" % (description, half))
            what_happened(events)
            return 1
        out = save_picture(picture, out)
        print("the download window of %r, with half of a file of %d bytes arrived:" % (description, STALLED_SIZE))
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


def arguments() -> argparse.Namespace:
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
    in_tree = (ROOT / "tests" / "e2e" / "run_e2e.py").is_file()
    ap.add_argument("--build", type=Path, default=ROOT / "build" if in_tree else None, metavar="DIR",
                    help="the build folder (default: build in the source tree; in the publisher's kit the kit's "
                         "own programs)")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder with the Wine prefix and logs")
    args = ap.parse_args()
    if args.row is not None and args.running is None:
        ap.error("--row goes with --running")
    if args.component is not None and args.download is None:
        ap.error("--component goes with --download")
    if args.out is None and args.running is None and args.download is None:
        args.out = Path("preview.png")
    return args


def missing_tools(args: argparse.Namespace, tools: Tools) -> Optional[str]:
    """What keeps the preview from starting, or None."""
    if not (args.medium / "Setup.exe").is_file():
        return "%s holds no Setup.exe" % args.medium
    needed = [tools.driver, tools.setup_check] + ([tools.stub] if args.running or args.download else [])
    for path in needed:
        if not path.is_file():
            return "%s is missing (%s)" % (path, "build first: scripts/build.sh" if args.build else "the kit is incomplete")
    return None


def choices(args: argparse.Namespace, document: bytes, plan: dict) -> Tuple[dict, int]:
    """The components of the pictures of the run, by picture, and the status
    of those that cannot be taken."""
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
    return chosen, status


def take_pictures(args: argparse.Namespace, tools: Tools, scratch: Path) -> int:
    medium, language = args.medium, args.language
    document = configuration_of(medium)
    plan = plan_of(tools.setup_check, document, scratch, language, STALLED_SIZE // 2, STALLED_SIZE)
    if plan.get("configuration", {}).get("install_silent"):
        print("preview: the configuration for %d runs silently (install_silent): Setup.exe shows no dialog" % language)
        print(language_note(language))
        return 1
    chosen, status = choices(args, document, plan)
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
    run = Run(medium, tools, scratch, document, plan, language)
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


def main() -> int:
    args = arguments()
    args.medium = args.medium.resolve()
    if args.build is not None:
        args.build = args.build.resolve()
    tools = Tools(args.build)
    missing = missing_tools(args, tools)
    if missing:
        print("preview: " + missing, file=sys.stderr)
        return 2
    scratch = Path(tempfile.mkdtemp(prefix="setup-preview-"))
    try:
        return take_pictures(args, tools, scratch)
    finally:
        if args.keep:
            print("scratch folder kept: %s" % scratch)
        else:
            discard_prefix(scratch)
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
