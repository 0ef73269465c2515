// Finding, parsing and choosing the configuration, and what the user is told
// when that fails.
#include <gtest/gtest.h>


#include "components/component.h"
#include "config/sources.h"
#include "test_helpers.h"

namespace {

using components::cmd_component;
using components::installedcheck_check_file;
using components::msi_component;
using config::configuration_settings;
using config::text_encoding;
using platform::resource_status;
using testing_support::as;
using testing_support::document;
using testing_support::with_setup_xml;

const std::wstring parse_failed = L"Invalid configuration file, failed to parse XML elements.";
const std::wstring wrong_root = L"Invalid configuration file, node name not supported, expected 'configurations'.";
const std::wstring none_found = L"System not supported or invalid configuration, no valid 'configuration' node found.";
const std::wstring wrong_type = L"Invalid configuration file, configuration type not supported.";
const std::wstring code_failure = L"Error loading configuration file";

// Loads and checks that every box shown was an error box.
bool load(platform::fake_platform& sys, configuration_settings& settings)
{
    const bool loaded = config::load_setup_configuration(sys, settings);
    for (const auto& m : sys.messages) EXPECT_TRUE(testing_support::is_error_box(m));
    return loaded;
}

std::string configuration(const std::string& attributes, const std::string& content = "")
{
    return "<configuration " + attributes + ">" + content + "</configuration>";
}

std::string configurations(const std::string& content)
{
    return "<?xml version=\"1.0\"?><configurations>" + content + "</configurations>";
}

TEST(load_configuration, reports_each_failure_with_its_own_text_and_fails)
{
    const struct {
        const char* name;
        std::string xml;
        std::vector<std::wstring> messages;
    } cases[] = {
        {"empty file", "", {parse_failed}},
        {"blanks only", "  \r\n", {parse_failed}},
        {"truncated", "<?xml version=\"1.0\"?><configurations><configuration type=\"install\">", {parse_failed}},
        {"not xml", "this is not a configuration", {parse_failed}},
        {"unclosed attribute", "<configurations><configuration type=\"install/></configurations>", {parse_failed}},
        {"wrong root", "<configuration type=\"install\"/>", {wrong_root}},
        {"root in other case", "<Configurations><configuration type=\"install\"/></Configurations>", {wrong_root}},
        {"no root element", "<?xml version=\"1.0\"?><!-- nothing else -->", {wrong_root}},
        {"no configuration", configurations("<schema version=\"1\"/>"), {none_found}},
        {"nested configuration", configurations("<group>" + configuration("type=\"install\"") + "</group>"),
         {none_found}},
        {"configuration in other case", configurations("<Configuration type=\"install\"/>"), {none_found}},
        {"no accepting language", configurations(configuration("lcid=\"1031\" type=\"install\"")), {none_found}},
        {"first accepting is not install",
         configurations(configuration("type=\"uninstall\"") + configuration("type=\"install\"")), {wrong_type}},
        {"type in capitals", configurations(configuration("type=\"INSTALL\"")), {wrong_type}},
        {"type absent", configurations(configuration("")), {wrong_type}},
        {"lcid not a number", configurations(configuration("lcid=\"xyz\" type=\"install\"")), {code_failure}},
        {"empty downloads", document("<component type=\"cmd\"><downloaddialog><downloads/></downloaddialog></component>"),
         {L"No download components found. downloads node is empty.", code_failure}},
        {"bound not a number", document("<component type=\"cmd\" os_filter_greater=\"abc\"/>"), {code_failure}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::fake_platform sys;
        with_setup_xml(sys, c.xml);
        configuration_settings s;
        EXPECT_FALSE(load(sys, s));
        EXPECT_EQ(sys.message_texts(), c.messages);
    }
}

TEST(load_configuration, failures_without_a_text_of_their_own_show_the_code_text)
{
    platform::fake_platform no_language;  // no user.exe
    no_language.add_file(L"C:\\medium\\setup.xml", configurations(configuration("lcid=\"1033\" type=\"install\"")));
    platform::fake_platform no_program_path;
    no_program_path.module_available = false;
    no_program_path.resource_bytes = testing_support::default_configuration_bytes();
    for (platform::fake_platform* sys : {&no_language, &no_program_path}) {
        configuration_settings s;
        EXPECT_FALSE(load(*sys, s));
        EXPECT_EQ(sys->message_texts(), std::vector<std::wstring>{code_failure});
        EXPECT_TRUE(s.components.empty());
    }
}

TEST(load_configuration, a_setup_xml_that_cannot_be_read_or_parsed_fails_and_the_stored_copy_is_not_used)
{
    for (int variant : {0, 1, 2}) {
        SCOPED_TRACE(variant == 0 ? "a folder named setup.xml" : variant == 1 ? "an unreadable file" : "truncated");
        platform::fake_platform sys;
        sys.set_language(1033);
        sys.resource_bytes = testing_support::default_configuration_bytes();
        if (variant == 0) {
            sys.add_directory(L"C:\\medium\\setup.xml");
        } else {
            sys.add_file(L"C:\\medium\\setup.xml", variant == 1 ? document("<component type=\"cmd\"/>") : "<configurations>");
            sys.files[L"c:\\medium\\setup.xml"].readable = variant == 2;
        }
        configuration_settings s;
        EXPECT_FALSE(load(sys, s));
        EXPECT_EQ(sys.message_texts(), std::vector<std::wstring>{parse_failed});
        EXPECT_TRUE(s.components.empty());
        EXPECT_EQ(s.dialog_caption, L"");
    }
}

TEST(load_configuration, the_stored_copy_failures_have_their_own_texts)
{
    const struct {
        resource_status status;
        std::string bytes;
        const wchar_t* message;
    } cases[] = {
        {resource_status::not_found, "", L"Resource RES_CONFIGURATION not found."},
        {resource_status::load_failed, "", L"Failed to load resource RES_CONFIGURATION."},
        {resource_status::lock_failed, "", L"Failed to lock resource RES_CONFIGURATION."},
        {resource_status::ok, "", L"Resource RES_CONFIGURATION is not a valid xml."},
        {resource_status::ok, "<configurations><configuration>", L"Resource RES_CONFIGURATION is not a valid xml."},
        {resource_status::ok, "<setup/>",
         L"Invalid configuration file, node name not supported, expected 'configurations'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.message)));
        platform::fake_platform sys;
        sys.set_language(1033);
        sys.resource_result = c.status;
        sys.resource_bytes = c.bytes;
        configuration_settings s;
        EXPECT_FALSE(load(sys, s));
        EXPECT_EQ(sys.message_texts(), std::vector<std::wstring>{c.message});
    }
}

TEST(load_configuration, looks_for_setup_xml_in_the_program_folder_only)
{
    const struct {
        const wchar_t* module;
        const wchar_t* setup_xml;
    } cases[] = {
        {L"C:\\medium\\Setup.exe", L"C:\\medium\\setup.xml"},
        {L"D:\\Setup.exe", L"D:\\setup.xml"},
        {L"C:\\\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\\\u5b89\u88c5\\Setup.exe",
         L"C:\\\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\\\u5b89\u88c5\\setup.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.module)));
        platform::fake_platform sys;
        sys.module = c.module;
        sys.resource_result = resource_status::not_found;
        sys.add_file(c.setup_xml, document("", "dialog_caption=\"from the file\""));
        configuration_settings s;
        EXPECT_TRUE(load(sys, s));
        EXPECT_EQ(s.dialog_caption, L"from the file");
        EXPECT_EQ(sys.calls.front(), std::wstring(L"path_exists:") + c.setup_xml);
    }
}

TEST(load_configuration, without_setup_xml_the_stored_copy_is_read)
{
    platform::fake_platform sys;
    sys.add_file(L"C:\\setup.xml", document("", "dialog_caption=\"elsewhere\""));
    sys.resource_bytes = document("", "dialog_caption=\"stored\"");
    configuration_settings s;
    EXPECT_TRUE(load(sys, s));
    EXPECT_EQ(s.dialog_caption, L"stored");
    EXPECT_TRUE(sys.messages.empty());
}

TEST(load_configuration, the_first_configuration_whose_language_list_accepts_the_system_is_chosen)
{
    const std::string xml = configurations(configuration("lcid=\"1031\" type=\"install\" dialog_caption=\"German\"") +
                                           configuration("lcid=\"\" type=\"install\" dialog_caption=\"Any\""));
    const struct {
        std::uint16_t language;
        const wchar_t* caption;
    } cases[] = {{1031, L"German"}, {1033, L"Any"}, {1036, L"Any"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        platform::fake_platform sys;
        with_setup_xml(sys, xml);
        sys.set_language(c.language);
        configuration_settings s;
        EXPECT_TRUE(load(sys, s));
        EXPECT_EQ(s.dialog_caption, c.caption);
    }
}

TEST(load_configuration, a_refused_configuration_is_skipped_before_its_type_is_looked_at)
{
    platform::fake_platform sys;
    with_setup_xml(sys, configurations(configuration("lcid=\"1031\" type=\"uninstall\"") +
                                       "<!-- comment --><schema/>" +
                                       configuration("lcid=\"!1031\" type=\"install\" dialog_caption=\"chosen\"") +
                                       configuration("type=\"bogus\"")));
    configuration_settings s;
    EXPECT_TRUE(load(sys, s));
    EXPECT_EQ(s.dialog_caption, L"chosen");
}

TEST(load_configuration, components_appended_before_a_failure_stay_in_the_record)
{
    platform::fake_platform sys;
    with_setup_xml(sys, document("<component type=\"cmd\" description=\"kept\"/>"
                                 "<component type=\"cmd\" os_filter_lcid=\"1033,xyz\"/>"));
    configuration_settings s;
    EXPECT_FALSE(load(sys, s));
    EXPECT_EQ(sys.message_texts(), std::vector<std::wstring>{code_failure});
    ASSERT_EQ(s.components.size(), 1u);
    EXPECT_EQ(s.components[0]->description, L"kept");
}

// The default configuration as stored in the program, read on a system
// whose msi.dll has the given version (or none at all).
struct default_read {
    bool loaded;
    configuration_settings settings;
    std::vector<std::wstring> messages;
};

default_read read_default(std::function<void(platform::fake_platform&)> prepare)
{
    platform::fake_platform sys;  // no user.exe: the language is never needed
    sys.resource_bytes = testing_support::default_configuration_bytes();
    prepare(sys);
    default_read r;
    r.loaded = load(sys, r.settings);
    r.messages = sys.message_texts();
    return r;
}

TEST(default_configuration, holds_its_texts_and_two_components_with_expanded_paths)
{
    const default_read r =
        read_default([](platform::fake_platform& sys) { sys.add_versioned_file(L"C:\\Windows\\system32\\msi.dll", 2, 0, 0, 0); });
    ASSERT_TRUE(r.loaded);
    EXPECT_TRUE(r.messages.empty());
    const configuration_settings& s = r.settings;
    EXPECT_EQ(s.dialog_caption, L"Yolvane Quarn Doduv Belmaris Setup");
    EXPECT_EQ(s.dialog_message,
              L"Setup has found one or more components on your computer that need to be updated. Click Continue to "
              L"update these components and install Quarn Doduv Belmaris.");
    EXPECT_EQ(s.install_caption, L"Continue");
    EXPECT_EQ(s.cancel_caption, L"Cancel");
    EXPECT_EQ(s.status_installed, L" [Already installed]");
    EXPECT_EQ(s.failed_exec_command_continue,
              L"Setup is unable to to install %s. Do you want to continue installing other components?");
    EXPECT_EQ(s.installation_completed, L"Installation successful.");
    EXPECT_EQ(s.reboot_required, L"To continue the installation you must restart your computer. Restart now?");
    EXPECT_EQ(s.dialog_admin_required, L"");
    EXPECT_EQ(s.complete_command, L"");
    EXPECT_FALSE(s.install_silent);
    ASSERT_EQ(s.components.size(), 2u);

    auto* update = as<cmd_component>(s.components[0]);
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(update->description, L"Microsoft Windows Installer");
    EXPECT_EQ(update->command, L"C:\\medium\\Windows Installer\\WindowsXP-KB942288-v3-x86.exe");
    EXPECT_TRUE(update->required);
    EXPECT_FALSE(update->primary);
    EXPECT_FALSE(update->mustreboot);
    EXPECT_FALSE(update->has_download_dialog);
    ASSERT_EQ(update->installed_checks.size(), 1u);
    auto* check = dynamic_cast<installedcheck_check_file*>(update->installed_checks[0].get());
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->filename, L"C:\\Windows\\system32\\msi.dll");
    EXPECT_EQ(check->fileversion, L"2.0.0.0");
    EXPECT_EQ(check->comparison, L"version");

    auto* package = as<msi_component>(s.components[1]);
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(package->description, L"Quarn Doduv Belmaris");
    EXPECT_EQ(package->package, L"C:\\medium\\Install Quarn Doduv Belmaris.msi");
    EXPECT_EQ(package->cmdparameters, L"/l* C:\\Users\\user\\Temp\\yolvanesetup.log");
    EXPECT_TRUE(package->required);
    EXPECT_TRUE(package->primary);
    EXPECT_FALSE(package->mustreboot);
    EXPECT_FALSE(package->has_download_dialog);
    EXPECT_TRUE(package->installed_checks.empty());
    EXPECT_TRUE(package->selected);

    for (const auto& c : s.components) {
        EXPECT_EQ(c->os_filter_greater, L"");
        EXPECT_EQ(c->os_filter_smaller, L"");
        EXPECT_EQ(c->os_filter_lcid, L"");
        EXPECT_EQ(c->required_message, L"");
        EXPECT_EQ(c->admin_required, L"");
        EXPECT_EQ(c->installcompletemessage, L"");
    }
}

TEST(default_configuration, selects_the_installer_update_only_when_msi_dll_is_older_than_2)
{
    using prepare_fn = std::function<void(platform::fake_platform&)>;
    const std::wstring msi = L"C:\\Windows\\system32\\msi.dll";
    const struct {
        const char* name;
        prepare_fn prepare;
        bool update_selected;
    } cases[] = {
        {"2.0.0.0", [&](platform::fake_platform& sys) { sys.add_versioned_file(msi, 2, 0, 0, 0); }, false},
        {"4.5.6002.18005", [&](platform::fake_platform& sys) { sys.add_versioned_file(msi, 4, 5, 6002, 18005); }, false},
        {"1.11.2405.0", [&](platform::fake_platform& sys) { sys.add_versioned_file(msi, 1, 11, 2405, 0); }, true},
        {"no version resource", [&](platform::fake_platform& sys) { sys.add_file(msi); }, true},
        {"missing", [](platform::fake_platform&) {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const default_read r = read_default(c.prepare);
        ASSERT_TRUE(r.loaded);
        ASSERT_EQ(r.settings.components.size(), 2u);
        EXPECT_EQ(r.settings.components[0]->selected, c.update_selected);
        EXPECT_TRUE(r.settings.components[1]->selected);
    }
}

std::string declaring(const std::string& encoding, const std::string& rest)
{
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>" + rest;
}

TEST(detect_encoding, marks_and_declarations_decide_and_otherwise_the_bytes_do)
{
    const std::string bom = "\xEF\xBB\xBF", e_acute = "<a x=\"\xE9\"/>", e_acute_utf8 = "<a x=\"\xC3\xA9\"/>";
    const auto utf8 = text_encoding::utf8, ansi = text_encoding::ansi;
    const struct {
        std::string document;
        text_encoding encoding;
    } cases[] = {
        {bom + "<a/>", utf8}, {bom + declaring("ISO-8859-1", e_acute), utf8},
        {declaring("UTF-8", "<a/>"), utf8}, {declaring("utf-8", "<a/>"), utf8}, {declaring("UTF8", "<a/>"), utf8},
        {declaring("UTF-8", e_acute), utf8},  // a declaration wins over the bytes
        {"<?xml version='1.0' encoding='UTF-8'?>" + e_acute, utf8},
        {declaring("ISO-8859-1", "<a/>"), ansi}, {declaring("windows-1252", "<a/>"), ansi},
        {declaring("ISO-8859-1", e_acute_utf8), ansi},
        {"<?xml version=\"1.0\" encoding = 'windows-1252' ?><a/>", ansi},
        // the parser skips blanks before the declaration
        {"\r\n  " + declaring("ISO-8859-1", e_acute_utf8), ansi}, {"\n" + declaring("UTF-8", e_acute), utf8},
        // no mark, no declared encoding: valid UTF-8 or not
        {e_acute_utf8, utf8}, {"<?xml version=\"1.0\"?><a x=\"\xE2\x82\xAC\"/>", utf8}, {"<a/>", utf8},
        {e_acute, ansi}, {"<?xml version=\"1.0\"?>" + e_acute, ansi},
        {"<a x=\"\xC3\"/>", ansi}, {"<a x=\"\xC0\xAF\"/>", ansi}, {"<a x=\"\xED\xA0\x80\"/>", ansi},
        // overlong forms of "/" whose lead bytes are fine on their own
        {"<a x=\"\xE0\x80\xAF\"/>", ansi}, {"<a x=\"\xF0\x80\x80\xAF\"/>", ansi},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.document));
        EXPECT_EQ(config::detect_encoding(c.document), c.encoding);
    }
}

TEST(load_configuration, decodes_attribute_texts_by_the_documents_encoding)
{
    const auto caption = [](const std::string& text) {
        return "<configurations><configuration type=\"install\" dialog_caption=\"" + text + "\"/></configurations>";
    };
    const struct {
        std::string xml;
        std::wstring caption;
    } cases[] = {
        {"\xEF\xBB\xBF" + caption("caf\xC3\xA9 \xC3\xBC \xE2\x82\xAC"), L"caf\u00e9 \u00fc \u20ac"},
        {declaring("UTF-8", caption("caf\xC3\xA9 \xE2\x82\xAC")), L"caf\u00e9 \u20ac"},
        {declaring("ISO-8859-1", caption("caf\xE9 \xFC")), L"caf\u00e9 \u00fc"},
        {declaring("windows-1252", caption("caf\xE9 \x80")), L"caf\u00e9 \u20ac"},
        {declaring("ISO-8859-1", caption("caf\xC3\xA9")), L"caf\u00c3\u00a9"},
        {caption("caf\xC3\xA9 \xE2\x82\xAC"), L"caf\u00e9 \u20ac"},
        {caption("caf\xE9 \x80"), L"caf\u00e9 \u20ac"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.xml));
        platform::fake_platform sys;
        with_setup_xml(sys, c.xml);
        configuration_settings s;
        ASSERT_TRUE(load(sys, s)) << testing::PrintToString(sys.message_texts());
        EXPECT_EQ(s.dialog_caption, c.caption);
    }
}

}  // namespace

namespace {
// Takes down where the loader says the document comes from.
struct source_record : config::reading_observer {
    std::wstring said;
    void source_chosen(const std::wstring& path, const std::wstring& ignored) override
    {
        said = config::source_description(path, ignored);
    }
    void configuration_chosen(int, int, const std::wstring&) override {}
    void settings_read(const configuration_settings&, int) override {}
    void component_read(int, const components::component&, config::component_verdict) override {}
};

TEST(load_configuration, the_source_is_named_and_a_setup_xml_that_a_stored_only_build_passes_over_too)
{
    const std::wstring none = L"the copy stored in the program (no setup.xml beside it)";
    const std::wstring ignored = L"the copy stored in the program (C:\\medium\\setup.xml beside it is ignored: this "
                                 L"build reads only its stored copy)";
    const struct {
        bool beside;
        config::sources from;
        std::wstring said;
    } cases[] = {{true, config::sources::file_or_stored, L"C:\\medium\\setup.xml"},
                 {false, config::sources::file_or_stored, none},
                 {true, config::sources::stored_only, ignored},
                 {false, config::sources::stored_only, none}};
    for (const auto& c : cases) {
        platform::fake_platform sys;
        sys.set_language(1033);
        if (c.beside) with_setup_xml(sys, document("", "dialog_caption=\"file\""));
        sys.resource_bytes = document("", "dialog_caption=\"stored\"");
        source_record record;
        configuration_settings s;
        EXPECT_TRUE(config::load_setup_configuration(sys, s, &record, c.from));
        EXPECT_EQ(record.said, c.said);
        EXPECT_EQ(s.dialog_caption, c.beside && c.from == config::sources::file_or_stored ? L"file" : L"stored");
    }
}

std::string nested(int depth)
{
    std::string s = "<?xml version=\"1.0\"?><configurations><configuration type=\"install\"><extra>";
    // The root, the configuration and an element the reader ignores already
    // stand three deep.
    for (int i = 3; i < depth; ++i) s += "<x>";
    for (int i = 3; i < depth; ++i) s += "</x>";
    return s + "</extra></configuration></configurations>";
}

TEST(document_limits, nesting_is_limited_before_the_parser_sees_the_document)
{
    EXPECT_TRUE(config::within_document_limits(nested(config::max_element_depth)));
    EXPECT_FALSE(config::within_document_limits(nested(config::max_element_depth + 1)));
    // Markup inside comments, CDATA and instructions, a ">" inside an
    // attribute value and an empty element do not nest.
    std::string quiet = "<a>";
    for (int i = 0; i < 1000; ++i) quiet += "<!-- <b> --><![CDATA[<c>]]><?pi <d>?><e v=\"<f>\" w='>'/>";
    EXPECT_TRUE(config::within_document_limits(quiet + "</a>"));
}

TEST(document_limits, every_node_the_parser_makes_counts_whatever_its_kind)
{
    // The root and so many nodes of one kind: up to the limit accepted, one
    // more refused.
    for (const std::string node : {"<!>", "<!---->", "<![CDATA[]]>", "<?p?>", "<b/>"}) {
        SCOPED_TRACE(node);
        std::string doc = "<a>";
        doc.reserve(node.size() * config::max_document_nodes + 8);
        for (std::size_t i = 1; i < config::max_document_nodes; ++i) doc += node;
        EXPECT_TRUE(config::within_document_limits(doc + "</a>"));
        EXPECT_FALSE(config::within_document_limits(doc + node + "</a>"));
    }
    // A run of text is a node unless it is blank.
    std::string text = "<a>", blanks = "<a>";
    for (std::size_t i = 0; i < config::max_document_nodes / 2; ++i) {
        text += "x<!>";
        blanks += " \r\n\t<!>";
    }
    EXPECT_FALSE(config::within_document_limits(text + "</a>"));
    EXPECT_TRUE(config::within_document_limits(blanks + "</a>"));
}

TEST(document_limits, elements_and_attributes_are_counted_and_closed_elements_leave_the_depth)
{
    // Siblings, each closed: one level deep however many they are.
    std::string siblings = "<a>";
    for (int i = 0; i < 300; ++i) siblings += "<b></b>";
    EXPECT_TRUE(config::within_document_limits(siblings + "</a>"));
    // An element with an attribute, then empty elements: a million together
    // are accepted, one more is not, and the loader then says the parse
    // message without parsing.
    std::string many = "<configurations x=\"1\">";
    many.reserve(4 * config::max_document_nodes + 64);
    for (std::size_t i = 2; i < config::max_document_nodes; ++i) many += "<b/>";
    EXPECT_TRUE(config::within_document_limits(many + "</configurations>"));
    many += "<b/></configurations>";
    EXPECT_FALSE(config::within_document_limits(many));
    platform::fake_platform sys;
    testing_support::with_setup_xml(sys, many);
    configuration_settings s;
    EXPECT_FALSE(config::load_setup_configuration(sys, s));
    EXPECT_EQ(sys.message_texts(), std::vector<std::wstring>{parse_failed});
}

TEST(document_limits, a_deep_or_huge_setup_xml_fails_with_the_parse_message_and_no_crash)
{
    std::string deep = "<configurations>";
    for (int i = 0; i < 200000; ++i) deep += "<a>";
    platform::fake_platform sys;
    testing_support::with_setup_xml(sys, deep);
    configuration_settings s;
    EXPECT_FALSE(config::load_setup_configuration(sys, s));
    EXPECT_EQ(sys.message_texts(), std::vector<std::wstring>{parse_failed});

    platform::fake_platform big;
    testing_support::with_setup_xml(big, nested(5) + std::string(config::max_document_bytes, ' '));
    EXPECT_FALSE(config::load_setup_configuration(big, s));
    EXPECT_EQ(big.message_texts(), std::vector<std::wstring>{parse_failed});
    EXPECT_EQ(big.bytes_read, 0u);  // refused by its size alone

    platform::fake_platform stored;
    stored.set_language(1033);
    stored.resource_bytes = deep;
    EXPECT_FALSE(config::load_setup_configuration(stored, s));
    EXPECT_EQ(stored.message_texts(), std::vector<std::wstring>{L"Resource RES_CONFIGURATION is not a valid xml."});
}

TEST(document_limits, the_deepest_accepted_document_loads)
{
    platform::fake_platform sys;
    testing_support::with_setup_xml(sys, nested(config::max_element_depth));
    configuration_settings s;
    EXPECT_TRUE(config::load_setup_configuration(sys, s));
    EXPECT_TRUE(sys.messages.empty());
}

}  // namespace

namespace {

TEST(document_limits, a_utf8_sequence_cut_short_by_the_end_of_the_file_is_read_safely)
{
    // An attribute that runs to the end of the file and ends in the lead byte
    // of a three-byte sequence.
    platform::fake_platform sys;
    testing_support::with_setup_xml(sys, "\xEF\xBB\xBF<configurations><configuration a=\"x \xEF");
    configuration_settings s;
    EXPECT_FALSE(config::load_setup_configuration(sys, s));
    EXPECT_EQ(sys.message_texts(), std::vector<std::wstring>{parse_failed});
}

}  // namespace
