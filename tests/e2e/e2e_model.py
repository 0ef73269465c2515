"""The records that end-to-end cases are written in (see cases.py).

A case stages a medium folder (Setup.exe plus its files), runs it under the
driver with scripted answers, and states what a person would have seen: the
message boxes in order and the exit code, plus optional checks afterwards.
"""

from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional, Sequence, Tuple, Union


class Dir:
    """In Case.files: create a folder under this name instead of a file."""

    def __repr__(self) -> str:
        return "Dir()"


DIR = Dir()


@dataclass(frozen=True)
class Box:
    """A message box as the driver reads it from the screen."""

    text: str
    caption: str = "Error"
    buttons: Tuple[str, ...] = ("OK",)
    icon: str = "error"  # error, warning, information, question, none

    @staticmethod
    def from_log(d: dict) -> "Box":
        return Box(text=d.get("text", ""), caption=d.get("caption", ""),
                   buttons=tuple(d.get("buttons", ())), icon=d.get("icon", ""))

    def show(self) -> str:
        return "[%s] %r: %r (%s)" % (self.icon, self.caption, self.text, "|".join(self.buttons))


def error_box(text: str) -> Box:
    """The program's error message: no caption of its own (shown as "Error"),
    the error icon and one OK button."""
    return Box(text=text)


@dataclass(frozen=True)
class RegValue:
    """A registry value set with `wine reg add` before the case and deleted after it."""

    key: str
    name: str
    data: str
    type: str = "REG_SZ"


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
    # Windows version reported to Setup.exe alone (e.g. "winxp", "vista");
    # None keeps the prefix's default (Windows 7 SP1).
    windows_version: Optional[str] = None
    registry: Sequence[RegValue] = ()
    # Paths relative to the medium folder that must / must not exist afterwards.
    exists: Sequence[str] = ()
    absent: Sequence[str] = ()
    # Stub copies that must have started / must not have started.
    ran: Sequence[str] = ()
    not_ran: Sequence[str] = ()
    # Extra check: gets the run's context, returns a list of problems.
    check: Optional[Callable[["CaseRun"], List[str]]] = None
    timeout: float = 30.0
    # A reason, when the case is known to fail today: it still runs and
    # shows what it saw, but does not count as a failure.
    known_failure: Optional[str] = None


@dataclass
class CaseRun:
    """What a case's run left behind, for Case.check."""

    case: Case
    case_dir: str
    medium_dir: str
    events: List[dict]
    boxes: List[Box]
    exit_code: Optional[int]
