"""Unattended deployment: the log file, the detailed exit statuses, and the
unattended silent run that shows no message box. The log goes into the
medium folder (#APPPATH), where the checks read it back.
"""

import os
import re
from typing import List

from case_helpers import all_of, cmd, failure_question, interactive, silent, wait_for_end
from e2e_model import Box, Case, CaseRun, View

DETAILED = dict(detailed_exit_status="true")
LOGGED = dict(log_file="#APPPATH\\setup.log")
STAMP = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ")


def log_holds(*parts: str):
    """setup.log: UTF-8 lines ending in CRLF, each stamped with the local
    time to the millisecond, and these texts among them, in this order."""
    def run(r: CaseRun) -> List[str]:
        path = os.path.join(r.medium_dir, "setup.log")
        if not os.path.exists(path):
            return ["setup.log was not written"]
        data = open(path, "rb").read()
        if not data.endswith(b"\r\n") or b"\n" in data.replace(b"\r\n", b""):
            return ["setup.log does not end its lines with CRLF"]
        lines = data.decode("utf-8").split("\r\n")[:-1]
        unstamped = [l for l in lines if not STAMP.match(l)]
        if unstamped:
            return ["setup.log has lines without a time stamp: %r" % unstamped[:2]]
        at = 0
        for part in parts:
            found = next((i for i in range(at, len(lines)) if part in lines[i]), None)
            if found is None:
                return ["setup.log lacks %r after line %d:\n      %s" % (part, at + 1, "\n      ".join(lines))]
            at = found + 1
        return []
    return run


def no_file(rel: str):
    def run(r: CaseRun) -> List[str]:
        return ["%s exists" % rel] if os.path.exists(os.path.join(r.medium_dir, rel)) else []
    return run


def ended_before_exit(stub: str):
    """The stub had ended when Setup.exe ended: it was waited for."""
    def run(r: CaseRun) -> List[str]:
        tick, end = r.exit_tick(), wait_for_end(r, stub)
        if tick is None or end is None:
            return ["cannot compare the exit with %s's end: a log line is missing" % stub]
        return [] if end["tick"] <= tick else ["Setup.exe ended before %s: it was not waited for" % stub]
    return run


def second_copy(status: int, foreground: str = None, log_part: str = None):
    """The second copy of Setup.exe, started while the first showed its
    dialog, ended by itself with this status (and left the foreground to
    the first copy's dialog; its log holds `log_part`)."""
    def run(r: CaseRun) -> List[str]:
        seen = [e["second"] for e in r.events if "second" in e]
        if not seen:
            return ["no second copy was started"]
        problems = []
        if seen[0]["exit"] != status:
            problems.append("the second copy ended with %s, expected %d" % (seen[0]["exit"], status))
        if foreground is not None and seen[0]["foreground"] != foreground:
            problems.append("after the second copy the foreground was %s, expected %s" % (seen[0]["foreground"],
                                                                                          foreground))
        if log_part is not None:
            path = os.path.join(r.medium_dir, "second.log")
            text = open(path, "rb").read().decode("utf-8") if os.path.exists(path) else ""
            if log_part not in text:
                problems.append("second.log lacks %r: %r" % (log_part, text))
        return problems


def logged_once(part: str):
    """setup.log holds the text on exactly one line."""
    def run(r: CaseRun) -> List[str]:
        path = os.path.join(r.medium_dir, "setup.log")
        lines = open(path, "rb").read().decode("utf-8").split("\r\n") if os.path.exists(path) else []
        n = sum(part in l for l in lines)
        return [] if n == 1 else ["setup.log holds %r %d times" % (part, n)]
    return run


HELP = ("Setup.exe [/quiet | /passive] [/norestart] [/log FILE]\n\n"
        "/quiet - install without any window or message, and end with 0 (done), 3010 (a restart is needed), "
        "1641 (a component started a restart), 1603 (failed), 1618 (another installation was in progress: try "
        "again later) or 1 (the configuration cannot be read); /q, /qn, /s, /silent and /verysilent mean the same\n"
        "/passive - show the installation's progress, start at once and ask nothing; the same statuses as /quiet\n"
        "/norestart - never restart Windows: a needed restart is left to you (3010 under /quiet)\n"
        "/log FILE - write a log of the run to FILE, making its folder if needed\n"
        "/elevated - set by Setup.exe itself on the copy of itself that it starts with administrator rights; that "
        "copy never asks for them again\n"
        "/? or /help - show this list\n\n"
        "Without /quiet or /passive the setup runs as its configuration says and ends with 1, unless the "
        "configuration asks "
        "for the statuses above (then also 1602: the dialog was left).\n"
        "Switches may also start with - and are written in any letter case.")

CASES = [
    # A silent run with a success, a 3010 and a failure (Yes goes on): the
    # log tells each start, exit code and outcome, the question and its
    # answer, and the exit status.
    Case("deployment_log_of_a_silent_run",
         files=silent(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit3010.exe"), cmd("Charlie", "c_exit1.exe"),
                      cmd("Delta", "d_exit0.exe"), **DETAILED, **LOGGED),
         stubs=["a_exit0.exe", "b_exit3010.exe", "c_exit1.exe", "d_exit0.exe"],
         script=["yes"], boxes=[failure_question("Charlie", owner="none")],
         ran=["a_exit0.exe", "b_exit3010.exe", "c_exit1.exe", "d_exit0.exe"], exit_code=1603,
         check=log_holds("Setup.exe ", "configuration: Z:\\", "configuration element 1 (line 3)",
                         "Windows version code 100 (platform 2, 6.1, service pack 1 \"Service Pack 1\"), "
                         "system language 1033",
                         'component "Alpha" (line 5): missing, selected', "silent run",
                         'component "Alpha" started: Z:\\', 'component "Alpha" ended with exit code 0',
                         'component "Bravo" ended with exit code 3010', 'component "Charlie" ended with exit code 1',
                         'component "Charlie": failed (exit code)',
                         'message box: "Could not install Charlie. Go on with the others?" '
                         "(caption the system's, warning, Yes/No): Yes",
                         'component "Delta": installed', "exit status 1603")),

    # One run for each of the other statuses.
    Case("deployment_status_0", files=silent(cmd("Alpha", "a_exit0.exe"), **DETAILED),
         stubs=["a_exit0.exe"], ran=["a_exit0.exe"], exit_code=0),
    Case("deployment_status_3010", files=silent(cmd("Alpha", "a_exit3010.exe"), **DETAILED),
         stubs=["a_exit3010.exe"], ran=["a_exit3010.exe"], exit_code=3010),
    Case("deployment_status_1602_left_before_the_run",
         files=interactive(cmd("Alpha", "a_exit0.exe"), **DETAILED), stubs=["a_exit0.exe"],
         script=["dialog: exit"], views=[View(label="shown")], not_ran=["a_exit0.exe"], exit_code=1602),
    Case("deployment_status_1603_interactive_failure",
         files=interactive(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_exit0.exe"), **DETAILED),
         stubs=["a_exit1.exe", "b_exit0.exe"], script=["dialog: continue", "no"], views=[View(label="shown")],
         boxes=[failure_question("Alpha", owner="dialog")], not_ran=["b_exit0.exe"], exit_code=1603),

    # A log that cannot be written changes nothing: no box, the same run.
    Case("deployment_log_in_a_missing_folder_changes_nothing",
         files=silent(cmd("Alpha", "a_exit0.exe"), log_file="#APPPATH\\no\\such\\setup.log"),
         stubs=["a_exit0.exe"], ran=["a_exit0.exe"], check=no_file("no")),

    # Unattended: a failure ends the run without a question; a restart is
    # declined without a question (and never happens). No box at all.
    Case("deployment_unattended_failure_asks_nothing",
         files=silent(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_exit0.exe"), unattended="true",
                      **DETAILED, **LOGGED),
         stubs=["a_exit1.exe", "b_exit0.exe"], ran=["a_exit1.exe"], not_ran=["b_exit0.exe"], exit_code=1603,
         check=log_holds('message box not shown (unattended): "Could not install Alpha. Go on with the others?"',
                         "exit status 1603")),
    Case("deployment_unattended_restart_is_declined",
         files=silent(cmd("Alpha", "a_exit0.exe", mustreboot="true", installcompletemessage="Alpha is in."),
                      cmd("Bravo", "b_exit0.exe"), unattended="true", **DETAILED, **LOGGED),
         stubs=["a_exit0.exe", "b_exit0.exe"], ran=["a_exit0.exe"], not_ran=["b_exit0.exe"], exit_code=3010,
         check=log_holds('message box not shown (unattended): "Alpha is in."',
                         'message box not shown (unattended): "Restart the computer now?" (caption "", question, '
                         "Yes/No): No", "exit status 3010")),

    # The administrator's command line. /quiet on an interactive
    # configuration whose first program is missing: no box of any kind, not
    # even the shell's own "File not found." (which the same medium shows
    # without /quiet), the failure answered No in the log named on the
    # command line (relative to the current folder), and 1603.
    Case("deployment_quiet_shows_no_box_at_all",
         files=interactive(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["b_exit0.exe"], args=["/quiet", "/log", "setup.log"], exit_code=1603, not_ran=["b_exit0.exe"],
         check=log_holds("/quiet: a silent, unattended run", "silent run",
                         "\\a_exit0.exe: system code 2", 'message box not shown (unattended): "Could not install Alpha.',
                         "exit status 1603")),
    Case("deployment_quiet_unreadable_configuration_shows_nothing",
         files={"setup.xml": "<configurations"}, args=["-QUIET"], exit_code=1),
    # /passive on an interactive configuration: the dialog shows the run by
    # itself, with its progress, and the failure is answered No in the log.
    Case("deployment_passive_runs_by_itself_and_asks_nothing",
         files=interactive(cmd("Alpha", "a_hold_exit1.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_hold_exit1.exe", "b_exit0.exe"], args=["/passive", "/log", "setup.log"],
         script=["wait start a_hold_exit1.exe", "dialog: read running", "release a_hold_exit1.exe"],
         views=[View(continue_text="Please wait...", continue_enabled=False, exit_enabled=False, label="shown"),
                View(continue_enabled=False, exit_enabled=False, label="running")],
         ran=["a_hold_exit1.exe"], not_ran=["b_exit0.exe"], exit_code=1603,
         check=log_holds("/passive: the dialog runs by itself", "interactive run, showing its progress",
                         'message box not shown (unattended): "Could not install Alpha.', "exit status 1603")),
    # One run of a configuration at a time: a second copy started while the
    # first shows its dialog ends at once, without a window of its own, and
    # brings the first one's dialog to the front.
    Case("deployment_second_copy_leaves_the_run_to_the_first",
         files=interactive(cmd("Alpha", "a_exit0.exe"), **DETAILED), stubs=["a_exit0.exe"],
         script=["dialog: read before", "second", "dialog: exit"], views=[View(label="shown"), View(label="before")],
         not_ran=["a_exit0.exe"], exit_code=1602, check=second_copy(1618, foreground="dialog")),
    Case("deployment_second_quiet_copy_is_told_another_runs",
         files=interactive(cmd("Alpha", "a_exit0.exe")), stubs=["a_exit0.exe"],
         script=["dialog: read before", "second /quiet /log second.log", "dialog: exit"],
         views=[View(label="shown"), View(label="before")], not_ran=["a_exit0.exe"], exit_code=1,
         check=second_copy(1618, log_part="another copy of Setup.exe is running this configuration")),
    Case("deployment_help_lists_the_switches",
         files=interactive(cmd("Alpha", "a_exit0.exe")), stubs=["a_exit0.exe"], args=["/?"],
         boxes=[Box(HELP, caption="Setup", icon="information", owner="none")],
         exit_code=0, not_ran=["a_exit0.exe"]),

    # /qn, as administrators type it first: the interactive configuration
    # shows no dialog, and the run ends with a deployment status.
    Case("deployment_qn_runs_an_interactive_configuration_without_a_window",
         files=interactive(cmd("Alpha", "a_exit3010.exe")), stubs=["a_exit3010.exe"], args=["/qn"],
         ran=["a_exit3010.exe"], exit_code=3010),

    # Unattended, the product is waited for and its failure is the run's
    # status (an ordinary silent run leaves it running, see the primary
    # component cases).
    Case("deployment_quiet_waits_for_a_failing_product",
         files=interactive(cmd("Alpha", "a_exit0.exe"),
                           cmd("Product", "p_sleep1500_exit1603.exe", required="true", primary="true")),
         stubs=["a_exit0.exe", "p_sleep1500_exit1603.exe"], args=["/quiet", "/log", "setup.log"],
         ran=["a_exit0.exe", "p_sleep1500_exit1603.exe"], exit_code=1603,
         check=all_of(ended_before_exit("p_sleep1500_exit1603.exe"),
                      log_holds('component "Product" ended with exit code 1603', "exit status 1603"))),

    # Windows Installer's own codes: 1641 (installed, a restart started by
    # the installer) ends the run at once; 1618 (another installation in
    # progress) fails with a status that tells the tool to try again.
    Case("deployment_status_1641_ends_the_run",
         files=silent(cmd("Alpha", "a_exit1641.exe", mustreboot="true"), cmd("Bravo", "b_exit0.exe"),
                      **DETAILED, **LOGGED),
         stubs=["a_exit1641.exe", "b_exit0.exe"], ran=["a_exit1641.exe"], not_ran=["b_exit0.exe"], exit_code=1641,
         check=log_holds("exit code 1641 (installed; its installer has started a restart of Windows)",
                         "exit status 1641")),
    Case("deployment_status_1618_another_installation_in_progress",
         files=silent(cmd("Alpha", "a_exit1618.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit1618.exe", "b_exit0.exe"], args=["-S", "/log", "setup.log"], ran=["a_exit1618.exe"],
         not_ran=["b_exit0.exe"], exit_code=1618,
         check=log_holds("exit code 1618 (another installation is already in progress)", "exit status 1618")),

    # Started with a limited token, a member of Administrators asks for the
    # rights: Setup.exe starts itself again through the "runas" verb with
    # /elevated. Wine gives the copy the same limited token, so the copy
    # refuses without asking again, and its status is the first one's.
    Case("deployment_limited_user_asks_once_for_the_rights",
         files=interactive(cmd("Alpha", "a_exit0.exe"), dialog_admin_required="Only administrators may install.",
                           **DETAILED, **LOGGED),
         stubs=["a_exit0.exe"], limited=True, script=["ok"],
         boxes=[Box(text="Only administrators may install.", owner="none")], not_ran=["a_exit0.exe"],
         exit_code=1603,
         check=all_of(log_holds("administrator rights are required and the user lacks them",
                                "administrator rights requested: ", "/elevated: started by Setup.exe",
                                "this copy still lacks administrator rights and does not ask for them again",
                                "exit status 1603",
                                "the copy with administrator rights ended with exit status 1603", "exit status 1603"),
                      logged_once("administrator rights requested: "))),
]
