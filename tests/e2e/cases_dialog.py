"""The installer dialog, its check list and the interactive run, operated as a
person would: the driver reads the dialog (texts, buttons, focus, position,
each row's text, check and lock) and clicks, types and presses buttons from
the script ("dialog: ..." lines, see driver.cpp). Component programs are stubs.
"""

import os
import re
from typing import List

from case_helpers import (BAD_COMPARISON, TEXTS, all_of, check_file, cmd, completion, download, downloads,
                          failure_question, faulty_value, interactive, one_after_another, ran_once,
                          requests_are, restart_question)
from e2e_model import Box, Case, CaseRun, RegValue, Row, View

INSTALLED = check_file("#APPPATH\\Setup.exe")  # always there: the component counts as installed

# The dialog as it first shows with the usual texts.
FRESH = dict(caption=TEXTS["dialog_caption"], message=TEXTS["dialog_message"],
             continue_text=TEXTS["install_caption"], exit_text=TEXTS["cancel_caption"],
             continue_enabled=True, exit_enabled=True, selector_visible=False, focus=1, centred=True,
             dialog_enabled=True, responsive=True, label="shown")
# The dialog while the run goes on: both buttons disabled, the window still
# enabled and handling its messages, the wait cursor over it. (Cases hold
# the running component until the dialog has been read.)
RUNNING = dict(continue_text="Please wait...", continue_enabled=False, exit_enabled=False,
               dialog_enabled=True, responsive=True, cursor="own")
# The same while the run asks a question: the question's box disables the
# dialog, its owner, until it is answered.
ASKING = dict(continue_text="Please wait...", continue_enabled=False, exit_enabled=False,
              dialog_enabled=False, responsive=True)

RUN_KEY = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
LIST = 1003


def installed_row(description: str, grey=None) -> Row:
    return Row("%s %s" % (description, TEXTS["status_installed"]), checked=True, locked=True, grey=grey)


def scaled_by(factor: float):
    """The dialog's client area at least `factor` times its size at 96 dpi
    (510 x 437, the picture's size): the program took the system's DPI."""
    def run(r: CaseRun) -> List[str]:
        reads = r.dialog_reads()
        if not reads:
            return ["the dialog was never read"]
        c = reads[0]["dialog"]["client"]
        w, h = c[2] - c[0], c[3] - c[1]
        if w < 510 * factor or h < 437 * factor:
            return ["client area %d x %d, not %.1f times 510 x 437" % (w, h, factor)]
        return []
    return run


def window_styles(r: CaseRun) -> List[str]:
    """The dialog's frame as the template makes it: a captioned pop-up with a
    system menu, no minimise or maximise box, and a taskbar button."""
    reads = r.dialog_reads()
    if not reads:
        return ["the dialog was never read"]
    d = reads[0]["dialog"]
    style, exstyle = d["style"], d["exstyle"]
    out = []
    for name, bit in (("WS_POPUP", 0x80000000), ("WS_CAPTION", 0x00C00000), ("WS_SYSMENU", 0x00080000)):
        if not style & bit:
            out.append("the dialog lacks %s (style 0x%08X)" % (name, style))
    for name, bit in (("WS_MINIMIZEBOX", 0x00020000), ("WS_MAXIMIZEBOX", 0x00010000), ("WS_CHILD", 0x40000000)):
        if style & bit:
            out.append("the dialog has %s (style 0x%08X)" % (name, style))
    if not exstyle & 0x00040000:
        out.append("the dialog lacks WS_EX_APPWINDOW (extended style 0x%08X)" % exstyle)
    return out


ROOM_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "setup-check",
                           "dialog_room.h")


def room_of_the_texts(r: CaseRun) -> List[str]:
    """setup-check's table of what the dialog's texts have room for (font,
    widths, control sizes at 96 dpi) is what the dialog measures here."""
    found = [e["metrics"] for e in r.events if "metrics" in e]
    if not found:
        return ["the dialog was never measured"]
    m = found[0]
    measured = {
        "line_height": m["height"],
        "message_width": m["message"][2] - m["message"][0],
        "message_height": m["message"][3] - m["message"][1],
        "button_width": m["button"][2] - m["button"][0],
        "label_width": m["label"][2] - m["label"][0],
    }
    try:
        with open(ROOM_HEADER, encoding="utf-8") as f:
            header = f.read()
    except OSError as e:
        header = ""
    table = {k: int(v) for k, v in re.findall(r"constexpr int (\w+) = (\d+);", header)}
    widths = re.search(r"char_widths\[[^]]*\] = \{([^}]*)\}", header)
    out = []
    if m["dpi"] != 96:
        out.append("the display is at %d dpi, not 96" % m["dpi"])
    for name, value in measured.items():
        if table.get(name) != value:
            out.append("%s: the table says %s, the dialog measures %d" % (name, table.get(name), value))
    listed = [int(w) for w in re.findall(r"\d+", re.sub(r"//[^\n]*", "", widths.group(1)))] if widths else []
    if listed != m["widths"]:
        out.append("char_widths (U+0020 to U+017F in %s, %d px high) differ; measured: %s"
                   % (m["face"], m["height"], ", ".join(str(w) for w in m["widths"])))
    return out


def optional_row(description: str, checked: bool = True, selected=None, grey=None) -> Row:
    return Row(description, checked=checked, locked=False, selected=selected, grey=grey)


CASES = [
    # ---------------------------------------------------------------- never shown
    # Every listed component is installed: the run starts during the
    # dialog's initialisation and the dialog never shows. The installed rows
    # are checked, so components stay selected: no completion text, and the
    # completion command is not run.
    Case("dialog_not_shown_when_every_row_is_installed",
         files=interactive(cmd("Alpha", "a_exit0.exe", body=INSTALLED),
                           cmd("Bravo", "b_exit0.exe", body=INSTALLED),
                           complete_command="#APPPATH\\done_exit0.exe"),
         stubs=["a_exit0.exe", "b_exit0.exe", "done_exit0.exe"],
         not_ran=["a_exit0.exe", "b_exit0.exe", "done_exit0.exe"]),

    # A list with only the product (required and primary) has no rows: the
    # run starts at once and installs the product.
    Case("dialog_not_shown_when_only_the_product_is_listed",
         files=interactive(cmd("Product", "p_exit0.exe", required="true", primary="true"),
                           complete_command="#APPPATH\\done_exit0.exe"),
         stubs=["p_exit0.exe", "done_exit0.exe"], ran=["p_exit0.exe"], not_ran=["done_exit0.exe"],
         check=ran_once("p_exit0.exe")),

    # No component at all: nothing is selected, so the run ends with the
    # completion text (no owner) and the completion command.
    Case("dialog_not_shown_for_an_empty_list_completion_text_and_command",
         files=interactive("", complete_command="#APPPATH\\done_exit0.exe"),
         stubs=["done_exit0.exe"],
         script=["ok"], boxes=[completion(TEXTS["installation_completed"], owner="none")],
         ran=["done_exit0.exe"]),

    # The restart entry under HKLM (the Wine user is an administrator): the
    # run starts at once although a component is missing. Any type counts,
    # an empty text included.
    Case("dialog_not_shown_with_run_value_under_hklm",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"], ran=["a_exit0.exe"],
         registry=[RegValue("HKLM\\" + RUN_KEY, "Yolvane Setup", "")]),
    Case("dialog_not_shown_with_run_value_under_hklm_as_dword",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"], ran=["a_exit0.exe"],
         registry=[RegValue("HKLM\\" + RUN_KEY, "Yolvane Setup", "0", "REG_DWORD")]),

    # For an administrator only HKLM counts: the same entry under HKCU has no
    # effect, the dialog shows and waits. Esc leaves it; nothing runs.
    Case("dialog_run_value_under_hkcu_has_no_effect",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"],
         registry=[RegValue("HKCU\\" + RUN_KEY, "Yolvane Setup", "Z:\\setup.exe")],
         script=["dialog: key escape"],
         views=[View(**FRESH, rows=(optional_row("Alpha"),))],
         not_ran=["a_exit0.exe"]),

    # ---------------------------------------------------------------- shown
    # One optional component missing: shown centred in the work area with
    # the configured texts, focus on Continue, the selection box hidden; the
    # installed component's row is checked and locked. Continue starts the
    # run: "Please wait...", both buttons disabled; the missing one runs.
    Case("dialog_one_optional_component_missing",
         files=interactive(cmd("Installed one", "i_exit0.exe", body=INSTALLED),
                           cmd("Missing one", "m_hold_exit0.exe")),
         stubs=["i_exit0.exe", "m_hold_exit0.exe"],
         script=["dialog: screenshot dialog", "dialog: continue", "wait start m_hold_exit0.exe",
                 "dialog: read running", "release m_hold_exit0.exe"],
         views=[View(**FRESH, rows=(installed_row("Installed one", grey=True), optional_row("Missing one", grey=False))),
                View(**RUNNING, caption=TEXTS["dialog_caption"], label="running",
                     rows=(installed_row("Installed one"), optional_row("Missing one")))],
         ran=["m_hold_exit0.exe"], not_ran=["i_exit0.exe"], check=ran_once("m_hold_exit0.exe")),

    # At 144 dpi (150 %) the program, aware of the system's DPI, lays its
    # dialog out in larger units with sharp text; the picture stretches to
    # its control. The screenshot shows the layout (docs/dialog-144dpi.png).
    Case("dialog_at_144_dpi",
         files=interactive(cmd("Installed one", "i_exit0.exe", body=INSTALLED),
                           cmd("Missing one", "m_exit0.exe")),
         stubs=["i_exit0.exe", "m_exit0.exe"],
         registry=[RegValue("HKCU\\Control Panel\\Desktop", "LogPixels", "144", "REG_DWORD")],
         script=["dialog: screenshot dialog-144dpi", "dialog: exit"],
         views=[View(**FRESH, rows=(installed_row("Installed one"), optional_row("Missing one")))],
         not_ran=["m_exit0.exe"], check=scaled_by(1.4)),

    # What setup-check assumes about the room of each text (the dialog font
    # and the sizes of the message, the buttons and a row) is measured.
    Case("dialog_room_of_the_texts",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"], script=["dialog: metrics", "dialog: exit"],
         views=[View(**FRESH)], not_ran=["a_exit0.exe"], check=room_of_the_texts),

    # Unchecking a missing optional component leaves it out of the run.
    Case("dialog_unchecked_component_is_skipped",
         files=interactive(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit0.exe", "b_exit0.exe"],
         script=["dialog: click-check 0", "dialog: read", "dialog: continue"],
         views=[View(**FRESH, rows=(optional_row("Alpha"), optional_row("Bravo"))),
                View(rows=(optional_row("Alpha", checked=False), optional_row("Bravo")))],
         not_ran=["a_exit0.exe"], ran=["b_exit0.exe"]),

    # Nothing selected at the end: the completion text (no owner, empty
    # caption, information icon), then the completion command.
    Case("dialog_nothing_selected_shows_completion_text_and_runs_command",
         files=interactive(cmd("Alpha", "a_exit0.exe"), complete_command="#APPPATH\\done_exit0.exe"),
         stubs=["a_exit0.exe", "done_exit0.exe"],
         script=["dialog: click-check 0", "dialog: continue", "ok"],
         views=[View(**FRESH, rows=(optional_row("Alpha"),))],
         boxes=[completion(TEXTS["installation_completed"], owner="none")],
         not_ran=["a_exit0.exe"], ran=["done_exit0.exe"]),

    # A blank completion text shows no box; the command still runs.
    Case("dialog_nothing_selected_blank_completion_text",
         files=interactive(cmd("Alpha", "a_exit0.exe"), installation_completed="  \t ",
                           complete_command="  #APPPATH\\done_exit0.exe  "),
         stubs=["a_exit0.exe", "done_exit0.exe"],
         script=["dialog: click-check 0", "dialog: continue"],
         views=[View(**FRESH, rows=(optional_row("Alpha"),))],
         not_ran=["a_exit0.exe"], ran=["done_exit0.exe"]),

    # A missing required component with an empty required_message: its
    # description and one blank, checked and locked; the dialog shows.
    Case("dialog_required_component_missing_with_empty_message",
         files=interactive(cmd("Needed", "r_exit0.exe", required="true", required_message="")),
         stubs=["r_exit0.exe"],
         script=["dialog: click-check 0", "dialog: read", "dialog: continue"],
         views=[View(**FRESH, rows=(Row("Needed ", checked=True, locked=True, grey=True),)),
                View(rows=(Row("Needed ", checked=True, locked=True),))],
         ran=["r_exit0.exe"]),

    # [A, product (required and primary), B]: rows A and B, B right below A.
    # Unchecking row 1 leaves out B, never the product.
    Case("dialog_product_has_no_row_and_rows_map_to_their_components",
         files=interactive(cmd("Alpha", "a_exit0.exe"),
                           cmd("Product", "p_exit0.exe", required="true", primary="true",
                               required_message="(required)"),
                           cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit0.exe", "p_exit0.exe", "b_exit0.exe"],
         script=["dialog: click-check 1", "dialog: read", "dialog: continue"],
         views=[View(**FRESH, rows=(optional_row("Alpha"), optional_row("Bravo"))),
                View(rows=(optional_row("Alpha"), optional_row("Bravo", checked=False)))],
         ran=["a_exit0.exe", "p_exit0.exe"], not_ran=["b_exit0.exe"],
         check=one_after_another("a_exit0.exe", "p_exit0.exe")),
    Case("dialog_first_row_unchecked_product_and_second_still_run",
         files=interactive(cmd("Alpha", "a_exit0.exe"),
                           cmd("Product", "p_exit0.exe", required="true", primary="true"),
                           cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit0.exe", "p_exit0.exe", "b_exit0.exe"],
         script=["dialog: click-check 0", "dialog: continue"],
         views=[View(**FRESH, rows=(optional_row("Alpha"), optional_row("Bravo")))],
         not_ran=["a_exit0.exe"], ran=["p_exit0.exe", "b_exit0.exe"],
         check=one_after_another("p_exit0.exe", "b_exit0.exe")),

    # ---------------------------------------------------------------- failures
    # The failure question is owned by the dialog, which still says "Please
    # wait..." with both buttons disabled. Yes goes on, No ends the run.
    Case("dialog_failure_question_yes_goes_on",
         files=interactive(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit1.exe", "b_exit0.exe"],
         script=["dialog: continue", "wait box", "dialog: read asking", "yes"],
         views=[View(**FRESH), View(**ASKING, label="asking")],
         boxes=[failure_question("Alpha", owner="dialog")],
         ran=["a_exit1.exe", "b_exit0.exe"]),
    Case("dialog_failure_question_no_ends_the_run",
         files=interactive(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_exit0.exe"),
                           complete_command="#APPPATH\\done_exit0.exe"),
         stubs=["a_exit1.exe", "b_exit0.exe", "done_exit0.exe"],
         script=["dialog: continue", "no"],
         views=[View(**FRESH)],
         boxes=[failure_question("Alpha", owner="dialog")],
         ran=["a_exit1.exe"], not_ran=["b_exit0.exe", "done_exit0.exe"]),
    # Unlike the silent run, the interactive run asks about the last one too.
    Case("dialog_last_component_failing_is_asked_about",
         files=interactive(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit259.exe")),
         stubs=["a_exit0.exe", "b_exit259.exe"],
         script=["dialog: key enter", "yes"],
         views=[View(**FRESH)],
         boxes=[failure_question("Bravo", owner="dialog")],
         ran=["a_exit0.exe", "b_exit259.exe"]),

    # The product (required and primary) failing ends the run without a question.
    Case("dialog_failing_product_ends_without_question",
         files=interactive(cmd("Product", "p_exit1.exe", required="true", primary="true"),
                           cmd("Bravo", "b_exit0.exe")),
         stubs=["p_exit1.exe", "b_exit0.exe"],
         script=["dialog: continue"],
         views=[View(**FRESH, rows=(optional_row("Bravo"),))],
         ran=["p_exit1.exe"], not_ran=["b_exit0.exe"]),

    # Completion text and restart question are owned by the dialog; No ends
    # the run (never answer Yes under Wine: it ends the session).
    Case("dialog_completion_text_and_restart_question_no",
         files=interactive(cmd("Alpha", "a_exit3010.exe", mustreboot="true", installcompletemessage="Alpha done."),
                           cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit3010.exe", "b_exit0.exe"],
         script=["dialog: continue", "ok", "no"],
         views=[View(**FRESH)],
         boxes=[completion("Alpha done.", owner="dialog"), restart_question(owner="dialog")],
         ran=["a_exit3010.exe"], not_ran=["b_exit0.exe"]),

    # ---------------------------------------------------------------- the check list's input filter
    # Locked rows (installed; required and missing) ignore every mouse button
    # on their check box and text: neither the check nor the selection
    # changes. The space bar on a locked row that holds the selection mark
    # does nothing, while the arrow keys still move onto it.
    Case("dialog_locked_rows_ignore_clicks_and_space",
         files=interactive(cmd("Installed one", "i_exit0.exe", body=INSTALLED),
                           cmd("Needed", "r_exit0.exe", required="true", required_message="(required)"),
                           cmd("Optional", "o_exit0.exe")),
         stubs=["i_exit0.exe", "r_exit0.exe", "o_exit0.exe"],
         script=["dialog: click-check 0", "dialog: click-text 0", "dialog: click-check 0 right",
                 "dialog: click-text 0 right", "dialog: click-check 1", "dialog: click-text 1",
                 "dialog: click-check 1 right", "dialog: click-text 1 right", "dialog: click-text 1 middle",
                 "dialog: double-click-check 0", "dialog: double-click-text 1",
                 "dialog: read clicked",
                 "dialog: select 0", "dialog: list-key down", "dialog: read arrowed",
                 "dialog: list-key space", "dialog: read spaced",
                 "dialog: space 0", "dialog: read spaced again",
                 "dialog: key escape"],
         views=[View(**FRESH, rows=(installed_row("Installed one", grey=True),
                                    Row("Needed (required)", True, True, grey=True),
                                    optional_row("Optional", grey=False))),
                View(label="clicked", rows=(Row("Installed one [Already installed]", True, True, selected=False),
                                            Row("Needed (required)", True, True, selected=False),
                                            Row("Optional", True, False, selected=False))),
                View(label="arrowed", rows=(Row("Installed one [Already installed]", True, True, selected=False),
                                            Row("Needed (required)", True, True, selected=True),
                                            Row("Optional", True, False, selected=False))),
                View(label="spaced", rows=(Row("Installed one [Already installed]", True, True, selected=False),
                                           Row("Needed (required)", True, True, selected=True),
                                           Row("Optional", True, False, selected=False))),
                View(label="spaced again", rows=(Row("Installed one [Already installed]", True, True, selected=True),
                                                 Row("Needed (required)", True, True, selected=False),
                                                 Row("Optional", True, False, selected=False)))],
         not_ran=["i_exit0.exe", "r_exit0.exe", "o_exit0.exe"]),

    # Unlocked rows toggle on a left click on the check box and on the space
    # bar; a click on the text selects without toggling; a right click goes to
    # the list as usual (it selects, it does not toggle). Enter then starts
    # the run with the checks as left: Alpha unchecked, Bravo checked.
    Case("dialog_unlocked_rows_toggle",
         files=interactive(cmd("Alpha", "a_exit0.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit0.exe", "b_exit0.exe"],
         script=["dialog: click-check 0", "dialog: read one click",
                 "dialog: click-check 0", "dialog: read two clicks",
                 "dialog: space 1", "dialog: read space",
                 "dialog: space 1", "dialog: read space again",
                 "dialog: click-text 0", "dialog: read text click",
                 "dialog: click-check 1 right", "dialog: read right click",
                 "dialog: space 0", "dialog: read last",
                 "dialog: key enter"],
         views=[View(**FRESH, rows=(optional_row("Alpha"), optional_row("Bravo"))),
                View(label="one click", rows=(optional_row("Alpha", False), optional_row("Bravo"))),
                View(label="two clicks", rows=(optional_row("Alpha"), optional_row("Bravo"))),
                View(label="space", rows=(optional_row("Alpha"), optional_row("Bravo", False, selected=True))),
                View(label="space again", rows=(optional_row("Alpha"), optional_row("Bravo", True, selected=True))),
                View(label="text click", focus=LIST,
                     rows=(optional_row("Alpha", True, selected=True), optional_row("Bravo", True, selected=False))),
                View(label="right click",
                     rows=(optional_row("Alpha", True, selected=False), optional_row("Bravo", True, selected=True))),
                View(label="last",
                     rows=(optional_row("Alpha", False, selected=True), optional_row("Bravo", True, selected=False)))],
         not_ran=["a_exit0.exe"], ran=["b_exit0.exe"]),

    # ---------------------------------------------------------------- keys and buttons
    # Tab goes Continue, Exit, list (the hidden selection box is skipped); Esc
    # ends the dialog and nothing runs.
    Case("dialog_tab_order_and_escape",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"],
         script=["dialog: key tab", "dialog: read tab 1", "dialog: key tab", "dialog: read tab 2",
                 "dialog: key tab", "dialog: read tab 3", "dialog: key escape"],
         views=[View(**FRESH), View(label="tab 1", focus=2), View(label="tab 2", focus=LIST),
                View(label="tab 3", focus=1)],
         not_ran=["a_exit0.exe"]),

    Case("dialog_enter_starts_the_run",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"], script=["dialog: key enter"],
         views=[View(**FRESH)], ran=["a_exit0.exe"]),

    Case("dialog_exit_button_ends_it",
         files=interactive(cmd("Alpha", "a_exit0.exe"), complete_command="#APPPATH\\done_exit0.exe"),
         stubs=["a_exit0.exe", "done_exit0.exe"], script=["dialog: exit"],
         views=[View(**FRESH)], not_ran=["a_exit0.exe", "done_exit0.exe"]),

    # The close box (or the taskbar's Close) and Alt+F4 end the dialog too.
    Case("dialog_close_box_ends_it",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"], script=["dialog: close"],
         views=[View(**FRESH)], not_ran=["a_exit0.exe"], check=window_styles),
    Case("dialog_alt_f4_ends_it",
         files=interactive(cmd("Alpha", "a_exit0.exe")),
         stubs=["a_exit0.exe"], script=["dialog: key alt-f4"],
         views=[View(**FRESH)], not_ran=["a_exit0.exe"]),

    # Empty texts empty their controls; the template's texts never show.
    Case("dialog_empty_texts_empty_the_controls",
         files=interactive(cmd("Alpha", "a_exit0.exe"), dialog_caption="", dialog_message="", install_caption="",
                           cancel_caption=None),
         stubs=["a_exit0.exe"], script=["dialog: command cancel"],
         views=[View(caption="", message="", continue_text="", exit_text="", focus=1, centred=True)],
         not_ran=["a_exit0.exe"]),

    # While the run lasts, Continue and Exit commands from any source are
    # ignored: the dialog stays, the run goes on, nothing runs twice.
    Case("dialog_ignores_continue_and_exit_while_running",
         files=interactive(cmd("Slow", "a_hold_exit0.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_hold_exit0.exe", "b_exit0.exe"],
         script=["dialog: continue", "wait start a_hold_exit0.exe", "dialog: command cancel",
                 "dialog: read after cancel", "dialog: command ok", "dialog: read after ok", "dialog: close",
                 "dialog: read after close", "release a_hold_exit0.exe"],
         views=[View(**FRESH), View(**RUNNING, label="after cancel"), View(**RUNNING, label="after ok"),
                View(**RUNNING, label="after close")],
         ran=["a_hold_exit0.exe", "b_exit0.exe"],
         check=all_of(ran_once("a_hold_exit0.exe", "b_exit0.exe"),
                      one_after_another("a_hold_exit0.exe", "b_exit0.exe"))),

    # ---------------------------------------------------------------- the run's own rules
    # The installed checks are asked again before each component: one that an
    # earlier component installed is passed over. (Bravo's check looks for
    # the log that Alpha's stub writes when it runs.)
    Case("dialog_component_installed_by_an_earlier_one_is_passed_over",
         files=interactive(cmd("Alpha", "a_exit0.exe"),
                           cmd("Bravo", "b_exit0.exe", body=check_file("#APPPATH\\a_exit0.exe.log"))),
         stubs=["a_exit0.exe", "b_exit0.exe"],
         script=["dialog: continue"],
         views=[View(**FRESH, rows=(optional_row("Alpha"), optional_row("Bravo")))],
         ran=["a_exit0.exe"], not_ran=["b_exit0.exe"]),

    # A faulty installed check complains each time it is asked: when the
    # configuration is read, when the list is filled, and before the
    # component runs. Then the component runs (the check said "missing").
    Case("dialog_faulty_check_is_asked_three_times",
         files=interactive(cmd("Alpha", "a_exit0.exe", body=check_file("#APPPATH\\Setup.exe", "1.0", "newer"))),
         stubs=["a_exit0.exe"],
         script=["ok", "ok", "dialog: continue", "ok"],
         views=[View(**FRESH, rows=(optional_row("Alpha"),))],
         boxes=[faulty_value(BAD_COMPARISON, "newer")] * 3, ran=["a_exit0.exe"]),

    # The interactive run downloads nothing: the program to run is not there
    # (nor its folder), Wine's shell says so, then the program's question
    # (Yes goes on).
    Case("dialog_run_fetches_no_downloads",
         files=interactive(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                               body=downloads(download("Fetched program", "@@HTTP@@/a_exit0.exe"))),
                           cmd("Bravo", "b_exit0.exe")),
         stubs=["b_exit0.exe"], served={"a_exit0.exe": "not fetched"},
         script=["dialog: continue", "ok", "yes"],
         views=[View(**FRESH)],
         boxes=[Box("Path not found.\r\n", caption="Error", buttons=("OK",), icon="error", owner="none"),
                failure_question("Fetched", owner="dialog")],
         absent=["dl"], ran=["b_exit0.exe"], check=requests_are()),

    # A run started during the initialisation (the restart entry) still owns
    # its question by the dialog, which never shows.
    Case("dialog_hidden_run_question_is_owned_by_the_dialog",
         files=interactive(cmd("Alpha", "a_exit1.exe"), cmd("Bravo", "b_exit0.exe")),
         stubs=["a_exit1.exe", "b_exit0.exe"],
         registry=[RegValue("HKLM\\" + RUN_KEY, "Yolvane Setup", "resume")],
         script=["yes"], boxes=[failure_question("Alpha", owner="dialog")],
         ran=["a_exit1.exe", "b_exit0.exe"]),

    # The product was installed when the configuration was read, so it is not
    # selected; with the only row unchecked nothing is selected: completion
    # text and command.
    Case("dialog_installed_product_and_unchecked_row_complete",
         files=interactive(cmd("Alpha", "a_exit0.exe"),
                           cmd("Product", "p_exit0.exe", required="true", primary="true", body=INSTALLED),
                           complete_command="#APPPATH\\done_exit0.exe"),
         stubs=["a_exit0.exe", "p_exit0.exe", "done_exit0.exe"],
         script=["dialog: click-check 0", "dialog: continue", "ok"],
         views=[View(**FRESH, rows=(optional_row("Alpha"),))],
         boxes=[completion(TEXTS["installation_completed"], owner="none")],
         not_ran=["a_exit0.exe", "p_exit0.exe"], ran=["done_exit0.exe"]),

    # [A, product, B installed]: B's row is B's (installed, locked), right
    # below A. Present but empty required/primary attributes count as true.
    Case("dialog_row_after_the_product_shows_its_own_state",
         files=interactive(cmd("Alpha", "a_exit0.exe"),
                           cmd("Product", "p_exit0.exe", required="", primary=""),
                           cmd("Bravo", "b_exit0.exe", body=INSTALLED)),
         stubs=["a_exit0.exe", "p_exit0.exe", "b_exit0.exe"],
         script=["dialog: exit"],
         views=[View(**FRESH, rows=(optional_row("Alpha", grey=False), installed_row("Bravo", grey=True)))],
         not_ran=["a_exit0.exe", "p_exit0.exe", "b_exit0.exe"]),

    # admin_required: the Wine user is an administrator, so it asks nothing.
    Case("dialog_admin_required_component_runs_for_an_administrator",
         files=interactive(cmd("Alpha", "a_exit0.exe", admin_required="Alpha needs an administrator.")),
         stubs=["a_exit0.exe"], script=["dialog: continue"],
         views=[View(**FRESH)], ran=["a_exit0.exe"]),
]
