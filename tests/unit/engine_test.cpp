// The component step, the silent sequence, the interactive run and the
// restart helpers, on the fake system.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "engine/component_step.h"
#include "engine/format.h"
#include "engine/interactive_run.h"
#include "engine/reboot.h"
#include "engine/silent_install.h"
#include "fake_platform.h"

using platform::fake_platform;

namespace {

// A yes/no question with this icon.
bool asks(const fake_platform::message& m, platform::box_icon icon)
{
    return m.icon == icon && m.buttons == platform::box_buttons::yes_no;
}

// A notice with this icon and an OK button.
bool tells(const fake_platform::message& m, platform::box_icon icon)
{
    return m.icon == icon && m.buttons == platform::box_buttons::ok;
}

struct engine_world {
    fake_platform sys;
    config::configuration_settings settings;
    engine::run_log log{sys, sys};
    engine::run_record record;
    engine::run_context run{sys, sys, log, record};

    engine_world()
    {
        settings.failed_exec_command_continue = L"Failed %s. Continue?";
        settings.reboot_required = L"Restart now?";
        settings.installation_completed = L"All done.";
    }

    // A selected cmd component whose program behaves as given.
    components::cmd_component& add(const std::wstring& name, fake_platform::program behaviour = {})
    {
        auto c = std::make_shared<components::cmd_component>();
        c->description = name;
        c->command = L"C:\\medium\\" + name + L".exe";
        c->selected = true;
        sys.programs[L"c:\\medium\\" + platform_lower(name) + L".exe"] = behaviour;
        settings.components.push_back(c);
        return *c;
    }

    static std::wstring platform_lower(std::wstring s)
    {
        for (auto& ch : s)
            if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch - L'A' + L'a');
        return s;
    }

    std::vector<std::wstring> started() const
    {
        std::vector<std::wstring> out;
        for (const auto& p : sys.processes) out.push_back(p.file.substr(p.file.rfind(L'\\') + 1));
        return out;
    }

    static fake_platform::program exiting(std::uint32_t code)
    {
        fake_platform::program p;
        p.exit_code = code;
        return p;
    }
};

struct engine_fixture : ::testing::Test, engine_world {};

using ComponentStep = engine_fixture;

TEST_F(ComponentStep, exit_codes_zero_3010_and_1641_succeed_and_others_fail)
{
    const std::pair<std::uint32_t, engine::step_outcome> cases[] = {
        {0, engine::step_outcome::installed},
        {3010, engine::step_outcome::installed},
        {1, engine::step_outcome::exit_code_failure},
        {1603, engine::step_outcome::exit_code_failure},
        {1618, engine::step_outcome::exit_code_failure},
        {1641, engine::step_outcome::restart_started},
        {platform::still_active, engine::step_outcome::exit_code_failure},
    };
    for (const auto& [code, expected] : cases) {
        auto& c = add(L"p" + std::to_wstring(code), exiting(code));
        EXPECT_EQ(engine::run_component_step(run, c, L"", 0, engine::run_kind::silent), expected) << code;
    }
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(ComponentStep, a_program_that_cannot_start_or_gives_no_process_is_a_start_failure)
{
    fake_platform::program refused;
    refused.starts = false;
    fake_platform::program no_process;
    no_process.gives_process = false;
    auto& a = add(L"a", refused);
    auto& b = add(L"b", no_process);
    EXPECT_EQ(engine::run_component_step(run, a, L"", 0, engine::run_kind::silent), engine::step_outcome::start_failed);
    EXPECT_EQ(engine::run_component_step(run, b, L"", 0, engine::run_kind::silent), engine::step_outcome::start_failed);
}

TEST_F(ComponentStep, an_unreadable_exit_code_is_an_error)
{
    fake_platform::program p;
    p.exit_code_readable = false;
    auto& c = add(L"a", p);
    EXPECT_EQ(engine::run_component_step(run, c, L"", 0, engine::run_kind::silent), engine::step_outcome::error);
}

TEST_F(ComponentStep, the_wait_blocks_on_the_process_and_only_the_interactive_one_serves_messages)
{
    fake_platform::program slow;
    slow.polls_until_end = 1000;  // a polling wait would see it run 1000 times
    auto& a = add(L"a", slow);
    EXPECT_EQ(engine::run_component_step(run, a, L"", 0, engine::run_kind::silent), engine::step_outcome::installed);
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), L"pumping"), 0);
    auto& b = add(L"b", slow);
    EXPECT_EQ(engine::run_component_step(run, b, L"", 0, engine::run_kind::interactive),
              engine::step_outcome::installed);
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), L"pumping"), 1);
    EXPECT_TRUE(sys.sleeps.empty());
}

TEST_F(ComponentStep, a_primary_component_is_not_waited_for_in_the_silent_run)
{
    fake_platform::program slow;
    slow.polls_until_end = 1;
    auto& c = add(L"product", slow);
    c.primary = true;
    EXPECT_EQ(engine::run_component_step(run, c, L"", 0, engine::run_kind::silent), engine::step_outcome::still_running);
    auto& d = add(L"other", slow);
    d.primary = true;
    EXPECT_EQ(engine::run_component_step(run, d, L"", 0, engine::run_kind::interactive),
              engine::step_outcome::installed);
}

TEST_F(ComponentStep, completion_text_is_trimmed_and_blank_text_shows_nothing)
{
    auto& a = add(L"a");
    a.installcompletemessage = L"  \t Done with A.\r\n";
    auto& b = add(L"b");
    b.installcompletemessage = L" \t\r\n ";
    engine::run_component_step(run, a, L"", 77, engine::run_kind::interactive);
    engine::run_component_step(run, b, L"", 77, engine::run_kind::interactive);
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].text, L"Done with A.");
    EXPECT_EQ(sys.messages[0].caption, std::wstring());
    EXPECT_EQ(sys.messages[0].owner, 77u);
    EXPECT_TRUE(tells(sys.messages[0], platform::box_icon::information));
}

TEST_F(ComponentStep, mustreboot_asks_after_the_completion_text_and_restarts_only_on_yes)
{
    auto& a = add(L"a", exiting(3010));
    a.mustreboot = true;
    a.installcompletemessage = L"A is in.";
    sys.answers = {platform::box_answer::ok, platform::box_answer::no};
    EXPECT_EQ(engine::run_component_step(run, a, L"Restart now?", 0, engine::run_kind::silent),
              engine::step_outcome::restart);
    ASSERT_EQ(sys.messages.size(), 2u);
    EXPECT_EQ(sys.messages[1].text, L"Restart now?");
    EXPECT_TRUE(asks(sys.messages[1], platform::box_icon::question));
    EXPECT_EQ(sys.messages[1].caption, std::wstring());
    EXPECT_EQ(sys.reboots, 0);

    auto& b = add(L"b");
    b.mustreboot = true;
    sys.answers = {platform::box_answer::yes};
    EXPECT_EQ(engine::run_component_step(run, b, L"Restart now?", 0, engine::run_kind::silent),
              engine::step_outcome::restart);
    EXPECT_EQ(sys.reboots, 1);
}

TEST(FailureQuestionFormat, takes_one_string_and_never_reads_a_missing_argument)
{
    EXPECT_EQ(engine::format_with_one_string(L"Failed %s (%s) %d%% %n end", L"X"), L"Failed X (%s) %d% %n end");
    EXPECT_EQ(engine::format_with_one_string(L"Setup is unable to to install %s. Go on?", L"Runtime"),
              L"Setup is unable to to install Runtime. Go on?");
    EXPECT_EQ(engine::format_with_one_string(L"lone %", L"X"), L"lone %");
    EXPECT_EQ(engine::format_with_one_string(L"%%s is %s", L"X"), L"%s is X");
    EXPECT_EQ(engine::format_with_one_string(L"no conversion", L"X"), L"no conversion");
    EXPECT_EQ(engine::format_with_one_string(L"", L"X"), L"");
    EXPECT_EQ(engine::format_with_one_string(L"%s%s", L"%s"), L"%s%s");
}

using SilentSequence = engine_fixture;

TEST_F(SilentSequence, an_empty_list_or_nothing_selected_does_nothing)
{
    engine::run_silent_install(run, settings);
    auto& a = add(L"a");
    a.selected = false;
    engine::run_silent_install(run, settings);
    EXPECT_TRUE(sys.processes.empty());
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(SilentSequence, runs_the_selected_components_in_order)
{
    add(L"a");
    add(L"b").selected = false;
    add(L"c", exiting(3010));
    add(L"d");
    engine::run_silent_install(run, settings);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"a.exe", L"c.exe", L"d.exe"}));
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(SilentSequence, failure_question_yes_goes_on_and_no_ends)
{
    add(L"a", exiting(1));
    add(L"b", exiting(2));
    add(L"c");
    sys.answers = {platform::box_answer::yes, platform::box_answer::no};
    engine::run_silent_install(run, settings);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"a.exe", L"b.exe"}));
    ASSERT_EQ(sys.messages.size(), 2u);
    EXPECT_EQ(sys.messages[0].text, L"Failed a. Continue?");
    EXPECT_FALSE(sys.messages[0].caption.has_value());
    EXPECT_EQ(sys.messages[0].owner, 0u);
    EXPECT_TRUE(asks(sys.messages[0], platform::box_icon::warning));
    EXPECT_EQ(sys.messages[1].text, L"Failed b. Continue?");
}

TEST_F(SilentSequence, the_last_component_failing_is_never_asked_about)
{
    add(L"a");
    add(L"b", exiting(1));
    engine::run_silent_install(run, settings);
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(SilentSequence, a_restart_ends_the_sequence_whatever_the_answer)
{
    add(L"a").mustreboot = true;
    add(L"b");
    sys.answers = {platform::box_answer::no};
    engine::run_silent_install(run, settings);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"a.exe"}));
    EXPECT_EQ(sys.message_texts(), (std::vector<std::wstring>{L"Restart now?"}));
}

TEST_F(SilentSequence, a_primary_component_first_is_asked_about_and_last_ends_quietly)
{
    fake_platform::program running;
    running.polls_until_end = 100;
    add(L"product", running).primary = true;
    add(L"tail");
    add(L"product2", running).primary = true;
    sys.programs[L"c:\\medium\\product2.exe"] = running;
    sys.answers = {platform::box_answer::yes};
    engine::run_silent_install(run, settings);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"product.exe", L"tail.exe", L"product2.exe"}));
    EXPECT_EQ(sys.message_texts(), (std::vector<std::wstring>{L"Failed product. Continue?"}));
}

TEST_F(SilentSequence, a_failed_download_is_a_start_failure_and_the_component_does_not_run)
{
    auto& a = add(L"a");
    a.has_download_dialog = true;
    a.download_dialog.downloads.push_back({L"http://127.0.0.1/missing.exe", L"C:\\dl", L"", L"Missing", L""});
    add(L"b");
    sys.answers = {platform::box_answer::no};
    engine::run_silent_install(run, settings);
    EXPECT_TRUE(sys.processes.empty());
    EXPECT_EQ(sys.message_texts(), (std::vector<std::wstring>{L"Failed a. Continue?"}));
}

// A window that records what the run asked of it.
std::string narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// A download window that lets everything go ahead, and says where it was;
// its closing also goes into the platform's record of calls, when given, to
// be ordered against the programs started.
struct recording_view : download::progress_view {
    recording_view(std::vector<std::string>& events, std::vector<std::wstring>* calls) : events(events), calls(calls) {}
    ~recording_view() override
    {
        events.push_back("download window closed");
        if (calls != nullptr) calls->push_back(L"download window closed");
    }
    bool go_ahead() override { return true; }
    void transferring(const components::download_item&, int, int, std::uint64_t, std::uint64_t) override {}
    void pausing(const components::download_item&, int, int, int) override {}
    bool cancelled() override { return false; }
    std::vector<std::string>& events;
    std::vector<std::wstring>* calls;
};

struct recording_window : engine::install_window {
    std::vector<int> images;
    std::vector<std::string> events;
    std::vector<std::wstring>* platform_calls = nullptr;
    platform::window_handle handle() override { return 5; }
    void begin_run() override { events.push_back("begin"); }
    std::vector<int> row_state_images() override { return images; }
    void show_wait_cursor() override { events.push_back("wait cursor"); }
    void restore_cursor() override { events.push_back("restore cursor"); }
    void end_dialog() override { events.push_back("end"); }
    void show_message(const std::wstring& text) override { events.push_back("message: " + narrow(text)); }
    void show_row(std::size_t index, const engine::checklist_row& row, bool current) override
    {
        events.push_back("row " + std::to_string(index) + ": " + narrow(row.text) + (row.checked ? " [x]" : " [ ]") +
                         (row.locked ? " locked" : "") + (current ? " current" : ""));
    }
    void clear_current_row() override { events.push_back("no current row"); }
    std::unique_ptr<download::progress_view> open_download_window(const components::download_dialog_settings&,
                                                                  const std::wstring& caption) override
    {
        events.push_back("download window: " + narrow(caption));
        return std::make_unique<recording_view>(events, platform_calls);
    }
};

using InteractiveRun = engine_fixture;

TEST_F(InteractiveRun, reads_the_checks_back_and_runs_only_checked_rows)
{
    add(L"a");
    add(L"b");
    auto& product = add(L"product");
    product.required = product.primary = true;
    recording_window window;
    std::vector<engine::checklist_row> rows{{L"a", true, false, settings.components[0].get()},
                                            {L"b", true, false, settings.components[1].get()}};
    window.images = {1, 2};  // a unchecked, b checked
    engine::run_interactive_install(run, settings, rows, window);
    EXPECT_FALSE(settings.components[0]->selected);
    EXPECT_TRUE(settings.components[1]->selected);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"b.exe", L"product.exe"}));
    EXPECT_EQ(window.events, (std::vector<std::string>{"begin", "wait cursor", "restore cursor", "end"}));
    // Components are still selected: no completion text.
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(InteractiveRun, state_image_zero_counts_as_checked)
{
    add(L"a").selected = false;
    recording_window window;
    std::vector<engine::checklist_row> rows{{L"a", false, false, settings.components[0].get()}};
    window.images = {0};
    engine::run_interactive_install(run, settings, rows, window);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"a.exe"}));
}

TEST_F(InteractiveRun, an_installed_component_is_passed_over)
{
    auto& a = add(L"a");
    auto check = std::make_unique<components::installedcheck_check_file>(sys, sys);
    check->filename = L"C:\\present.dll";
    a.installed_checks.push_back(std::move(check));
    sys.add_file(L"C:\\present.dll");
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    EXPECT_TRUE(sys.processes.empty());
}

TEST_F(InteractiveRun, nothing_selected_shows_the_completion_text_and_opens_the_command)
{
    add(L"a").selected = false;
    settings.installation_completed = L"  All done.  ";
    settings.complete_command = L" C:\\medium\\readme.txt ";
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].text, L"All done.");
    EXPECT_EQ(sys.messages[0].owner, 0u);
    EXPECT_EQ(sys.messages[0].caption, std::wstring());
    EXPECT_EQ(sys.opened, (std::vector<std::wstring>{L"C:\\medium\\readme.txt"}));
    EXPECT_EQ(window.events.back(), "end");
}

TEST_F(InteractiveRun, blank_completion_text_and_command_do_nothing)
{
    settings.installation_completed = L" ";
    settings.complete_command = L"";
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_TRUE(sys.opened.empty());
}

TEST_F(InteractiveRun, failure_question_is_owned_by_the_dialog_and_asked_for_the_last_component_too)
{
    add(L"a", exiting(1));
    add(L"b", exiting(1));
    sys.answers = {platform::box_answer::yes, platform::box_answer::yes};
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    ASSERT_EQ(sys.messages.size(), 2u);
    EXPECT_EQ(sys.messages[1].text, L"Failed b. Continue?");
    EXPECT_EQ(sys.messages[1].owner, 5u);
    EXPECT_TRUE(asks(sys.messages[1], platform::box_icon::warning));
    EXPECT_FALSE(sys.messages[1].caption.has_value());
}

TEST_F(InteractiveRun, no_ends_the_run_and_the_product_failing_asks_nothing)
{
    add(L"a", exiting(1));
    add(L"b");
    sys.answers = {platform::box_answer::no};
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"a.exe"}));

    engine_world other;
    auto& product = other.add(L"product", exiting(1603));
    product.required = product.primary = true;
    other.add(L"after");
    recording_window w2;
    engine::run_interactive_install(other.run, other.settings, {}, w2);
    EXPECT_EQ(other.started(), (std::vector<std::wstring>{L"product.exe"}));
    EXPECT_TRUE(other.sys.messages.empty());
}

TEST_F(InteractiveRun, admin_required_before_windows_vista_refuses_a_user_without_rights_then_asks)
{
    auto& a = add(L"a");
    a.admin_required = L"Administrators only.";
    add(L"b");
    sys.version.major = 5;
    sys.member_of_admins = false;
    sys.answers = {platform::box_answer::ok, platform::box_answer::yes};
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"b.exe"}));
    ASSERT_EQ(sys.messages.size(), 2u);
    EXPECT_EQ(sys.messages[0].text, L"Administrators only.");
    EXPECT_EQ(sys.messages[0].caption, std::wstring(L"a"));
    EXPECT_TRUE(tells(sys.messages[0], platform::box_icon::information));
    EXPECT_EQ(sys.messages[1].text, L"Failed a. Continue?");
}

TEST_F(InteractiveRun, admin_required_from_windows_vista_on_asks_for_the_rights_at_the_components_start)
{
    const struct {
        const char* name;
        bool declines;
        std::vector<std::wstring> messages;
        std::vector<std::wstring> started;
    } cases[] = {
        {"granted", false, {}, {L"runas C:\\medium\\a.exe", L"C:\\medium\\b.exe"}},
        {"declined", true, {L"Administrators only.", L"Failed a. Continue?"}, {L"C:\\medium\\b.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine_world f;
        auto& a = f.add(L"a");
        a.admin_required = L"Administrators only.";
        f.add(L"b");
        f.sys.version.major = 6;
        f.sys.member_of_admins = false;
        f.sys.programs[L"c:\\medium\\a.exe"].declines_elevation = c.declines;
        f.sys.answers = {platform::box_answer::ok, platform::box_answer::yes};
        recording_window window;
        engine::run_interactive_install(f.run, f.settings, {}, window);
        std::vector<std::wstring> started;
        for (const auto& p : f.sys.processes)
            started.push_back((p.verb == platform::shell_verb::run_as_administrator ? L"runas " : L"") + p.file);
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(f.sys.message_texts(), c.messages);
        EXPECT_EQ(f.run.record.failed, c.declines);
    }
}

TEST_F(InteractiveRun, still_running_and_restart_end_the_run_without_a_question)
{
    fake_platform::program endless;
    endless.never_ends = true;
    add(L"a", endless);
    add(L"b");
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"a.exe"}));
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(InteractiveRun, showing_its_progress_follows_each_component_in_the_message_and_in_its_row)
{
    settings.show_progress = true;
    settings.installing_component_wait = L"Installing %s...";
    settings.status_installed = L"(in place)";
    auto& a = add(L"a");  // found installed by its check
    auto check = std::make_unique<components::installedcheck_check_file>(sys, sys);
    check->filename = L"C:\\present.dll";
    a.installed_checks.push_back(std::move(check));
    sys.add_file(L"C:\\present.dll");
    add(L"b", exiting(1));
    add(L"c", exiting(3010));
    auto& product = add(L"product");
    product.required = product.primary = true;
    add(L"d");
    std::vector<engine::checklist_row> rows;
    for (std::size_t i : {0, 1, 2, 4}) rows.push_back({settings.components[i]->description, true, false, settings.components[i].get()});
    recording_window window;
    window.images = {2, 2, 2, 1};  // d unchecked: its row stays as it is
    sys.answers = {platform::box_answer::yes};
    engine::run_interactive_install(run, settings, rows, window);
    EXPECT_EQ(window.events, (std::vector<std::string>{
                                 "begin", "wait cursor",
                                 "message: Installing a...", "row 0: a [x] current", "row 0: a (in place) [x] locked current",
                                 "message: Installing b...", "row 1: b [x] current", "row 1: b [ ] locked current",
                                 "message: Installing c...", "row 2: c [x] current", "row 2: c (in place) [x] locked current",
                                 "message: Installing product...",  // no row of its own
                                 "restore cursor", "no current row", "end"}));
    // b failed: no completion text after the run.
    EXPECT_EQ(sys.message_texts(), (std::vector<std::wstring>{L"Failed b. Continue?"}));
}

TEST_F(InteractiveRun, showing_its_progress_the_product_failing_is_told_before_the_run_ends)
{
    settings.show_progress = true;
    auto& product = add(L"Acme", exiting(1603));
    product.required = product.primary = true;
    add(L"after");
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    EXPECT_EQ(started(), std::vector<std::wstring>{L"Acme.exe"});
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].text, L"Setup could not install Acme.");
    EXPECT_EQ(sys.messages[0].owner, 5u);
    EXPECT_TRUE(tells(sys.messages[0], platform::box_icon::error));

    // Its download failing: the reason on a line of its own. An earlier
    // component's failed download lends the product's own failure no reason.
    for (bool product_downloads : {false, true}) {
        engine_world web;
        web.settings.show_progress = true;
        web.sys.add_directory(L"C:\\dl");
        auto with_download = [&](components::cmd_component& c) {
            const std::wstring url = L"http://h/" + c.description;
            c.has_download_dialog = true;
            c.download_dialog.downloads.push_back({url, L"C:\\dl", L"", c.description, L""});
            web.sys.downloads[url] = {{platform::transfer_status::completed, 404, "", 0}};
        };
        with_download(web.add(L"a"));
        auto& acme = web.add(L"Acme", exiting(1603));
        acme.required = acme.primary = true;
        if (product_downloads) with_download(acme);
        web.sys.answers = {platform::box_answer::yes};
        recording_window w2;
        engine::run_interactive_install(web.run, web.settings, {}, w2);
        EXPECT_EQ(web.sys.message_texts(),
                  (std::vector<std::wstring>{L"Failed a. Continue?",
                                             product_downloads ? L"Setup could not install Acme.\nthe server answered 404"
                                                               : L"Setup could not install Acme."}));
    }
}

TEST_F(InteractiveRun, showing_its_progress_a_run_that_went_well_ends_with_the_completion_text)
{
    // Everything handled ended installed, or was found installed: the
    // completion text and command, although components are still selected.
    for (bool all_in_place : {false, true}) {
        engine_world w;
        w.settings.show_progress = true;
        w.settings.installing_component_wait = L"";  // the message stays as it is
        w.settings.complete_command = L"C:\\medium\\readme.txt";
        auto& a = w.add(L"a");
        if (all_in_place) {
            auto check = std::make_unique<components::installedcheck_check_file>(w.sys, w.sys);
            check->filename = L"C:\\present.dll";
            a.installed_checks.push_back(std::move(check));
            w.sys.add_file(L"C:\\present.dll");
        }
        recording_window window;
        engine::run_interactive_install(w.run, w.settings, {}, window);
        EXPECT_EQ(w.sys.message_texts(), std::vector<std::wstring>{L"All done."});
        EXPECT_EQ(w.sys.opened, std::vector<std::wstring>{L"C:\\medium\\readme.txt"});
        EXPECT_EQ(std::count_if(window.events.begin(), window.events.end(),
                                [](const std::string& e) { return e.rfind("message", 0) == 0; }), 0);
    }
    // A restart question asked: no completion text, whatever the answer.
    settings.show_progress = true;
    add(L"a").mustreboot = true;
    sys.answers = {platform::box_answer::no};
    recording_window window;
    engine::run_interactive_install(run, settings, {}, window);
    EXPECT_EQ(sys.message_texts(), std::vector<std::wstring>{L"Restart now?"});
}

TEST_F(InteractiveRun, showing_its_progress_fetches_downloads_in_a_window_closed_before_the_component_starts)
{
    settings.show_progress = true;
    settings.dialog_caption = L"Setup";
    auto& a = add(L"a");
    a.has_download_dialog = true;
    a.download_dialog.downloads.push_back({L"http://example.invalid/a.exe", L"C:\\dl", L"", L"A", L""});
    sys.add_directory(L"C:\\dl");
    sys.downloads[L"http://example.invalid/a.exe"] = {{platform::transfer_status::completed, 200, "MZ", 2}};
    add(L"b");  // no downloads: no window
    recording_window window;
    window.platform_calls = &sys.calls;
    engine::run_interactive_install(run, settings, {}, window);
    const auto at = [&](const std::string& e) {
        return std::find(window.events.begin(), window.events.end(), e) - window.events.begin();
    };
    EXPECT_LT(at("download window: Setup"), at("download window closed"));
    EXPECT_EQ(std::count(window.events.begin(), window.events.end(), "download window closed"), 1);
    const auto call = [&](const std::wstring& c) {
        return std::find(sys.calls.begin(), sys.calls.end(), c) - sys.calls.begin();
    };
    const auto closed = call(L"download window closed");
    const auto a_starts = call(L"shell_execute_ex:C:\\medium\\a.exe|");
    ASSERT_LT(a_starts, static_cast<std::ptrdiff_t>(sys.calls.size()));
    EXPECT_LT(closed, a_starts);
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\a.exe"));
    EXPECT_EQ(started(), (std::vector<std::wstring>{L"a.exe", L"b.exe"}));

    // Without show_progress the interactive run fetches nothing, as before.
    engine_world plain;
    auto& p = plain.add(L"a");
    p.has_download_dialog = true;
    p.download_dialog.downloads.push_back({L"http://example.invalid/a.exe", L"C:\\dl", L"", L"A", L""});
    recording_window w2;
    engine::run_interactive_install(plain.run, plain.settings, {}, w2);
    EXPECT_TRUE(plain.sys.requests.empty());
    EXPECT_EQ(w2.events, (std::vector<std::string>{"begin", "wait cursor", "restore cursor", "end"}));
}

TEST(StartsByItself, when_nothing_listed_is_missing_or_else_when_the_setup_resumes)
{
    const std::wstring run_key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    fake_platform sys;
    EXPECT_TRUE(engine::starts_by_itself(sys, true));
    EXPECT_TRUE(sys.calls.empty());  // the Run value is not asked then
    EXPECT_FALSE(engine::starts_by_itself(sys, false));
    // A run that starts by itself is seen only when it shows its progress.
    using engine::opening;
    EXPECT_EQ(engine::how_the_dialog_opens(sys, false, true, false), opening::wait_for_continue);
    EXPECT_EQ(engine::how_the_dialog_opens(sys, true, false, false), opening::run_unseen);
    EXPECT_EQ(engine::how_the_dialog_opens(sys, true, true, false), opening::show_then_run);
    EXPECT_EQ(engine::how_the_dialog_opens(sys, false, false, true), opening::show_then_run);  // /passive
    sys.set_reg_value(platform::reg_root::local_machine, run_key, L"Yolvane Setup", {});
    EXPECT_TRUE(engine::starts_by_itself(sys, false));
    EXPECT_EQ(engine::how_the_dialog_opens(sys, false, true, false), opening::show_then_run);
}

TEST(RunValue, administrators_look_under_the_machine_and_others_under_the_user)
{
    const std::wstring run_key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    fake_platform admin;
    admin.set_reg_value(platform::reg_root::current_user, run_key, L"Yolvane Setup", {});
    EXPECT_FALSE(engine::is_run_value_present(admin));
    admin.set_reg_value(platform::reg_root::local_machine, run_key, L"Yolvane Setup", {});
    EXPECT_TRUE(engine::is_run_value_present(admin));

    fake_platform user;
    user.member_of_admins = false;
    user.set_reg_string(platform::reg_root::local_machine, run_key, L"Yolvane Setup", L"x");
    EXPECT_FALSE(engine::is_run_value_present(user));
    user.set_reg_dword(platform::reg_root::current_user, run_key, L"Yolvane Setup", 0);
    EXPECT_TRUE(engine::is_run_value_present(user));

    fake_platform other_name;
    other_name.set_reg_string(platform::reg_root::local_machine, run_key, L"Yolvane", L"x");
    EXPECT_FALSE(engine::is_run_value_present(other_name));
}

}  // namespace
