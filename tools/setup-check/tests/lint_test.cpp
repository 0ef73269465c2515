// The checks of a configuration: what each one reports, where, and how
// severely.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "dialog_room.h"
#include "helpers.h"
#include "text_room.h"

namespace {

using namespace check_testing;
using setup_check::diagnostic;
using setup_check::severity;

struct value_case {
    std::string value;
    const char* rule;  // nullptr: nothing is reported
    severity level;
};

// Lints the component with `attribute`="value" (or the configuration, when
// `on_configuration`), and expects exactly the diagnostics of the case among
// those of the attribute's rule family.
void expect_value_cases(const std::string& attribute, const std::vector<value_case>& cases,
                        const std::string& family, bool on_configuration = false)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(attribute + "=\"" + c.value + "\"");
        const std::string attr = attribute + "=\"" + c.value + "\"";
        const std::string xml =
            on_configuration
                ? document(component(), attr + " failed_exec_command_continue=\"Continue without %s?\"")
                : document(component(attr));
        const auto all = lint(xml);
        const auto found = with_rule(all, c.rule ? c.rule : family);
        if (c.rule == nullptr) {
            EXPECT_TRUE(found.empty()) << describe(all);
        } else {
            ASSERT_EQ(found.size(), 1u) << describe(all);
            EXPECT_EQ(found[0].level, c.level) << describe(all);
        }
    }
}

TEST(lint, a_sound_configuration_has_no_diagnostics)
{
    const auto all = lint(document(
        component("required=\"true\" os_filter_greater=\"45\" os_filter_lcid=\"1033,1031\"",
                  "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\Yolvane\\Runtime\" "
                  "fieldname=\"Version\" fieldtype=\"REG_SZ\" fieldvalue=\"1.2\" comparison=\"version\"/>") +
        "<component type=\"msi\" description=\"Product\" package=\"#APPPATH\\product.msi\" "
        "cmdparameters=\"/l*v #TEMPPATHproduct.log\" required=\"True\" primary=\"TRUE\"/>"));
    EXPECT_TRUE(all.empty()) << describe(all);
}

TEST(lint, the_stored_default_configuration_is_clean_but_for_the_length_of_two_texts)
{
    // Its message takes six lines of the five shown, and its one row with
    // the installed status is cut: texts that configurations rely on, kept.
    const auto all = lint(read_file(std::string(SOURCE_DIR) + "/Bootstrap/exe/resources/default-setup.xml"));
    EXPECT_EQ(all.size(), 2u) << describe(all);
    EXPECT_EQ(with_rule(all, "text-room").size(), all.size()) << describe(all);
}

TEST(lint, a_document_that_is_not_well_formed_is_reported_where_the_parser_stopped)
{
    const auto all = lint("<configurations>\n  <configuration type=\"install\">\n  </configuratio>\n</configurations>");
    ASSERT_EQ(all.size(), 1u) << describe(all);
    EXPECT_EQ(all[0].rule, "xml");
    EXPECT_EQ(all[0].level, severity::error);
    EXPECT_EQ(all[0].line, 3);
    EXPECT_NE(all[0].message.find("failed to parse XML elements"), std::string::npos);
}

TEST(lint, a_document_nested_beyond_the_limit_is_refused_like_setup_exe_does)
{
    std::string deep = "<configurations>";
    for (int i = 0; i < 300; ++i) deep += "<a>";
    for (int i = 0; i < 300; ++i) deep += "</a>";
    deep += "</configurations>";
    const auto all = lint(deep);
    ASSERT_EQ(all.size(), 1u) << describe(all);
    EXPECT_EQ(all[0].rule, "xml");
}

TEST(lint, a_double_hyphen_in_a_comment_is_reported_because_other_tools_refuse_it)
{
    auto all = lint("<configurations><!-- run setup-check --medium --><configuration type=\"install\"/>"
                    "</configurations>");
    ASSERT_EQ(with_rule(all, "xml").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "xml")[0].level, severity::warning);
    EXPECT_EQ(with_rule(all, "xml")[0].column, 17);
    all = lint("<configurations><!-- one - two --><configuration type=\"install\"/></configurations>");
    EXPECT_TRUE(with_rule(all, "xml").empty()) << describe(all);
}

TEST(lint, the_root_must_be_configurations_in_that_letter_case)
{
    auto all = lint("<Configurations><configuration type=\"install\"/></Configurations>");
    ASSERT_EQ(all.size(), 1u) << describe(all);
    EXPECT_EQ(all[0].rule, "keyword-case");
    all = lint("<setup><configuration type=\"install\"/></setup>");
    ASSERT_EQ(all.size(), 1u) << describe(all);
    EXPECT_EQ(all[0].rule, "root");
    all = lint("<configurations><schema version=\"1\"/></configurations>");
    ASSERT_EQ(with_rule(all, "configuration").size(), 1u) << describe(all);
}

TEST(lint, a_component_type_in_the_wrong_letter_case_is_an_error_at_the_type_attribute)
{
    for (const std::string type : {"MSI", "Cmd", "OPENFILE"}) {
        SCOPED_TRACE(type);
        const auto all = lint(document("<component type=\"" + type + "\" description=\"x\"/>"));
        const auto found = with_rule(all, "keyword-case");
        ASSERT_EQ(found.size(), 1u) << describe(all);
        EXPECT_EQ(found[0].level, severity::error);
        // Line 5 holds the component; its type attribute starts at column 12.
        EXPECT_EQ(found[0].line, 5);
        EXPECT_EQ(found[0].column, 12);
        EXPECT_NE(found[0].message.find("component type not supported"), std::string::npos);
    }
    const auto all = lint(document("<component type=\"exe\" description=\"x\"/>"));
    EXPECT_EQ(with_rule(all, "component-type").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(lint(document("<component description=\"x\"/>")), "component-type").size(), 1u);
}

TEST(lint, installed_check_and_configuration_types_are_keywords_too)
{
    auto all = lint(document(component("", "<installedcheck type=\"Check_File\" filename=\"a\"/>")));
    EXPECT_EQ(with_rule(all, "keyword-case").size(), 1u) << describe(all);
    all = lint(document(component("", "<installedcheck type=\"check_registry\" path=\"SOFTWARE\\X\"/>")));
    EXPECT_EQ(with_rule(all, "check-type").size(), 1u) << describe(all);

    all = lint("<configurations><configuration type=\"Install\"/></configurations>");
    EXPECT_EQ(with_rule(all, "keyword-case").size(), 1u) << describe(all);
    all = lint("<configurations><configuration type=\"uninstall\"/></configurations>");
    EXPECT_EQ(with_rule(all, "configuration-type").size(), 1u) << describe(all);
    all = lint("<configurations><configuration/></configurations>");
    EXPECT_EQ(with_rule(all, "configuration-type").size(), 1u) << describe(all);
}

TEST(lint, boolean_words_that_read_otherwise_than_they_look)
{
    const std::vector<value_case> plain = {
        {"true", nullptr, severity::error},       {"TRUE", nullptr, severity::error},
        {"False", nullptr, severity::error},      {"yes", "boolean", severity::error},
        {"1", "boolean", severity::error},        {"on", "boolean", severity::error},
        {" true", "boolean", severity::error},    {"maybe", "boolean", severity::error},
        {"no", "boolean", severity::warning},     {"0", "boolean", severity::warning},
        {"", "boolean", severity::warning}};
    expect_value_cases("mustreboot", plain, "boolean");
    expect_value_cases("install_silent", plain, "boolean", true);
    expect_value_cases("show_progress", plain, "boolean", true);

    const std::vector<value_case> presence = {
        {"true", nullptr, severity::error},   {"False", nullptr, severity::error}, {"", "boolean", severity::error},
        {"no", "boolean", severity::error},   {"0", "boolean", severity::error},   {"off", "boolean", severity::error},
        {"yes", "boolean", severity::warning}, {"1", "boolean", severity::warning}};
    expect_value_cases("required", presence, "boolean");
    expect_value_cases("primary", presence, "boolean");
}

TEST(lint, filter_bounds_must_read_as_numbers)
{
    const std::vector<value_case> bounds = {
        {"45", nullptr, severity::error},          {" 45 ", nullptr, severity::error},
        {"   ", nullptr, severity::error},         {"", nullptr, severity::error},
        {"+50", nullptr, severity::error},          {"45abc", "os-filter", severity::warning},
        {"abc", "os-filter", severity::error},     {"x45", "os-filter", severity::error}};
    expect_value_cases("os_filter_greater", bounds, "os-filter");
    expect_value_cases("os_filter_smaller", bounds, "os-filter");
}

TEST(lint, bounds_that_leave_no_version_code_between_them_are_reported)
{
    auto all = lint(document(component("os_filter_greater=\"82\" os_filter_smaller=\"90\"")));
    EXPECT_EQ(with_rule(all, "os-filter").size(), 1u) << describe(all);
    all = lint(document(component("os_filter_greater=\"80\" os_filter_smaller=\"90\"")));
    EXPECT_TRUE(with_rule(all, "os-filter").empty()) << describe(all);
}

TEST(lint, language_lists_are_numbers_each_optionally_negated)
{
    const std::vector<value_case> lists = {
        {"1033", nullptr, severity::error},          {"!1033,!1031", nullptr, severity::error},
        {",1033,", nullptr, severity::error},        {" 1033", nullptr, severity::error},
        {"1033,xyz", "language-list", severity::error}, {" !1033", "language-list", severity::error},
        {"!", "language-list", severity::error},     {" ", "language-list", severity::error},
        {"1033x", "language-list", severity::warning}, {"99999", "language-list", severity::warning},
        {",,,", "language-list", severity::warning}};
    expect_value_cases("os_filter_lcid", lists, "language-list");
    expect_value_cases("lcid", lists, "language-list", true);
}

TEST(lint, markers_in_the_wrong_letter_case_or_misspelled_stay_as_written)
{
    const std::vector<value_case> commands = {
        {"#APPPATH\\setup.exe", nullptr, severity::error},
        {"#apppath\\setup.exe", "marker", severity::error},
        {"#AppPath\\setup.exe", "marker", severity::error},
        {"#APPATH\\setup.exe", "marker", severity::error},
        {"#WINDIR\\setup.exe", "marker", severity::error},
        {"#SYSTEMDIR\\setup.exe", "marker", severity::error},
        {"#APPPATHsetup.exe", "marker", severity::warning},
        {"#TEMPPATH\\setup.exe", "marker", severity::warning},
        {"#TEMPPATHsetup.exe", nullptr, severity::error},
        {"C:\\#1\\setup.exe", nullptr, severity::error}};
    expect_value_cases("command", commands, "marker");
}

TEST(lint, markers_outside_the_expanded_attributes_are_reported_as_not_replaced)
{
    auto all = lint(document(component("installcompletemessage=\"Logs are in #TEMPPATH\"")));
    auto found = with_rule(all, "marker");
    ASSERT_EQ(found.size(), 1u) << describe(all);
    EXPECT_EQ(found[0].level, severity::warning);
    all = lint(document(component(
        "", "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\#WINDOWSPATH\"/>")));
    EXPECT_EQ(with_rule(all, "ignored").size() + with_rule(all, "marker").size(), 0u)
        << "a registry path is not a place where markers are looked for: " << describe(all);
    // A fragment of an address is no misspelled marker.
    all = lint(document(component(
        "", "<downloaddialog><downloads><download sourceurl=\"http://example.invalid/a.exe#windows\" "
            "destinationpath=\"#TEMPPATHx\"/></downloads></downloaddialog>"), "install_silent=\"true\""));
    EXPECT_TRUE(with_rule(all, "marker").empty()) << describe(all);
}

TEST(lint, a_program_with_arguments_never_starts)
{
    const std::vector<value_case> commands = {
        {"#APPPATH\\setup.exe", nullptr, severity::error},
        {"#APPPATH\\Tools - Extra\\setup.exe", nullptr, severity::error},
        {"#APPPATH\\setup.exe /q", "arguments", severity::error},
        {"#APPPATH\\SETUP.EXE   -silent", "arguments", severity::error},
        {"#APPPATH\\setup /quiet", "arguments", severity::error},
        {"&quot;#APPPATH\\setup.exe&quot;", "arguments", severity::error},
        {"#APPPATH\\setup.exe ", "arguments", severity::warning}};
    expect_value_cases("command", commands, "arguments");

    auto all = lint(document("<component type=\"msi\" description=\"P\" package=\"#APPPATH\\p.msi /qn\"/>"));
    EXPECT_EQ(with_rule(all, "arguments").size(), 1u) << describe(all);
    all = lint(document(component(), "failed_exec_command_continue=\"%s?\" complete_command=\"notepad.exe readme.txt\""));
    EXPECT_EQ(with_rule(all, "arguments").size(), 1u) << describe(all);
}

TEST(lint, environment_variables_are_never_expanded)
{
    const std::vector<value_case> parameters = {
        {"/l*v &quot;%TEMP%\\acme.log&quot;", "environment", severity::warning},
        {"INSTALLDIR=&quot;%ProgramFiles(x86)%\\Acme&quot;", "environment", severity::warning},
        {"/l*v #TEMPPATHacme.log PERCENT=100%", nullptr, severity::warning},
        {"RATIO=5%%", nullptr, severity::warning}};
    for (const auto& c : parameters) {
        SCOPED_TRACE(c.value);
        const auto all = lint(document("<component type=\"msi\" description=\"P\" package=\"#APPPATH\\p.msi\" "
                                       "cmdparameters=\"" + c.value + "\"/>"));
        EXPECT_EQ(with_rule(all, "environment").size(), c.rule ? 1u : 0u) << describe(all);
    }
    // In an address a percent sign escapes a byte.
    const auto all = lint(document(component(
        "", "<downloaddialog><downloads><download sourceurl=\"http://example.invalid/%E2%80%93/a.exe\" "
            "destinationpath=\"#TEMPPATH\" destinationfilename=\"setup.exe\"/></downloads></downloaddialog>"),
        "install_silent=\"true\" failed_exec_command_continue=\"%s?\""));
    EXPECT_TRUE(with_rule(all, "environment").empty()) << describe(all);
}

TEST(lint, a_component_type_that_is_not_understood_hides_no_other_problem)
{
    const auto all = lint(document(
        "<component type=\"Cmnd\" description=\"W\" command=\"#apppath\\r.exe\">"
        "<installedcheck type=\"check-file\" filename=\"#systempath\\x.dll\"/></component>"));
    EXPECT_EQ(with_rule(all, "component-type").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "check-type").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "marker").size(), 2u) << describe(all);
}

TEST(lint, texts_that_their_controls_cannot_hold_in_the_dialog_font)
{
    const std::string five_lines = "Setup will install Acme Widget 2.5 and the components it needs on this computer. "
                                   "Choose the components below, then press Install to begin.";
    const std::string six_lines = five_lines + " Make sure that no other program is running meanwhile, please.";
    const auto room = [](const std::string& attributes, const std::string& components) {
        return with_rule(lint(document(components, "failed_exec_command_continue=\"%s?\" " + attributes)),
                         "text-room");
    };
    EXPECT_TRUE(room("dialog_message=\"" + five_lines + "\" install_caption=\"&amp;Installieren\"", component())
                    .empty());
    EXPECT_EQ(room("dialog_message=\"" + six_lines + "\"", component()).size(), 1u);
    EXPECT_EQ(room("dialog_message=\"One&#10;two&#10;three&#10;four&#10;five&#10;six\"", component()).size(), 1u);
    EXPECT_EQ(room("cancel_caption=\"Installation abbrechen\"", component()).size(), 1u);
    // A row: its description, and with the installed status after it when a
    // check can find the component installed; the product has no row.
    const std::string long_name = "description=\"Acme Runtime Redistributable 3.1 (x86)\"";
    EXPECT_TRUE(room("status_installed=\"[Installed]\"", component(long_name)).empty());
    const std::string checked = component(long_name, "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\a.dll\"/>");
    EXPECT_EQ(room("status_installed=\"[Installed]\"", checked).size(), 1u);
    EXPECT_EQ(room("", component(long_name + " required=\"true\" required_message=\"(needed)\"")).size(), 1u);
    EXPECT_EQ(room("", component("description=\"Acme Runtime Redistributable Pack 3.1 (x86)\"")).size(), 1u);
    EXPECT_TRUE(room("", component("required=\"true\" primary=\"true\" description=\"" + six_lines + "\"")).empty());
    // A silent run shows no dialog.
    EXPECT_TRUE(room("install_silent=\"true\" dialog_message=\"" + six_lines + "\"", component()).empty());
}

TEST(lint, a_caption_exactly_as_wide_as_its_button_fits)
{
    ASSERT_EQ(setup_check::text_width(L"Setup Beenden", true), setup_check::button_text_room());
    const std::string attributes = "failed_exec_command_continue=\"%s?\" cancel_caption=";
    auto all = lint(document(component(), attributes + "\"Setup Beenden\""));
    EXPECT_TRUE(with_rule(all, "text-room").empty()) << describe(all);
    // A hyphen is one pixel wider than a blank.
    all = lint(document(component(), attributes + "\"Setup-Beenden\""));
    EXPECT_EQ(with_rule(all, "text-room").size(), 1u) << describe(all);
}

// The download element of a component whose downloaddialog has `attributes`.
std::string downloading(const std::string& attributes)
{
    return component("command=\"#TEMPPATHa\\a.exe\"",
                     "<downloaddialog " + attributes + "><downloads><download sourceurl=\"http://example.invalid/a.exe\" "
                     "destinationpath=\"#TEMPPATHa\" destinationfilename=\"a.exe\"/></downloads></downloaddialog>");
}

TEST(lint, the_texts_of_a_run_that_shows_its_progress_in_their_controls)
{
    const std::string progress = "show_progress=\"true\" failed_exec_command_continue=\"%s?\" ";
    const auto lint_shown = [&](const std::string& attributes, const std::string& components) {
        return lint(document(components, progress + attributes));
    };
    // The message while a component is handled, with the description that
    // takes the most room, the product's too.
    const std::string wait = "installing_component_wait=\"Please wait while Setup installs %s. This can take a few "
                             "minutes; do not switch the computer off meanwhile.\" ";
    const std::string product = "required=\"true\" primary=\"true\" description=\"Yolvane Runtime Redistributable "
                                "Pack 3.1 for x86 systems\"";
    auto all = lint_shown(wait, component());
    EXPECT_TRUE(with_rule(all, "text-room").empty()) << describe(all);
    all = lint_shown(wait, component() + component(product));
    ASSERT_EQ(with_rule(all, "text-room").size(), 1u) << describe(all);
    EXPECT_NE(with_rule(all, "text-room")[0].message.find("Pack 3.1 for x86"), std::string::npos) << describe(all);
    EXPECT_TRUE(with_rule(lint(document(component() + component(product), wait)), "text-room").empty());
    all = lint_shown("installing_component_wait=\"%s, %s\"", component());
    EXPECT_EQ(with_rule(all, "format").size(), 1u) << describe(all);
    // Every row that the run installs reads with status_installed, checks or not.
    all = lint_shown("status_installed=\"[Installed]\"",
                     component("description=\"Acme Runtime Redistributable 3.1 (x86)\""));
    EXPECT_EQ(with_rule(all, "text-room").size(), 1u) << describe(all);

    // The download window: its text box is wider than the message and
    // three lines high; its buttons narrower than the dialog's.
    const std::string three = "Setup is downloading the Yolvane Runtime from the Yolvane download server. Depending "
                              "on the speed of your connection to the internet this can take several minutes; "
                              "please keep this window open.";
    all = lint_shown("", downloading("dialog_message=\"" + three + "\" dialog_message_downloading=\"" + three +
                                     " Thank you for waiting.\""));
    ASSERT_EQ(with_rule(all, "text-room").size(), 1u) << describe(all);
    EXPECT_NE(with_rule(all, "text-room")[0].message.find("dialog_message_downloading takes 4 lines"),
              std::string::npos) << describe(all);
    ASSERT_GT(setup_check::text_width(L"Herunterladen", true), setup_check::download_button_text_room());
    ASSERT_LE(setup_check::text_width(L"Herunterladen", true), setup_check::button_text_room());
    all = lint_shown("", downloading("buttonstart_caption=\"Herunterladen\" buttoncancel_caption=\"Herunterladen\""));
    EXPECT_EQ(with_rule(all, "text-room").size(), 1u) << describe(all);  // Start does not show
    all = lint_shown("", downloading("autostartdownload=\"false\" buttonstart_caption=\"Herunterladen\""));
    EXPECT_EQ(with_rule(all, "text-room").size(), 1u) << describe(all);
    // An empty caption shows "Start" or "Cancel"; a missing one is meant to.
    all = lint_shown("", downloading("buttoncancel_caption=\"\" buttonstart_caption=\"\""));
    ASSERT_EQ(with_rule(all, "download-window").size(), 1u) << describe(all);
    EXPECT_NE(with_rule(all, "download-window")[0].message.find("reads \"Cancel\""), std::string::npos);
    all = lint_shown("", downloading("autostartdownload=\"FALSE\" buttonstart_caption=\"\""));
    EXPECT_EQ(with_rule(all, "download-window").size(), 1u) << describe(all);
    EXPECT_TRUE(with_rule(lint_shown("", downloading("")), "download-window").empty());
    // Without show_progress the window never shows.
    all = lint(document(downloading("buttoncancel_caption=\"\" dialog_message_downloading=\"" + three + " " + three +
                                    "\""), "install_silent=\"true\" failed_exec_command_continue=\"%s?\""));
    EXPECT_TRUE(with_rule(all, "text-room").empty() && with_rule(all, "download-window").empty()) << describe(all);

    // autostartdownload is true unless it says "false".
    for (const auto& [value, level] : std::vector<std::pair<std::string, severity>>{
             {"no", severity::error}, {"yes", severity::warning}, {"", severity::warning}}) {
        all = lint_shown("", downloading("autostartdownload=\"" + value + "\""));
        ASSERT_EQ(with_rule(all, "boolean").size(), 1u) << value << "\n" << describe(all);
        EXPECT_EQ(with_rule(all, "boolean")[0].level, level) << describe(all);
    }
}

TEST(lint, the_formats_and_captions_of_a_run_that_shows_its_progress)
{
    const std::string progress = "show_progress=\"true\" failed_exec_command_continue=\"%s?\" ";
    // Texts written right, in German: nothing to report.
    auto all = lint(document(downloading("progress_text=\"%1: %2 von %3 (%4/%5)\" progress_text_no_size=\"%1: %2\" "
                                         "retry_text=\"%1: Versuch %2 von %3\""),
                             progress + "install_wait_caption=\"Bitte warten\" installation_failed=\"%s fehlt.\""));
    EXPECT_TRUE(all.empty()) << describe(all);
    // A field number that names no field is an error, any other stray "%" a
    // warning; the one-string format as installing_component_wait's.
    all = lint(document(downloading("progress_text=\"%1 %6\" retry_text=\"%1 100%\""),
                        progress + "installation_failed=\"%s, %s %d\""));
    const auto formats = with_rule(all, "format");
    ASSERT_EQ(formats.size(), 4u) << describe(all);
    EXPECT_EQ(std::count_if(formats.begin(), formats.end(), [](const auto& d) { return d.level == severity::error; }),
              1);
    EXPECT_NE(describe(all).find("\"%6\" in progress_text names no field"), std::string::npos) << describe(all);
    // The disabled Continue's caption in every interactive run; the status
    // line with the widest sizes and the longest componentname.
    all = lint(document(component(), "failed_exec_command_continue=\"%s?\" install_wait_caption=\"Bitte warten Sie\""));
    EXPECT_EQ(with_rule(all, "text-room").size(), 1u) << describe(all);
    const std::string long_name =
        "<download componentname=\"Yolvane Runtime Redistributable Pack 3.1 for x86 systems\" "
        "sourceurl=\"http://example.invalid/b.exe\" destinationpath=\"#TEMPPATHa\"/>";
    std::string two = downloading("retry_text=\"%1\"");
    two.insert(two.find("</downloads>"), long_name);
    all = lint(document(two, progress));
    ASSERT_EQ(with_rule(all, "text-room").size(), 2u) << describe(all);  // the transfer's two texts, not the short retry
    EXPECT_NE(with_rule(all, "text-room")[0].message.find("x86 systems (1024.00MB of 1024.00MB) - 2/2"),
              std::string::npos) << describe(all);
}

TEST(lint, the_download_windows_room_follows_from_its_template)
{
    // The CONTROL statements of a template in setup.rc, each as its
    // comma-separated fields (text, id, class, style, x, y, width, height).
    const std::string rc = read_file(std::string(SOURCE_DIR) + "/Bootstrap/exe/resources/setup.rc");
    const auto controls = [&](const std::string& dialog) {
        std::map<std::string, std::vector<std::string>> found;
        std::size_t at = rc.find("\n" + dialog + " DIALOGEX");
        const std::size_t end = rc.find("\nEND", at);
        std::string statement;
        const auto keep = [&] {
            std::vector<std::string> fields;
            std::stringstream in(statement);
            for (std::string f; std::getline(in, f, ',');) {
                const std::size_t first = f.find_first_not_of(" \n");
                fields.push_back(first == std::string::npos ? "" : f.substr(first, f.find_last_not_of(" \n") + 1 - first));
            }
            if (fields.size() >= 8) found[fields[1]] = fields;
            statement.clear();
        };
        while (at != std::string::npos && at < end) {
            const std::size_t next = rc.find('\n', at + 1);
            const std::string line = rc.substr(at + 1, next - at - 1);
            if (line.find("CONTROL ") != std::string::npos) keep();
            if (line.find("CONTROL ") != std::string::npos || !statement.empty()) statement += line + "\n";
            at = next;
        }
        keep();
        return found;
    };
    // MapDialogRect: x and widths in quarters, y and heights in eighths of
    // the base units, rounded.
    const auto pixels = [](const std::string& units, int base, int parts) {
        return (std::stoi(units) * base * 2 + parts) / (2 * parts);
    };
    namespace room = setup_check::dialog_room;
    auto c = controls("IDD_INSTALLER");
    ASSERT_EQ(c.count("IDC_MESSAGE"), 1u) << rc;
    EXPECT_EQ(pixels(c["IDC_MESSAGE"][6], room::base_unit_x, 4), room::message_width);
    EXPECT_EQ(pixels(c["IDC_MESSAGE"][7], room::base_unit_y, 8), room::message_height);
    EXPECT_EQ(pixels(c["IDOK"][6], room::base_unit_x, 4), room::button_width);
    c = controls("IDD_DOWNLOAD");
    ASSERT_EQ(c.count("IDC_DOWNLOAD_MESSAGE"), 1u) << rc;
    EXPECT_EQ(pixels(c["IDC_DOWNLOAD_MESSAGE"][6], room::base_unit_x, 4), room::download_message_width);
    EXPECT_EQ(pixels(c["IDC_DOWNLOAD_MESSAGE"][7], room::base_unit_y, 8), room::download_message_height);
    ASSERT_EQ(c.count("IDC_DOWNLOAD_STATUS"), 1u) << rc;
    EXPECT_EQ(pixels(c["IDC_DOWNLOAD_STATUS"][6], room::base_unit_x, 4), room::download_status_width);
    for (const char* button : {"IDOK", "IDCANCEL"}) {
        ASSERT_EQ(c.count(button), 1u) << rc;
        EXPECT_EQ(pixels(c[button][6], room::base_unit_x, 4), room::download_button_width) << button;
    }
}

TEST(lint, a_kind_without_its_target_is_reported)
{
    EXPECT_EQ(with_rule(lint(document("<component type=\"cmd\" description=\"x\"/>")), "missing-attribute").size(), 1u);
    EXPECT_EQ(with_rule(lint(document("<component type=\"msi\" description=\"x\"/>")), "missing-attribute").size(), 1u);
    EXPECT_EQ(with_rule(lint(document("<component type=\"openfile\" description=\"x\"/>")), "missing-attribute").size(),
              1u);
    const auto all = lint(document("<component type=\"cmd\" description=\"x\" command=\"a.exe\" package=\"b.msi\"/>"));
    EXPECT_EQ(with_rule(all, "ignored").size(), 1u) << describe(all);
}

std::vector<diagnostic> lint_check(const std::string& check)
{
    return lint(document(component("", check)));
}

TEST(lint, check_file_comparisons)
{
    const std::string head = "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\msi.dll\" ";
    auto all = lint_check(head + "fileversion=\"2.0.0.0\" comparison=\"version\"/>");
    EXPECT_TRUE(all.empty()) << describe(all);
    all = lint_check(head + "fileversion=\"2.0.0.0\" comparison=\"exists\"/>");
    EXPECT_EQ(with_rule(all, "comparison").size(), 1u) << describe(all);
    all = lint_check(head + "fileversion=\"2.0.0.0\" comparison=\"Version\"/>");
    EXPECT_EQ(with_rule(all, "keyword-case").size(), 1u) << describe(all);
    all = lint_check(head + "fileversion=\"2.0.0.0\"/>");
    EXPECT_EQ(with_rule(all, "comparison").size(), 1u) << describe(all);
    all = lint_check(head + "comparison=\"version\"/>");
    ASSERT_EQ(with_rule(all, "comparison").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "comparison")[0].level, severity::warning);
    all = lint_check(head + "fileversion=\"2.0\" comparison=\"match\"/>");
    EXPECT_EQ(with_rule(all, "file-version").size(), 1u) << describe(all);
    all = lint_check(head + "fileversion=\"2.00.0.0\" comparison=\"match\"/>");
    EXPECT_EQ(with_rule(all, "file-version").size(), 1u) << describe(all);
    all = lint_check(head + "fileversion=\"5.1.2600.5512\" comparison=\"match\"/>");
    EXPECT_TRUE(all.empty()) << describe(all);
    all = lint_check(head + "fileversion=\"v2\" comparison=\"version\"/>");
    ASSERT_EQ(with_rule(all, "file-version").size(), 1u) << describe(all);
    EXPECT_NE(with_rule(all, "file-version")[0].message.find("\"0.0.0.0\" (the reading stops"), std::string::npos);
    EXPECT_NE(with_rule(all, "file-version")[0].message.find("always says installed"), std::string::npos);
    // A version cut short still asks for something.
    all = lint_check(head + "fileversion=\"2.1beta\" comparison=\"version\"/>");
    ASSERT_EQ(with_rule(all, "file-version").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "file-version")[0].message.find("always says installed"), std::string::npos);
    all = lint_check("<installedcheck type=\"check_file\"/>");
    EXPECT_EQ(with_rule(all, "missing-attribute").size(), 1u) << describe(all);
}

TEST(lint, registry_value_comparisons_depend_on_the_field_type)
{
    const std::string head = "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\Yolvane\" ";
    const struct {
        std::string attributes;
        const char* rule;
        severity level;
    } cases[] = {
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"1\" comparison=\"exists\"", nullptr, severity::error},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"1\"", nullptr, severity::error},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"1\" comparison=\"match\"", nullptr, severity::error},
        {"fieldtype=\"REG_DWORD\" comparison=\"exists\"", "registry-value", severity::error},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"abc\" comparison=\"match\"", "registry-value", severity::error},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"0x10\" comparison=\"match\"", "registry-value", severity::error},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"12abc\" comparison=\"match\"", "registry-value", severity::warning},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"-1\" comparison=\"version\"", "registry-value", severity::warning},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"1\" comparison=\"Match\"", "keyword-case", severity::error},
        {"fieldtype=\"REG_DWORD\" fieldvalue=\"1\" comparison=\"equal\"", "comparison", severity::error},
        {"fieldtype=\"REG_SZ\" fieldvalue=\"1.2\" comparison=\"version\"", nullptr, severity::error},
        {"fieldtype=\"REG_SZ\" fieldvalue=\"x\" comparison=\"match\"", nullptr, severity::error},
        {"fieldtype=\"REG_SZ\" fieldvalue=\"x\" comparison=\"exists\"", "comparison", severity::error},
        {"fieldtype=\"REG_SZ\" fieldvalue=\"x\"", "comparison", severity::error},
        {"fieldtype=\"REG_SZ\" fieldvalue=\"beta\" comparison=\"version\"", "registry-value", severity::warning},
        {"fieldtype=\"REG_SZ\" fieldvalue=\"\" comparison=\"version\"", "registry-value", severity::warning},
        {"fieldtype=\"REG_SZ\" comparison=\"version\"", "registry-value", severity::warning},
        {"fieldtype=\"reg_sz\" fieldvalue=\"x\" comparison=\"match\"", "keyword-case", severity::error},
        {"fieldtype=\"REG_EXPAND_SZ\" fieldvalue=\"x\" comparison=\"match\"", "registry-type", severity::error},
        {"fieldvalue=\"x\"", "registry-type", severity::warning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        const auto all = lint_check(head + c.attributes + "/>");
        if (c.rule == nullptr) {
            EXPECT_TRUE(all.empty()) << describe(all);
            continue;
        }
        const auto found = with_rule(all, c.rule);
        ASSERT_EQ(found.size(), 1u) << describe(all);
        EXPECT_EQ(found[0].level, c.level);
    }
}

TEST(lint, a_registry_view_is_32_or_64)
{
    const std::string head = "<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\X\" view=";
    for (const std::string good : {"\"32\"", "\"64\""}) EXPECT_TRUE(lint_check(head + good + "/>").empty()) << good;
    for (const std::string bad : {"\"\"", "\"x64\"", "\"64bit\"", "\"native\""}) {
        SCOPED_TRACE(bad);
        const auto all = lint_check(head + bad + "/>");
        const auto found = with_rule(all, "registry-view");
        ASSERT_EQ(found.size(), 1u) << describe(all);
        EXPECT_EQ(found[0].level, severity::error);
    }
}

TEST(lint, exists_with_reg_sz_explains_how_to_test_for_presence)
{
    const auto all = lint_check("<installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\X\" "
                                "fieldname=\"V\" fieldtype=\"REG_SZ\" comparison=\"exists\"/>");
    const auto found = with_rule(all, "comparison");
    ASSERT_EQ(found.size(), 1u) << describe(all);
    EXPECT_NE(found[0].message.find("\"exists\" with REG_SZ"), std::string::npos) << found[0].message;
    EXPECT_NE(found[0].message.find("leave out fieldtype"), std::string::npos) << found[0].message;
}

TEST(lint, registry_paths_are_under_hkey_local_machine_without_naming_it)
{
    for (const std::string path : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "HKLM\\SOFTWARE\\X", "HKEY_CURRENT_USER\\X",
                                   "HKCU\\Software\\X", "", "hklm\\Software\\X", "HKCC\\System",
                                   "HKEY_LOCAL_MACHNE\\SOFTWARE\\Acme", "Hkey_Curent_User\\X", "HKLN\\SOFTWARE",
                                   "HEKY_LOCAL_MACHINE\\SOFTWARE"}) {
        SCOPED_TRACE(path);
        const auto all = lint_check("<installedcheck type=\"check_registry_value\" path=\"" + path + "\"/>");
        const auto found = with_rule(all, "registry-path");
        ASSERT_EQ(found.size(), 1u) << describe(all);
        EXPECT_EQ(found[0].level, severity::error);
    }
    for (const std::string path : {"SOFTWARE\\X", "SYSTEM\\CurrentControlSet\\Services\\X", "SECURITY\\X",
                                   "SOFTWARE\\HKLM Tools"})
        EXPECT_TRUE(lint_check("<installedcheck type=\"check_registry_value\" path=\"" + path + "\"/>").empty())
            << path;
}

std::string downloads(const std::string& items)
{
    return "<downloaddialog><downloads>" + items + "</downloads></downloaddialog>";
}

std::vector<diagnostic> lint_silent(const std::string& children)
{
    return lint(document(component("", children), "install_silent=\"true\" failed_exec_command_continue=\"%s?\""));
}

TEST(lint, downloads_must_not_be_empty)
{
    auto all = lint_silent("<downloaddialog><downloads/></downloaddialog>");
    EXPECT_EQ(with_rule(all, "downloads").size(), 1u) << describe(all);
    all = lint_silent("<downloaddialog/>");
    EXPECT_EQ(with_rule(all, "downloads").size(), 1u) << describe(all);
    all = lint_silent("<downloaddialog><downloads><Download sourceurl=\"http://x/a.exe\"/></downloads></downloaddialog>");
    EXPECT_EQ(with_rule(all, "downloads").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "keyword-case").size(), 1u) << describe(all);
}

TEST(lint, a_sha256_is_64_hexadecimal_digits_in_any_letter_case)
{
    const std::string lower64(64, 'a');
    const struct {
        std::string value;
        bool valid;
    } cases[] = {{lower64, true},
                 {std::string(32, 'F') + std::string(32, '0'), true},
                 {std::string(63, 'a'), false},
                 {std::string(65, 'a'), false},
                 {std::string(63, 'a') + "g", false},
                 {"", false},
                 {" " + std::string(63, 'a'), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto all = lint_silent(downloads("<download sourceurl=\"http://example.invalid/a.exe\" "
                                               "destinationpath=\"#TEMPPATHa\" sha256=\"" + c.value + "\"/>"));
        EXPECT_EQ(with_rule(all, "sha256").size(), c.valid ? 0u : 1u) << describe(all);
    }
}

TEST(lint, download_targets_and_the_silent_run)
{
    auto all = lint_silent(downloads("<download sourceurl=\"http://example.invalid/dl/\" destinationpath=\"#TEMPPATHa\"/>"));
    EXPECT_EQ(with_rule(all, "download").size(), 1u) << describe(all);
    all = lint_silent(downloads("<download sourceurl=\"http://example.invalid/dl/\" destinationpath=\"#TEMPPATHa\" "
                                "destinationfilename=\"setup.exe\"/>"));
    EXPECT_TRUE(all.empty()) << describe(all);
    const std::string fetched = downloads("<download sourceurl=\"http://example.invalid/a.exe\" "
                                          "destinationpath=\"#TEMPPATHa\"/>");
    all = lint(document(component("", fetched)));
    EXPECT_EQ(with_rule(all, "silent-downloads").size(), 1u) << describe(all);
    // An interactive run that shows its progress downloads too; a silent
    // one shows nothing of it.
    all = lint(document(component("", fetched), "show_progress=\"true\" failed_exec_command_continue=\"%s?\""));
    EXPECT_TRUE(all.empty()) << describe(all);
    all = lint(document(component("", fetched),
                        "install_silent=\"true\" show_progress=\"true\" failed_exec_command_continue=\"%s?\""));
    EXPECT_EQ(with_rule(all, "no-effect").size(), 1u) << describe(all);
    all = lint_silent(downloads("<download destinationpath=\"#TEMPPATHa\"/>"));
    EXPECT_EQ(with_rule(all, "missing-attribute").size(), 1u) << describe(all);
}

TEST(lint, a_relative_download_folder_depends_on_where_setup_exe_is_started)
{
    for (const auto& [folder, relative] : std::vector<std::pair<std::string, bool>>{
             {"Downloads\\acme", true}, {"acme", true}, {".\\acme", true}, {"#TEMPPATHacme", false},
             {"#APPPATH\\Fetched", false}, {"C:\\Acme", false}, {"d:/acme", false}, {"\\\\server\\share", false},
             {"\\Acme", false}}) {
        SCOPED_TRACE(folder);
        const auto all = lint_silent(downloads("<download sourceurl=\"http://example.invalid/a.exe\" "
                                               "destinationpath=\"" + folder + "\" destinationfilename=\"a.exe\"/>"));
        const auto found = with_rule(all, "download");
        ASSERT_EQ(found.size(), relative ? 1u : 0u) << describe(all);
        for (const auto& d : found) EXPECT_EQ(d.level, severity::warning);
    }
}

TEST(lint, a_package_in_an_unattended_run_needs_a_quiet_switch)
{
    const std::string unattended = "install_silent=\"true\" unattended=\"true\" failed_exec_command_continue=\"%s?\"";
    const auto quiet = [](const std::string& attributes, const std::string& configuration) {
        return with_rule(lint(document("<component type=\"msi\" description=\"P\" package=\"#APPPATH\\p.msi\" " +
                                       attributes + "/>", configuration)),
                         "quiet");
    };
    for (const std::string parameters : {"/l*v #TEMPPATHp.log", "/qb+", "/qr", "/norestart /q-n"}) {
        SCOPED_TRACE(parameters);
        const auto found = quiet("cmdparameters=\"" + parameters + "\"", unattended);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].level, severity::warning);
    }
    EXPECT_EQ(quiet("", unattended).size(), 1u);
    for (const std::string parameters : {"/qn", "/l*v #TEMPPATHp.log /QN!", "-quiet", "/passive", "/qb-", "/qb!",
                                         "/qb-! /norestart", "/q"}) {
        SCOPED_TRACE(parameters);
        EXPECT_TRUE(quiet("cmdparameters=\"" + parameters + "\"", unattended).empty());
    }
    // Someone is there to click: in the dialog's run, or in a silent run that shows its boxes.
    EXPECT_TRUE(quiet("", "unattended=\"true\" failed_exec_command_continue=\"%s?\"").empty());
    EXPECT_TRUE(quiet("", "install_silent=\"true\" failed_exec_command_continue=\"%s?\"").empty());
}

TEST(lint, the_failure_question_holds_exactly_one_string)
{
    const std::vector<value_case> formats = {
        {"Setup cannot install %s. Continue?", nullptr, severity::error},
        {"100%% sure %s?", nullptr, severity::error},
        {"Setup cannot install a component. Continue?", "format", severity::error},
        {"%s or %s?", "format", severity::error},
        {"%%s?", "format", severity::error},
    };
    for (const auto& c : formats) {
        SCOPED_TRACE(c.value);
        const auto all = lint(document(component(), "failed_exec_command_continue=\"" + c.value + "\""));
        const auto found = with_rule(all, "format");
        EXPECT_EQ(found.size(), c.rule ? 1u : 0u) << describe(all);
    }
    auto all = lint(document(component(), "failed_exec_command_continue=\"%d: %s?\""));
    ASSERT_EQ(with_rule(all, "format").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "format")[0].level, severity::warning);
    all = lint(document(component(), ""));
    ASSERT_EQ(with_rule(all, "format").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "format")[0].level, severity::warning);
}

TEST(lint, unknown_and_miscased_names)
{
    auto all = lint(document(component("Description=\"x\"")));
    EXPECT_EQ(with_rule(all, "keyword-case").size(), 1u) << describe(all);
    all = lint(document(component("descripton=\"x\"")));
    ASSERT_EQ(with_rule(all, "unknown-attribute").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "unknown-attribute")[0].level, severity::error);
    EXPECT_NE(with_rule(all, "unknown-attribute")[0].message.find("\"description\""), std::string::npos);
    all = lint(document(component("publisher_tag=\"x\"")));
    ASSERT_EQ(with_rule(all, "unknown-attribute").size(), 1u) << describe(all);
    EXPECT_EQ(with_rule(all, "unknown-attribute")[0].level, severity::warning);
    // Attributes that have no effect, as the stored configuration carries them.
    all = lint(document(component("note=\"\""), "failed_exec_command_continue=\"%s?\" dialog_bitmap=\"\" "
                                                "auto_close_if_installed=\"True\" advanced_caption=\"Advanced\""));
    EXPECT_TRUE(all.empty()) << describe(all);
    all = lint(document(component(), "failed_exec_command_continue=\"%s?\" auto_close_if_installed=\"False\""));
    EXPECT_EQ(with_rule(all, "no-effect").size(), 1u) << describe(all);

    all = lint(document(component("", "<InstalledCheck type=\"check_file\" filename=\"a\"/>")));
    EXPECT_EQ(with_rule(all, "keyword-case").size(), 1u) << describe(all);
    all = lint(document(component("", "<installcheck type=\"check_file\" filename=\"a\"/>")));
    EXPECT_EQ(with_rule(all, "unknown-element").size(), 1u) << describe(all);
    all = lint(document("<item type=\"cmd\" description=\"x\" command=\"a.exe\"/>"));
    EXPECT_EQ(with_rule(all, "component-element").size(), 1u) << describe(all);
}

TEST(lint, a_configuration_after_one_for_every_language_is_never_chosen)
{
    const auto all = lint(
        "<configurations><configuration type=\"install\" lcid=\"1031\"/><configuration type=\"install\"/>"
        "<configuration type=\"install\" lcid=\"1033\"/></configurations>");
    const auto found = with_rule(all, "unreachable");
    ASSERT_EQ(found.size(), 1u) << describe(all);
    EXPECT_EQ(found[0].column, 91);
}

TEST(lint, the_medium_must_hold_every_file_that_the_configuration_takes_from_it)
{
    namespace fs = std::filesystem;
    const fs::path medium = fs::temp_directory_path() / ("setup-check-medium-" + std::to_string(::getpid()));
    fs::remove_all(medium);
    fs::create_directories(medium / "Redist");
    std::ofstream(medium / "Redist" / "RUNTIME.EXE") << "x";
    std::ofstream(medium / "product.msi") << "x";
    fs::create_directories(medium / "docs");

    const std::string xml = document(
        "<component type=\"cmd\" description=\"R\" command=\"#APPPATH\\redist\\runtime.exe\"/>"
        "<component type=\"cmd\" description=\"S\" command=\"#APPPATH\\Samples\\samples.exe\"/>"
        "<component type=\"msi\" description=\"P\" package=\"#APPPATH/product.msi\"/>"
        "<component type=\"openfile\" description=\"D\" file=\"#APPPATH\\docs\"/>"
        "<component type=\"cmd\" description=\"F\" command=\"#APPPATH\\docs\"/>"
        "<component type=\"openfile\" description=\"W\" file=\"http://example.invalid/\"/>");
    auto all = lint(xml, medium.string());
    const auto found = with_rule(all, "medium");
    ASSERT_EQ(found.size(), 2u) << describe(all);
    EXPECT_NE(found[0].message.find("Samples"), std::string::npos) << found[0].message;
    EXPECT_NE(found[1].message.find("folder"), std::string::npos) << found[1].message;
    // Without a medium nothing is looked for.
    EXPECT_TRUE(with_rule(lint(xml), "medium").empty());

    // A command with arguments is one error, not a second one about a file
    // whose name ends with the arguments.
    all = lint(document("<component type=\"cmd\" description=\"R\" command=\"#APPPATH\\redist\\runtime.exe /q\"/>"),
               medium.string());
    EXPECT_EQ(with_rule(all, "arguments").size(), 1u) << describe(all);
    EXPECT_TRUE(with_rule(all, "medium").empty()) << describe(all);

    // What a silent run downloads is not looked for on the medium; a start
    // file beside a download under another name is suspect.
    const auto fetched = [](const std::string& command, const std::string& stored) {
        return "<component type=\"cmd\" description=\"D\" command=\"" + command +
               "\"><downloaddialog><downloads><download sourceurl=\"http://example.invalid/d.exe\" "
               "destinationpath=\"#APPPATH\\Fetched\" destinationfilename=\"" + stored +
               "\"/></downloads></downloaddialog></component>";
    };
    const std::string silent = "install_silent=\"true\" failed_exec_command_continue=\"%s?\"";
    all = lint(document(fetched("#APPPATH\\fetched/d.exe", "D.EXE"), silent), medium.string());
    EXPECT_TRUE(with_rule(all, "medium").empty() && with_rule(all, "download").empty()) << describe(all);
    all = lint(document(fetched("#APPPATH\\Fetched\\d.exe", "d-3.1.exe"), silent));
    EXPECT_EQ(with_rule(all, "download").size(), 1u) << describe(all);
    // So is what an interactive run that shows its progress downloads; one
    // that does not show it never downloads.
    all = lint(document(fetched("#APPPATH\\Fetched\\d.exe", "d.exe"),
                        "show_progress=\"true\" failed_exec_command_continue=\"%s?\""),
               medium.string());
    EXPECT_TRUE(with_rule(all, "medium").empty()) << describe(all);
    all = lint(document(fetched("#APPPATH\\Fetched\\d.exe", "d.exe")), medium.string());
    EXPECT_EQ(with_rule(all, "medium").size(), 1u) << describe(all);
    fs::remove_all(medium);
}

TEST(lint, diagnostics_come_in_file_order)
{
    const auto all = lint(document(component("mustreboot=\"yes\"") + component("required=\"\"") +
                                   "<component type=\"MSI\"/>"));
    ASSERT_GE(all.size(), 3u) << describe(all);
    for (std::size_t i = 1; i < all.size(); ++i)
        EXPECT_TRUE(all[i - 1].line < all[i].line ||
                    (all[i - 1].line == all[i].line && all[i - 1].column <= all[i].column))
            << describe(all);
}

}  // namespace
