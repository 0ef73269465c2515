"""Component execution under Wine, in silent runs: cmd programs and their exit
codes (0, 1, 3010, 259), a program that runs for a while, the failure and
restart questions, completion texts, primary components that are not waited
for, a real Windows Installer package built by wixl, and documents opened
through the shell.
"""

import os
import shutil
import subprocess
import uuid
from pathlib import Path
from typing import List

from case_helpers import (all_of, check_file, cmd, completion, failure_question, msi, one_after_another, openfile,
                          restart_question, silent, started_while_running, still_running_at_exit)
from e2e_model import Box, Case, CaseRun

HERE = Path(__file__).resolve().parent


# ------------------------------------------------------------------ the package

def build_package(r: CaseRun, name: str = "product.msi") -> None:
    """Builds data/product.wxs with wixl into the medium, with a fresh
    product code (Wine's msiexec passes over a product it has installed)."""
    work = Path(r.case_dir) / "package"
    work.mkdir(parents=True, exist_ok=True)
    (work / "payload.txt").write_text("installed by the package\n")
    product = str(uuid.uuid4()).upper()
    folder = "e2e-" + r.tokens["RUN"]
    text = (HERE / "data" / "product.wxs").read_text(encoding="utf-8")
    text = (text.replace("@PRODUCT_CODE@", product).replace("@COMPONENT_CODE@", str(uuid.uuid4()).upper())
            .replace("@RUN@", folder).replace("@PAYLOAD@", "payload.txt"))
    (work / "product.wxs").write_text(text, encoding="utf-8")
    subprocess.run(["wixl", "product.wxs", "-o", str(Path(r.medium_dir) / name)], cwd=str(work), check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
    r.extra["product_code"] = "{%s}" % product
    r.extra["install_folder"] = folder


def installed_payload(r: CaseRun) -> Path:
    drive_c = Path(r.prefix) / "drive_c"
    for pf in ("Program Files (x86)", "Program Files"):
        p = drive_c / pf / "YolvaneTest" / r.extra["install_folder"] / "payload.txt"
        if p.exists():
            return p
    return drive_c / "Program Files (x86)" / "YolvaneTest" / r.extra["install_folder"] / "payload.txt"


def package_installed(r: CaseRun) -> List[str]:
    if not installed_payload(r).exists():
        return ["the package did not install its file (%s)" % installed_payload(r)]
    return []


def package_not_installed(r: CaseRun) -> List[str]:
    if installed_payload(r).exists():
        return ["the package installed its file, it should not have"]
    return []


def install_log_written(name: str):
    def check(r: CaseRun) -> List[str]:
        log = Path(r.temp_dir) / name.replace("@@RUN@@", r.tokens["RUN"])
        if not log.exists():
            return ["the msiexec log %s is missing: the parameters did not reach msiexec" % log]
        text = log.read_bytes().decode("utf-16-le", "replace") if log.read_bytes()[:2] == b"\xff\xfe" \
            else log.read_text(encoding="latin-1")
        if r.extra["product_code"].lower() not in text.lower():
            return ["the msiexec log %s does not name the package's product code" % log]
        return []
    return check


def forget_log(name: str):
    def prepare(r: CaseRun) -> None:
        log = Path(r.temp_dir) / name
        if log.exists():
            log.unlink()
    return prepare


def uninstall_package(log_name: str = ""):
    def cleanup(r: CaseRun) -> None:
        env = dict(os.environ, WINEPREFIX=r.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        if "product_code" in r.extra:
            with open(os.path.join(r.case_dir, "uninstall.out"), "wb") as out:
                subprocess.run(["wine", "msiexec", "/x", r.extra["product_code"], "/qn"], env=env,
                               stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT, timeout=120)
        if log_name:
            log = Path(r.temp_dir) / log_name.replace("@@RUN@@", r.tokens["RUN"])
            if log.exists():
                log.unlink()
    return cleanup


MSI_LOG = "yolvane-e2e-@@RUN@@.log"

CASES = [
    # ---------------------------------------------------------------- exit codes
    Case("exit_codes_0_and_3010_succeed",
         files=silent(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit3010.exe"), cmd("Charlie", "c_exit0.exe")),
         stubs=["a_exit0.exe", "b_exit3010.exe", "c_exit0.exe"],
         ran=["a_exit0.exe", "b_exit3010.exe", "c_exit0.exe"],
         check=one_after_another("a_exit0.exe", "b_exit3010.exe", "c_exit0.exe")),

    Case("exit_code_1_fails_and_yes_goes_on",
         files=silent(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit1.exe", "b_exit0.exe"],
         script=["yes"], boxes=[failure_question("Alpha", owner="none")],
         ran=["a_exit1.exe", "b_exit0.exe"]),

    Case("exit_code_1_fails_and_no_stops",
         files=silent(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_exit0.exe"), cmd("Charlie", "c_exit0.exe")),
         stubs=["a_exit1.exe", "b_exit0.exe", "c_exit0.exe"],
         script=["no"], boxes=[failure_question("Alpha", owner="none")],
         ran=["a_exit1.exe"], not_ran=["b_exit0.exe", "c_exit0.exe"]),

    # 259 is STILL_ACTIVE: a program that ends with it has ended all the same,
    # and 259 is a failure code.
    Case("exit_code_259_is_a_failure_and_does_not_hang",
         files=silent(cmd("Alpha", "a_exit259.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit259.exe", "b_exit0.exe"],
         script=["yes"], boxes=[failure_question("Alpha", owner="none")],
         ran=["a_exit259.exe", "b_exit0.exe"],
         check=one_after_another("a_exit259.exe", "b_exit0.exe")),

    Case("exit_code_259_last_ends_quietly",
         files=silent(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit259.exe")),
         stubs=["a_exit0.exe", "b_exit259.exe"], ran=["a_exit0.exe", "b_exit259.exe"]),

    Case("last_component_failing_asks_nothing",
         files=silent(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit1.exe")),
         stubs=["a_exit0.exe", "b_exit1.exe"], ran=["a_exit0.exe", "b_exit1.exe"]),

    Case("component_running_3_s_is_waited_for",
         files=silent(cmd("Slow", "a_sleep3000_exit0.exe"), cmd("Next", "b_exit0.exe")),
         stubs=["a_sleep3000_exit0.exe", "b_exit0.exe"],
         ran=["a_sleep3000_exit0.exe", "b_exit0.exe"],
         check=one_after_another("a_sleep3000_exit0.exe", "b_exit0.exe")),

    # The question is a format with one "%s": every other % sequence is shown
    # as written and reads no argument.
    Case("failure_question_format_takes_one_string",
         files=silent(cmd("X", "a_exit1.exe"), cmd("Y", "b_exit0.exe"),
                      failed_exec_command_continue="Failed %s (%s) %d%% %n end"),
         stubs=["a_exit1.exe", "b_exit0.exe"],
         script=["no"],
         boxes=[Box("Failed X (%s) %d% %n end", caption="Error", buttons=("YES", "NO"), icon="warning",
                    owner="none")],
         not_ran=["b_exit0.exe"]),

    # "Last" means last in the list: a component that is not selected still
    # counts, so the question comes; one left out by its filter does not.
    Case("failure_question_when_only_unselected_components_follow",
         files=silent(cmd("Alpha", "a_exit1.exe"),
                      cmd("Bravo", "b_exit0.exe", body=check_file("#APPPATH\\Setup.exe"))),
         stubs=["a_exit1.exe", "b_exit0.exe"],
         script=["yes"], boxes=[failure_question("Alpha", owner="none")],
         ran=["a_exit1.exe"], not_ran=["b_exit0.exe"]),
    Case("no_failure_question_when_only_filtered_components_follow",
         files=silent(cmd("Alpha", "a_exit1.exe"),
                      cmd("Bravo", "b_exit0.exe", os_filter_greater="99999")),
         stubs=["a_exit1.exe", "b_exit0.exe"],
         ran=["a_exit1.exe"], not_ran=["b_exit0.exe"]),

    # The silent run goes by the selection made when the configuration was
    # read: Bravo's check (Alpha's log exists) turns true once Alpha has run,
    # and Bravo runs all the same.
    Case("silent_run_does_not_ask_the_checks_again",
         files=silent(cmd("Alpha", "a_exit0.exe"),
                      cmd("Bravo", "b_exit0.exe", body=check_file("#APPPATH\\a_exit0.exe.log"))),
         stubs=["a_exit0.exe", "b_exit0.exe"], ran=["a_exit0.exe", "b_exit0.exe"]),

    # The administrator requirement of the configuration: the Wine user is an
    # administrator, so the run goes on without its message.
    Case("administrator_requirement_met",
         files=silent(cmd("Alpha", "a_exit0.exe"), dialog_admin_required="Only administrators may install."),
         stubs=["a_exit0.exe"], ran=["a_exit0.exe"]),

    # ---------------------------------------------------------------- completion and restart
    Case("completion_text_trimmed_and_blank_shows_nothing",
         files=silent(cmd("Alpha", "a_exit0.exe", installcompletemessage="  \t  "),
                      cmd("Bravo", "b_exit0.exe", installcompletemessage="  Bravo is in place.  "),
                      cmd("Charlie", "c_exit3010.exe", installcompletemessage="Charlie too.")),
         stubs=["a_exit0.exe", "b_exit0.exe", "c_exit3010.exe"],
         script=["ok", "ok"],
         boxes=[completion("Bravo is in place.", owner="none"), completion("Charlie too.", owner="none")],
         ran=["a_exit0.exe", "b_exit0.exe", "c_exit3010.exe"]),

    # Answered No: no restart, and the run ends all the same. (Never answer
    # Yes here: under Wine the restart ends the whole session.)
    Case("mustreboot_answered_no_ends_the_run",
         files=silent(cmd("Alpha", "a_exit0.exe", mustreboot="true", installcompletemessage="Alpha is in place."),
                      cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit0.exe", "b_exit0.exe"],
         script=["ok", "no"],
         boxes=[completion("Alpha is in place.", owner="none"), restart_question(owner="none")],
         ran=["a_exit0.exe"], not_ran=["b_exit0.exe"]),

    Case("mustreboot_after_3010_asks_too",
         files=silent(cmd("Alpha", "a_exit3010.exe", mustreboot="TRUE"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit3010.exe", "b_exit0.exe"],
         script=["no"], boxes=[restart_question(owner="none")],
         ran=["a_exit3010.exe"], not_ran=["b_exit0.exe"]),

    # 3010 alone asks nothing: the restart depends on mustreboot only; a failed
    # component is not offered a restart.
    Case("mustreboot_not_offered_after_a_failure",
         files=silent(cmd("Alpha", "a_exit1.exe", mustreboot="true", installcompletemessage="Not shown."),
                      cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit1.exe", "b_exit0.exe"],
         script=["yes"], boxes=[failure_question("Alpha", owner="none")],
         ran=["a_exit1.exe", "b_exit0.exe"]),

    # ---------------------------------------------------------------- primary components
    # Not waited for: still running when looked at, so (not being last) it is
    # reported through the failure question; Yes starts the next one while it runs.
    Case("primary_component_first_is_not_waited_for",
         files=silent(cmd("Product", "p_hold_exit0.exe", primary="true"), cmd("Bravo", "b_exit0.exe")),
         stubs=["p_hold_exit0.exe", "b_exit0.exe"],
         script=["yes", "wait start b_exit0.exe", "release p_hold_exit0.exe"],
         boxes=[failure_question("Product", owner="none")],
         ran=["p_hold_exit0.exe", "b_exit0.exe"],
         check=started_while_running("b_exit0.exe", "p_hold_exit0.exe")),

    Case("primary_component_last_is_not_waited_for",
         files=silent(cmd("Alpha", "a_exit0.exe"), cmd("Product", "p_hold_exit0.exe", primary="true")),
         stubs=["a_exit0.exe", "p_hold_exit0.exe"],
         script=["wait end", "release p_hold_exit0.exe"],
         ran=["a_exit0.exe", "p_hold_exit0.exe"],
         check=still_running_at_exit("p_hold_exit0.exe")),

    # ---------------------------------------------------------------- start failures
    # The whole command is the file: an argument after the program makes it a
    # file that does not exist. Wine's shell (ShellExecuteExW) says so in a box
    # of its own, text as Wine writes it, before the program's question.
    Case("command_with_argument_fails_to_start",
         files=silent(cmd("Alpha", "#APPPATH\\a_exit0.exe --quiet"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit0.exe", "b_exit0.exe"],
         script=["ok", "yes"],
         boxes=[Box("File not found.\r\n", caption="Error", buttons=("OK",), icon="error", owner="none"),
                failure_question("Alpha", owner="none")],
         ran=["b_exit0.exe"], not_ran=["a_exit0.exe"]),

    # ---------------------------------------------------------------- Windows Installer
    Case("msi_package_installs_with_log_parameter",
         files=silent(msi("Package", "#APPPATH\\product.msi", "/l*v #TEMPPATH" + MSI_LOG),
                      cmd("After", "b_exit0.exe")),
         stubs=["b_exit0.exe"], ran=["b_exit0.exe"],
         prepare=build_package,
         check=all_of(package_installed, install_log_written(MSI_LOG)),
         cleanup=uninstall_package(MSI_LOG), timeout=60),

    # No setup.xml: the embedded configuration. Windows Installer is present
    # (the first, listed component is installed), so the dialog starts the
    # run by itself and never shows; the product package beside Setup.exe
    # (required and primary, no row) installs, with its log parameter.
    Case("embedded_configuration_installs_the_product_package",
         prepare=lambda r: (forget_log("yolvanesetup.log")(r),
                            build_package(r, "Install Quarn Doduv Belmaris.msi")),
         check=all_of(package_installed, install_log_written("yolvanesetup.log")),
         cleanup=uninstall_package("yolvanesetup.log"), timeout=60),

    # msiexec fails (it exits with 2 under Wine, 1619 on Windows): a failure.
    Case("msi_missing_package_is_a_failure",
         files=silent(msi("Package", "#APPPATH\\absent.msi", "/qn"), cmd("After", "b_exit0.exe")),
         stubs=["b_exit0.exe"], script=["yes"], boxes=[failure_question("Package", owner="none")],
         ran=["b_exit0.exe"], timeout=60),

    # ---------------------------------------------------------------- documents
    # An .ini document opens in notepad; the run does not wait for it.
    Case("openfile_ini_opens_notepad",
         files=dict(silent(openfile("Notes", "#APPPATH\\notes-@@RUN@@.ini"), cmd("After", "b_exit0.exe")),
                    **{"notes-@@RUN@@.ini": "[e2e]\nkey=value\n"}),
         stubs=["b_exit0.exe"], ran=["b_exit0.exe"],
         foreign_windows=["notes-@@RUN@@"]),

    # ShellExecuteW of a missing document fails under Wine without a box of
    # its own (unlike ShellExecuteExW above): only the program's question.
    Case("openfile_missing_document",
         files=silent(openfile("Notes", "#APPPATH\\absent.ini"), cmd("After", "b_exit0.exe")),
         stubs=["b_exit0.exe"], script=["yes"],
         boxes=[failure_question("Notes", owner="none")],
         ran=["b_exit0.exe"]),
]
