"""The pictures and what the preview reads of them: the driver's events,
the pictures saved as PNG or BMP, the dialog as read, and how it differs
from the plan."""
import json
import shutil
import subprocess
from pathlib import Path
from typing import List


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


def differences(plan: dict, dialog: dict) -> List[str]:
    """How the dialog differs from what setup-check --plan says Setup.exe
    shows: the configuration's caption, and the rows of the listed
    components in order."""
    out = []
    caption = plan.get("configuration", {}).get("dialog_caption")
    if dialog.get("caption") != caption:
        out.append("the caption is %r, the configuration's dialog_caption %r" % (dialog.get("caption"), caption))
    wanted = [c.get("row_text", "") for c in plan.get("components", []) if c.get("listed")]
    rows = [r.get("text") or "" for r in dialog.get("rows", [])]
    if rows != wanted:
        out.append("the rows are %r, the plan lists %r" % (rows, wanted))
    return out
