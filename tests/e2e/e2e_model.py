"""The records that end-to-end cases are written in (see cases.py).

A case stages a medium folder (Setup.exe plus its files), runs it under the
driver with a script of answers and dialog operations, and states what a person
would have seen: the message boxes in order, the program's dialog each time it
was read, and the exit code, plus optional checks afterwards.
"""

from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Sequence, Tuple, Union


class Dir:
    """In Case.files: create a folder under this name instead of a file."""

    def __repr__(self) -> str:
        return "Dir()"


DIR = Dir()


class Sparse:
    """In Case.files: a file of this many bytes that takes no disk space
    (all zero bytes)."""

    def __init__(self, size: int):
        self.size = size

    def __repr__(self) -> str:
        return "Sparse(%d)" % self.size


@dataclass(frozen=True)
class Box:
    """A message box as the driver reads it from the screen."""

    text: str
    caption: str = "Error"
    buttons: Tuple[str, ...] = ("OK",)
    icon: str = "error"  # error, warning, information, question, none
    # The box's owner window: "none", "dialog" (the program's dialog) or
    # "other". In an expected box, None accepts any owner.
    owner: Optional[str] = None

    @staticmethod
    def from_log(d: dict) -> "Box":
        return Box(text=d.get("text", ""), caption=d.get("caption", ""),
                   buttons=tuple(d.get("buttons", ())), icon=d.get("icon", ""), owner=d.get("owner"))

    def differences(self, seen: "Box") -> List[str]:
        """The fields in which a seen box differs from this expected one."""
        fields = [f for f in ("caption", "text", "buttons", "icon") if getattr(self, f) != getattr(seen, f)]
        if self.owner is not None and self.owner != seen.owner:
            fields.append("owner")
        return fields

    def show(self) -> str:
        owner = "" if self.owner is None else " owner=%s" % self.owner
        return "[%s] %r: %r (%s)%s" % (self.icon, self.caption, self.text, "|".join(self.buttons), owner)


def error_box(text: str) -> Box:
    """The program's error message: no caption of its own (shown as "Error"),
    the error icon and one OK button."""
    return Box(text=text)


@dataclass(frozen=True)
class RegValue:
    """A registry value set with `wine reg add` before the case and deleted
    after it. HKLM keys are written in the 32-bit view, the one Setup.exe (a
    32-bit program) reads; `view` "64" writes the other one."""

    key: str
    name: str
    data: str
    type: str = "REG_SZ"
    view: str = "32"


@dataclass(frozen=True)
class Row:
    """One row of the dialog's check list as the driver reads it."""

    text: str
    checked: bool          # the state image: 2 checked, 1 unchecked
    locked: bool           # the row's user data is not 0
    selected: Optional[bool] = None  # None: not looked at
    # Its text drawn in the grey text colour rather than the usual one, as
    # read from the screen; None: not looked at (a box may cover the list).
    grey: Optional[bool] = None

    def show(self) -> str:
        return "%r %s %s%s%s" % (self.text, "[x]" if self.checked else "[ ]", "locked" if self.locked else "open",
                                 "" if self.selected is None else (" selected" if self.selected else " not selected"),
                                 "" if self.grey is None else (" grey" if self.grey else " black"))


@dataclass(frozen=True)
class View:
    """What a read of the program's dialog must show. Every field left at None
    is not looked at; `rows` lists every row, in order."""

    caption: Optional[str] = None
    message: Optional[str] = None
    continue_text: Optional[str] = None
    exit_text: Optional[str] = None
    continue_enabled: Optional[bool] = None
    exit_enabled: Optional[bool] = None
    selector_visible: Optional[bool] = None
    # Control ID of the window with the keyboard focus (1 Continue, 2 Exit,
    # 1003 the list).
    focus: Optional[int] = None
    # Placed as centring in the work area places it.
    centred: Optional[bool] = None
    # The dialog window itself enabled (it stays enabled during the run, so
    # that its message boxes give the activation back to it).
    dialog_enabled: Optional[bool] = None
    # The cursor over the dialog: "class" (the one it showed when it first
    # appeared, its class's arrow) or "own" (another: the run's wait cursor).
    cursor: Optional[str] = None
    # Answers a message while its run goes on (it handles its messages); the
    # cases hold their component until the read is done.
    responsive: Optional[bool] = None
    rows: Optional[Tuple[Row, ...]] = None
    # The read's label in the script ("dialog: read <label>"), or "shown" for
    # the read the driver makes when the dialog first shows.
    label: Optional[str] = None


@dataclass(frozen=True)
class DownloadView:
    """What a read of the download window must show; None: not looked at."""

    caption: Optional[str] = None
    message: Optional[str] = None
    status: Optional[str] = None          # the progress text below the bar
    bar_pos: Optional[int] = None         # in thousandths
    bar_moving: Optional[bool] = None
    start_visible: Optional[bool] = None
    start_text: Optional[str] = None
    cancel_text: Optional[str] = None
    owner: Optional[str] = None           # "dialog": the installer dialog owns it
    # The installer dialog behind it: disabled as by a modal window, and
    # still answering its messages.
    dialog_enabled: Optional[bool] = None
    dialog_responsive: Optional[bool] = None
    label: Optional[str] = None


@dataclass
class Case:
    name: str
    # Relative path (with '/') under the medium folder -> content.
    # str is written as UTF-8 without a byte-order mark; bytes are written as
    # they are; DIR creates a folder.
    files: Dict[str, Union[str, bytes, Dir]] = field(default_factory=dict)
    medium: str = "medium"
    # Copies of e2e_stub.exe under these names (relative to the medium folder);
    # the name chooses the stub's behaviour (see stub.cpp).
    stubs: Sequence[str] = ()
    # Answers to the message boxes, in order ("ok", "yes", "no", "cancel").
    script: Sequence[str] = ()
    boxes: Sequence[Box] = ()
    exit_code: Optional[int] = 1
    # Arguments given to Setup.exe.
    args: Sequence[str] = ()
    # Setup.exe starts with the limited token linked to the driver's (a member
    # of Administrators without elevation); the windows of the processes it
    # starts are answered as its own.
    limited: bool = False
    # Windows version reported to Setup.exe alone (e.g. "winxp", "vista");
    # None keeps the prefix's default (Windows 7 SP1).
    windows_version: Optional[str] = None
    registry: Sequence[RegValue] = ()
    # Files copied from the --bin-dir folder: medium-relative path -> file name there.
    from_bin: Dict[str, str] = field(default_factory=dict)
    # Files served by the loopback HTTP server under @@HTTP@@ (a folder of
    # this case's own): name -> content, or a name of a file in --bin-dir
    # given as FromBin("e2e_stub.exe").
    served: Dict[str, Union[str, bytes, "FromBin"]] = field(default_factory=dict)
    # The dialog, each time it was read (when it first showed, then each
    # "dialog: read"); None: the dialog must never show.
    views: Optional[Sequence[View]] = None
    # The download window, each time it was read ("download: read").
    downloads: Sequence[DownloadView] = ()
    # Captions (parts of) of windows of other programs that must appear after
    # Setup.exe has ended (a document it opened); the driver closes them.
    foreign_windows: Sequence[str] = ()
    # Runs after the medium is staged, before Setup.exe starts (CaseRun
    # without events), e.g. to build a package.
    prepare: Optional[Callable[["CaseRun"], None]] = None
    # Runs after the case, whatever happened (e.g. to uninstall a package).
    cleanup: Optional[Callable[["CaseRun"], None]] = None
    # Paths relative to the medium folder that must / must not exist afterwards.
    exists: Sequence[str] = ()
    absent: Sequence[str] = ()
    # Stub copies that must have started / must not have started.
    ran: Sequence[str] = ()
    not_ran: Sequence[str] = ()
    # Extra check: gets the run's context, returns a list of problems.
    check: Optional[Callable[["CaseRun"], List[str]]] = None
    # A bound that only ends a case that went wrong: nothing waits for it.
    timeout: float = 60.0
    # A reason, when the case is known to fail today: it still runs and
    # shows what it saw, but does not count as a failure.
    known_failure: Optional[str] = None


@dataclass(frozen=True)
class FromBin:
    """In Case.served: a copy of this file of the --bin-dir folder."""

    name: str


@dataclass
class CaseRun:
    """What a case's run left behind, for Case.check."""

    case: Case
    case_dir: str
    medium_dir: str
    events: List[dict]
    boxes: List[Box]
    exit_code: Optional[int]
    # The Wine prefix (Linux path) and the user's temp folder in it.
    prefix: str = ""
    temp_dir: str = ""
    # The values of the @@NAME@@ tokens of this run (HTTP, RUN, ...).
    tokens: Dict[str, str] = field(default_factory=dict)
    # Paths the HTTP server was asked for during this case, in order.
    requests: List[str] = field(default_factory=list)
    # Extra state a prepare step wants to hand to check or cleanup.
    extra: Dict[str, object] = field(default_factory=dict)

    def dialog_reads(self) -> List[dict]:
        return [e for e in self.events if "dialog" in e]

    def stub_log(self, rel: str) -> List[dict]:
        """The JSON lines a stub copy wrote (see stub.cpp); [] when it never ran."""
        import json
        import os
        path = os.path.join(self.medium_dir, rel + ".log")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def exit_tick(self) -> Optional[int]:
        ticks = [e.get("tick") for e in self.events if "exit" in e]
        return ticks[-1] if ticks else None
