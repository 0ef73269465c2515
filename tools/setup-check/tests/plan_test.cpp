// The dry run on Setup.exe's own loader, the version codes it is set to, and
// the agreement between the checks and that loader.
#include <gtest/gtest.h>

#include "components/filters.h"
#include "helpers.h"
#include "os_codes.h"
#include "plan.h"
#include "stub_platform.h"

namespace {

using namespace check_testing;
using setup_check::make_plan;
using setup_check::plan_options;
using setup_check::plan_result;
using setup_check::to_utf8;

plan_options options_for(int language, int code)
{
    plan_options o;
    o.language = language;
    o.os_code = code;
    return o;
}

// The plan of a system that the options can stand for.
plan_result plan(const std::string& xml, const plan_options& o)
{
    const base::result<plan_result> r = make_plan(xml, o);
    EXPECT_TRUE(r) << to_utf8(r.error().text());
    return r.value();
}

plan_result plan(const std::string& xml, int language = 1033, int code = 100)
{
    return plan(xml, options_for(language, code));
}

TEST(os_codes, every_code_is_what_setup_exe_computes_for_its_system)
{
    ASSERT_EQ(setup_check::os_codes().size(), 19u);
    for (const auto& entry : setup_check::os_codes()) {
        SCOPED_TRACE(entry.name);
        setup_check::stub_platform sys;
        sys.version = entry.version;
        if (entry.hotfix_q246009)
            sys.machine_keys.insert(L"software\\microsoft\\windows nt\\currentversion\\hotfix\\q246009");
        EXPECT_EQ(components::get_os_version_code(sys, sys), entry.code);
        EXPECT_EQ(plan(document(component()), 1033, entry.code).os_code, entry.code);
    }
}

TEST(os_codes, a_code_that_no_system_has_is_refused)
{
    EXPECT_FALSE(setup_check::find_os_code(83));
    const base::result<plan_result> no_system = make_plan(document(component()), options_for(1033, 83));
    ASSERT_FALSE(no_system);
    EXPECT_EQ(to_utf8(no_system.error().text()).rfind("no Windows version has the code 83; the codes are ", 0), 0u);
    EXPECT_FALSE(make_plan(document(component()), options_for(70000, 82)));
}

TEST(plan, the_configuration_is_chosen_by_the_system_language)
{
    const std::string xml =
        "<configurations><configuration type=\"install\" lcid=\"1031\" dialog_caption=\"de\"/>"
        "<configuration type=\"install\" lcid=\"\" install_silent=\"true\"/></configurations>";
    plan_result r = plan(xml, 1031);
    ASSERT_TRUE(r.loaded);
    EXPECT_EQ(r.configuration_index, 1);
    EXPECT_FALSE(r.install_silent);
    r = plan(xml, 1033);
    ASSERT_TRUE(r.loaded);
    EXPECT_EQ(r.configuration_index, 2);
    EXPECT_TRUE(r.install_silent);
}

TEST(plan, components_refused_by_their_filters_are_left_out_with_the_reason)
{
    const std::string xml = document(
        component("description=\"XP SP2 and later\" os_filter_greater=\"80\"") +
        component("description=\"Not German\" os_filter_lcid=\"!1031\"") + component("description=\"All\""));
    plan_result r = plan(xml, 1031, 80);
    ASSERT_TRUE(r.loaded);
    ASSERT_EQ(r.components.size(), 1u);
    EXPECT_EQ(r.components[0].description, L"All");
    ASSERT_EQ(r.left_out.size(), 2u);
    EXPECT_EQ(r.left_out[0].description, L"XP SP2 and later");
    EXPECT_NE(r.left_out[0].reason.find("80"), std::string::npos) << r.left_out[0].reason;
    EXPECT_EQ(r.left_out[1].description, L"Not German");
    EXPECT_NE(r.left_out[1].reason.find("1031"), std::string::npos) << r.left_out[1].reason;

    r = plan(xml, 1033, 82);
    ASSERT_EQ(r.components.size(), 3u);
    EXPECT_TRUE(r.left_out.empty());
    // Lines map each kept component to its element.
    EXPECT_EQ(r.components[0].line, 5);
}

TEST(plan, installed_checks_see_the_files_and_keys_named_for_the_system)
{
    const std::string xml = read_file(std::string(SOURCE_DIR) + "/Bootstrap/exe/resources/default-setup.xml");
    plan_options o;
    plan_result r = plan(xml, o);
    ASSERT_TRUE(r.loaded);
    ASSERT_EQ(r.components.size(), 2u);
    EXPECT_TRUE(r.components[0].selected);
    EXPECT_TRUE(r.components[0].listed);
    EXPECT_EQ(r.components[0].target, L"D:\\Windows Installer\\WindowsXP-KB942288-v3-x86.exe");
    EXPECT_TRUE(r.components[1].selected);
    EXPECT_FALSE(r.components[1].listed);
    EXPECT_EQ(r.components[1].parameters, L"/l* C:\\TEMP\\yolvanesetup.log");

    o.files = {L"C:\\WINDOWS\\system32\\msi.dll=2.0.0.0"};
    r = plan(xml, o);
    EXPECT_FALSE(r.components[0].selected);
    o.files = {L"C:\\WINDOWS\\system32\\msi.dll=1.1.0.0"};
    r = plan(xml, o);
    EXPECT_TRUE(r.components[0].selected);

    const std::string keyed = document(component(
        "", "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\Yolvane\\Runtime\"/>"));
    o.files.clear();
    EXPECT_TRUE(plan(keyed, o).components[0].selected);
    o.keys = {L"SOFTWARE\\Yolvane\\Runtime"};
    EXPECT_FALSE(plan(keyed, o).components[0].selected);
    EXPECT_EQ(plan(keyed, o).components[0].native_view_checks, 0u);

    const std::string wide = document(component(
        "", "<installedcheck type=\"check_file\" filename=\"C:\\x\"/>"
            "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\Yolvane\\Runtime\" view=\"64\"/>"));
    EXPECT_EQ(plan(wide, o).components[0].native_view_checks, 1u);
}

TEST(plan, registry_values_named_for_the_system_are_compared_as_setup_exe_compares_them)
{
    const std::string xml = document(
        component("", "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\Acme\\Runtime\" "
                      "fieldname=\"Version\" fieldtype=\"REG_SZ\" fieldvalue=\"3.1\" comparison=\"version\"/>") +
        component("description=\"Level\"",
                  "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\Acme\\Runtime\" "
                  "fieldname=\"Level\" fieldtype=\"REG_DWORD\" fieldvalue=\"26\" comparison=\"match\"/>"));
    plan_options o;
    o.values = {L"software\\acme\\runtime|VERSION|REG_SZ|3.0.9", L"SOFTWARE\\Acme\\Runtime|Level|REG_DWORD|0x1A"};
    plan_result r = plan(xml, o);
    ASSERT_EQ(r.components.size(), 2u);
    EXPECT_TRUE(r.components[0].selected) << "3.0.9 is older than 3.1";
    EXPECT_FALSE(r.components[1].selected) << "0x1A is 26";
    o.values = {L"SOFTWARE\\Acme\\Runtime|Version|REG_SZ|3.1.0"};
    r = plan(xml, o);
    EXPECT_FALSE(r.components[0].selected);
    EXPECT_TRUE(r.components[1].selected) << "a value not named does not exist";
    for (const wchar_t* wrong : {L"SOFTWARE\\Acme|Level|REG_QWORD|1", L"SOFTWARE\\Acme|Level|REG_DWORD|4294967296",
                                 L"SOFTWARE\\Acme|Level|REG_DWORD"}) {
        o.values = {wrong};
        const base::result<plan_result> refused = make_plan(xml, o);
        ASSERT_FALSE(refused);
        EXPECT_EQ(to_utf8(refused.error().text()).rfind("--value " + to_utf8(wrong), 0), 0u);
    }
}

TEST(plan, message_boxes_shown_while_reading_are_reported)
{
    const std::string xml = document(component(
        "", "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\x.dll\" fileversion=\"1.0.0.0\" "
            "comparison=\"exists\"/>"));
    plan_options o;
    o.files = {L"C:\\WINDOWS\\system32\\x.dll=1.0.0.0"};
    const plan_result r = plan(xml, o);
    ASSERT_TRUE(r.loaded);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, L"Invalid comparison type, expected match or version.");
    EXPECT_EQ(r.boxes[0].caption, L"exists");
    EXPECT_TRUE(r.components[0].selected);
}

std::vector<int> statuses(const plan_result& r)
{
    std::vector<int> out;
    for (const auto& s : setup_check::possible_exit_statuses(r)) out.push_back(s.first);
    return out;
}

// The administrator's command line: /quiet makes any configuration's run
// silent and unattended with the deployment statuses, /norestart leaves no
// way to 1641, and the file of /log replaces log_file.
TEST(plan, the_command_line_changes_the_run_as_setup_exe_does)
{
    const std::string interactive = document(component("mustreboot=\"true\""), "log_file=\"#TEMPPATHa.log\"");
    plan_options o;
    plan_result r = plan(interactive, o);
    EXPECT_FALSE(r.install_silent);
    EXPECT_EQ(statuses(r), std::vector<int>{1});
    o.command_line.quiet = true;
    r = plan(interactive, o);
    EXPECT_TRUE(r.install_silent && r.unattended && r.detailed_exit_status);
    EXPECT_FALSE(r.configured_silent);
    EXPECT_EQ(statuses(r), (std::vector<int>{0, 1603, 3010}));
    EXPECT_EQ(r.log_file, L"C:\\TEMP\\a.log");

    const std::string detailed =
        document(component("mustreboot=\"true\""), "detailed_exit_status=\"true\" log_file=\"#TEMPPATHa.log\"");
    o.command_line = {};
    EXPECT_EQ(statuses(plan(detailed, o)), (std::vector<int>{0, 1602, 1603, 1641, 3010}));
    o.command_line.norestart = true;
    o.command_line.log_file = L"setup.log";
    r = plan(detailed, o);
    EXPECT_FALSE(r.install_silent);
    EXPECT_EQ(statuses(r), (std::vector<int>{0, 1602, 1603, 3010}));
    EXPECT_EQ(r.log_file, L"setup.log");
    EXPECT_EQ(r.configured_log_file, L"C:\\TEMP\\a.log");
}

// A user without the required rights is asked for them from Windows Vista
// on, unless nobody is there to answer.
TEST(plan, says_when_the_run_asks_for_administrator_rights)
{
    const std::string required = "dialog_admin_required=\"Admins only.\"";
    const struct {
        const char* name;
        std::string attributes;
        int code;
        bool quiet;
        bool asks;
    } cases[] = {
        {"vista", required, 100, false, true},
        {"xp", required, 82, false, false},
        {"not required", "", 100, false, false},
        {"quiet", required, 100, true, false},
        {"unattended silent", required + " install_silent=\"true\" unattended=\"true\"", 100, false, false},
        {"unattended dialog", required + " unattended=\"true\"", 100, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        plan_options o = options_for(1033, c.code);
        o.command_line.quiet = c.quiet;
        EXPECT_EQ(plan(document(component(""), c.attributes), o).asks_for_rights, c.asks);
    }
}

// An unattended run shows no box, it only logs it: under /quiet from the
// very start, else from the attributes of a configuration that asks for an
// unattended silent run on (a failure before them still shows).
TEST(plan, boxes_that_an_unattended_run_does_not_show_are_told_apart)
{
    const auto shown = [](const plan_result& r) {
        std::vector<bool> out;
        for (const auto& b : r.boxes) out.push_back(b.shown);
        return out;
    };
    const std::string faulty_check = component(
        "", "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\x.dll\" fileversion=\"1.0.0.0\" "
            "comparison=\"exists\"/>");
    plan_options o;
    o.files = {L"C:\\WINDOWS\\system32\\x.dll=1.0.0.0"};
    EXPECT_EQ(shown(plan(document(faulty_check), o)), std::vector<bool>{true});
    EXPECT_EQ(shown(plan(document(faulty_check, "install_silent=\"true\" unattended=\"true\""), o)),
              std::vector<bool>{false});
    EXPECT_EQ(shown(plan(document(faulty_check, "install_silent=\"false\" unattended=\"true\""), o)),
              std::vector<bool>{true});
    EXPECT_EQ(shown(plan("<configurations><configuration type=\"Install\" install_silent=\"true\" "
                         "unattended=\"true\"/></configurations>")),
              (std::vector<bool>{true, true}));
    EXPECT_EQ(shown(plan(document("<component type=\"MSI\"/>", "install_silent=\"true\" unattended=\"true\""))),
              (std::vector<bool>{false, false}));
    EXPECT_EQ(shown(plan("not XML")), (std::vector<bool>{true, true}));
    o.command_line.quiet = true;
    EXPECT_EQ(shown(plan("not XML", o)), (std::vector<bool>{false, false}));
    EXPECT_EQ(shown(plan(document(faulty_check), o)), std::vector<bool>{false});
}

TEST(plan, markers_are_replaced_with_the_folders_of_the_planned_system)
{
    const std::string xml = document(
        component("", "<downloaddialog><downloads><download sourceurl=\"http://example.invalid/r.exe\" "
                      "destinationpath=\"#TEMPPATHyolvane\" destinationfilename=\"r.exe\"/></downloads>"
                      "</downloaddialog>"),
        "install_silent=\"true\" complete_command=\"#WINDOWSPATH\\notepad.exe\"");
    plan_options o;
    o.app_dir = L"E:\\media";
    const plan_result r = plan(xml, o);
    ASSERT_TRUE(r.loaded);
    EXPECT_EQ(r.complete_command, L"C:\\WINDOWS\\notepad.exe");
    ASSERT_EQ(r.components.size(), 1u);
    EXPECT_EQ(r.components[0].target, L"E:\\media\\setup.exe");
    ASSERT_EQ(r.components[0].downloads.size(), 1u);
    EXPECT_EQ(r.components[0].downloads[0].destinationpath, L"C:\\TEMP\\yolvane");
}

TEST(plan, the_shown_texts_are_those_setup_exe_makes)
{
    const std::string downloads = "<downloaddialog><downloads>"
                                  "<download componentname=\"Part one\" sourceurl=\"http://example.invalid/a\"/>"
                                  "<download componentname=\"Part two\" sourceurl=\"http://example.invalid/b\"/>"
                                  "</downloads></downloaddialog>";
    const std::string xml = document(
        component("required=\"true\" required_message=\"(needed)\"", downloads) +
            component("description=\"Tools\"", "<installedcheck type=\"check_file\" filename=\"C:\\x\"/>"),
        "show_progress=\"true\" status_installed=\"(ok)\" installing_component_wait=\"100%% of %s, %s\"");
    plan_options o;
    o.files = {L"C:\\x"};
    o.has_progress = true;
    o.progress_so_far = 1500000;
    o.progress_size = 3000000;
    plan_result r = plan(xml, o);
    ASSERT_EQ(r.components.size(), 2u);
    EXPECT_EQ(r.components[0].row_text, L"Runtime (needed)");
    EXPECT_EQ(r.components[1].row_text, L"Tools (ok)");
    EXPECT_EQ(r.components[0].installing_message, L"100% of Runtime, %s");
    // Sizes count in units of 1024 bytes; the item is the first of two.
    EXPECT_EQ(r.components[0].download_progress, L"Part one (1.43MB of 2.86MB) - 1/2");
    EXPECT_EQ(r.components[1].download_progress, L"");

    // A run that does not show its progress leaves the message alone.
    o.command_line.quiet = true;
    r = plan(xml, o);
    EXPECT_EQ(r.components[0].installing_message, L"");
}

// Each of these documents has one fault that the checks report as an error
// which fails the loading; Setup.exe's loader must agree, on the system the
// plan stands for.
TEST(agreement, what_the_checks_say_fails_to_load_does_fail_in_setup_exe)
{
    const std::string good_download =
        "<download sourceurl=\"http://example.invalid/a.exe\" destinationpath=\"#TEMPPATHa\" ";
    const std::vector<std::string> faulty = {
        "<configuration",
        "<setup><configuration type=\"install\"/></setup>",
        "<configurations><schema version=\"1\"/></configurations>",
        "<configurations><configuration type=\"Install\"/></configurations>",
        "<configurations><configuration type=\"install\" lcid=\" !1033\"/></configurations>",
        document("<component type=\"MSI\" description=\"P\" package=\"p.msi\"/>"),
        document(component("", "<installedcheck type=\"Check_File\" filename=\"a\"/>")),
        document(component("os_filter_greater=\"abc\"")),
        document(component("os_filter_lcid=\"1033,xyz\"")),
        document(component("", "<downloaddialog><downloads/></downloaddialog>"), "install_silent=\"true\""),
        document(component("", "<downloaddialog/>"), "install_silent=\"true\""),
        document(component("", "<downloaddialog><downloads>" + good_download + "sha256=\"00\"/></downloads>"
                               "</downloaddialog>"), "install_silent=\"true\""),
    };
    for (const auto& xml : faulty) {
        SCOPED_TRACE(xml);
        const auto all = lint(xml);
        bool claims_failure = false;
        for (const auto& d : all)
            if (d.level == setup_check::severity::error &&
                (d.message.find("fails") != std::string::npos || d.message.find("refuses") != std::string::npos))
                claims_failure = true;
        EXPECT_TRUE(claims_failure) << describe(all);
        const plan_result r = plan(xml);
        EXPECT_FALSE(r.loaded);
        ASSERT_FALSE(r.boxes.empty());
        EXPECT_EQ(r.boxes.back().text, L"Failed to read configuration file.");
    }
}

// And these have faults that Setup.exe lives with (it reads them otherwise
// than they look): the checks report them, the loading succeeds.
TEST(agreement, faults_that_do_not_stop_the_loading_are_still_reported)
{
    const std::vector<std::string> misread = {
        document(component("mustreboot=\"yes\" required=\"\"")),
        document(component("command=\"#apppath\\setup.exe /q\"")),
        document(component("", "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\X\" "
                               "fieldtype=\"REG_SZ\" comparison=\"exists\"/>")),
        document(component(), "failed_exec_command_continue=\"no string\" install_silent=\"1\""),
    };
    for (const auto& xml : misread) {
        SCOPED_TRACE(xml);
        const auto all = lint(xml);
        EXPECT_GT(count(all, setup_check::severity::error), 0) << describe(all);
        EXPECT_TRUE(plan(xml).loaded);
    }
}

}  // namespace
