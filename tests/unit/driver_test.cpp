// The run: loading, the administrator requirement, the choice of the run
// mode, and the release of the components.
#include <gtest/gtest.h>

#include <memory>

#include "components/component.h"
#include "run/driver.h"
#include "test_helpers.h"

namespace {

using config::configuration_settings;
using platform::fake_platform;
using testing_support::document;
using testing_support::with_setup_xml;

// Records which mode ran and with what.
struct recorder {
    int interactive = 0;
    int silent = 0;
    std::wstring caption;
    std::vector<std::weak_ptr<components::component>> seen;
    std::function<void(engine::run_context&, configuration_settings&)> also;

    run::run_modes modes()
    {
        const auto note = [this](engine::run_context& run, configuration_settings& s) {
            caption = s.dialog_caption;
            for (const auto& c : s.components) seen.push_back(c);
            if (also) also(run, s);
        };
        return run::run_modes{[=](engine::run_context& run, configuration_settings& s) { ++interactive; note(run, s); },
                              [=](engine::run_context& run, configuration_settings& s) { ++silent; note(run, s); }};
    }
};

bool asked_about_administrators(const fake_platform& sys)
{
    for (const auto& call : sys.calls)
        if (call == L"check_admin_membership" || call.rfind(L"token_groups", 0) == 0) return true;
    return false;
}

TEST(run_setup, a_failed_load_shows_the_loaders_message_then_its_own_and_runs_nothing)
{
    fake_platform sys;
    with_setup_xml(sys, "not xml");
    recorder r;
    run::run_setup(sys, r.modes());
    EXPECT_EQ(sys.message_texts(), (std::vector<std::wstring>{L"Invalid configuration file, failed to parse XML elements.",
                                                               L"Failed to read configuration file."}));
    for (const auto& m : sys.messages) EXPECT_TRUE(testing_support::is_error_box(m));
    EXPECT_EQ(r.interactive + r.silent, 0);
}

TEST(run_setup, an_empty_admin_requirement_never_asks_the_administrator_test)
{
    fake_platform sys;
    sys.member_of_admins = false;
    with_setup_xml(sys, document("<component type=\"cmd\"/>", "dialog_admin_required=\"\""));
    recorder r;
    run::run_setup(sys, r.modes());
    EXPECT_FALSE(asked_about_administrators(sys));
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_EQ(r.interactive, 1);
}

TEST(run_setup, a_user_without_the_required_rights_sees_exactly_that_text_and_nothing_runs)
{
    for (bool admin : {false, true}) {
        SCOPED_TRACE(admin ? "administrator" : "not administrator");
        fake_platform sys;
        sys.member_of_admins = admin;
        with_setup_xml(sys, document("<component type=\"cmd\"/>",
                                     "dialog_admin_required=\"Run #APPPATH\\Setup.exe as administrator.\""));
        recorder r;
        run::run_setup(sys, r.modes());
        EXPECT_TRUE(asked_about_administrators(sys));
        EXPECT_EQ(r.interactive, admin ? 1 : 0);
        EXPECT_EQ(r.silent, 0);
        if (admin) {
            EXPECT_TRUE(sys.messages.empty());
            continue;
        }
        ASSERT_EQ(sys.messages.size(), 1u);
        EXPECT_EQ(sys.messages[0].text, L"Run C:\\medium\\Setup.exe as administrator.");
        EXPECT_TRUE(testing_support::is_error_box(sys.messages[0]));
    }
}

TEST(run_setup, install_silent_chooses_the_silent_run_and_otherwise_the_dialog)
{
    const struct {
        const char* value;
        int interactive;
        int silent;
    } cases[] = {{"True", 0, 1}, {"false", 1, 0}, {"yes", 1, 0}, {nullptr, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "absent");
        fake_platform sys;
        with_setup_xml(sys, document("", std::string("dialog_caption=\"caption\"") +
                                             (c.value ? std::string(" install_silent=\"") + c.value + "\"" : "")));
        recorder r;
        run::run_setup(sys, r.modes());
        EXPECT_EQ(r.interactive, c.interactive);
        EXPECT_EQ(r.silent, c.silent);
        EXPECT_EQ(r.caption, L"caption");
    }
}

TEST(run_setup, the_mode_shares_the_components_and_they_are_released_once_at_the_end)
{
    for (const char* silent : {"false", "true"}) {
        SCOPED_TRACE(silent);
        fake_platform sys;
        testing_support::add_program(sys, L"C:\\medium\\a.exe");
        with_setup_xml(sys, document("<component type=\"cmd\" command=\"#APPPATH\\a.exe\"/>"
                                     "<component type=\"openfile\" file=\"x.txt\"/>",
                                     std::string("install_silent=\"") + silent + "\""));
        recorder r;
        r.also = [&](engine::run_context&, configuration_settings& s) {
            ASSERT_EQ(s.components.size(), 2u);
            ASSERT_TRUE(s.components[0]->exec(sys, sys));
        };
        run::run_setup(sys, r.modes());
        ASSERT_EQ(r.seen.size(), 2u);
        for (const auto& w : r.seen) EXPECT_TRUE(w.expired());
        ASSERT_EQ(sys.processes.size(), 1u);
        EXPECT_TRUE(sys.processes[0].closed);
    }
}

}  // namespace
