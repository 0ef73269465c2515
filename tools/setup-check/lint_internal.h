// What the files of the linter share: the linter itself, which walks a
// document element by element, and the spelling helpers its checks use.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "components/downloads.h"
#include "config/reader.h"
#include "dialog/dialog_rules.h"
#include "diagnostics.h"
#include "lint.h"
#include "stub_platform.h"
#include "tinyxml.h"

namespace setup_check {
namespace lint_detail {

// The markers that Setup.exe replaces in paths, in its letter case.
extern const char* const marker_names[4];

std::string lower(std::string s);
std::string upper(std::string s);
std::size_t edit_distance(const std::string& a, const std::string& b);
// The known word that `word` most likely misspells, or "".
std::string suggestion(const std::string& word, const std::set<std::string>& known);
// A word that equals a known one but for letter case, or "".
std::string case_variant(const std::string& word, const std::set<std::string>& known);
// "<what> "<written>" is not "<variant>" (keywords are case-sensitive)".
std::string miscased(const std::string& what, const std::string& written, const std::string& variant);
std::string quoted(const std::string& utf8);
std::string quoted(const std::wstring& text);
inline bool is_alnum(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// The attributes of an element whose kind picks what it reads: those of
// `kind` (of every kind when `kind` is "") go into `read`, the other kinds'
// into `elsewhere`.
void split_kind_attributes(const std::map<std::string, std::set<std::string>>& kinds, const std::string& kind,
                           std::set<std::string>& read, std::set<std::string>& elsewhere);

// The "%" sequences of a format that takes one string: how many "%s" it
// holds, and the others, which are shown as written ("%%" is a percent sign).
struct format_sequences {
    int strings = 0;
    std::vector<std::string> others;
};

// Walks one document and collects what is wrong with it; each family of
// elements has its checks in a file of its own.
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

    // --- the walk (lint.cpp) ---
    void check_comments(const TiXmlNode& node);
    void check_root(const TiXmlElement* root);
    void cross_check_with_reader(const TiXmlElement* root);

    // --- names, keywords and booleans (lint_vocabulary.cpp) ---
    void check_attribute_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& read,
                               const std::set<std::string>& inert, const std::set<std::string>& elsewhere);
    // Children that are not elements are skipped; elements not in `known`
    // are reported. Returns nothing: callers look up what they need.
    void check_child_names(const TiXmlElement& e, const std::string& what, const std::set<std::string>& known);
    bool check_name_case(const TiXmlBase* at, const std::string& noun, const std::string& name,
                         const std::set<std::string>& known);
    void report_unknown_name(const TiXmlBase* at, const std::string& rule, const std::string& head,
                             const std::string& name, const std::set<std::string>& known);
    void check_keyword(const TiXmlElement& e, const char* name, const std::set<std::string>& keywords,
                       const std::string& failure);
    void check_boolean(const TiXmlElement& e, const char* name, bool fallback = false);
    void check_presence_boolean(const TiXmlElement& e, const char* name);

    // --- the configuration element and its texts (lint_configuration.cpp) ---
    void check_configuration(const TiXmlElement& e, bool silent);
    void check_configuration_type(const TiXmlElement& e);
    void check_run_mode(const TiXmlElement& e, bool silent);
    void check_configuration_texts(const TiXmlElement& e, bool silent);
    void check_component_list(const TiXmlElement& e, bool silent);
    void check_format(const TiXmlElement& e);
    void check_format_rest(const TiXmlElement& e, const char* name, const format_sequences& found);
    void check_description_format(const TiXmlElement& e, const char* name);

    // --- components, kinds and filters (lint_components.cpp) ---
    void check_component(const TiXmlElement& e, bool silent);
    void check_component_element_name(const TiXmlElement& e);
    std::string check_component_type(const TiXmlElement& e);
    void check_component_start(const TiXmlElement& e, const std::string& type);
    void check_quiet_package(const TiXmlElement& e);
    void check_component_texts(const TiXmlElement& e);
    void check_component_filters(const TiXmlElement& e);
    bool check_bound(const TiXmlElement& e, const char* name, std::int32_t& bound);
    void check_language_list(const TiXmlElement& e, const char* name);

    // --- installed checks (lint_installed_checks.cpp) ---
    void check_installed_check(const TiXmlElement& e);
    void check_version_text(const TiXmlElement& e, const char* name, const std::string& rule);
    void check_file_check(const TiXmlElement& e);
    void check_registry_check(const TiXmlElement& e);
    void check_registry_path(const TiXmlElement& e);
    void check_registry_dword(const TiXmlElement& e, const std::string& shown);
    void check_registry_string(const TiXmlElement& e, const std::string& shown);

    // --- downloads (lint_downloads.cpp) ---
    void check_download_dialog(const TiXmlElement& e, bool silent);
    void check_download(const TiXmlElement& e);
    void check_numbered_format(const TiXmlElement& e, const char* name, const std::string& fields);
    void check_downloaded_start(const TiXmlElement& e, const char* name);

    // --- paths, markers and started files (lint_paths.cpp) ---
    void check_markers(const TiXmlElement& e, const char* name, bool expanded);
    void check_marker_end(const TiXmlElement& e, const char* name, const std::string& marker, wchar_t next);
    void check_marker_lookalike(const TiXmlElement& e, const char* name, const std::string& token, bool in_address);
    void check_environment_names(const TiXmlElement& e, const char* name, const std::wstring& v, std::size_t url);
    bool check_start_text(const TiXmlElement& e, const char* name, const std::string& hint);
    void check_start(const TiXmlElement& e, const char* name, const std::string& hint);
    void check_medium_file(const TiXmlElement& e, const char* name);

    // --- the room of the dialog's and the download window's texts (lint_text_room.cpp) ---
    void check_dialog_texts(const TiXmlElement& e);
    void check_button_caption(const TiXmlElement& e, const char* name, int room);
    void check_progress_message(const TiXmlElement& e, const TiXmlElement* list);
    void check_row_text(const TiXmlElement& e);
    void check_download_window(const TiXmlElement& e);
    void check_status_line(const TiXmlElement& e, const dialog::download_texts& shown,
                           const components::download_dialog_settings& read);

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

}  // namespace lint_detail
}  // namespace setup_check
