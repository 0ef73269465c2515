#include "lint.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "components/filters.h"
#include "components/version.h"
#include "config/settings.h"
#include "config/sources.h"
#include "dialog/dialog_rules.h"
#include "download/downloader.h"
#include "engine/format.h"
#include "base/numbered_format.h"
#include "base/paths.h"
#include "base/text.h"
#include "os_codes.h"
#include "stub_platform.h"
#include "text_room.h"
#include "tinyxml.h"

namespace setup_check {

namespace fs = std::filesystem;

std::filesystem::path path_from_argument(const std::string& argument)
{
#ifdef _WIN32
    return std::filesystem::path(argument);
#else
    return std::filesystem::u8path(argument);
#endif
}

bool parse_like_setup(const std::string& bytes, TiXmlDocument& document, config::text_encoding& encoding)
{
    encoding = config::detect_encoding(bytes);
    // Columns count characters: a tab is one, like any other.
    document.SetTabSize(1);
    return config::parse_document(document, std::string(bytes), encoding);
}

namespace {

// ------------------------------------------------------------ vocabulary

const char* const marker_names[] = {"#APPPATH", "#SYSTEMPATH", "#WINDOWSPATH", "#TEMPPATH"};

// Attributes that Setup.exe reads, per element; and attributes that it
// accepts without any effect (the stored configuration carries them).
const std::set<std::string> configuration_attributes = {
    "lcid", "type", "dialog_caption", "dialog_message", "install_caption", "cancel_caption", "status_installed",
    "failed_exec_command_continue", "installation_completed", "reboot_required", "dialog_admin_required",
    "complete_command", "install_silent", "log_file", "detailed_exit_status", "unattended", "show_progress",
    "installing_component_wait", "install_wait_caption", "installation_failed"};
const std::set<std::string> configuration_inert = {
    "dialog_bitmap", "status_notinstalled", "dialog_otherinfo_caption",
    "dialog_otherinfo_link", "auto_close_if_installed", "advanced_caption", "dialog_selector_caption",
    "dialog_selector_message", "dialog_selector_ok", "dialog_selector_cancel"};
const std::set<std::string> component_attributes = {
    "type", "description", "os_filter_greater", "os_filter_smaller", "os_filter_lcid", "installcompletemessage",
    "mustreboot", "required", "required_message", "admin_required", "primary"};
const std::map<std::string, std::set<std::string>> component_kind_attributes = {
    {"msi", {"package", "cmdparameters"}}, {"cmd", {"command"}}, {"openfile", {"file"}}};
const std::set<std::string> component_inert = {"note"};
const std::map<std::string, std::set<std::string>> check_kind_attributes = {
    {"check_registry_value", {"path", "fieldname", "fieldvalue", "fieldtype", "comparison", "view"}},
    {"check_file", {"filename", "fileversion", "comparison"}}};
const std::set<std::string> download_dialog_attributes = {
    "dialog_caption", "dialog_message", "dialog_message_downloading", "buttonstart_caption",
    "buttoncancel_caption", "autostartdownload", "progress_text", "progress_text_no_size", "retry_text"};
const std::set<std::string> download_attributes = {"componentname", "sourceurl", "destinationpath",
                                                   "destinationfilename", "sha256"};

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::size_t edit_distance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known word that `word` most likely misspells, or "".
std::string suggestion(const std::string& word, const std::set<std::string>& known)
{
    std::string best;
    std::size_t best_distance = 3;
    for (const auto& k : known) {
        const std::size_t d = edit_distance(lower(word), lower(k));
        if (d < best_distance && d * 3 <= k.size()) {
            best = k;
            best_distance = d;
        }
    }
    return best;
}

// A word that equals a known one but for letter case, or "".
std::string case_variant(const std::string& word, const std::set<std::string>& known)
{
    for (const auto& k : known)
        if (k != word && lower(k) == lower(word)) return k;
    return "";
}

// What a publisher meant by a boolean's text: "true" or "false" as Setup.exe
// understands them, another word for yes or no, or nothing recognisable.
enum class boolean_word { exact, truthy, falsy, other };

boolean_word classify_boolean(const std::wstring& v)
{
    const std::wstring word = text::ascii_lower(v);
    if (word == L"true" || word == L"false") return boolean_word::exact;
    static const std::set<std::wstring> truthy = {L"yes", L"y", L"on", L"1", L"t", L"enabled", L"enable", L"true"};
    static const std::set<std::wstring> falsy = {L"no", L"n", L"off", L"0", L"f", L"disabled", L"disable", L"false"};
    const std::wstring trimmed = text::trim(word);
    if (truthy.count(trimmed) > 0) return boolean_word::truthy;
    if (falsy.count(trimmed) > 0) return boolean_word::falsy;
    return boolean_word::other;
}

std::string quoted(const std::string& utf8) { return "\"" + utf8 + "\""; }
std::string quoted(const std::wstring& text) { return quoted(to_utf8(text)); }

// The "%" sequences of a format that takes one string: how many "%s" it
// holds, and the others, which are shown as written ("%%" is a percent sign).
struct format_sequences {
    int strings = 0;
    std::vector<std::string> others;
};

format_sequences scan_format(const std::wstring& f)
{
    format_sequences found;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != L'%') continue;
        const wchar_t next = i + 1 < f.size() ? f[i + 1] : L'\0';
        if (next == L'%') {
            ++i;
        } else if (next == L's') {
            ++found.strings;
            ++i;
        } else {
            found.others.push_back(to_utf8(f.substr(i, next == L'\0' ? 1 : 2)));
        }
    }
    return found;
}

bool is_hex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }
bool is_alnum(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// A version text read the way Setup.exe reads it ("%d.%d.%d.%d"): its four
// parts and how many characters the reading used.
struct version_reading {
    std::int32_t part[4] = {0, 0, 0, 0};
    int parts = 0;
    std::size_t used = 0;
};

version_reading read_version(const std::wstring& s)
{
    version_reading r;
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t at = pos;
        if (i > 0) {
            if (at >= s.size() || s[at] != L'.') break;
            ++at;
        }
        if (!text::scan_int(s, at, r.part[i])) break;
        pos = at;
        r.parts = i + 1;
    }
    r.used = pos;
    return r;
}

std::wstring version_text(const version_reading& r)
{
    std::wstring out;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) out += L'.';
        out += std::to_wstring(r.part[i]);
    }
    return out;
}

// A file's version as Setup.exe writes it for "match": four numbers from 0
// to 65535 without leading zeros.
bool is_file_version_text(const std::wstring& s)
{
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        const std::size_t start = i;
        std::uint32_t value = 0;
        while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
            value = value * 10 + static_cast<std::uint32_t>(s[i] - L'0');
            if (value > 65535) return false;
            ++i;
        }
        if (i == start || (i - start > 1 && s[start] == L'0')) return false;
        ++parts;
        if (i == s.size()) return parts == 4;
        if (s[i] != L'.' || parts == 4) return false;
        ++i;
    }
}

// The first key name of a registry path (a backslash before it skipped).
std::string first_key_name(const std::wstring& path)
{
    std::size_t start = 0;
    while (start < path.size() && (path[start] == L'\\' || path[start] == L'/')) ++start;
    const std::size_t end = path.find_first_of(L"\\/", start);
    return to_utf8(path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
}

// The root whose name or abbreviation, in any letter case, a path begins
// with ("HKEY_LOCAL_MACHINE" for HKLM too), or "".
std::string registry_root_named(const std::wstring& path)
{
    static const std::map<std::string, std::string> roots = {
        {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"}, {"HKLM", "HKEY_LOCAL_MACHINE"},
        {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},   {"HKCU", "HKEY_CURRENT_USER"},
        {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},   {"HKCR", "HKEY_CLASSES_ROOT"},
        {"HKEY_USERS", "HKEY_USERS"},                 {"HKU", "HKEY_USERS"},
        {"HKEY_CURRENT_CONFIG", "HKEY_CURRENT_CONFIG"}, {"HKCC", "HKEY_CURRENT_CONFIG"}};
    const auto found = roots.find(upper(first_key_name(path)));
    return found == roots.end() ? "" : found->second;
}

// The keys right under HKEY_LOCAL_MACHINE (SOFTWARE, SYSTEM, HARDWARE, SAM,
// SECURITY, BCD00000000) never begin with "HK": a first name that does, or
// that comes near a root's name, is a root's name misspelled.
bool looks_like_registry_root(const std::wstring& path)
{
    const std::string first = upper(first_key_name(path));
    return first.rfind("HK", 0) == 0 ||
           !suggestion(first, {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS",
                               "HKEY_CURRENT_CONFIG"}).empty();
}

// A path that Windows resolves against the current folder: no marker (a
// miscased one is reported as such), no drive letter, not rooted or UNC.
bool is_relative_path(const std::wstring& path)
{
    const std::string head = upper(to_utf8(path.substr(0, 16)));
    for (const char* m : marker_names)
        if (head.rfind(m, 0) == 0) return false;
    const bool drive = path.size() >= 2 && path[1] == L':' &&
                       ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    return path.empty() || (!drive && path[0] != L'\\' && path[0] != L'/');
}

// A switch that keeps msiexec from waiting for the user, with "/" or "-" and
// in any letter case: "!" and "-" only trim its window, "+" adds a closing
// message box that waits.
bool is_quiet_switch(const std::wstring& token)
{
    if (token.size() < 2 || (token[0] != L'/' && token[0] != L'-')) return false;
    const std::wstring word = text::ascii_lower(token.substr(1));
    if (word == L"quiet" || word == L"passive" || word == L"q") return true;
    if (word.rfind(L"qn", 0) != 0 && word.rfind(L"qb", 0) != 0) return false;
    return word.find_first_not_of(L"!-", 2) == std::wstring::npos;
}

// ------------------------------------------------------------ the linter

class linter {
public:
    explicit linter(const lint_options& options) : options_(options) {}

    std::vector<diagnostic> run(const std::string& bytes);

private:
    // --- reporting ---
    void report(const TiXmlBase* at, severity level, const std::string& rule, const std::string& message)
    {
        diagnostic d;
        if (at != nullptr) {
            d.line = at->Row();
            d.column = at->Column();
        }
        d.level = level;
        d.rule = rule;
        d.message = message;
        found_.push_back(d);
        if (level == severity::error) ++errors_;
    }
    void error(const TiXmlBase* at, const std::string& rule, const std::string& message)
    {
        report(at, severity::error, rule, message);
    }
    void warning(const TiXmlBase* at, const std::string& rule, const std::string& message)
    {
        report(at, severity::warning, rule, message);
    }

    // --- attributes as Setup.exe reads them ---
    static const TiXmlAttribute* attribute(const TiXmlElement& e, const char* name)
    {
        for (const TiXmlAttribute* a = e.FirstAttribute(); a != nullptr; a = a->Next())
            if (std::string(a->Name()) == name) return a;
        return nullptr;
    }
    static const TiXmlBase* place(const TiXmlElement& e, const char* name)
    {
        const TiXmlAttribute* a = attribute(e, name);
        return a != nullptr ? static_cast<const TiXmlBase*>(a) : &e;
    }
    static bool has(const TiXmlElement& e, const char* name) { return e.Attribute(name) != nullptr; }
    std::wstring value(const TiXmlElement& e, const char* name) const { return reader_->text(e, name); }

    // --- checks ---
    void check_comments(const TiXmlNode& node);
    void check_root(const TiXmlElement* root);
    void check_configuration(const TiXmlElement& e, bool silent);
    void check_component(const TiXmlElement& e, bool silent);
    void check_component_element_name(const TiXmlElement& e);
    std::string check_component_type(const TiXmlElement& e);
    void check_component_start(const TiXmlElement& e, const std::string& type);
    void check_component_texts(const TiXmlElement& e);
    void check_component_filters(const TiXmlElement& e);
    void check_installed_check(const TiXmlElement& e);
    void check_file_check(const TiXmlElement& e);
    void check_registry_check(const TiXmlElement& e);
    void check_version_text(const TiXmlElement& e, const char* name, const std::string& rule);
    void check_download_dialog(const TiXmlElement& e, bool silent);
    void check_download(const TiXmlElement& e);
    void check_dialog_texts(const TiXmlElement& e);
    void check_button_caption(const TiXmlElement& e, const char* name, int room);
    void check_progress_message(const TiXmlElement& e, const TiXmlElement* list);
    void check_download_window(const TiXmlElement& e);
    void check_row_text(const TiXmlElement& e);

    void check_attribute_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& read,
                               const std::set<std::string>& inert, const std::set<std::string>& elsewhere);
    // Children that are not elements are skipped; elements not in `known`
    // are reported. Returns nothing: callers look up what they need.
    void check_child_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& known);
    void check_boolean(const TiXmlElement& e, const char* name, bool fallback = false);
    void check_presence_boolean(const TiXmlElement& e, const char* name);
    bool check_bound(const TiXmlElement& e, const char* name, std::int32_t& bound);
    void check_language_list(const TiXmlElement& e, const char* name);
    void check_markers(const TiXmlElement& e, const char* name, bool expanded);
    bool check_start_text(const TiXmlElement& e, const char* name, const std::string& hint);
    void check_environment_names(const TiXmlElement& e, const char* name, const std::wstring& v, std::size_t url);
    void check_medium_file(const TiXmlElement& e, const char* name);
    void check_start(const TiXmlElement& e, const char* name, const std::string& hint);
    void check_quiet_package(const TiXmlElement& e);
    void check_downloaded_start(const TiXmlElement& e, const char* name);
    void check_format(const TiXmlElement& e);
    void check_format_rest(const TiXmlElement& e, const char* name, const format_sequences& found);
    void check_description_format(const TiXmlElement& e, const char* name);
    void check_numbered_format(const TiXmlElement& e, const char* name, const std::string& fields);
    void check_status_line(const TiXmlElement& e, const dialog::download_texts& shown,
                           const components::download_dialog_settings& read);
    void check_keyword(const TiXmlElement& e, const char* name, const std::set<std::string>& keywords,
                       const std::string& failure);
    void cross_check_with_reader(const TiXmlElement* root);

    const lint_options& options_;
    stub_platform sys_;
    config::text_encoding encoding_ = config::text_encoding::utf8;
    std::unique_ptr<config::attribute_reader> reader_;
    bool silent_ = false;  // the configuration being checked runs silently
    bool shows_progress_ = false;  // or interactively, showing its progress and the download window
    std::wstring status_installed_;  // and what its rows of installed components add
    bool unattended_run_ = false;  // it runs silently and no one answers a dialog
    std::vector<diagnostic> found_;
    int errors_ = 0;
};

std::vector<diagnostic> linter::run(const std::string& bytes)
{
    if (!config::within_document_limits(bytes)) {
        diagnostic d;
        d.rule = "xml";
        d.message = "the document is larger than " + std::to_string(config::max_document_bytes / (1024 * 1024)) +
                    " MiB or nests elements deeper than " + std::to_string(config::max_element_depth) +
                    " levels: Setup.exe refuses it with \"Invalid configuration file, failed to parse XML elements.\"";
        found_.push_back(d);
        return found_;
    }
    TiXmlDocument document;
    config::text_encoding encoding;
    if (!parse_like_setup(bytes, document, encoding)) {
        diagnostic d;
        d.line = document.ErrorRow();
        d.column = document.ErrorCol();
        d.rule = "xml";
        d.message = std::string("not well-formed XML (") + document.ErrorDesc() +
                    "): Setup.exe fails with \"Invalid configuration file, failed to parse XML elements.\"";
        found_.push_back(d);
        return found_;
    }
    encoding_ = encoding;
    reader_ = std::make_unique<config::attribute_reader>(config::reading_system(sys_), encoding);
    check_comments(document);
    check_root(document.RootElement());
    if (errors_ == 0) cross_check_with_reader(document.RootElement());
    sort_diagnostics(found_);
    return found_;
}

// Setup.exe's parser accepts "--" inside a comment; XML does not, and
// editors, validators and other tools refuse the document.
void linter::check_comments(const TiXmlNode& node)
{
    for (const TiXmlNode* n = node.FirstChild(); n != nullptr; n = n->NextSibling()) {
        if (const TiXmlComment* c = n->ToComment()) {
            const std::string text = c->Value();
            if (text.find("--") != std::string::npos || (!text.empty() && text.back() == '-'))
                warning(c, "xml",
                        "the comment holds \"--\", which XML does not allow: Setup.exe reads the document, but "
                        "other XML tools (the schema validation among them) refuse it");
        }
        check_comments(*n);
    }
}

void linter::check_root(const TiXmlElement* root)
{
    if (root == nullptr) {
        diagnostic d;
        d.line = 1;
        d.column = 1;
        d.rule = "root";
        d.message = "the document has no element: Setup.exe fails with \"Invalid configuration file, node name not "
                    "supported, expected 'configurations'.\"";
        found_.push_back(d);
        ++errors_;
        return;
    }
    const std::string name = root->Value();
    if (name != "configurations") {
        error(root, lower(name) == "configurations" ? "keyword-case" : "root",
              "the root element is " + quoted(name) +
                  (lower(name) == "configurations" ? " (names are case-sensitive)" : "") +
                  ": Setup.exe expects \"configurations\" and fails with \"Invalid configuration file, node name "
                  "not supported, expected 'configurations'.\"");
        return;
    }
    check_attribute_names(*root, "configurations", {}, {}, {});
    check_child_names(*root, "configurations", {"configuration", "schema"});

    std::vector<const TiXmlElement*> configurations;
    for (const TiXmlElement* c = root->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
        const std::string n = c->Value();
        if (n == "configuration") configurations.push_back(c);
        if (n == "schema") check_attribute_names(*c, "schema", {"version"}, {}, {});
    }
    if (configurations.empty()) {
        error(root, "configuration",
              "no \"configuration\" element: Setup.exe fails with \"System not supported or invalid "
              "configuration, no valid 'configuration' node found.\"");
        return;
    }
    const TiXmlElement* catch_all = nullptr;
    for (const TiXmlElement* c : configurations) {
        if (catch_all != nullptr)
            warning(c, "unreachable",
                    "this configuration is never chosen: the one at line " + std::to_string(catch_all->Row()) +
                        " comes first and its empty lcid accepts every language");
        const bool silent = config::read_bool_attribute(has(*c, "install_silent")
                                                            ? value(*c, "install_silent").c_str()
                                                            : nullptr,
                                                        false);
        silent_ = silent;
        check_configuration(*c, silent);
        if (catch_all == nullptr && value(*c, "lcid").empty()) catch_all = c;
    }
}

void linter::check_configuration(const TiXmlElement& e, bool silent)
{
    check_attribute_names(e, "configuration", configuration_attributes, configuration_inert, {});
    check_child_names(e, "configuration", {"components"});

    // type
    const std::wstring type = value(e, "type");
    if (!has(e, "type") || type.empty())
        error(place(e, "type"), "configuration-type",
              "the configuration has no type: when it is chosen, Setup.exe fails with \"Invalid configuration "
              "file, configuration type not supported.\" (write type=\"install\")");
    else if (type != L"install")
        error(place(e, "type"), text::ascii_lower(type) == L"install" ? "keyword-case" : "configuration-type",
              "configuration type " + quoted(type) +
                  (text::ascii_lower(type) == L"install" ? " is not \"install\" (keywords are case-sensitive)"
                                                         : " is not supported") +
                  ": when it is chosen, Setup.exe fails with \"Invalid configuration file, configuration type not "
                  "supported.\"");

    check_language_list(e, "lcid");
    check_boolean(e, "install_silent");
    check_boolean(e, "detailed_exit_status");
    check_boolean(e, "unattended");
    check_boolean(e, "show_progress");
    check_markers(e, "log_file", true);
    const bool unattended =
        config::read_bool_attribute(has(e, "unattended") ? value(e, "unattended").c_str() : nullptr, false);
    unattended_run_ = unattended && silent;
    if (unattended && !silent)
        warning(place(e, "unattended"), "no-effect",
                "unattended acts in the silent run only: this configuration shows its dialog and its message "
                "boxes (set install_silent=\"true\" for an unattended run)");
    const bool show_progress = reader_->boolean(e, "show_progress", false);
    shows_progress_ = show_progress && !silent;
    if (show_progress && silent)
        warning(place(e, "show_progress"), "no-effect",
                "show_progress acts in the interactive run only: this configuration runs silently, without the "
                "dialog and without a download window");
    status_installed_ = value(e, "status_installed");
    const TiXmlElement* first_list = e.FirstChildElement("components");
    if (!silent) check_dialog_texts(e);
    if (shows_progress_) check_progress_message(e, first_list);
    if (first_list != nullptr && first_list->FirstChildElement() != nullptr) check_format(e);
    check_markers(e, "dialog_admin_required", true);
    check_markers(e, "complete_command", true);
    if (!check_start_text(e, "complete_command", "it is opened without arguments"))
        check_medium_file(e, "complete_command");
    for (const char* name : {"dialog_caption", "dialog_message", "install_caption", "cancel_caption",
                             "status_installed", "failed_exec_command_continue", "installation_completed",
                             "reboot_required", "installing_component_wait", "install_wait_caption",
                             "installation_failed"})
        check_markers(e, name, false);
    if (has(e, "installation_failed")) check_description_format(e, "installation_failed");

    if (has(e, "auto_close_if_installed") &&
        !config::read_bool_attribute(value(e, "auto_close_if_installed").c_str(), false))
        warning(place(e, "auto_close_if_installed"), "no-effect",
                "auto_close_if_installed has no effect: when nothing listed is missing, the dialog always starts "
                "the installation by itself");

    const TiXmlElement* list = e.FirstChildElement("components");
    if (list == nullptr) {
        warning(&e, "components",
                "the configuration has no \"components\" element: there is nothing to install");
        return;
    }
    for (const TiXmlElement* more = list->NextSiblingElement("components"); more != nullptr;
         more = more->NextSiblingElement("components"))
        warning(more, "ignored", "only the first \"components\" element is read; this one is ignored");
    check_attribute_names(*list, "components", {}, {}, {});
    for (const TiXmlNode* n = list->FirstChild(); n != nullptr; n = n->NextSibling())
        if (const TiXmlElement* c = n->ToElement()) check_component(*c, silent);
}

void linter::check_component(const TiXmlElement& e, bool silent)
{
    check_component_element_name(e);
    const std::string type = check_component_type(e);
    check_component_start(e, type);
    check_component_texts(e);
    if (!silent) check_row_text(e);
    check_component_filters(e);
    for (const TiXmlElement* check = e.FirstChildElement("installedcheck"); check != nullptr;
         check = check->NextSiblingElement("installedcheck"))
        check_installed_check(*check);
    const TiXmlElement* dialog = e.FirstChildElement("downloaddialog");
    if (dialog != nullptr) {
        for (const TiXmlElement* more = dialog->NextSiblingElement("downloaddialog"); more != nullptr;
             more = more->NextSiblingElement("downloaddialog"))
            warning(more, "ignored", "only the first \"downloaddialog\" of a component is read; this one is ignored");
        check_download_dialog(*dialog, silent);
    }
}

void linter::check_component_element_name(const TiXmlElement& e)
{
    const std::string element_name = e.Value();
    if (element_name == "component") return;
    const bool misplaced = element_name == "installedcheck" || element_name == "downloaddialog" ||
                           element_name == "download" || element_name == "downloads";
    warning(&e, "component-element",
            "every element inside \"components\" is read as a component, this " + quoted(element_name) +
                " element too" + (misplaced ? " (it belongs inside a component)" : ""));
}

// The type decides the kind and which attributes it reads.
std::string linter::check_component_type(const TiXmlElement& e)
{
    const std::wstring type_text = value(e, "type");
    const std::string type = to_utf8(type_text);
    const std::string failure = "Setup.exe fails to load the configuration with \"Invalid configuration file, "
                                "component type not supported\"";
    std::set<std::string> read = component_attributes;
    std::set<std::string> elsewhere;
    const auto kind = component_kind_attributes.find(type);
    for (const auto& k : component_kind_attributes) {
        // An unknown type already fails the whole configuration: its
        // attributes are not reported on top of that.
        if (k.first == type || kind == component_kind_attributes.end())
            read.insert(k.second.begin(), k.second.end());
        else
            elsewhere.insert(k.second.begin(), k.second.end());
    }
    if (!has(e, "type") || type_text.empty()) {
        error(place(e, "type"), "component-type", "the component has no type (msi, cmd or openfile): " + failure);
    } else if (kind == component_kind_attributes.end()) {
        const std::string variant = case_variant(type, {"msi", "cmd", "openfile"});
        if (!variant.empty())
            error(place(e, "type"), "keyword-case",
                  "component type " + quoted(type) + " is not " + quoted(variant) +
                      " (keywords are case-sensitive): " + failure);
        else
            error(place(e, "type"), "component-type",
                  "component type " + quoted(type) + " is not one of msi, cmd, openfile: " + failure);
    }
    check_attribute_names(e, "component", read, component_inert, elsewhere);
    check_child_names(e, "component", {"installedcheck", "downloaddialog"});
    return type;
}

// What the component starts: present, with its markers right, without
// arguments, and on the medium or fetched by its downloads. With a type that
// is not understood, the attributes of every kind are still checked.
void linter::check_component_start(const TiXmlElement& e, const std::string& written_type)
{
    std::string type = written_type;
    if (component_kind_attributes.count(type) == 0) type = case_variant(type, {"msi", "cmd", "openfile"});
    const bool unknown = type.empty();
    if (type == "cmd") {
        if (value(e, "command").empty())
            error(place(e, "command"), "missing-attribute", "a cmd component without a command cannot start");
    } else if (type == "msi") {
        if (value(e, "package").empty())
            error(place(e, "package"), "missing-attribute", "an msi component without a package cannot start");
    } else if (type == "openfile") {
        if (value(e, "file").empty())
            error(place(e, "file"), "missing-attribute", "an openfile component without a file opens nothing");
    }
    if (type == "cmd" || (unknown && has(e, "command")))
        check_start(e, "command",
                    "a command cannot carry arguments: start a program that needs none, or install a package "
                    "through an msi component and its cmdparameters");
    if (type == "msi" || (unknown && has(e, "package"))) {
        check_start(e, "package", "put the installer's options into cmdparameters");
        check_markers(e, "cmdparameters", true);
        if (unattended_run_) check_quiet_package(e);
    }
    if (type == "openfile" || (unknown && has(e, "file"))) check_start(e, "file", "a file is opened without arguments");
    if (type != "msi" && !unknown && has(e, "cmdparameters")) check_markers(e, "cmdparameters", false);
}

// Nobody answers a package's own dialog in an unattended run: msiexec must
// be told to show none that waits.
void linter::check_quiet_package(const TiXmlElement& e)
{
    const std::wstring parameters = value(e, "cmdparameters");
    std::size_t i = 0;
    while (i < parameters.size()) {
        while (i < parameters.size() && text::is_space(parameters[i])) ++i;
        std::size_t end = i;
        while (end < parameters.size() && !text::is_space(parameters[end])) ++end;
        if (is_quiet_switch(parameters.substr(i, end - i))) return;
        i = end;
    }
    warning(place(e, "cmdparameters"), "quiet",
            (parameters.empty() ? std::string("the package has no cmdparameters, so no")
                                : "cmdparameters " + quoted(parameters) + " hold no") +
                " quiet switch (/qn, /quiet, /passive or /qb, without +): in this unattended run the package "
                "shows its own dialog, which waits for a click that never comes");
}

void linter::check_start(const TiXmlElement& e, const char* name, const std::string& hint)
{
    check_markers(e, name, true);
    // A text with arguments names no file: looking for it on the medium
    // would only add a confusing second error.
    if (check_start_text(e, name, hint)) return;
    check_downloaded_start(e, name);
}

void linter::check_component_texts(const TiXmlElement& e)
{
    if (value(e, "description").empty())
        warning(place(e, "description"), "description",
                "the component has no description: its row in the check list and the failure question show "
                "no name");
    for (const char* name : {"description", "installcompletemessage", "required_message", "admin_required"})
        check_markers(e, name, false);
    check_boolean(e, "mustreboot");
    check_presence_boolean(e, "required");
    check_presence_boolean(e, "primary");
}

// The dialog's font at 96 dpi decides what its controls hold; a larger
// setting of the system scales the controls and the font alike.
void linter::check_dialog_texts(const TiXmlElement& e)
{
    const std::string font = " in the dialog's font at 96 dpi";
    const std::wstring message = value(e, "dialog_message");
    const int lines = message_lines(message);
    if (!message.empty() && lines > message_line_room())
        warning(place(e, "dialog_message"), "text-room",
                "dialog_message takes " + std::to_string(lines) + " lines" + font + "; the message has room for " +
                    std::to_string(message_line_room()) + ": the rest is hidden behind the buttons");
    // install_wait_caption is the disabled Continue's caption during the run.
    for (const char* name : {"install_caption", "cancel_caption", "install_wait_caption"})
        check_button_caption(e, name, button_text_room());
}

void linter::check_button_caption(const TiXmlElement& e, const char* name, int room)
{
    const int width = text_width(value(e, name), true);
    if (width > room)
        warning(place(e, name), "text-room",
                std::string(name) + " " + quoted(value(e, name)) + " is " + std::to_string(width) +
                    " pixels wide in the dialog's font at 96 dpi; the button has room for " + std::to_string(room) +
                    ": the text fills it or is cut");
}

// While a component is handled, the dialog's message reads
// installing_component_wait with the component's description: it must fit
// the message with the description that takes the most room.
void linter::check_progress_message(const TiXmlElement& e, const TiXmlElement* list)
{
    const char* name = "installing_component_wait";
    const std::wstring wait = value(e, name);
    if (wait.empty()) return;  // the message stays as it is
    check_description_format(e, name);
    std::wstring widest;
    int most = 0;
    for (const TiXmlElement* c = list != nullptr ? list->FirstChildElement() : nullptr; c != nullptr;
         c = c->NextSiblingElement()) {
        const std::wstring description = value(*c, "description");
        const int lines = message_lines(engine::format_with_one_string(wait, description));
        if (lines > most) {
            most = lines;
            widest = description;
        }
    }
    if (most > message_line_room())
        warning(place(e, name), "text-room",
                "installing_component_wait with the description " + quoted(to_utf8(widest)) + " takes " +
                    std::to_string(most) + " lines in the dialog's font at 96 dpi; the message has room for " +
                    std::to_string(message_line_room()) + ": the rest is hidden behind the buttons");
}

// The download window of a run that shows its progress: its text before and
// while the transfer runs, in the window's text box, and its buttons, as
// Setup.exe reads them.
void linter::check_download_window(const TiXmlElement& e)
{
    for (const char* name : {"dialog_message", "dialog_message_downloading"}) {
        const std::wstring text = value(e, name);
        const int lines = download_message_lines(text);
        if (!text.empty() && lines > download_message_line_room())
            warning(place(e, name), "text-room",
                    std::string(name) + " takes " + std::to_string(lines) +
                        " lines in the dialog's font at 96 dpi; the download window's text has room for " +
                        std::to_string(download_message_line_room()) + ": the rest is cut off");
    }
    components::download_dialog_settings read;
    // A faulty downloads element is reported elsewhere; the texts come first.
    static_cast<void>(config::read_download_dialog_node(*reader_, e, read));
    const dialog::download_texts shown = dialog::download_window_texts(read, L"");
    const struct {
        const char* name;
        const std::wstring& fallback;
        bool shows;
    } buttons[] = {{"buttonstart_caption", shown.start, shown.shows_start},
                   {"buttoncancel_caption", shown.cancel, true}};
    check_status_line(e, shown, read);
    for (const auto& b : buttons) {
        if (!b.shows || !has(e, b.name)) continue;
        if (value(e, b.name).empty())
            warning(place(e, b.name), "download-window",
                    std::string(b.name) + " is empty: the download window's button reads " + quoted(b.fallback) +
                        " (write its caption, or leave the attribute out for " + quoted(b.fallback) + ")");
        else
            check_button_caption(e, b.name, download_button_text_room());
    }
}

// A row longer than the list is wide ends in "...": its description, with
// the installed status after it when a check can find the component
// installed, or with required_message while a required one is missing.
void linter::check_row_text(const TiXmlElement& e)
{
    const auto present = [&](const char* name) {
        return has(e, name) && text::ascii_lower(value(e, name)) != L"false";
    };
    if (present("required") && present("primary")) return;  // the product has no row
    const std::wstring description = value(e, "description");
    std::vector<std::pair<std::wstring, std::string>> rows = {{description, "the row "}};
    // A run that shows its progress marks every component it installed so.
    if (e.FirstChildElement("installedcheck") != nullptr || shows_progress_)
        rows.push_back({description + L" " + status_installed_, "when the component is installed, the row "});
    if (present("required"))
        rows.push_back({description + L" " + value(e, "required_message"), "while the component is missing, the row "});
    const int room = row_text_room();
    for (const auto& row : rows) {
        const int width = text_width(row.first, false);
        if (width <= room) continue;
        warning(place(e, "description"), "text-room",
                row.second + quoted(row.first) + " is " + std::to_string(width) + " pixels wide in the dialog's font "
                "at 96 dpi; the list has room for " + std::to_string(room) + ": it is cut and ends in \"...\"");
        return;
    }
}

void linter::check_component_filters(const TiXmlElement& e)
{
    std::int32_t lower_bound = -10000;
    std::int32_t upper_bound = 10000;
    const bool lower_ok = check_bound(e, "os_filter_greater", lower_bound);
    const bool upper_ok = check_bound(e, "os_filter_smaller", upper_bound);
    if (lower_ok && upper_ok) {
        const bool any = std::any_of(os_codes().begin(), os_codes().end(), [&](const os_code_entry& c) {
            return lower_bound < c.code && c.code < upper_bound;
        });
        if (!any)
            warning(place(e, has(e, "os_filter_smaller") ? "os_filter_smaller" : "os_filter_greater"), "os-filter",
                    "no Windows version code lies strictly between os_filter_greater " +
                        std::to_string(lower_bound) + " and os_filter_smaller " + std::to_string(upper_bound) +
                        ": the component is left out on every system");
    }
    check_language_list(e, "os_filter_lcid");
}

void linter::check_installed_check(const TiXmlElement& e)
{
    const std::string written = to_utf8(value(e, "type"));
    std::string type = written;
    const std::string failure = "Setup.exe fails to load the configuration with \"Invalid configuration file, "
                                "installed check type not supported\"";
    if (type.empty()) {
        error(place(e, "type"), "check-type",
              "the installed check has no type (check_registry_value or check_file): " + failure);
    } else if (check_kind_attributes.count(type) == 0) {
        const std::string variant = case_variant(type, {"check_registry_value", "check_file"});
        if (!variant.empty())
            error(place(e, "type"), "keyword-case",
                  "installed check type " + quoted(written) + " is not " + quoted(variant) +
                      " (keywords are case-sensitive): " + failure);
        else
            error(place(e, "type"), "check-type",
                  "installed check type " + quoted(written) + " is not check_registry_value or check_file: " + failure);
        type = variant;
    }
    // The other attributes are checked as the intended kind's, or, when the
    // kind cannot be told, as any kind's.
    std::set<std::string> read = {"type"};
    std::set<std::string> elsewhere;
    for (const auto& k : check_kind_attributes) {
        if (k.first == type || type.empty())
            read.insert(k.second.begin(), k.second.end());
        else
            elsewhere.insert(k.second.begin(), k.second.end());
    }
    for (const auto& r : read) elsewhere.erase(r);
    check_attribute_names(e, "installedcheck", read, {}, elsewhere);
    check_child_names(e, "installedcheck", {});
    if (type == "check_file")
        check_file_check(e);
    else if (type == "check_registry_value")
        check_registry_check(e);
    else
        check_markers(e, "filename", true);
}

void linter::check_keyword(const TiXmlElement& e, const char* name, const std::set<std::string>& keywords,
                           const std::string& failure)
{
    const std::string v = to_utf8(value(e, name));
    if (keywords.count(v) > 0) return;
    const std::string variant = case_variant(v, keywords);
    std::string list;
    for (const auto& k : keywords) {
        if (k.empty()) continue;
        if (!list.empty()) list += ", ";
        list += k;
    }
    if (!variant.empty())
        error(place(e, name), "keyword-case",
              std::string(name) + " " + quoted(v) + " is not " + quoted(variant) +
                  " (keywords are case-sensitive): " + failure);
    else if (v.empty())
        error(place(e, name), name, std::string(name) + " is missing (" + list + "): " + failure);
    else
        error(place(e, name), name, std::string(name) + " " + quoted(v) + " is not one of " + list + ": " + failure);
}

// The lowest version that a "version" comparison asks for, read as Setup.exe
// reads it: the reading stops at the first character that does not fit.
void linter::check_version_text(const TiXmlElement& e, const char* name, const std::string& rule)
{
    const std::wstring v = value(e, name);
    const version_reading r = read_version(v);
    if (r.parts > 0 && r.used == v.size()) return;
    const bool zero = r.part[0] == 0 && r.part[1] == 0 && r.part[2] == 0 && r.part[3] == 0;
    const std::string why = v.empty() ? " (it is empty)" : " (the reading stops at the first character that is not "
                                                            "part of a number)";
    warning(place(e, name), rule,
            std::string(name) + " " + quoted(v) + " reads as the version " + quoted(version_text(r)) +
                (zero ? why + ": every installed version counts as new enough, so the check always says installed"
                      : "; the rest is ignored"));
}

void linter::check_file_check(const TiXmlElement& e)
{
    const std::wstring filename = value(e, "filename");
    if (filename.empty())
        error(place(e, "filename"), "missing-attribute",
              "a check_file without a filename always says the component is missing");
    check_markers(e, "filename", true);

    const std::wstring fileversion = value(e, "fileversion");
    const std::wstring comparison = value(e, "comparison");
    if (fileversion.empty()) {
        if (!comparison.empty())
            warning(place(e, "comparison"), "comparison",
                    "without a fileversion the comparison " + quoted(comparison) +
                        " is not used: the file's presence alone decides");
        return;
    }
    const std::string shown = "Setup.exe shows \"Invalid comparison type, expected match or version.\" and the "
                              "check says the component is missing";
    if (comparison == L"exists") {
        error(place(e, "comparison"), "comparison",
              "comparison \"exists\" does not work with check_file: " + shown +
                  " (to test only that the file exists, leave out fileversion and comparison)");
        return;
    }
    check_keyword(e, "comparison", {"match", "version"}, shown);
    if (comparison == L"match" && !is_file_version_text(fileversion))
        error(place(e, "fileversion"), "file-version",
              "comparison \"match\" compares the text with the file's version written as four numbers without "
              "leading zeros (like 2.0.2600.0): " + quoted(fileversion) + " never matches");
    if (comparison == L"version") check_version_text(e, "fileversion", "file-version");
}

void linter::check_registry_check(const TiXmlElement& e)
{
    const std::wstring path = value(e, "path");
    if (path.empty()) {
        error(place(e, "path"), "registry-path",
              "a check_registry_value without a path looks at HKEY_LOCAL_MACHINE itself, which always exists");
    } else {
        const std::string never = "the check always says the component is missing";
        const std::string root = registry_root_named(path);
        if (root == "HKEY_LOCAL_MACHINE")
            error(place(e, "path"), "registry-path",
                  "the path is always under HKEY_LOCAL_MACHINE and must not name it: write the key from "
                  "SOFTWARE on (as written, " + quoted(path) + " is not found: " + never + ")");
        else if (!root.empty())
            error(place(e, "path"), "registry-path",
                  "Setup.exe reads only HKEY_LOCAL_MACHINE: the path " + quoted(path) +
                      " is looked for under it, and is not found: " + never);
        else if (looks_like_registry_root(path))
            error(place(e, "path"), "registry-path",
                  "the path begins with " + quoted(first_key_name(path)) +
                      ", which looks like the name of a registry root: Setup.exe always looks under "
                      "HKEY_LOCAL_MACHINE, where no such key exists, so " + never +
                      " (write the key from SOFTWARE on)");
        if (path[0] == L'\\')
            warning(place(e, "path"), "registry-path",
                    "the path begins with a backslash, which Windows does not accept in a key name");
    }

    const std::wstring view = value(e, "view");
    if (has(e, "view") && view != L"32" && view != L"64")
        error(place(e, "view"), "registry-view",
              "view " + quoted(view) + " is not 32 or 64: Setup.exe reads the 32-bit view, as without a view, and "
              "does not find keys that a 64-bit product writes");

    const std::wstring fieldtype = value(e, "fieldtype");
    const std::wstring comparison = value(e, "comparison");
    const std::wstring fieldvalue = value(e, "fieldvalue");
    const std::string shown = "Setup.exe shows \"Invalid comparison type, expected match or version.\" and the "
                              "check says the component is missing";
    if (fieldtype.empty()) {
        for (const char* name : {"fieldname", "fieldvalue", "comparison"})
            if (!value(e, name).empty())
                warning(place(e, name), "registry-type",
                        std::string(name) + " is not used without a fieldtype: only the key's existence is tested");
        return;
    }
    if (fieldtype == L"REG_DWORD") {
        std::size_t pos = 0;
        std::int32_t number = 0;
        if (!text::scan_int(fieldvalue, pos, number)) {
            error(place(e, "fieldvalue"), "registry-value",
                  "a REG_DWORD check needs a decimal number in fieldvalue, even with comparison \"exists\": "
                  "Setup.exe shows \"Invalid registry value to check expected DWORD.\" and the check says the "
                  "component is missing");
        } else if (pos < fieldvalue.size() && text::trim(fieldvalue.substr(pos)).size() > 0) {
            const std::wstring rest = fieldvalue.substr(pos);
            const bool hex = number == 0 && (rest[0] == L'x' || rest[0] == L'X');
            report(place(e, "fieldvalue"), hex ? severity::error : severity::warning, "registry-value",
                   "fieldvalue " + quoted(fieldvalue) + " reads as " + std::to_string(number) +
                       (hex ? ": hexadecimal is not understood, write the number in decimal" : ""));
        } else if (number < 0 && comparison == L"version") {
            warning(place(e, "fieldvalue"), "registry-value",
                    "\"version\" compares REG_DWORD values as unsigned numbers: " + std::to_string(number) +
                        " stands for " + std::to_string(static_cast<std::uint32_t>(number)));
        }
        check_keyword(e, "comparison", {"match", "version", "exists", ""}, shown);
        return;
    }
    if (fieldtype == L"REG_SZ") {
        if (comparison == L"exists" || comparison.empty()) {
            error(place(e, "comparison"), "comparison",
                  std::string(comparison.empty() ? "a REG_SZ check without a comparison" :
                                                   "comparison \"exists\" with REG_SZ") +
                      " does not work: " + shown +
                      " (to test only that the key exists, leave out fieldtype; a REG_DWORD check accepts "
                      "\"exists\")");
            return;
        }
        check_keyword(e, "comparison", {"match", "version"}, shown);
        if (comparison == L"version") check_version_text(e, "fieldvalue", "registry-value");
        return;
    }
    const std::string variant = case_variant(to_utf8(fieldtype), {"REG_DWORD", "REG_SZ"});
    const std::string message = "fieldtype " + quoted(fieldtype) +
                                (variant.empty() ? " is not REG_DWORD, REG_SZ or empty"
                                                 : " is not " + quoted(variant) + " (keywords are case-sensitive)") +
                                ": Setup.exe shows \"Invalid registry type.\" and the check says the component is "
                                "missing";
    error(place(e, "fieldtype"), variant.empty() ? "registry-type" : "keyword-case", message);
}

void linter::check_download_dialog(const TiXmlElement& e, bool silent)
{
    check_attribute_names(e, "downloaddialog", download_dialog_attributes, {}, {});
    check_child_names(e, "downloaddialog", {"downloads"});
    check_boolean(e, "autostartdownload", true);
    for (const char* name : {"dialog_caption", "dialog_message", "dialog_message_downloading", "buttonstart_caption",
                             "buttoncancel_caption", "progress_text", "progress_text_no_size", "retry_text"})
        check_markers(e, name, false);
    const std::string transfer_fields = "%1 the componentname, %2 the bytes so far, %3 the announced size, %4 the "
                                        "item's place, %5 the number of items";
    check_numbered_format(e, "progress_text", transfer_fields);
    check_numbered_format(e, "progress_text_no_size", transfer_fields + " (%3 is empty here)");
    check_numbered_format(e, "retry_text", "%1 the componentname, %2 the attempt, %3 the number of attempts, %4 "
                                           "the item's place, %5 the number of items");
    if (!silent && !shows_progress_)
        warning(&e, "silent-downloads",
                "downloads are fetched only in a silent run (install_silent=\"true\") or in an interactive run "
                "that shows its progress (show_progress=\"true\"): this configuration shows the dialog without "
                "its progress, whose installation never downloads");
    if (shows_progress_) check_download_window(e);
    const std::string failure = "Setup.exe shows \"No download components found. downloads node is empty.\" and "
                                "fails to load the configuration";
    const TiXmlElement* downloads = e.FirstChildElement("downloads");
    if (downloads == nullptr) {
        error(&e, "downloads", "the downloaddialog has no \"downloads\" element: " + failure);
        return;
    }
    check_attribute_names(*downloads, "downloads", {}, {}, {});
    check_child_names(*downloads, "downloads", {"download"});
    const TiXmlElement* first = downloads->FirstChildElement("download");
    if (first == nullptr) {
        error(downloads, "downloads", "the downloads element holds no \"download\" element: " + failure);
        return;
    }
    for (const TiXmlElement* d = first; d != nullptr; d = d->NextSiblingElement("download")) check_download(*d);
}

void linter::check_download(const TiXmlElement& e)
{
    check_attribute_names(e, "download", download_attributes, {}, {});
    check_child_names(e, "download", {});
    const std::wstring url = value(e, "sourceurl");
    if (url.empty()) {
        error(place(e, "sourceurl"), "missing-attribute", "a download without a sourceurl cannot be fetched");
    } else if (url.find(L"://") == std::wstring::npos) {
        warning(place(e, "sourceurl"), "download", "sourceurl " + quoted(url) + " is not an address (no \"://\")");
    }
    const std::wstring folder = value(e, "destinationpath");
    if (folder.empty())
        warning(place(e, "destinationpath"), "download",
                "a download without a destinationpath is stored relative to the folder Setup.exe was started "
                "from");
    else if (is_relative_path(folder))
        warning(place(e, "destinationpath"), "download",
                "destinationpath " + quoted(folder) + " is relative: Windows resolves it against whatever folder "
                "Setup.exe happens to be started from, not the medium, so the file lands elsewhere on each start "
                "or the download fails; begin it with #TEMPPATH or #APPPATH");
    if (value(e, "destinationfilename").empty() && !url.empty()) {
        const std::size_t cut = url.find_last_of(L"\\/");
        const std::wstring name = cut == std::wstring::npos ? url : url.substr(cut + 1);
        if (name.empty())
            error(place(e, "sourceurl"), "download",
                  "the address ends with a slash and there is no destinationfilename: the file would be stored "
                  "under the folder's own name, and the download fails");
        else if (name.find_first_of(L"?#&=") != std::wstring::npos)
            warning(place(e, "sourceurl"), "download",
                    "without a destinationfilename the file is stored as " + quoted(name) +
                        ", the address's last part as it stands: set destinationfilename");
    }
    for (const char* name : {"sourceurl", "destinationpath", "destinationfilename"}) check_markers(e, name, true);
    check_markers(e, "componentname", false);

    if (has(e, "sha256")) {
        const std::wstring sum = value(e, "sha256");
        const bool valid = sum.size() == 64 && std::all_of(sum.begin(), sum.end(), is_hex);
        if (!valid)
            error(place(e, "sha256"), "sha256",
                  "sha256 must be 64 hexadecimal digits, it has " + std::to_string(sum.size()) +
                      " characters" + (sum.size() == 64 ? " that are not all hexadecimal digits" : "") +
                      ": Setup.exe fails to load the configuration with \"Invalid configuration file, the sha256 of "
                      "a download must be 64 hexadecimal digits.\"");
    }
}

void linter::check_attribute_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& read,
                                   const std::set<std::string>& inert, const std::set<std::string>& elsewhere)
{
    std::set<std::string> all = read;
    all.insert(inert.begin(), inert.end());
    for (const TiXmlAttribute* a = e.FirstAttribute(); a != nullptr; a = a->Next()) {
        const std::string name = a->Name();
        if (all.count(name) > 0) continue;
        if (elsewhere.count(name) > 0) {
            warning(a, "ignored", "attribute " + quoted(name) + " is not read for this kind of " + what);
            continue;
        }
        const std::string variant = case_variant(name, read);
        if (!variant.empty()) {
            error(a, "keyword-case",
                  "attribute " + quoted(name) + " is not read: names are case-sensitive, write " + quoted(variant));
            continue;
        }
        const std::string inert_variant = case_variant(name, inert);
        if (!inert_variant.empty()) {
            warning(a, "keyword-case", "attribute " + quoted(name) + " would be " + quoted(inert_variant) +
                                           " (which has no effect either)");
            continue;
        }
        const std::string guess = suggestion(name, read);
        if (!guess.empty())
            error(a, "unknown-attribute",
                  "unknown attribute " + quoted(name) + " of " + what + " is ignored: did you mean " + quoted(guess) +
                      "?");
        else
            warning(a, "unknown-attribute", "unknown attribute " + quoted(name) + " of " + what + " is ignored");
    }
}

void linter::check_child_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& known)
{
    for (const TiXmlElement* c = e.FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
        const std::string name = c->Value();
        if (known.count(name) > 0) continue;
        const std::string variant = case_variant(name, known);
        if (!variant.empty()) {
            error(c, "keyword-case",
                  "element " + quoted(name) + " is not read: names are case-sensitive, write " + quoted(variant));
            continue;
        }
        const std::string guess = suggestion(name, known);
        if (!guess.empty())
            error(c, "unknown-element",
                  "element " + quoted(name) + " inside " + what + " is ignored: did you mean " + quoted(guess) + "?");
        else
            warning(c, "unknown-element", "element " + quoted(name) + " inside " + what + " is ignored");
    }
}

// Anything but "true" and "false" reads as the attribute's default.
void linter::check_boolean(const TiXmlElement& e, const char* name, bool fallback)
{
    if (!has(e, name)) return;
    const std::wstring v = value(e, name);
    const boolean_word word = classify_boolean(v);
    if (word == boolean_word::exact) return;
    const std::string head = std::string(name) + "=" + quoted(v);
    const std::string reads = fallback ? "true" : "false";
    const bool empty = text::trim(v).empty();
    if (word == (fallback ? boolean_word::falsy : boolean_word::truthy))
        error(place(e, name), "boolean",
              head + " reads as " + reads + ": only \"true\" and \"false\" (in any letter case, without blanks) "
                     "are understood");
    else if (empty && fallback)
        warning(place(e, name), "boolean",
                head + " reads as true, the default: only \"true\" and \"false\" are understood; write one of "
                       "them or leave the attribute out");
    else if (word != boolean_word::other || empty)
        warning(place(e, name), "boolean",
                head + " reads as " + reads + ", as intended, but only \"true\" and \"false\" are understood: "
                       "write \"" + reads + "\"");
    else
        error(place(e, name), "boolean",
              head + " is not a boolean and reads as " + reads + ": write \"true\" or \"false\"");
}

void linter::check_presence_boolean(const TiXmlElement& e, const char* name)
{
    if (!has(e, name)) return;
    const std::wstring v = value(e, name);
    const boolean_word word = classify_boolean(v);
    if (word == boolean_word::exact) return;
    const std::string head = std::string(name) + "=" + quoted(v);
    if (v.empty())
        error(place(e, name), "boolean",
              std::string(name) + " is present but empty, which counts as true: write \"true\", or leave the "
                                  "attribute out for false");
    else if (word == boolean_word::falsy)
        error(place(e, name), "boolean",
              head + " counts as true: a present " + name +
                  " is true unless it says \"false\"; write \"false\" or leave it out");
    else if (word == boolean_word::truthy)
        warning(place(e, name), "boolean", head + " counts as true, as intended, but write \"true\"");
    else
        warning(place(e, name), "boolean", head + " is not a boolean and counts as true: write \"true\" or \"false\"");
}

bool linter::check_bound(const TiXmlElement& e, const char* name, std::int32_t& bound)
{
    const std::wstring trimmed = text::trim(value(e, name));
    if (trimmed.empty()) return true;
    std::size_t pos = 0;
    std::int32_t number = 0;
    if (!text::scan_int(trimmed, pos, number)) {
        error(place(e, name), "os-filter",
              std::string(name) + " " + quoted(trimmed) +
                  " is not a number: Setup.exe fails to load the configuration with \"Error loading configuration "
                  "file\"");
        return false;
    }
    if (pos < trimmed.size())
        warning(place(e, name), "os-filter",
                std::string(name) + " " + quoted(trimmed) + " reads as " + std::to_string(number) +
                    "; the rest is ignored");
    bound = number;
    return true;
}

void linter::check_language_list(const TiXmlElement& e, const char* name)
{
    const std::wstring list = value(e, name);
    if (list.empty()) return;
    const std::vector<components::language_entry> entries = components::split_language_list(list);
    for (const components::language_entry& entry : entries) {
        if (!entry.is_number) {
            const std::wstring trimmed = text::trim(entry.text);
            error(place(e, name), "language-list",
                  std::string(name) + " entry " + quoted(entry.text) +
                      " is not a language number: Setup.exe fails to load the configuration with \"Error loading "
                      "configuration file\"" +
                      (!trimmed.empty() && trimmed[0] == L'!' ? " (no blank may stand before !)" : ""));
        } else if (!entry.whole) {
            warning(place(e, name), "language-list",
                    std::string(name) + " entry " + quoted(entry.text) + " reads as " + (entry.negated ? "!" : "") +
                        std::to_string(entry.language) + "; the rest is ignored");
        } else if (entry.language <= 0 || entry.language > 0xFFFF) {
            warning(place(e, name), "language-list",
                    std::string(name) + " entry " + quoted(entry.text) +
                        " is not a Windows language identifier (1 to 65535)");
        }
    }
    if (entries.empty())
        warning(place(e, name), "language-list",
                std::string(name) + " " + quoted(list) + " holds only commas and accepts no system");
}

void linter::check_markers(const TiXmlElement& e, const char* name, bool expanded)
{
    if (!has(e, name)) return;
    const std::wstring v = value(e, name);
    const std::size_t url = v.find(L"://");
    if (expanded) check_environment_names(e, name, v, url);
    for (std::size_t i = v.find(L'#'); i != std::wstring::npos; i = v.find(L'#', i + 1)) {
        std::size_t end = i + 1;
        while (end < v.size() && (is_alnum(v[end]) || v[end] == L'_')) ++end;
        const std::string token = to_utf8(v.substr(i, end - i));
        const std::string token_upper = upper(token);
        std::string marker;
        for (const char* m : marker_names)
            if (token.rfind(m, 0) == 0) marker = m;
        if (!marker.empty()) {
            if (!expanded) {
                warning(place(e, name), "marker",
                        marker + " is not replaced in " + name + ": Setup.exe replaces markers only in paths");
                continue;
            }
            const std::size_t after = i + marker.size();
            const wchar_t next = after < v.size() ? v[after] : L'\0';
            if (marker == "#TEMPPATH") {
                if (next == L'\\' || next == L'/')
                    warning(place(e, name), "marker",
                            "#TEMPPATH already ends with a backslash: the path gets two separators here");
            } else if (next != L'\0' && next != L'\\' && next != L'/' && next != L'"' && next != L' ' &&
                       next != L';' && next != L',') {
                warning(place(e, name), "marker",
                        marker + " stands for a folder without a trailing backslash: write " + marker + "\\" +
                            to_utf8(std::wstring(1, next)) + "...");
            }
            i = after - 1;
            continue;
        }
        if (!expanded || token.size() < 2) continue;
        std::string case_marker;
        for (const char* m : marker_names)
            if (token_upper.rfind(m, 0) == 0) case_marker = m;
        if (!case_marker.empty()) {
            error(place(e, name), "marker",
                  quoted(token.substr(0, case_marker.size())) + " is not replaced: markers are case-sensitive, write " +
                      case_marker);
            continue;
        }
        if (url != std::wstring::npos && url < i) continue;  // a fragment of an address
        const std::string word = token_upper.substr(1);
        bool looks = word.find("PATH") != std::string::npos || word.find("DIR") != std::string::npos ||
                     word.find("FOLDER") != std::string::npos;
        for (const char* prefix : {"APP", "SYS", "WIN", "TEMP", "TMP", "PROG"})
            if (word.rfind(prefix, 0) == 0) looks = true;
        for (const char* m : marker_names) {
            const std::string bare = std::string(m).substr(1);
            if (edit_distance(word.substr(0, std::min(word.size(), bare.size() + 1)), bare) <= 2) looks = true;
        }
        if (looks)
            error(place(e, name), "marker",
                  quoted(token) + " is not a marker and stays as written: Setup.exe knows only #APPPATH, "
                                  "#SYSTEMPATH, #WINDOWSPATH and #TEMPPATH");
    }
}

// "%TEMP%" and its like stay as written: nothing expands them, neither
// Setup.exe nor the shell nor the installer that receives them.
void linter::check_environment_names(const TiXmlElement& e, const char* name, const std::wstring& v, std::size_t url)
{
    std::size_t i = v.find(L'%');
    while (i != std::wstring::npos && (url == std::wstring::npos || i < url)) {
        std::size_t end = i + 1;
        if (end < v.size() && (is_alnum(v[end]) || v[end] == L'_') && !(v[end] >= L'0' && v[end] <= L'9'))
            while (end < v.size() && (is_alnum(v[end]) || v[end] == L'_' || v[end] == L'(' || v[end] == L')')) ++end;
        if (end == i + 1 || end >= v.size() || v[end] != L'%') {
            i = v.find(L'%', i + 1);
            continue;
        }
        const std::string variable = to_utf8(v.substr(i, end + 1 - i));
        const std::string word = upper(variable.substr(1, variable.size() - 2));
        std::string instead = "use a marker (#APPPATH, #SYSTEMPATH, #WINDOWSPATH, #TEMPPATH) or a fixed path";
        if (word == "TEMP" || word == "TMP")
            instead = "write #TEMPPATH, which ends with a backslash (" + variable + "\\name.log becomes "
                      "#TEMPPATHname.log)";
        else if (word == "SYSTEMROOT" || word == "WINDIR")
            instead = "write #WINDOWSPATH";
        warning(place(e, name), "environment",
                variable + " in " + name + " is passed on as written: environment variables are never expanded; " +
                    instead);
        i = v.find(L'%', end + 1);
    }
}

bool linter::check_start_text(const TiXmlElement& e, const char* name, const std::string& hint)
{
    const std::wstring v = value(e, name);
    if (v.empty()) return false;
    const std::string head = std::string(name) + " " + quoted(v);
    const std::string whole = "Setup.exe hands the whole text to Windows as one file name, so ";
    if (v[0] == L'"' || v[0] == L'\'') {
        error(place(e, name), "arguments",
              head + " begins with a quote: " + whole + "the quotes become part of the name and the start fails");
        return true;
    }
    const std::wstring low = text::ascii_lower(v);
    for (const wchar_t* ext : {L".exe", L".com", L".bat", L".cmd", L".msi", L".msp", L".vbs", L".js", L".ps1"}) {
        const std::wstring x = ext;
        for (std::size_t at = low.find(x); at != std::wstring::npos; at = low.find(x, at + 1)) {
            const std::size_t after = at + x.size();
            if (after < v.size() && text::is_space(v[after]) && !text::trim(v.substr(after)).empty()) {
                error(place(e, name), "arguments",
                      head + " has arguments after the program: " + whole + quoted(text::trim(v.substr(after))) +
                          " never reaches it and the start fails; " + hint);
                return true;
            }
        }
    }
    for (std::size_t at = 1; at + 1 < v.size(); ++at) {
        if (text::is_space(v[at]) && (v[at + 1] == L'/' || v[at + 1] == L'-') && at + 2 < v.size() &&
            is_alnum(v[at + 2])) {
            error(place(e, name), "arguments",
                  head + " looks like a program with arguments: " + whole + "the start fails; " + hint);
            return true;
        }
    }
    if (text::is_space(v.back())) {
        warning(place(e, name), "arguments", head + " ends with blanks, which become part of the file name");
        return true;
    }
    return false;
}

// A path as Setup.exe composes it, cut into its folder and its name, in
// lower case with one kind of separator (#TEMPPATH carries its own).
struct path_parts {
    std::wstring folder, name;
};

path_parts split_path(const std::wstring& path)
{
    std::wstring v = text::ascii_lower(path);
    const std::wstring temp = L"#temppath";
    for (std::size_t at = v.find(temp); at != std::wstring::npos; at = v.find(temp, at + 1))
        v.insert(at + temp.size(), L"\\");
    std::wstring clean;
    for (wchar_t c : v) {
        if (c == L'/') c = L'\\';
        if (c == L'\\' && !clean.empty() && clean.back() == L'\\') continue;
        clean.push_back(c);
    }
    while (!clean.empty() && clean.back() == L'\\') clean.pop_back();
    const std::size_t cut = clean.rfind(L'\\');
    if (cut == std::wstring::npos) return {L"", clean};
    return {clean.substr(0, cut), clean.substr(cut + 1)};
}

// A silent run fetches the component's downloads before it starts the
// component: a start file that a download stores is not looked for on the
// medium, and one in a download's folder under another name is suspect.
void linter::check_downloaded_start(const TiXmlElement& e, const char* name)
{
    const std::wstring v = value(e, name);
    const path_parts start = split_path(v);
    bool fetched = false;
    std::string others;
    const TiXmlElement* dialog = e.FirstChildElement("downloaddialog");
    const TiXmlElement* list = dialog != nullptr ? dialog->FirstChildElement("downloads") : nullptr;
    for (const TiXmlElement* d = list != nullptr ? list->FirstChildElement("download") : nullptr; d != nullptr;
         d = d->NextSiblingElement("download")) {
        components::download_item item;
        item.sourceurl = value(*d, "sourceurl");
        item.destinationpath = value(*d, "destinationpath");
        item.destinationfilename = value(*d, "destinationfilename");
        const path_parts stored = split_path(download::target_path(item));
        if (stored.folder != start.folder || stored.name.empty()) continue;
        if (stored.name == start.name) {
            fetched = true;
        } else {
            others += (others.empty() ? "" : ", ") + quoted(base::last_path_part(download::target_path(item)));
        }
    }
    if (fetched && (silent_ || shows_progress_)) return;
    if (!fetched && !others.empty())
        warning(place(e, name), "download",
                std::string(name) + " " + quoted(v) + " lies in the folder that the component's downloads store " +
                    others + " into, under another name: unless the file gets there by other means, the start "
                    "fails after the downloads (make destinationfilename and " + name + " name the same file)");
    check_medium_file(e, name);
}

// The entry of `folder` named `name` in any letter case (Windows ignores it).
bool find_entry(const fs::path& folder, const std::string& name, fs::path& found)
{
    std::error_code ec;
    const fs::path exact = folder / fs::u8path(name);
    if (fs::exists(exact, ec)) {
        found = exact;
        return true;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (lower(it->path().filename().u8string()) == lower(name)) {
            found = it->path();
            return true;
        }
    }
    return false;
}

void linter::check_medium_file(const TiXmlElement& e, const char* name)
{
    if (options_.medium_dir.empty()) return;
    const std::wstring v = value(e, name);
    const std::wstring marker = L"#APPPATH";
    if (v.compare(0, marker.size(), marker) != 0) return;
    const std::string rest = to_utf8(v.substr(marker.size()));
    const fs::path medium = path_from_argument(options_.medium_dir);
    fs::path at = medium;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t cut = rest.find_first_of("\\/", start);
        if (cut == std::string::npos) cut = rest.size();
        const std::string part = rest.substr(start, cut - start);
        start = cut + 1;
        if (part.empty() || part == ".") continue;
        fs::path next;
        if (!find_entry(at, part, next)) {
            error(place(e, name), "medium",
                  std::string(name) + " " + quoted(v) + ": the medium " + quoted(options_.medium_dir) + " has no " +
                      quoted((at / fs::u8path(part)).lexically_relative(medium).generic_u8string()));
            return;
        }
        at = next;
    }
    std::error_code ec;
    if (fs::is_directory(at, ec) && std::string(name) != "file")
        error(place(e, name), "medium", std::string(name) + " " + quoted(v) + " names a folder of the medium");
}

void linter::check_format(const TiXmlElement& e)
{
    const char* name = "failed_exec_command_continue";
    const std::wstring f = value(e, name);
    if (f.empty()) {
        warning(place(e, name), "format",
                "no failed_exec_command_continue: the question after a failed component is empty");
        return;
    }
    const format_sequences found = scan_format(f);
    if (found.strings != 1)
        error(place(e, name), "format",
              "failed_exec_command_continue must hold exactly one %s, which takes the component's description; it "
              "holds " + std::to_string(found.strings) +
                  (found.strings > 1 ? " (only the first is replaced, the others are shown as written)" : ""));
    check_format_rest(e, name, found);
}

void linter::check_format_rest(const TiXmlElement& e, const char* name, const format_sequences& found)
{
    for (const auto& o : found.others)
        warning(place(e, name), "format",
                quoted(o) + " in " + name + " is shown as written (write %% for a percent sign)");
}

// A format with one %s that takes a component's description.
void linter::check_description_format(const TiXmlElement& e, const char* name)
{
    const format_sequences found = scan_format(value(e, name));
    if (found.strings > 1)
        warning(place(e, name), "format",
                std::string(name) + " holds " + std::to_string(found.strings) +
                    " %s: only the first takes the component's description, the others are shown as written");
    check_format_rest(e, name, found);
}

// A format with the five numbered fields that `fields` names: a number
// without a field is an error, any other stray "%" a warning.
void linter::check_numbered_format(const TiXmlElement& e, const char* name, const std::string& fields)
{
    for (const text::format_fault& f : text::numbered_format_faults(value(e, name), 5)) {
        if (f.unknown_field)
            error(place(e, name), "format",
                  quoted(f.sequence) + " in " + name + " names no field and is shown as written; the fields are " +
                      fields);
        else
            warning(place(e, name), "format",
                    quoted(f.sequence) + " in " + name + " is shown as written (write %% for a percent sign)");
    }
}

// The status line under the bar holds one line, cut with "...": each
// item's texts with the widest sizes and places it can show.
void linter::check_status_line(const TiXmlElement& e, const dialog::download_texts& shown,
                               const components::download_dialog_settings& read)
{
    const std::uint64_t widest_size = 1073741823u;  // "1024.00MB", the widest size written in MB
    const int count = static_cast<int>(read.downloads.size());
    for (const char* name : {"progress_text", "progress_text_no_size", "retry_text"}) {
        std::wstring widest;
        int most = 0;
        for (const auto& d : read.downloads) {
            const std::string n = name;
            const std::wstring line =
                n == "retry_text" ? dialog::pause_text(shown, d.componentname, download::attempts_per_item,
                                                       download::attempts_per_item, count, count)
                                  : dialog::progress_text(shown, d.componentname, widest_size,
                                                          n == "progress_text" ? widest_size : 0, count, count);
            const int width = text_width(line, false);
            if (width > most) {
                most = width;
                widest = line;
            }
        }
        if (most > download_status_text_room())
            warning(place(e, name), "text-room",
                    std::string(name) + " reads " + quoted(to_utf8(widest)) + " at its widest, " + std::to_string(most) +
                        " pixels in the dialog's font at 96 dpi; the download window's status line has room for " +
                        std::to_string(download_status_text_room()) + ": its end is cut and shows \"...\"");
    }
}

// Runs Setup.exe's own reader on every configuration element, on every
// Windows version and every language the document names: what fails there
// must have been reported above. A failure that was not is reported with the
// reader's own message.
void linter::cross_check_with_reader(const TiXmlElement* root)
{
    std::set<std::uint16_t> languages = {1033};
    const auto collect = [&](const std::wstring& list) {
        for (const components::language_entry& entry : components::split_language_list(list)) {
            const std::int32_t n = entry.language;
            if (entry.is_number && n > 0 && n <= 0xFFFF) {
                languages.insert(static_cast<std::uint16_t>(n));
                // A language that a negated entry refuses, and one it accepts.
                if (n < 0xFFFF) languages.insert(static_cast<std::uint16_t>(n + 1));
            }
        }
    };
    std::vector<const TiXmlElement*> configurations;
    for (const TiXmlElement* c = root->FirstChildElement("configuration"); c != nullptr;
         c = c->NextSiblingElement("configuration")) {
        configurations.push_back(c);
        collect(value(*c, "lcid"));
        if (const TiXmlElement* list = c->FirstChildElement("components"))
            for (const TiXmlElement* k = list->FirstChildElement(); k != nullptr; k = k->NextSiblingElement())
                collect(value(*k, "os_filter_lcid"));
    }
    for (const TiXmlElement* c : configurations) {
        std::set<std::string> seen;
        for (const auto& code : os_codes()) {
            for (std::uint16_t language : languages) {
                stub_platform sys;
                sys.version = code.version;
                if (code.hotfix_q246009)
                    sys.machine_keys.insert(L"software\\microsoft\\windows nt\\currentversion\\hotfix\\q246009");
                sys.language = language;
                const config::attribute_reader reader(config::reading_system(sys), encoding_);
                config::configuration_settings settings;
                std::string failure;
                const base::result<bool> accepts = components::language_filter_matches(sys, sys, reader.text(*c, "lcid"));
                const base::status read = accepts ? config::read_configuration_node(reader, *c, settings)
                                                  : base::status(accepts.error());
                if (!read) failure = to_utf8(read.error().shown_text());
                if (!failure.empty() && seen.insert(failure).second)
                    error(c, "reader",
                          "Setup.exe cannot read this configuration on " + std::string(code.name) + " (code " +
                              std::to_string(code.code) + "), language " + std::to_string(language) + ": \"" +
                              failure + "\"");
            }
        }
    }
}

}  // namespace

std::vector<diagnostic> lint_document(const std::string& bytes, const lint_options& options)
{
    return linter(options).run(bytes);
}

}  // namespace setup_check
