"""Building blocks for the end-to-end cases: setup.xml pieces, the usual
boxes, and checks over the stub logs, the HTTP requests and the Wine prefix.

Tokens of the form @@NAME@@ in file contents, script lines, registry data and
foreign-window captions are replaced by the runner for each case run:
@@HTTP@@ the case's folder on the loopback HTTP server, @@RUN@@ a text unique
to this run, @@CASE@@ the case's name.
"""

import os
import time
from typing import Callable, List, Optional
from xml.sax.saxutils import escape

from e2e_model import Box, CaseRun

Check = Callable[[CaseRun], List[str]]

# The texts most cases configure; each has a different wording from the
# embedded configuration, so a text shown from the wrong place is noticed.
TEXTS = dict(
    dialog_caption="Yolvane Test Setup",
    dialog_message="Setup will install the components below.",
    install_caption="Install",
    cancel_caption="Leave",
    status_installed="[Already installed]",
    failed_exec_command_continue="Could not install %s. Go on with the others?",
    installation_completed="Everything is in place.",
    reboot_required="Restart the computer now?",
)


def attrs(values: dict) -> str:
    return " ".join('%s="%s"' % (k, escape(str(v), {'"': "&quot;"})) for k, v in values.items() if v is not None)


def configuration(components: str, silent: bool = False, **texts) -> str:
    """A setup.xml with one configuration: TEXTS, overridden by `texts`
    (None leaves an attribute out)."""
    values = dict(type="install", lcid="")
    values.update(TEXTS)
    values.update(texts)
    if silent:
        values["install_silent"] = "true"
    return ('<?xml version="1.0" encoding="utf-8"?>\n<configurations>\n'
            '  <configuration %s>\n    <components>\n      %s\n    </components>\n'
            '  </configuration>\n</configurations>\n' % (attrs(values), "\n      ".join(components.split("\n"))))


def silent(*components: str, **texts) -> dict:
    return {"setup.xml": configuration("\n".join(components), silent=True, **texts)}


def interactive(*components: str, **texts) -> dict:
    return {"setup.xml": configuration("\n".join(components), silent=False, **texts)}


def component(type_: str, description: str, body: str = "", **values) -> str:
    a = {"type": type_, "description": description}
    a.update(values)
    return "<component %s>%s</component>" % (attrs(a), body)


def cmd(description: str, command: str, body: str = "", **values) -> str:
    """A cmd component; a bare name is a program beside Setup.exe."""
    if "\\" not in command and "#" not in command:
        command = "#APPPATH\\" + command
    return component("cmd", description, body, command=command, **values)


def msi(description: str, package: str, cmdparameters: str = "", body: str = "", **values) -> str:
    return component("msi", description, body, package=package, cmdparameters=cmdparameters, **values)


def openfile(description: str, file: str, body: str = "", **values) -> str:
    return component("openfile", description, body, file=file, **values)


def check_file(filename: str, fileversion: str = "", comparison: str = "") -> str:
    return '<installedcheck %s/>' % attrs(dict(type="check_file", filename=filename, fileversion=fileversion,
                                               comparison=comparison))


def check_registry(path: str, fieldname: str, fieldtype: str, fieldvalue: str = "", comparison: str = "") -> str:
    return '<installedcheck %s/>' % attrs(dict(type="check_registry_value", path=path, fieldname=fieldname,
                                               fieldtype=fieldtype, fieldvalue=fieldvalue, comparison=comparison))


def downloads(*items: str, **window) -> str:
    """A downloaddialog with these items; `window` holds its own attributes
    (dialog_caption, autostartdownload, ...)."""
    return "<downloaddialog%s><downloads>%s</downloads></downloaddialog>" % (
        (" " + attrs(window)) if window else "", "".join(items))


def download(name: str, url: str, path: str = "#APPPATH\\dl", filename: str = "", sha256: Optional[str] = None) -> str:
    fields = dict(componentname=name, sourceurl=url, destinationpath=path, destinationfilename=filename)
    if sha256 is not None:
        fields["sha256"] = sha256
    return '<download %s/>' % attrs(fields)


# ------------------------------------------------------------------ boxes

def failure_question(description: str, owner: Optional[str] = None,
                     text: str = TEXTS["failed_exec_command_continue"]) -> Box:
    """The question after a failed component: no caption of its own."""
    return Box(text=text.replace("%s", description, 1), caption="Error", buttons=("YES", "NO"), icon="warning",
               owner=owner)


def completion(text: str, owner: Optional[str] = None) -> Box:
    """A component's completion text, or the run's installation_completed."""
    return Box(text=text, caption="", buttons=("OK",), icon="information", owner=owner)


def restart_question(owner: Optional[str] = None) -> Box:
    return Box(text=TEXTS["reboot_required"], caption="", buttons=("YES", "NO"), icon="question", owner=owner)


def faulty_value(text: str, caption: str) -> Box:
    """An installed check's complaint about a configured value."""
    return Box(text=text, caption=caption, buttons=("OK",), icon="error", owner="none")


BAD_COMPARISON = "Invalid comparison type, expected match or version."
BAD_REGISTRY_TYPE = "Invalid registry type."
BAD_DWORD = "Invalid registry value to check expected DWORD."


# ------------------------------------------------------------------ checks

def all_of(*checks: Check) -> Check:
    def run(r: CaseRun) -> List[str]:
        out: List[str] = []
        for c in checks:
            out += c(r)
        return out
    return run


def first_event(r: CaseRun, stub: str, kind: str) -> Optional[dict]:
    for e in r.stub_log(stub):
        if e.get("event") == kind:
            return e
    return None


def wait_for_end(r: CaseRun, stub: str, seconds: float = 10.0) -> Optional[dict]:
    """The stub's end line, waiting for it a while (a component that the
    program did not wait for may still run when the program has ended)."""
    deadline = time.monotonic() + seconds
    while True:
        e = first_event(r, stub, "end")
        if e is not None or time.monotonic() > deadline:
            return e
        time.sleep(0.05)


def ran_once(*stubs: str) -> Check:
    def run(r: CaseRun) -> List[str]:
        out = []
        for s in stubs:
            starts = [e for e in r.stub_log(s) if e.get("event") == "start"]
            if len(starts) != 1:
                out.append("%s started %d times, expected once" % (s, len(starts)))
        return out
    return run


def one_after_another(*stubs: str) -> Check:
    """Each stub started only after the one before it had ended."""
    def run(r: CaseRun) -> List[str]:
        out = []
        for a, b in zip(stubs, stubs[1:]):
            end_a, start_b = first_event(r, a, "end"), first_event(r, b, "start")
            if end_a is None or start_b is None:
                out.append("cannot order %s and %s: a log line is missing" % (a, b))
            elif start_b["ms"] < end_a["ms"]:
                out.append("%s started %.0f ms before %s had ended" % (b, end_a["ms"] - start_b["ms"], a))
        return out
    return run


def started_while_running(later: str, earlier: str) -> Check:
    """`later` started while `earlier` (not waited for) still ran."""
    def run(r: CaseRun) -> List[str]:
        start = first_event(r, later, "start")
        end = wait_for_end(r, earlier)
        if start is None or end is None:
            return ["cannot compare %s with %s: a log line is missing" % (later, earlier)]
        if start["ms"] >= end["ms"]:
            return ["%s started %.0f ms after %s had ended: %s was waited for" % (
                later, start["ms"] - end["ms"], earlier, earlier)]
        return []
    return run


def still_running_at_exit(stub: str) -> Check:
    """The program ended while this stub (not waited for) still ran."""
    def run(r: CaseRun) -> List[str]:
        tick = r.exit_tick()
        end = wait_for_end(r, stub)
        if tick is None or end is None:
            return ["cannot compare the exit with %s's end: a log line is missing" % stub]
        if end["tick"] <= tick:
            return ["%s had ended before Setup.exe ended: it was waited for" % stub]
        return []
    return run


def requests_are(*expected: str) -> Check:
    """The HTTP requests of the case, in order, as "<path below the case's
    folder> <status>" (e.g. "a.exe 200")."""
    def run(r: CaseRun) -> List[str]:
        prefix = "/%s/" % r.case.name
        seen = [q[len(prefix):] if q.startswith(prefix) else q for q in r.requests]
        if seen != list(expected):
            return ["HTTP requests: expected %s, seen %s" % (list(expected), seen)]
        return []
    return run


def folder_holds(rel: str, *names: str) -> Check:
    """A medium folder holds exactly these files (no partial download)."""
    def run(r: CaseRun) -> List[str]:
        folder = os.path.join(r.medium_dir, rel)
        seen = sorted(os.listdir(folder)) if os.path.isdir(folder) else None
        if seen != sorted(names):
            return ["%s holds %s, expected %s" % (rel, seen, sorted(names))]
        return []
    return run


def same_bytes(rel: str, bin_name: str) -> Check:
    """A medium file is an exact copy of a file of the bin folder (run_e2e.py
    stages from it; its path is found beside Setup.exe's source copy)."""
    def run(r: CaseRun) -> List[str]:
        got = os.path.join(r.medium_dir, rel)
        want = os.path.join(r.extra.get("bin_dir", ""), bin_name)
        if not os.path.exists(got):
            return ["%s is missing" % rel]
        with open(got, "rb") as a, open(want, "rb") as b:
            if a.read() != b.read():
                return ["%s is not a copy of %s" % (rel, bin_name)]
        return []
    return run


def dialog_not_ended_by(step: str) -> Check:
    """The dialog was still there after a step (its next read succeeded)."""
    def run(r: CaseRun) -> List[str]:
        events = r.events
        for i, e in enumerate(events):
            if e.get("step") == step:
                if not any("dialog" in later for later in events[i + 1:]):
                    return ["the dialog was not read after %r: it ended" % step]
                return []
        return ["the step %r was not done" % step]
    return run
