// Unattended deployment: the exit statuses, the log file and the runs that
// show no message box.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/interactive_run.h"
#include "engine/silent_install.h"
#include "run/command_line.h"
#include "run/driver.h"
#include "test_helpers.h"

namespace {

using platform::box_answer;
using platform::fake_platform;
using testing_support::add_program;
using testing_support::document;
using testing_support::with_setup_xml;

TEST(exit_status, follows_the_conventions_of_management_tools_only_when_asked)
{
    const struct {
        engine::run_record record;
        int detailed;
    } cases[] = {
        {{}, 0},
        {{false, false, true, false}, 3010},
        {{false, true, true, false}, 1641},
        {{false, false, false, true}, 1602},
        {{true, false, false, false}, 1603},
        {{true, true, true, false}, 1603},  // a failure wins over a restart
    };
    for (const auto& c : cases) {
        EXPECT_EQ(engine::exit_status(c.record, true, true), c.detailed);
        EXPECT_EQ(engine::exit_status(c.record, true, false), 1);
        EXPECT_EQ(engine::exit_status(c.record, false, true), 1);  // never read: the attribute is not known
    }
}

// A window for the interactive run that keeps every row checked.
struct plain_window : engine::install_window {
    platform::window_handle handle() override { return 9; }
    void begin_run() override {}
    std::vector<int> row_state_images() override { return {}; }
    void show_wait_cursor() override {}
    void restore_cursor() override {}
    void end_dialog() override {}
    void show_message(const std::wstring&) override {}
    void show_row(std::size_t, const engine::checklist_row&, bool) override {}
    void clear_current_row() override {}
    std::unique_ptr<download::progress_view> open_download_window(const components::download_dialog_settings&,
                                                                  const std::wstring&) override
    {
        return nullptr;
    }
};

run::run_modes both_runs()
{
    return run::run_modes{[](engine::run_context& run, config::configuration_settings& s) {
                              plain_window window;
                              engine::run_interactive_install(run, s, {}, window);
                          },
                          [](engine::run_context& run, config::configuration_settings& s) {
                              engine::run_silent_install(run, s);
                          }};
}

fake_platform::program exiting(std::uint32_t code)
{
    fake_platform::program p;
    p.exit_code = code;
    return p;
}

std::string component(const std::string& name, const std::string& extra = "")
{
    return "<component type=\"cmd\" description=\"" + name + "\" command=\"#APPPATH\\" + name + ".exe\" " + extra +
           "/>";
}

TEST(exit_status, of_whole_runs_silent_and_interactive)
{
    const struct {
        const char* what;
        std::vector<std::uint32_t> codes;  // of the components a, b in order
        std::string extra;                 // attributes of component a
        std::vector<box_answer> answers;
        int status;
    } cases[] = {
        {"all installed", {0, 0}, "", {}, 0},
        {"an exit code 3010", {3010, 0}, "", {}, 3010},
        {"a restart declined", {0, 0}, "mustreboot=\"true\"", {box_answer::no}, 3010},
        {"a restart started", {0, 0}, "mustreboot=\"true\"", {box_answer::yes}, 1641},
        {"a failure, then going on", {1, 0}, "", {box_answer::yes}, 1603},
        {"nothing needed", {0, 0}, "><installedcheck type=\"check_file\" filename=\"#APPPATH\\Setup.exe\"/></component",
         {}, 0},
    };
    for (const char* silent : {"true", "false"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (silent[0] == 't' ? ", silent" : ", interactive"));
            fake_platform sys;
            sys.add_file(L"C:\\medium\\Setup.exe");
            add_program(sys, L"C:\\medium\\a.exe", exiting(c.codes[0]));
            add_program(sys, L"C:\\medium\\b.exe", exiting(c.codes[1]));
            sys.answers.assign(c.answers.begin(), c.answers.end());
            std::string a = component("a", c.extra);
            if (c.extra.rfind("><", 0) == 0) a.replace(a.size() - 2, 2, ">");  // a check inside the element
            with_setup_xml(sys, document(a + component("b"), std::string("detailed_exit_status=\"true\" install_silent=\"") +
                                                                 silent + "\""));
            EXPECT_EQ(run::run_setup(sys, both_runs()), c.status);
        }
    }
}

TEST(exit_status, of_runs_that_never_install)
{
    fake_platform refused;
    refused.member_of_admins = false;
    with_setup_xml(refused, document(component("a"), "detailed_exit_status=\"true\" dialog_admin_required=\"Admins.\""));
    EXPECT_EQ(run::run_setup(refused, both_runs()), 1603);

    fake_platform unreadable;
    with_setup_xml(unreadable, "<configurations><configuration type=\"install\" detailed_exit_status=\"true\">"
                               "<components><component type=\"bogus\"/></components></configuration></configurations>");
    EXPECT_EQ(run::run_setup(unreadable, both_runs()), 1);
}

// The lines of the log file, without their time stamps.
std::vector<std::string> log_lines(fake_platform& sys, const std::wstring& path)
{
    std::vector<std::string> lines;
    const std::string& bytes = sys.files[text::ascii_lower(path)].bytes;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "a line without CRLF";
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(start, end - start);
        EXPECT_EQ(line.size() > 24 && line[4] == '-' && line[19] == '.' && line[23] == ' ', true) << line;
        lines.push_back(line.size() > 24 ? line.substr(24) : line);
        start = end + 2;
    }
    return lines;
}

bool holds(const std::vector<std::string>& lines, const std::string& part)
{
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

TEST(log_file, records_the_run_from_the_program_to_its_exit_status)
{
    fake_platform sys;
    sys.add_versioned_file(L"C:\\medium\\Setup.exe", 1, 2, 3, 4);
    sys.add_versioned_file(L"C:\\Windows\\system32\\msi.dll", 5, 0, 0, 0);
    add_program(sys, L"C:\\medium\\a.exe", exiting(3010));
    add_program(sys, L"C:\\medium\\b.exe", exiting(1));
    add_program(sys, L"C:\\medium\\c.exe");
    sys.add_directory(L"C:\\Users\\user\\Temp");
    sys.answers = {box_answer::yes};
    with_setup_xml(sys, document(component("a") + component("b") + component("c") +
                                     component("d", "os_filter_greater=\"200\"") +
                                     "<component type=\"cmd\" description=\"e \xC3\xA9\" command=\"x\">"
                                     "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\msi.dll\" "
                                     "fileversion=\"2.0.0.0\" comparison=\"version\"/></component>",
                                 "install_silent=\"true\" detailed_exit_status=\"true\" "
                                 "failed_exec_command_continue=\"%s failed. Go on?\" "
                                 "log_file=\"#TEMPPATHsetup.log\""));
    EXPECT_EQ(run::run_setup(sys, both_runs()), 1603);
    const auto lines = log_lines(sys, L"C:\\Users\\user\\Temp\\setup.log");
    for (const char* part :
         {"Setup.exe 1.2.3.4 at C:\\medium\\Setup.exe", "configuration: C:\\medium\\setup.xml",
          "configuration element 1 (line 1)", "Windows version code 100", "system language 1033",
          "component \"d\" (line 1): left out: the version code 100",
          "installed check of the file C:\\Windows\\system32\\msi.dll: version 5.0.0.0, version 2.0.0.0: installed",
          "component \"e \xC3\xA9\" (line 1): installed, not selected", "component \"a\" started: C:\\medium\\a.exe",
          "component \"a\" ended with exit code 3010", "component \"b\" ended with exit code 1",
          "message box: \"b failed. Go on?\" (caption the system's, warning, Yes/No): Yes",
          "component \"c\": installed", "exit status 1603"})
        EXPECT_TRUE(holds(lines, part)) << part;
}

// A run that lacks the rights its configuration requires starts a copy of
// itself through the administrator prompt, where somebody may answer it, and
// ends with the copy's status; otherwise it refuses.
TEST(elevation, a_run_without_the_rights_asks_once_through_a_copy_of_itself)
{
    const auto copy_exiting = [](std::uint32_t code, bool starts, bool declines) {
        fake_platform::program p = exiting(code);
        p.starts = starts;
        p.declines_elevation = declines;
        return p;
    };
    const struct {
        const char* name;
        std::wstring args;  // after the program; /log follows
        std::string attributes;
        std::uint32_t major;
        fake_platform::program copy;
        bool asks;
        int status;
        bool refusal_shown;
        const char* logged;
    } cases[] = {
        {"granted", L"/norestart", "", 6, copy_exiting(3010, true, false), true, 3010, false,
         "the copy with administrator rights ended with exit status 3010"},
        {"declined", L"", "", 10, copy_exiting(0, true, true), true, 1603, true,
         "the request for administrator rights was declined"},
        {"not started", L"", "", 6, copy_exiting(0, false, false), true, 1603, true,
         "the copy with administrator rights did not start: system code 5"},
        {"the copy itself", L"/elevated", "", 6, copy_exiting(0, true, false), false, 1603, true,
         "does not ask for them again"},
        {"quiet", L"/quiet", "", 6, copy_exiting(0, true, false), false, 1603, false,
         "administrator rights are required and the user lacks them"},
        {"unattended", L"", "install_silent=\"true\" unattended=\"true\"", 6, copy_exiting(0, true, false), false,
         1603, false, "administrator rights are required and the user lacks them"},
        {"before user account control", L"", "", 5, copy_exiting(0, true, false), false, 1603, true,
         "administrator rights are required and the user lacks them"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake_platform sys;
        sys.version.major = c.major;
        sys.member_of_admins = false;
        sys.command = L"\"C:\\medium\\Setup.exe\" " + c.args + (c.args.empty() ? L"" : L" ") + L"/log C:\\work\\s.log";
        add_program(sys, L"C:\\medium\\Setup.exe", c.copy);
        add_program(sys, L"C:\\medium\\a.exe");
        with_setup_xml(sys, document(component("a"),
                                     "detailed_exit_status=\"true\" dialog_admin_required=\"Admins.\" " + c.attributes));
        EXPECT_EQ(run::run_setup(sys, both_runs()), c.status);
        const std::wstring request = L"shell_execute_ex runas:C:\\medium\\Setup.exe|" + c.args +
                                     (c.args.empty() ? L"" : L" ") + L"/log C:\\work\\s.log /elevated";
        EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), request), c.asks ? 1 : 0);
        const std::vector<std::wstring> refusal{L"Admins."};
        EXPECT_EQ(sys.message_texts(), c.refusal_shown ? refusal : std::vector<std::wstring>{});
        // Nothing of the run itself happens in the process that asked.
        for (const auto& started : sys.processes) {
            EXPECT_EQ(started.file, L"C:\\medium\\Setup.exe");
            EXPECT_TRUE(started.closed);
        }
        const auto lines = log_lines(sys, L"C:\\work\\s.log");
        EXPECT_TRUE(holds(lines, c.logged)) << c.logged;
        EXPECT_EQ(holds(lines, "administrator rights requested: starting \"C:\\medium\\Setup.exe\""), c.asks);
    }
}

TEST(log_file, that_cannot_be_written_changes_nothing_and_without_one_nothing_is_written)
{
    for (const char* log : {"log_file=\"C:\\no\\such\\folder\\setup.log\"", ""}) {
        SCOPED_TRACE(log);
        fake_platform sys;
        add_program(sys, L"C:\\medium\\a.exe", exiting(1));
        add_program(sys, L"C:\\medium\\b.exe");
        sys.answers = {box_answer::no};
        with_setup_xml(sys, document(component("a") + component("b"), std::string("install_silent=\"true\" ") + log));
        const std::size_t files_before = sys.files.size();
        EXPECT_EQ(run::run_setup(sys, both_runs()), 1);
        EXPECT_EQ(sys.files.size(), files_before);
        EXPECT_EQ(sys.messages.size(), 1u);  // the failure question, answered No
        EXPECT_EQ(sys.processes.size(), 1u);
    }
}

TEST(unattended, a_silent_run_shows_no_box_and_answers_every_question_no)
{
    fake_platform sys;
    add_program(sys, L"C:\\medium\\a.exe");
    add_program(sys, L"C:\\medium\\b.exe", exiting(1));
    add_program(sys, L"C:\\medium\\c.exe");
    sys.add_directory(L"C:\\Users\\user\\Temp");
    with_setup_xml(sys, document(component("a", "mustreboot=\"true\" installcompletemessage=\"A is in.\"") +
                                     "<component type=\"cmd\" description=\"x\" command=\"x\">"
                                     "<installedcheck type=\"check_file\" filename=\"#APPPATH\\setup.xml\" "
                                     "fileversion=\"1\" comparison=\"bogus\"/></component>",
                                 "install_silent=\"true\" unattended=\"true\" detailed_exit_status=\"true\" "
                                 "reboot_required=\"Restart?\" log_file=\"#TEMPPATHsetup.log\""));
    EXPECT_EQ(run::run_setup(sys, both_runs()), 3010);  // the restart declined, on its behalf
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_TRUE(sys.system_boxes_refused);  // nor does the shell show one
    EXPECT_EQ(sys.reboots, 0);
    const auto lines = log_lines(sys, L"C:\\Users\\user\\Temp\\setup.log");
    EXPECT_TRUE(holds(lines, "message box not shown (unattended): \"Invalid comparison type"));
    EXPECT_TRUE(holds(lines, "message box not shown (unattended): \"A is in.\""));
    EXPECT_TRUE(holds(lines, "message box not shown (unattended): \"Restart?\" (caption \"\", question, Yes/No): No"));

    // A failure ends the run at once; an interactive run is not affected.
    fake_platform failing;
    add_program(failing, L"C:\\medium\\b.exe", exiting(1));
    add_program(failing, L"C:\\medium\\c.exe");
    with_setup_xml(failing, document(component("b") + component("c"),
                                     "install_silent=\"true\" unattended=\"true\" detailed_exit_status=\"true\""));
    EXPECT_EQ(run::run_setup(failing, both_runs()), 1603);
    EXPECT_TRUE(failing.messages.empty());
    EXPECT_EQ(failing.processes.size(), 1u);

    fake_platform interactive;
    add_program(interactive, L"C:\\medium\\b.exe", exiting(1));
    add_program(interactive, L"C:\\medium\\c.exe");
    interactive.answers = {box_answer::yes};
    with_setup_xml(interactive, document(component("b") + component("c"), "unattended=\"true\""));
    run::run_setup(interactive, both_runs());
    EXPECT_EQ(interactive.messages.size(), 1u);
    EXPECT_FALSE(interactive.system_boxes_refused);
    EXPECT_EQ(interactive.processes.size(), 2u);
}

// ------------------------------------------------------------ the command line

TEST(command_line, is_split_into_arguments_as_the_c_runtime_splits_it)
{
    using args = std::vector<std::wstring>;
    EXPECT_EQ(run::split_command_line(L"\"C:\\Program Files\\Setup.exe\" /quiet  -log \"C:\\my logs\\a.log\""),
              (args{L"C:\\Program Files\\Setup.exe", L"/quiet", L"-log", L"C:\\my logs\\a.log"}));
    // Backslashes escape only a quote; a quoted argument may be empty.
    EXPECT_EQ(run::split_command_line(L"Setup.exe a\\\"b c\\\\d \"e\\\\\" \"\" x\"y z\""),
              (args{L"Setup.exe", L"a\"b", L"c\\\\d", L"e\\", L"", L"xy z"}));
    // The program's own path is not escaped: its backslash before a quote stays.
    EXPECT_EQ(run::split_command_line(L"\"C:\\medium\\\"/quiet"), (args{L"C:\\medium\\/quiet"}));
    // A copy of the program gets the text after the program exactly as typed.
    EXPECT_EQ(run::arguments_text(L"\"C:\\a b\\Setup.exe\"  /log \"x y.log\" \\\"q"), L"/log \"x y.log\" \\\"q");
    EXPECT_EQ(run::arguments_text(L"Setup.exe"), L"");
}

TEST(command_line, knows_its_switches_in_any_letter_case_form_and_order_and_ignores_the_rest)
{
    const struct {
        std::vector<std::wstring> arguments;  // after the program
        bool quiet, norestart, help;
        std::wstring log;
        std::vector<std::wstring> ignored;
    } cases[] = {
        {{L"/QUIET", L"-NoRestart", L"/log", L"x.log"}, true, true, false, L"x.log", {}},
        {{L"-Log", L"my logs\\a.log", L"/quiet"}, true, false, false, L"my logs\\a.log", {}},
        {{L"/log"}, false, false, false, L"", {L"/log"}},             // no file
        {{L"/log", L"/quiet"}, true, false, false, L"", {L"/log"}},   // a switch is no file
        {{L"-?"}, false, false, true, L"", {}},
        {{L"quiet", L"--quiet", L"/quietly", L"/qb", L"/passives", L"/HELP"}, false, false, true, L"",
         {L"quiet", L"--quiet", L"/quietly", L"/qb", L"/passives"}},
        // The words administrators type first for a run without a window.
        {{L"/q"}, true, false, false, L"", {}},
        {{L"-QN", L"/log", L"/S"}, true, false, false, L"", {L"/log"}},
        {{L"/Silent"}, true, false, false, L"", {}},
        {{L"-verysilent"}, true, false, false, L"", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> line{L"Setup.exe"};
        line.insert(line.end(), c.arguments.begin(), c.arguments.end());
        const run::switches s = run::parse_switches(line);
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        EXPECT_EQ(s.quiet, c.quiet);
        EXPECT_EQ(s.norestart, c.norestart);
        EXPECT_EQ(s.help, c.help);
        EXPECT_EQ(s.log_file, c.log);
        EXPECT_EQ(s.ignored, c.ignored);
    }
}

TEST(command_line, quiet_makes_any_configuration_a_silent_unattended_run_with_deployment_statuses)
{
    // An interactive configuration whose first program is missing: no box
    // of any kind, the log named on the command line (relative to the
    // current folder) wins over the configuration's, and the run ends with
    // 1603.
    fake_platform sys;
    sys.command = L"\"C:\\medium\\Setup.exe\" /quiet /log setup.log bogus";
    add_program(sys, L"C:\\medium\\b.exe");
    sys.add_directory(L"C:\\work");
    sys.add_directory(L"C:\\Users\\user\\Temp");
    with_setup_xml(sys, document(component("a") + component("b"), "log_file=\"#TEMPPATHother.log\""));
    EXPECT_EQ(run::run_setup(sys, both_runs()), 1603);
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_TRUE(sys.system_boxes_refused);
    EXPECT_EQ(sys.processes.size(), 0u);  // the failure question was answered No
    EXPECT_EQ(sys.files.count(L"c:\\users\\user\\temp\\other.log"), 0u);
    auto lines = log_lines(sys, L"C:\\work\\setup.log");
    for (const char* part : {"/quiet: a silent, unattended run", "argument ignored: \"bogus\"", "silent run",
                             "component \"a\" could not be started: C:\\medium\\a.exe: system code 2: The system "
                             "cannot find the file specified.",
                             "message box not shown (unattended): \"", "exit status 1603"})
        EXPECT_TRUE(holds(lines, part)) << part;

    // All well: 0. A configuration that cannot be read: still 1, and its
    // messages only in the log.
    fake_platform fine;
    fine.command = L"Setup.exe -Quiet";
    add_program(fine, L"C:\\medium\\a.exe");
    with_setup_xml(fine, document(component("a")));
    EXPECT_EQ(run::run_setup(fine, both_runs()), 0);
    EXPECT_EQ(fine.processes.size(), 1u);

    fake_platform unreadable;
    unreadable.command = L"Setup.exe /quiet /log C:\\logs\\setup.log";
    unreadable.add_directory(L"C:\\logs");
    with_setup_xml(unreadable, document("<component type=\"bogus\"/>"));
    EXPECT_EQ(run::run_setup(unreadable, both_runs()), 1);
    EXPECT_TRUE(unreadable.messages.empty());
    lines = log_lines(unreadable, L"C:\\logs\\setup.log");
    EXPECT_TRUE(holds(lines, "message box not shown (unattended): \"Invalid configuration file, component type not supported\""));
    EXPECT_TRUE(holds(lines, "message box not shown (unattended): \"Failed to read configuration file.\""));
}

TEST(command_line, passive_shows_the_dialog_that_runs_by_itself_and_asks_nothing)
{
    // A silent configuration whose first program fails and whose download
    // would wait for Start: the dialog's run, with its progress, every
    // question answered No in the log, and the deployment statuses.
    fake_platform sys;
    sys.command = L"Setup.exe /PASSIVE /log C:\\work\\setup.log";
    sys.add_directory(L"C:\\work");
    add_program(sys, L"C:\\medium\\a.exe", exiting(1));
    with_setup_xml(sys, document(component("a") +
                                     "<component type=\"cmd\" description=\"b\" command=\"#APPPATH\\b.exe\">"
                                     "<downloaddialog autostartdownload=\"false\"><downloads><download "
                                     "componentname=\"B\" sourceurl=\"http://h/b.exe\" destinationpath=\"#APPPATH\"/>"
                                     "</downloads></downloaddialog></component>",
                                 "install_silent=\"true\""));
    bool interactive = false;
    config::configuration_settings seen;
    const run::run_modes modes{[&](engine::run_context& run, config::configuration_settings& s) {
                                   interactive = true;
                                   seen = s;
                                   EXPECT_TRUE(run.passive);
                                   plain_window window;
                                   engine::run_interactive_install(run, s, {}, window);
                               },
                               [](engine::run_context&, config::configuration_settings&) {}};
    EXPECT_EQ(run::run_setup(sys, modes), 1603);
    EXPECT_TRUE(interactive);
    EXPECT_TRUE(seen.show_progress);
    EXPECT_TRUE(seen.components[1]->download_dialog.autostartdownload);
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_EQ(sys.processes.size(), 1u);  // the failure question was answered No
    EXPECT_TRUE(holds(log_lines(sys, L"C:\\work\\setup.log"), "message box not shown (unattended)"));
}

TEST(run_lock, a_second_copy_on_the_same_configuration_leaves_the_run_to_the_first)
{
    const std::string xml = document(component("a"));
    fake_platform first;
    add_program(first, L"C:\\medium\\a.exe");
    with_setup_xml(first, xml);
    EXPECT_EQ(run::run_setup(first, both_runs()), 1);
    ASSERT_EQ(first.locks_taken.size(), 1u);
    const std::wstring lock = first.locks_taken[0];
    EXPECT_EQ(lock.rfind(L"Global\\YolvaneSetup-", 0), 0u);

    const struct {
        const wchar_t* command;
        const char* attributes;
        int status;
        bool brought_forward;
    } cases[] = {
        {L"Setup.exe", "", 1, true},                                   // a double click too many
        {L"Setup.exe", "detailed_exit_status=\"true\"", 1618, true},  // the same, for a management tool
        {L"Setup.exe /quiet", "", 1618, false},                        // nobody to show anything to
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.command)));
        fake_platform second;
        second.command = c.command;
        add_program(second, L"C:\\medium\\a.exe");
        const std::string same = document(component("a"), c.attributes);
        with_setup_xml(second, same);
        fake_platform probe;  // the lock's name for this very text
        with_setup_xml(probe, same);
        run::run_setup(probe, both_runs());
        second.locks_held_elsewhere = probe.locks_taken;
        second.windows_marked_elsewhere = probe.locks_taken;
        EXPECT_EQ(run::run_setup(second, both_runs()), c.status);
        EXPECT_TRUE(second.processes.empty());
        EXPECT_TRUE(second.messages.empty());
        EXPECT_EQ(second.brought_forward.size(), c.brought_forward ? 1u : 0u);
    }

    // Another text runs beside it.
    fake_platform other;
    add_program(other, L"C:\\medium\\b.exe");
    with_setup_xml(other, document(component("b")));
    other.locks_held_elsewhere = {lock};
    EXPECT_EQ(run::run_setup(other, both_runs()), 1);
    EXPECT_EQ(other.processes.size(), 1u);
    EXPECT_NE(other.locks_taken.at(0), lock);
}

TEST(command_line, norestart_answers_every_restart_question_no_without_a_box)
{
    for (const char* silent : {"true", "false"}) {
        SCOPED_TRACE(silent);
        fake_platform sys;
        sys.command = L"Setup.exe /norestart";
        add_program(sys, L"C:\\medium\\a.exe");
        sys.add_directory(L"C:\\Users\\user\\Temp");
        with_setup_xml(sys, document(component("a", "mustreboot=\"true\""),
                                     std::string("detailed_exit_status=\"true\" reboot_required=\"Restart?\" "
                                                 "log_file=\"#TEMPPATHsetup.log\" install_silent=\"") + silent + "\""));
        EXPECT_EQ(run::run_setup(sys, both_runs()), 3010);
        EXPECT_TRUE(sys.messages.empty());
        EXPECT_EQ(sys.reboots, 0);
        EXPECT_TRUE(holds(log_lines(sys, L"C:\\Users\\user\\Temp\\setup.log"),
                          "restart question not shown (/norestart): \"Restart?\": No"));
    }
}

TEST(command_line, help_shows_the_switches_and_reads_nothing)
{
    fake_platform sys;
    sys.command = L"Setup.exe /?";
    with_setup_xml(sys, document(component("a")));
    EXPECT_EQ(run::run_setup(sys, both_runs()), 0);
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].caption, std::wstring(L"Setup"));
    EXPECT_EQ(sys.messages[0].icon, platform::box_icon::information);
    const std::wstring& help = sys.messages[0].text;
    EXPECT_EQ(help.rfind(L"Setup.exe [/quiet | /passive] [/norestart] [/log FILE]\n", 0), 0u);
    EXPECT_EQ(sys.bytes_read, 0u);
    // The quiet run's statuses are those it can end with: no dialog to
    // leave, so no 1602; and no switch that is not built yet.
    const std::size_t at = help.find(L"\n/quiet - ");
    ASSERT_NE(at, std::wstring::npos);
    const std::wstring quiet_line = help.substr(at + 1, help.find(L'\n', at + 1) - at - 1);
    for (const wchar_t* status : {L"0 (", L"3010", L"1641", L"1603", L"1618", L"1 ("})
        EXPECT_NE(quiet_line.find(status), std::wstring::npos) << status;
    EXPECT_EQ(quiet_line.find(L"1602"), std::wstring::npos);
    EXPECT_NE(quiet_line.find(L"/q, /qn, /s, /silent and /verysilent"), std::wstring::npos);
    EXPECT_NE(help.find(L"\n/passive - "), std::wstring::npos);
    EXPECT_NE(help.find(L"\n/elevated - set by Setup.exe itself"), std::wstring::npos);

    fake_platform quiet;
    quiet.command = L"Setup.exe -help /quiet";
    with_setup_xml(quiet, document(component("a")));
    EXPECT_EQ(run::run_setup(quiet, both_runs()), 0);
    EXPECT_TRUE(quiet.messages.empty());
    EXPECT_TRUE(quiet.processes.empty());
}

TEST(restart, that_windows_refuses_is_reported_and_left_pending)
{
    fake_platform sys;
    add_program(sys, L"C:\\medium\\a.exe");
    sys.reboot_refused = true;
    sys.answers = {box_answer::yes};
    sys.add_directory(L"C:\\Users\\user\\Temp");
    with_setup_xml(sys, document(component("a", "mustreboot=\"true\""),
                                 "install_silent=\"true\" detailed_exit_status=\"true\" log_file=\"#TEMPPATHsetup.log\""));
    EXPECT_EQ(run::run_setup(sys, both_runs()), 3010);
    EXPECT_EQ(sys.reboots, 1);
    EXPECT_TRUE(holds(log_lines(sys, L"C:\\Users\\user\\Temp\\setup.log"),
                      "Windows refused the restart: system code 1314: A required privilege is not held by the client."));
    // The log was on disk when the restart was asked for: a restart that
    // happens may end the program at any moment.
    const std::string at_restart = sys.files_at_reboot[L"c:\\users\\user\\temp\\setup.log"].bytes;
    EXPECT_NE(at_restart.find("restart requested of Windows"), std::string::npos);
}

TEST(exit_status, a_primary_component_still_running_at_the_end_of_a_silent_run_is_no_failure)
{
    fake_platform sys;
    add_program(sys, L"C:\\medium\\a.exe");
    fake_platform::program product;
    product.never_ends = true;
    add_program(sys, L"C:\\medium\\p.exe", product);
    with_setup_xml(sys, document(component("a") + component("p", "primary=\"true\""),
                                 "install_silent=\"true\" detailed_exit_status=\"true\""));
    EXPECT_EQ(run::run_setup(sys, both_runs()), 0);
}

TEST(exit_status, an_unattended_run_waits_for_the_product_and_judges_its_exit_code)
{
    fake_platform::program failing_product;
    failing_product.exit_code = 1603;
    failing_product.polls_until_end = 1;  // still running when first looked at
    const struct {
        const char* what;
        const wchar_t* command;
        const char* attributes;
        int status;
    } cases[] = {
        {"/quiet", L"Setup.exe /quiet", "", 1603},
        {"unattended", L"Setup.exe", "install_silent=\"true\" unattended=\"true\" detailed_exit_status=\"true\"", 1603},
        {"an ordinary silent run", L"Setup.exe", "install_silent=\"true\" detailed_exit_status=\"true\"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake_platform sys;
        sys.command = c.command;
        add_program(sys, L"C:\\medium\\p.exe", failing_product);
        with_setup_xml(sys, document(component("p", "required=\"true\" primary=\"true\""), c.attributes));
        EXPECT_EQ(run::run_setup(sys, both_runs()), c.status);
    }
}

TEST(exit_status, of_the_codes_of_windows_installer_that_restart_or_wait_for_another_installation)
{
    // 1641: installed and a restart under way; nothing more is started and
    // no restart question of ours follows, in either run. 1618: a failure
    // that is worth trying again later.
    const struct {
        std::uint32_t code;
        const char* attributes;
        int status;
        std::size_t boxes;
        const char* logged;
    } cases[] = {
        {1641, "install_silent=\"true\"", 1641, 1,
         "ended with exit code 1641 (installed; its installer has started a restart of Windows)"},
        {1641, "", 1641, 1, "component \"a\": installed, its installer started a restart of Windows"},
        {1618, "install_silent=\"true\" unattended=\"true\"", 1618, 0,
         "ended with exit code 1618 (another installation is already in progress)"},
        {1618, "", 1618, 1, "message box: \"Could not install a.\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " " + c.attributes);
        fake_platform sys;
        add_program(sys, L"C:\\medium\\a.exe", exiting(c.code));
        add_program(sys, L"C:\\medium\\b.exe");
        sys.add_directory(L"C:\\medium");
        sys.answers = {box_answer::ok, box_answer::no};
        with_setup_xml(sys, document(component("a", "mustreboot=\"true\" installcompletemessage=\"A is in.\"") +
                                         component("b"),
                                     std::string("detailed_exit_status=\"true\" log_file=\"C:\\medium\\s.log\" "
                                                 "failed_exec_command_continue=\"Could not install %s.\" ") +
                                         c.attributes));
        EXPECT_EQ(run::run_setup(sys, both_runs()), c.status);
        EXPECT_EQ(sys.processes.size(), 1u);
        EXPECT_EQ(sys.messages.size(), c.boxes);  // the completion text, or the failure question
        EXPECT_EQ(sys.reboots, 0);
        EXPECT_TRUE(holds(log_lines(sys, L"C:\\medium\\s.log"), c.logged));
    }
    // Another failure beside a 1618 still calls for the later attempt.
    engine::run_record both;
    both.failed = both.another_install_running = true;
    both.restart_pending = true;
    EXPECT_EQ(engine::exit_status(both, true, true), 1618);
}

TEST(log_file, reaches_its_file_line_by_line_and_keeps_the_early_lines_until_it_opens)
{
    fake_platform sys;
    sys.add_directory(L"C:\\logs");
    engine::run_log log(sys, sys);
    log.write(L"before");
    EXPECT_EQ(sys.files.count(L"c:\\logs\\a.log"), 0u);
    log.open(L"C:\\logs\\a.log");
    EXPECT_EQ(log_lines(sys, L"C:\\logs\\a.log"), (std::vector<std::string>{"before"}));
    log.write(L"after");  // on disk at once: a run killed now leaves it
    EXPECT_EQ(log_lines(sys, L"C:\\logs\\a.log"), (std::vector<std::string>{"before", "after"}));
    // A file that refuses a line ends the log; nothing is tried again.
    sys.files[L"c:\\logs\\a.log"].readable = false;
    log.write(L"refused");
    sys.files[L"c:\\logs\\a.log"].readable = true;
    log.write(L"later");
    EXPECT_FALSE(log.wanted());
    EXPECT_EQ(log_lines(sys, L"C:\\logs\\a.log"), (std::vector<std::string>{"before", "after"}));
}

TEST(log_file, of_the_command_line_gets_its_folders_made_and_tells_a_pending_restart)
{
    const std::wstring session = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const std::wstring current = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    const std::vector<std::uint8_t> renames{'\\', 0, 'a', 0, 0, 0, 0, 0};
    const struct {
        std::wstring key;      // under HKEY_LOCAL_MACHINE; empty: no mark
        const wchar_t* value;  // nullptr: the key alone is the mark
        std::vector<std::uint8_t> data;
        const char* line;      // nullptr: no such line
    } cases[] = {
        {L"", nullptr, {}, nullptr},
        {session, L"PendingFileRenameOperations", {0, 0, 0, 0}, nullptr},  // an emptied list
        {session, L"PendingFileRenameOperations", renames, "files wait to be replaced (PendingFileRenameOperations)"},
        {current + L"WindowsUpdate\\Auto Update\\RebootRequired", nullptr, {}, "Windows Update (RebootRequired)"},
        {current + L"Component Based Servicing\\RebootPending", nullptr, {}, "component servicing (RebootPending)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.key));
        fake_platform sys;
        sys.command = L"Setup.exe /qn /log C:\\logs\\deep\\er\\setup.log";
        add_program(sys, L"C:\\medium\\a.exe");
        if (c.value != nullptr)
            sys.set_reg_value(platform::reg_root::local_machine, c.key, c.value, c.data);
        else if (!c.key.empty())
            sys.add_reg_key(platform::reg_root::local_machine, c.key);
        with_setup_xml(sys, document(component("a")));
        EXPECT_EQ(run::run_setup(sys, both_runs()), 0);
        const auto lines = log_lines(sys, L"C:\\logs\\deep\\er\\setup.log");
        EXPECT_TRUE(holds(lines, "/qn (as /quiet): a silent, unattended run"));
        EXPECT_EQ(holds(lines, "already pending"), c.line != nullptr);
        if (c.line != nullptr) {
            EXPECT_TRUE(holds(lines, std::string("a restart of Windows is already pending: ") + c.line));
        }
    }
}

TEST(log_file, tells_a_failed_download_from_a_failed_start)
{
    fake_platform sys;
    sys.add_directory(L"C:\\Users\\user\\Temp");
    sys.answers = {box_answer::yes};
    with_setup_xml(sys, document("<component type=\"cmd\" description=\"a\" command=\"#TEMPPATHa.exe\">"
                                 "<downloaddialog><downloads><download componentname=\"A\" "
                                 "sourceurl=\"http://example.invalid/a.exe\" destinationpath=\"#TEMPPATH\"/>"
                                 "</downloads></downloaddialog></component>" + component("b"),
                                 "install_silent=\"true\" log_file=\"#TEMPPATHsetup.log\""));
    run::run_setup(sys, both_runs());
    const auto lines = log_lines(sys, L"C:\\Users\\user\\Temp\\setup.log");
    EXPECT_TRUE(holds(lines, "component \"a\": download failed, not run"));
    EXPECT_TRUE(holds(lines, "component \"b\": failed to start"));
}

}  // namespace
