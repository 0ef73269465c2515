"""Component downloads in silent runs, against the loopback HTTP server that
run_e2e.py starts: @@HTTP@@ is this case's folder on it, @@CLOSED@@ a
loopback port where nothing listens. The server's request log shows which
files were asked for. The downloaded programs are stub copies: that one ran
shows it arrived whole enough to run. A NAME.faults file beside a served
file scripts the server's answers to it (see http_server.py).
"""

from case_helpers import (all_of, cmd, download, downloads, failure_question, folder_holds, requests_are,
                          same_bytes, silent)
from e2e_model import Case, FromBin, error_box

STUB = FromBin("e2e_stub.exe")

CASES = [
    Case("download_then_run",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Fetched program", "@@HTTP@@/a_exit0.exe")))),
         served={"a_exit0.exe": STUB},
         ran=["dl/a_exit0.exe"],
         check=all_of(requests_are("a_exit0.exe 200"), same_bytes("dl/a_exit0.exe", "e2e_stub.exe"))),

    # An address that is a path goes through the system's URL monikers: the
    # file arrives whole under its own name, with no part file beside it.
    Case("download_from_a_path_through_the_monikers",
         files=silent(cmd("Copied", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Copied program", "#APPPATH\\src\\a_exit0.exe")))),
         stubs=["src/a_exit0.exe"],
         ran=["dl/a_exit0.exe"],
         check=all_of(folder_holds("dl", "a_exit0.exe", "a_exit0.exe.log"), same_bytes("dl/a_exit0.exe", "e2e_stub.exe"))),

    # The second of three fails: the first stays, the third is not asked for,
    # the component does not run; the failure question follows (Yes).
    Case("download_second_of_three_fails",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("First", "@@HTTP@@/a_exit0.exe"),
                                         download("Second", "@@CLOSED@@/b_exit0.exe"),
                                         download("Third", "@@HTTP@@/c_exit0.exe"))),
                      cmd("After", "z_exit0.exe")),
         served={"a_exit0.exe": STUB, "b_exit0.exe": STUB, "c_exit0.exe": STUB},
         stubs=["z_exit0.exe"],
         script=["yes"], boxes=[failure_question("Fetched", owner="none")],
         exists=["dl/a_exit0.exe"], absent=["dl/b_exit0.exe", "dl/c_exit0.exe"],
         not_ran=["dl/a_exit0.exe"], ran=["z_exit0.exe"],
         check=requests_are("a_exit0.exe 200")),

    # destinationfilename names the file; without it the URL's own name does.
    Case("download_destinationfilename_over_url_name",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\renamed_exit0.exe",
                          body=downloads(download("Renamed", "@@HTTP@@/orig_exit0.exe",
                                                  filename="renamed_exit0.exe"),
                                         download("Own name", "@@HTTP@@/same_exit0.exe", path="#APPPATH\\dl2")))),
         served={"orig_exit0.exe": STUB, "same_exit0.exe": STUB},
         exists=["dl/renamed_exit0.exe", "dl2/same_exit0.exe"], absent=["dl/orig_exit0.exe"],
         ran=["dl/renamed_exit0.exe"],
         check=requests_are("orig_exit0.exe 200", "same_exit0.exe 200")),

    # Only the last folder level is created: a missing parent fails the
    # transfer, and the component does not run (No ends the run).
    Case("download_into_missing_parent_folder_fails",
         files=silent(cmd("Fetched", "#APPPATH\\no\\such\\a_exit0.exe",
                          body=downloads(download("Deep", "@@HTTP@@/a_exit0.exe", path="#APPPATH\\no\\such"))),
                      cmd("After", "z_exit0.exe")),
         served={"a_exit0.exe": STUB}, stubs=["z_exit0.exe"],
         script=["no"], boxes=[failure_question("Fetched", owner="none")],
         absent=["no"], not_ran=["z_exit0.exe"]),

    # A URL that ends in a slash, without destinationfilename: the file name
    # is empty, the target is the folder itself, and the download fails.
    Case("download_url_ending_in_slash_fails",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Listing", "@@HTTP@@/sub/"))),
                      cmd("After", "z_exit0.exe")),
         served={"sub/a_exit0.exe": STUB}, stubs=["z_exit0.exe"],
         script=["yes"], boxes=[failure_question("Fetched", owner="none")],
         absent=["dl/a_exit0.exe"], ran=["z_exit0.exe"]),

    # A digest, in capitals here, that the file matches: it arrives and runs.
    Case("download_with_matching_sha256_runs",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Checked", "@@HTTP@@/a_exit0.exe",
                                                  sha256="@@STUB_SHA256_UPPER@@")))),
         served={"a_exit0.exe": STUB},
         ran=["dl/a_exit0.exe"],
         check=all_of(requests_are("a_exit0.exe 200"), same_bytes("dl/a_exit0.exe", "e2e_stub.exe"))),

    # A file that is not the one the digest names is deleted and never run.
    Case("download_with_other_sha256_is_deleted_and_not_run",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Checked", "@@HTTP@@/a_exit0.exe", sha256="0" * 64))),
                      cmd("After", "z_exit0.exe")),
         served={"a_exit0.exe": STUB}, stubs=["z_exit0.exe"],
         script=["yes"], boxes=[failure_question("Fetched", owner="none")],
         absent=["dl/a_exit0.exe"], not_ran=["dl/a_exit0.exe"], ran=["z_exit0.exe"],
         check=requests_are("a_exit0.exe 200")),

    # A digest that is not 64 hexadecimal digits fails the configuration.
    Case("download_with_malformed_sha256_fails_loading",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Checked", "@@HTTP@@/a_exit0.exe", sha256="abc123")))),
         served={"a_exit0.exe": STUB},
         boxes=[error_box("Invalid configuration file, the sha256 of a download must be 64 hexadecimal digits."),
                error_box("Failed to read configuration file.")],
         not_ran=["dl/a_exit0.exe"], check=requests_are()),

    # A 404: the server's error page is not kept as the program and nothing runs.
    Case("download_404_fails",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\gone_exit0.exe",
                          body=downloads(download("Gone", "@@HTTP@@/gone_exit0.exe"))),
                      cmd("After", "z_exit0.exe")),
         stubs=["z_exit0.exe"],
         script=["yes"], boxes=[failure_question("Fetched", owner="none")],
         absent=["dl/gone_exit0.exe"], ran=["z_exit0.exe"],
         check=requests_are("gone_exit0.exe 404")),

    # The last component's download fails: no question.
    Case("download_failing_for_last_component_asks_nothing",
         files=silent(cmd("First", "a_exit0.exe"),
                      cmd("Fetched", "#APPPATH\\dl\\gone_exit0.exe",
                          body=downloads(download("Gone", "@@HTTP@@/gone_exit0.exe")))),
         stubs=["a_exit0.exe"], ran=["a_exit0.exe"], absent=["dl/gone_exit0.exe"],
         check=requests_are("gone_exit0.exe 404")),

    # A component that is already installed is not selected: its files are
    # not fetched either.
    Case("download_skipped_for_installed_component",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Fetched program", "@@HTTP@@/a_exit0.exe")) +
                          '<installedcheck type="check_file" filename="#APPPATH\\Setup.exe"/>')),
         served={"a_exit0.exe": STUB},
         absent=["dl"], check=requests_are()),

    # Network faults. A server that takes the request and never answers:
    # each attempt stalls for 30 s, three attempts with pauses of 2 s and 4 s,
    # then the component fails and nothing is left in the folder.
    Case("download_stalling_server_is_tried_three_times",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Stalled", "@@HTTP@@/a_exit0.exe"))),
                      cmd("After", "z_exit0.exe")),
         served={"a_exit0.exe": STUB, "a_exit0.exe.faults": "stall"}, stubs=["z_exit0.exe"],
         script=["no"], boxes=[failure_question("Fetched", owner="none")],
         not_ran=["dl/a_exit0.exe", "z_exit0.exe"], timeout=300,
         check=all_of(requests_are(*["a_exit0.exe stall"] * 3), folder_holds("dl"))),

    # A body cut short of the announced size is never kept or run.
    Case("download_cut_short_is_tried_three_times",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Short", "@@HTTP@@/a_exit0.exe"))),
                      cmd("After", "z_exit0.exe")),
         served={"a_exit0.exe": STUB, "a_exit0.exe.faults": "short"}, stubs=["z_exit0.exe"],
         script=["yes"], boxes=[failure_question("Fetched", owner="none")],
         not_ran=["dl/a_exit0.exe"], ran=["z_exit0.exe"], timeout=120,
         check=all_of(requests_are(*["a_exit0.exe short"] * 3), folder_holds("dl"))),

    # A busy server, then the file; a reset connection, then the file.
    Case("download_after_busy_server_and_reset_connection",
         files=silent(cmd("Fetched", "#APPPATH\\dl\\a_exit0.exe",
                          body=downloads(download("Busy", "@@HTTP@@/a_exit0.exe"),
                                         download("Reset", "@@HTTP@@/b_exit0.exe")))),
         served={"a_exit0.exe": STUB, "a_exit0.exe.faults": "503\nok",
                 "b_exit0.exe": STUB, "b_exit0.exe.faults": "reset\nok"},
         ran=["dl/a_exit0.exe"], timeout=120,
         check=all_of(requests_are("a_exit0.exe 503", "a_exit0.exe 200", "b_exit0.exe reset", "b_exit0.exe 200"),
                      same_bytes("dl/a_exit0.exe", "e2e_stub.exe"), same_bytes("dl/b_exit0.exe", "e2e_stub.exe"),
                      folder_holds("dl", "a_exit0.exe", "a_exit0.exe.log", "b_exit0.exe"))),
]
