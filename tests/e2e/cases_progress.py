"""An interactive run that shows its progress (show_progress="true"): the
component being handled in the dialog's message and in its row, the
download window with its texts, bar and Cancel, and the completion text
after a run that went well. Reads are anchored to what the program shows: a
component holds until the dialog was read, the download window is read once
its progress text says what arrived.
"""

import json
from typing import List

from case_helpers import (TEXTS, check_file, cmd, completion, download, downloads, failure_question, interactive,
                          requests_are, all_of)
from cases_dialog import FRESH, ASKING, RUNNING, optional_row
from e2e_model import Box, Case, CaseRun, DownloadView, FromBin, Row, View

PROGRESS = dict(show_progress="true", installing_component_wait="Please wait while %s is installed...")


GERMAN = dict(dialog_caption="Yolvane Test Setup", dialog_message="Setup installiert die folgenden Komponenten.",
              install_caption="Installieren", cancel_caption="Beenden", status_installed="[Bereits installiert]",
              failed_exec_command_continue="%s konnte nicht installiert werden. Fortfahren?",
              installation_completed="Alles ist installiert.", reboot_required="Jetzt neu starten?",
              show_progress="true", installing_component_wait="Bitte warten, %s wird installiert...",
              install_wait_caption="Bitte warten...", installation_failed="%s konnte nicht installiert werden.")


def waiting(description: str) -> str:
    return "Please wait while %s is installed..." % description


def product_failed(description: str, reason: str) -> Box:
    """The box that tells that the product could not be installed, with the
    reason its download failed on a second line."""
    return Box(text="Setup could not install %s.\n%s" % (description, reason), caption="Error", buttons=("OK",),
               icon="error", owner="dialog")


PRODUCT = dict(required="true", primary="true")


def no_files_in(folder: str):
    """The folder held no file (not even a partial one) when the script
    listed it (the "files" step)."""
    def run(r: CaseRun) -> List[str]:
        listed = [e for e in r.events if "files" in e and e.get("folder") == folder]
        if not listed:
            return ["the folder %s was never listed" % folder]
        return ["%s held %s" % (folder, json.dumps(listed[0]["files"]))] if listed[0]["files"] else []
    return run


def cancel_to_question_ms(r: CaseRun) -> List[str]:
    """Notes how long the failure question took after Cancel (not judged)."""
    cancel = next((e for e in r.events if e.get("step") == "download: cancel"), None)
    box = next((e for e in r.events if "box" in e), None)
    if cancel and box:
        r.extra["cancel_to_question_ms"] = box["tick"] - cancel["tick"]
    return []


CASES = [
    # Alpha fails (its row is unchecked and locked while the question is
    # asked), Bravo runs (its row is the selected one), Charlie was left
    # unchecked by the user (its row stays as it is).
    Case("progress_message_and_rows_follow_the_run",
         files=interactive(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_hold_exit0.exe"), cmd("Charlie", "c_exit0.exe"),
                           **PROGRESS),
         stubs=["a_exit1.exe", "b_hold_exit0.exe", "c_exit0.exe"],
         script=["dialog: click-check 2", "dialog: continue", "wait box", "dialog: read asking", "yes",
                 "wait start b_hold_exit0.exe", "dialog: read running", "release b_hold_exit0.exe"],
         views=[View(**FRESH),
                View(**ASKING, message=waiting("Alpha"), label="asking",
                     rows=(Row("Alpha", checked=False, locked=True, selected=True), optional_row("Bravo"),
                           optional_row("Charlie", checked=False))),
                View(**RUNNING, message=waiting("Bravo"), label="running",
                     rows=(Row("Alpha", checked=False, locked=True, selected=False, grey=True),
                           optional_row("Bravo", selected=True), optional_row("Charlie", checked=False)))],
         boxes=[failure_question("Alpha", owner="dialog")],
         ran=["a_exit1.exe", "b_hold_exit0.exe"], not_ran=["c_exit0.exe"]),

    # A second start on a machine where everything is in place says so, in
    # a dialog that shows itself, with its buttons disabled, before it runs.
    Case("progress_everything_in_place_says_so",
         files=interactive(cmd("Alpha", "a_exit0.exe", body=check_file("#APPPATH\\Setup.exe")), **PROGRESS),
         stubs=["a_exit0.exe"], script=["ok"],
         views=[View(continue_text="Please wait...", continue_enabled=False, exit_enabled=False, label="shown")],
         boxes=[completion(TEXTS["installation_completed"], owner="none")], not_ran=["a_exit0.exe"]),

    # The download window over a transfer that stalls halfway: its texts,
    # the progress text and the bar; Cancel ends it at once, the files that
    # the transfer had stored are gone, no other request is made, and the
    # component fails like a failed download (the failure question).
    Case("progress_download_window_cancelled_in_a_stalled_transfer",
         files=interactive(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                               body=downloads(download("Fetched program", "@@HTTP@@/a_exit0.exe"),
                                              dialog_caption="Downloading", dialog_message="Fetching the program...",
                                              dialog_message_downloading="Downloading the program...",
                                              buttoncancel_caption="Stop")),
                           cmd("Bravo", "b_exit0.exe"), **PROGRESS),
         stubs=["b_exit0.exe"],
         served={"a_exit0.exe": b"x" * 4096, "a_exit0.exe.faults": "stallbody"},
         script=["dialog: continue", "download: wait-text (2.00kb of 4.00kb)", "download: read stalled",
                 "download: cancel", "wait box", "files dl", "yes"],
         views=[View(**FRESH)],
         downloads=[DownloadView(caption="Downloading", message="Downloading the program...",
                                 status="Fetched program (2.00KB of 4.00KB) - 1/1", bar_pos=500, bar_moving=False,
                                 start_visible=False, cancel_text="Stop", owner="dialog", dialog_enabled=False,
                                 dialog_responsive=True, label="stalled")],
         boxes=[failure_question("Fetched", owner="dialog")], ran=["b_exit0.exe"],
         check=all_of(no_files_in("dl"), requests_are("a_exit0.exe stallbody"), cancel_to_question_ms)),

    # Without autostartdownload the transfer waits for Start; the window
    # takes the dialog's caption and the usual button texts.
    Case("progress_download_waits_for_start",
         files=interactive(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                               body=downloads(download("Fetched program", "@@HTTP@@/a_exit0.exe"),
                                              autostartdownload="false",
                                              dialog_message="Press Start to fetch the program.")),
                           **PROGRESS),
         served={"a_exit0.exe": FromBin("e2e_stub.exe")},
         script=["dialog: continue", "download: read waiting", "download: start", "ok"],
         views=[View(**FRESH)],
         downloads=[DownloadView(caption=TEXTS["dialog_caption"], message="Press Start to fetch the program.", status="",
                                 start_visible=True, start_text="Start", cancel_text="Cancel", owner="dialog",
                                 dialog_enabled=False, label="waiting")],
         boxes=[completion(TEXTS["installation_completed"], owner="none")],
         ran=["dl/a_exit0.exe"], check=requests_are("a_exit0.exe 200")),

    # A web installer whose listed components are all in place starts by
    # itself: the dialog shows first, its buttons disabled, and the product's
    # download window comes up over it. Cancel there is told, not swallowed.
    Case("progress_starting_by_itself_shows_the_dialog_behind_the_download",
         files=interactive(cmd("Acme", "#APPPATH\\dl\\a_exit0.exe",
                               body=downloads(download("Acme program", "@@HTTP@@/a_exit0.exe")), **PRODUCT),
                           **PROGRESS),
         served={"a_exit0.exe": b"x" * 4096, "a_exit0.exe.faults": "stallbody"},
         script=["download: wait-text (2.00kb of 4.00kb)", "download: read stalled", "dialog: read behind",
                 "download: cancel", "wait box", "files dl", "ok"],
         views=[View(continue_text="Please wait...", continue_enabled=False, exit_enabled=False, label="shown"),
                View(continue_text="Please wait...", continue_enabled=False, exit_enabled=False, dialog_enabled=False,
                     responsive=True, message=waiting("Acme"), label="behind")],
         downloads=[DownloadView(status="Acme program (2.00KB of 4.00KB) - 1/1", owner="dialog",
                                 dialog_enabled=False, label="stalled")],
         boxes=[product_failed("Acme", "the download was cancelled")],
         check=all_of(no_files_in("dl"), requests_are("a_exit0.exe stallbody"))),

    # The product's download fails: the user is told why, and the run ends.
    Case("progress_product_download_failing_is_told",
         files=interactive(cmd("Bravo", "b_exit0.exe"),
                           cmd("Acme", "#APPPATH\\dl\\a_exit0.exe",
                               body=downloads(download("Acme program", "@@HTTP@@/a_exit0.exe")), **PRODUCT),
                           **PROGRESS),
         stubs=["b_exit0.exe"],
         script=["dialog: continue", "wait box", "ok"],
         views=[View(**FRESH)],
         boxes=[product_failed("Acme", "the server answered 404")], ran=["b_exit0.exe"],
         check=requests_are("a_exit0.exe 404")),

    # A German medium: every text, the disabled Continue's caption and the
    # download window's status formats included, reads as configured. The
    # first attempt meets a busy server (the pause reads retry_text), the
    # second stalls halfway (the transfer reads progress_text); after
    # Cancel and Yes the dialog is read while Bravo runs.
    Case("progress_texts_of_a_german_medium",
         files=interactive(cmd("Geladen", "#APPPATH\\dl\\a_exit0.exe",
                               body=downloads(download("Programm", "@@HTTP@@/a_exit0.exe"),
                                              dialog_caption="Herunterladen", dialog_message="Bitte warten.",
                                              dialog_message_downloading="Das Programm wird geladen...",
                                              buttoncancel_caption="Abbrechen",
                                              progress_text="%1: %2 von %3 übertragen (%4/%5)",
                                              progress_text_no_size="%1: %2 übertragen (%4/%5)",
                                              retry_text="%1: erneuter Versuch %2 von %3 (%4/%5)")),
                           cmd("Bravo", "b_hold_exit0.exe"), **GERMAN),
         stubs=["b_hold_exit0.exe"],
         served={"a_exit0.exe": b"x" * 4096, "a_exit0.exe.faults": "503\nstallbody"},
         script=["dialog: continue", "download: wait-text erneuter versuch", "download: read retrying",
                 "download: wait-text 2.00kb von 4.00kb", "download: read stalled", "download: cancel", "wait box",
                 "yes", "wait start b_hold_exit0.exe", "dialog: read running", "release b_hold_exit0.exe"],
         views=[View(caption=GERMAN["dialog_caption"], message=GERMAN["dialog_message"], continue_text="Installieren",
                     exit_text="Beenden", label="shown"),
                View(**dict(RUNNING, continue_text="Bitte warten..."), label="running",
                     message="Bitte warten, Bravo wird installiert...")],
         downloads=[DownloadView(caption="Herunterladen", status="Programm: erneuter Versuch 2 von 3 (1/1)",
                                 cancel_text="Abbrechen", label="retrying"),
                    DownloadView(message="Das Programm wird geladen...",
                                 status="Programm: 2.00KB von 4.00KB übertragen (1/1)", label="stalled")],
         boxes=[failure_question("Geladen", owner="dialog", text=GERMAN["failed_exec_command_continue"])],
         ran=["b_hold_exit0.exe"], check=requests_are("a_exit0.exe 503", "a_exit0.exe stallbody")),

    # Esc in the download window reaches it through the wait that serves the
    # windows while the transfer runs, and cancels like the Cancel button.
    Case("progress_escape_in_the_download_window_cancels",
         files=interactive(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                               body=downloads(download("Fetched program", "@@HTTP@@/a_exit0.exe"))),
                           **PROGRESS),
         served={"a_exit0.exe": b"x" * 4096, "a_exit0.exe.faults": "stallbody"},
         script=["dialog: continue", "download: wait-text (2.00kb of 4.00kb)", "download: key escape", "wait box",
                 "files dl", "yes"],
         views=[View(**FRESH)],
         boxes=[failure_question("Fetched", owner="dialog")],
         check=all_of(no_files_in("dl"), requests_are("a_exit0.exe stallbody"))),
]
