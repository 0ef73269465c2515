// Reading the chosen configuration element into settings and components.
#include <gtest/gtest.h>

#include "components/component.h"
#include "config/reader.h"
#include "config/sources.h"
#include "tinyxml.h"
#include "test_helpers.h"

namespace {

using components::cmd_component;
using components::installedcheck_check_file;
using components::installedcheck_check_registry_value;
using components::msi_component;
using components::openfile_component;
using config::configuration_settings;
using testing_support::as;
using testing_support::document;
using testing_support::read_configuration;

using testing_support::is_loading_failure;
using testing_support::read_status;

// The text a failed reading shows as it stands.
std::wstring failure_message(platform::fake_platform& sys, const std::string& xml, configuration_settings& settings)
{
    const base::status read = read_status(sys, xml, settings);
    if (read || read.error().what() != base::failure::kind::message) return L"(no message)";
    return read.error().text();
}

std::vector<std::wstring> descriptions(const configuration_settings& settings)
{
    std::vector<std::wstring> out;
    for (const auto& c : settings.components) out.push_back(c->description);
    return out;
}

TEST(read_bool_attribute, knows_true_and_false_in_any_case_and_gives_the_default_otherwise)
{
    const struct {
        const wchar_t* value;
        bool with_false_default, with_true_default;
    } cases[] = {
        {nullptr, false, true}, {L"true", true, true},   {L"TRUE", true, true},   {L"tRuE", true, true},
        {L"false", false, false}, {L"FALSE", false, false}, {L"", false, true},   {L"yes", false, true},
        {L"no", false, true},   {L"1", false, true},     {L"0", false, true},     {L" true", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? testing::PrintToString(std::wstring(c.value)) : "absent");
        EXPECT_EQ(config::read_bool_attribute(c.value, false), c.with_false_default);
        EXPECT_EQ(config::read_bool_attribute(c.value, true), c.with_true_default);
    }
}

TEST(reader, silent_and_mustreboot_need_the_word_true_while_required_and_primary_need_only_presence)
{
    const struct {
        const char* value;  // nullptr: the attributes are absent
        bool silent_or_reboot, required_or_primary;
    } cases[] = {{nullptr, false, false}, {"", false, true},   {"TRUE", true, true},   {"True", true, true},
                 {"true", true, true},    {"yes", false, true}, {"1", false, true},     {"false", false, false},
                 {"FALSE", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "absent");
        const auto attr = [&](const char* name) {
            return c.value ? std::string(" ") + name + "=\"" + c.value + "\"" : std::string();
        };
        platform::fake_platform sys;
        configuration_settings s;
        read_configuration(sys,
                           document("<component type=\"cmd\"" + attr("mustreboot") + attr("required") +
                                        attr("primary") + "/>",
                                    attr("install_silent")),
                           s);
        EXPECT_EQ(s.install_silent, c.silent_or_reboot);
        ASSERT_EQ(s.components.size(), 1u);
        EXPECT_EQ(s.components[0]->mustreboot, c.silent_or_reboot);
        EXPECT_EQ(s.components[0]->required, c.required_or_primary);
        EXPECT_EQ(s.components[0]->primary, c.required_or_primary);
    }
}

TEST(reader, reads_the_settings_texts_and_expands_only_the_two_path_settings)
{
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(sys,
                       document("", "dialog_caption=\"Cap #WINDOWSPATH\" dialog_message=\"Msg\" "
                                    "install_caption=\"Go\" cancel_caption=\"Stop\" status_installed=\" [ok]\" "
                                    "failed_exec_command_continue=\"Failed %s\" installation_completed=\"Done\" "
                                    "reboot_required=\"Reboot?\" dialog_admin_required=\"Admin at #APPPATH\" "
                                    "complete_command=\"#WINDOWSPATH\\notepad.exe\" install_silent=\"true\""),
                       s);
    EXPECT_EQ(s.dialog_caption, L"Cap #WINDOWSPATH");
    EXPECT_EQ(s.dialog_message, L"Msg");
    EXPECT_EQ(s.install_caption, L"Go");
    EXPECT_EQ(s.cancel_caption, L"Stop");
    EXPECT_EQ(s.status_installed, L" [ok]");
    EXPECT_EQ(s.failed_exec_command_continue, L"Failed %s");
    EXPECT_EQ(s.installation_completed, L"Done");
    EXPECT_EQ(s.reboot_required, L"Reboot?");
    EXPECT_EQ(s.dialog_admin_required, L"Admin at C:\\medium");
    EXPECT_EQ(s.complete_command, L"C:\\Windows\\notepad.exe");
    EXPECT_TRUE(s.install_silent);
    EXPECT_TRUE(s.components.empty());
}

TEST(reader, texts_with_a_default_read_it_when_absent_or_empty_and_keep_markers_as_written)
{
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(sys,
                       document("<c type=\"cmd\"><downloaddialog progress_text=\"%1 #APPPATH\" retry_text=\"\">"
                                "<downloads><download/></downloads></downloaddialog></c>",
                                "install_wait_caption=\"Bitte warten #TEMPPATH\" installation_failed=\"\""),
                       s);
    EXPECT_EQ(s.install_wait_caption, L"Bitte warten #TEMPPATH");
    EXPECT_EQ(s.installation_failed, L"Setup could not install %s.");
    ASSERT_EQ(s.components.size(), 1u);
    const components::download_dialog_settings& d = s.components[0]->download_dialog;
    EXPECT_EQ(d.progress_text, L"%1 #APPPATH");
    EXPECT_EQ(d.progress_text_no_size, L"%1 (%2) - %4/%5");
    EXPECT_EQ(d.retry_text, L"%1: trying again (attempt %2 of %3) - %4/%5");
    read_configuration(sys, document(""), s);
    EXPECT_EQ(s.install_wait_caption, L"Please wait...");
}

TEST(reader, builds_each_kind_with_its_path_fields_expanded_and_its_texts_as_written)
{
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(
        sys,
        document("<component type=\"msi\" package=\"#APPPATH\\p.msi\" cmdparameters=\"/l* #TEMPPATHx.log\" "
                 "description=\"D #APPPATH\" installcompletemessage=\"Done #APPPATH\" required_message=\"R\" "
                 "admin_required=\"Admin #APPPATH\" os_filter_greater=\" 1\" os_filter_smaller=\"200 \" "
                 "os_filter_lcid=\"\" command=\"ignored\" file=\"ignored\"/>"
                 "<component type=\"cmd\" command=\"#SYSTEMPATH\\x.exe\" package=\"ignored\"/>"
                 "<component type=\"openfile\" file=\"#WINDOWSPATH\\readme.txt\"/>"),
        s);
    ASSERT_EQ(s.components.size(), 3u);

    auto* msi = as<msi_component>(s.components[0]);
    ASSERT_NE(msi, nullptr);
    EXPECT_EQ(msi->package, L"C:\\medium\\p.msi");
    EXPECT_EQ(msi->cmdparameters, L"/l* C:\\Users\\user\\Temp\\x.log");
    EXPECT_EQ(msi->description, L"D #APPPATH");
    EXPECT_EQ(msi->installcompletemessage, L"Done #APPPATH");
    EXPECT_EQ(msi->required_message, L"R");
    EXPECT_EQ(msi->admin_required, L"Admin #APPPATH");
    EXPECT_EQ(msi->os_filter_greater, L" 1");
    EXPECT_EQ(msi->os_filter_smaller, L"200 ");
    EXPECT_EQ(msi->os_filter_lcid, L"");

    auto* cmd = as<cmd_component>(s.components[1]);
    ASSERT_NE(cmd, nullptr);
    EXPECT_EQ(cmd->command, L"C:\\Windows\\system32\\x.exe");

    auto* open = as<openfile_component>(s.components[2]);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->file, L"C:\\Windows\\readme.txt");
}

TEST(reader, a_component_or_check_type_that_is_not_one_of_the_exact_words_fails_the_configuration)
{
    const std::wstring bad_component = L"Invalid configuration file, component type not supported";
    const std::wstring bad_check = L"Invalid configuration file, installed check type not supported";
    const struct {
        std::string components;
        const std::wstring& message;
    } cases[] = {
        {"<component type=\"MSI\"/>", bad_component},
        {"<component type=\"Cmd\"/>", bad_component},
        {"<component type=\" msi\"/>", bad_component},
        {"<component type=\"\"/>", bad_component},
        {"<component/>", bad_component},
        {"<component type=\"cmd\"><installedcheck type=\"check_registry\"/></component>", bad_check},
        {"<component type=\"cmd\"><installedcheck type=\"Check_File\"/></component>", bad_check},
        {"<component type=\"cmd\"><installedcheck/></component>", bad_check},
        // a component is read whole before its filters are applied
        {"<component type=\"cmd\" os_filter_greater=\"1000\"><installedcheck type=\"x\"/></component>", bad_check},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.components);
        platform::fake_platform sys;
        configuration_settings s;
        EXPECT_EQ(failure_message(sys, document(c.components), s), c.message);
    }
}

TEST(reader, every_element_inside_components_is_a_component_and_other_nodes_are_skipped)
{
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(sys,
                       document("<!-- a comment --><component type=\"cmd\" description=\"one\"/>text"
                                "<prerequisite type=\"cmd\" description=\"two\"/><![CDATA[data]]>"
                                "<component type=\"openfile\" description=\"three\"/>"),
                       s);
    EXPECT_EQ(descriptions(s), (std::vector<std::wstring>{L"one", L"two", L"three"}));
}

TEST(reader, a_configuration_without_components_has_an_empty_list)
{
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(sys,
                       "<configurations><configuration type=\"install\" dialog_caption=\"c\">"
                       "<component type=\"cmd\"/></configuration></configurations>",
                       s);
    EXPECT_EQ(s.dialog_caption, L"c");
    EXPECT_TRUE(s.components.empty());
}

TEST(reader, reads_the_checks_of_each_kind_in_order_and_expands_only_the_file_name)
{
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(
        sys,
        document("<component type=\"cmd\">"
                 "<installedcheck type=\"check_registry_value\" path=\"#WINDOWSPATH\\Key\" fieldname=\"#APPPATH\" "
                 "fieldvalue=\"1\" fieldtype=\"REG_DWORD\" comparison=\"version\" filename=\"ignored\"/>"
                 "<other type=\"check_file\"/><!-- skipped -->"
                 "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\msi.dll\" fileversion=\"2.0\" "
                 "comparison=\"match\" path=\"ignored\"/>"
                 "</component>"),
        s);
    ASSERT_EQ(s.components.size(), 1u);
    const auto& checks = s.components[0]->installed_checks;
    ASSERT_EQ(checks.size(), 2u);

    auto* reg = dynamic_cast<installedcheck_check_registry_value*>(checks[0].get());
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->path, L"#WINDOWSPATH\\Key");
    EXPECT_EQ(reg->fieldname, L"#APPPATH");
    EXPECT_EQ(reg->fieldvalue, L"1");
    EXPECT_EQ(reg->fieldtype, L"REG_DWORD");
    EXPECT_EQ(reg->comparison, L"version");

    auto* file = dynamic_cast<installedcheck_check_file*>(checks[1].get());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->filename, L"C:\\Windows\\system32\\msi.dll");
    EXPECT_EQ(file->fileversion, L"2.0");
    EXPECT_EQ(file->comparison, L"match");
}

TEST(reader, reads_the_downloads_of_the_first_download_dialog_in_order)
{
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(
        sys,
        document("<component type=\"cmd\" description=\"with\"><downloaddialog><downloads>"
                 "<download componentname=\"Name #APPPATH\" sourceurl=\"http://example.invalid/#APPPATH/a.exe\" "
                 "destinationpath=\"#TEMPPATHdl\" destinationfilename=\"#APPPATH.exe\"/>"
                 "<other componentname=\"skipped\"/>"
                 "<download componentname=\"Second\" sourceurl=\"u2\"/>"
                 "</downloads><downloads><download componentname=\"not read\"/></downloads></downloaddialog>"
                 "<downloaddialog><downloads><download componentname=\"not read either\"/></downloads>"
                 "</downloaddialog></component>"
                 "<component type=\"cmd\" description=\"without\"/>"),
        s);
    ASSERT_EQ(s.components.size(), 2u);
    const auto& with = *s.components[0];
    EXPECT_TRUE(with.has_download_dialog);
    ASSERT_EQ(with.download_dialog.downloads.size(), 2u);
    const auto& first = with.download_dialog.downloads[0];
    EXPECT_EQ(first.componentname, L"Name #APPPATH");
    EXPECT_EQ(first.sourceurl, L"http://example.invalid/C:\\medium/a.exe");
    EXPECT_EQ(first.destinationpath, L"C:\\Users\\user\\Temp\\dl");
    EXPECT_EQ(first.destinationfilename, L"C:\\medium.exe");
    const auto& second = with.download_dialog.downloads[1];
    EXPECT_EQ(second.componentname, L"Second");
    EXPECT_EQ(second.sourceurl, L"u2");
    EXPECT_EQ(second.destinationpath, L"");
    EXPECT_EQ(second.destinationfilename, L"");

    EXPECT_FALSE(s.components[1]->has_download_dialog);
    EXPECT_TRUE(s.components[1]->download_dialog.downloads.empty());
    EXPECT_TRUE(sys.messages.empty());
}

TEST(reader, a_download_dialog_without_downloads_shows_its_box_then_raises_the_code)
{
    const char* dialogs[] = {
        "<downloaddialog><downloads/></downloaddialog>",
        "<downloaddialog/>",
        "<downloaddialog><downloads><Download/><!-- none --></downloads></downloaddialog>",
        "<downloaddialog><download/></downloaddialog>",
    };
    for (const char* dialog : dialogs) {
        SCOPED_TRACE(dialog);
        platform::fake_platform sys;
        configuration_settings s;
        EXPECT_TRUE(is_loading_failure(
            read_status(sys, document(std::string("<component type=\"cmd\">") + dialog + "</component>"), s)));
        ASSERT_EQ(sys.messages.size(), 1u);
        EXPECT_EQ(sys.messages[0].text, L"No download components found. downloads node is empty.");
        EXPECT_TRUE(testing_support::is_error_box(sys.messages[0]));
    }
}

TEST(reader, a_download_digest_is_kept_in_lower_case_and_a_malformed_one_fails_the_configuration)
{
    const std::string upper(64, 'A');
    platform::fake_platform sys;
    configuration_settings s;
    read_configuration(sys,
                       document("<component type=\"cmd\"><downloaddialog><downloads>"
                                "<download componentname=\"a\" sourceurl=\"u\" sha256=\"" + upper + "\"/>"
                                "<download componentname=\"b\" sourceurl=\"u\"/>"
                                "</downloads></downloaddialog></component>"),
                       s);
    ASSERT_EQ(s.components.size(), 1u);
    EXPECT_EQ(s.components[0]->download_dialog.downloads[0].sha256, std::wstring(64, L'a'));
    EXPECT_EQ(s.components[0]->download_dialog.downloads[1].sha256, L"");

    const std::string malformed[] = {"", std::string(63, 'a'), std::string(65, 'a'), std::string(63, 'a') + "g",
                                     " " + std::string(64, 'a')};
    for (const auto& value : malformed) {
        SCOPED_TRACE(value);
        platform::fake_platform other;
        configuration_settings t;
        EXPECT_EQ(failure_message(other,
                                 document("<component type=\"cmd\"><downloaddialog><downloads>"
                                          "<download componentname=\"a\" sourceurl=\"u\" sha256=\"" + value +
                                          "\"/></downloads></downloaddialog></component>"),
                                 t),
                  L"Invalid configuration file, the sha256 of a download must be 64 hexadecimal digits.");
    }
}

TEST(reader, components_refused_by_a_filter_are_left_out_and_the_others_keep_their_order)
{
    platform::fake_platform sys;
    sys.set_language(1033);  // and Windows 7: code 100
    configuration_settings s;
    read_configuration(sys,
                       document("<component type=\"cmd\" description=\"a\"/>"
                                "<component type=\"cmd\" description=\"b\" os_filter_greater=\"100\"/>"
                                "<component type=\"cmd\" description=\"c\" os_filter_smaller=\"100\"/>"
                                "<component type=\"cmd\" description=\"d\" os_filter_greater=\"99\" "
                                "os_filter_smaller=\"101\" os_filter_lcid=\"1033\"/>"
                                "<component type=\"cmd\" description=\"e\" os_filter_lcid=\"1031\"/>"
                                "<component type=\"cmd\" description=\"f\" os_filter_lcid=\"!1033\"/>"
                                "<component type=\"cmd\" description=\"g\" os_filter_lcid=\"!1031\"/>"),
                       s);
    EXPECT_EQ(descriptions(s), (std::vector<std::wstring>{L"a", L"d", L"g"}));
}

TEST(reader, a_filtered_out_component_is_read_whole_but_its_language_and_checks_are_not_asked)
{
    platform::fake_platform sys;  // no user.exe: reading the language would raise
    sys.add_file(L"C:\\present.dll");
    configuration_settings s;
    read_configuration(sys,
                       document("<component type=\"cmd\" os_filter_greater=\"1000\" os_filter_lcid=\"xyz\">"
                                "<installedcheck type=\"check_file\" filename=\"C:\\present.dll\" "
                                "fileversion=\"1.0\" comparison=\"bogus\"/></component>"),
                       s);
    EXPECT_TRUE(s.components.empty());
    EXPECT_TRUE(sys.messages.empty());

    platform::fake_platform other;
    EXPECT_TRUE(is_loading_failure(
        read_status(other, document("<component type=\"cmd\" os_filter_greater=\"1000\"><downloaddialog/></component>"),
                    s)));
}

TEST(reader, selects_exactly_the_components_that_are_not_installed)
{
    platform::fake_platform sys;
    sys.add_versioned_file(L"C:\\Windows\\system32\\msi.dll", 3, 1, 0, 0);
    configuration_settings s;
    read_configuration(sys,
                       document("<component type=\"cmd\" description=\"no checks\"/>"
                                "<component type=\"cmd\" description=\"installed\">"
                                "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\msi.dll\" "
                                "fileversion=\"2.0.0.0\" comparison=\"version\"/></component>"
                                "<component type=\"cmd\" description=\"too old\">"
                                "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\msi.dll\" "
                                "fileversion=\"4.5\" comparison=\"version\"/></component>"
                                "<component type=\"cmd\" description=\"missing\">"
                                "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\none.dll\"/>"
                                "</component>"
                                "<component type=\"cmd\" description=\"faulty check\">"
                                "<installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\msi.dll\" "
                                "fileversion=\"1.0\" comparison=\"exists\"/></component>"),
                       s);
    ASSERT_EQ(s.components.size(), 5u);
    EXPECT_TRUE(s.components[0]->selected);
    EXPECT_FALSE(s.components[1]->selected);
    EXPECT_TRUE(s.components[2]->selected);
    EXPECT_TRUE(s.components[3]->selected);
    // the faulty check's box appears while reading, and loading goes on
    EXPECT_TRUE(s.components[4]->selected);
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].text, L"Invalid comparison type, expected match or version.");
    EXPECT_EQ(sys.messages[0].caption, std::optional<std::wstring>(L"exists"));
}

}  // namespace

namespace {

TEST(reader, the_loader_drops_each_component_element_once_read_and_other_readers_keep_them)
{
    const std::string xml = document("<component type=\"cmd\" description=\"a\"/><!-- note -->"
                                     "<component type=\"cmd\" description=\"b\"/>");
    for (const auto elements : {config::read_elements::keep, config::read_elements::release}) {
        TiXmlDocument doc;
        doc.Parse(xml.c_str());
        ASSERT_FALSE(doc.Error());
        platform::fake_platform sys;
        sys.set_language(1033);
        configuration_settings s;
        const config::attribute_reader reader(sys, config::text_encoding::utf8);
        EXPECT_TRUE(config::select_configuration_node(reader, doc.RootElement(), s, elements));
        EXPECT_EQ(descriptions(s), (std::vector<std::wstring>{L"a", L"b"}));
        const TiXmlElement* list = doc.RootElement()->FirstChildElement("configuration")->FirstChildElement("components");
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->FirstChild() == nullptr, elements == config::read_elements::release);
    }
}

}  // namespace
