// Installed checks: their kind, and the file or registry value each one
// looks at, with the comparison that decides whether the component counts
// as installed.
#include <cstdint>

#include "base/text.h"
#include "lint_internal.h"

namespace setup_check {
namespace lint_detail {

namespace {

// The attributes each kind of check reads.
const std::map<std::string, std::set<std::string>> check_kind_attributes = {
    {"check_registry_value", {"path", "fieldname", "fieldvalue", "fieldtype", "comparison", "view"}},
    {"check_file", {"filename", "fileversion", "comparison"}}};

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

}  // namespace

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
                  miscased("installed check type", written, variant) + ": " + failure);
        else
            error(place(e, "type"), "check-type",
                  "installed check type " + quoted(written) + " is not check_registry_value or check_file: " + failure);
        type = variant;
    }
    // The other attributes are checked as the intended kind's, or, when the
    // kind cannot be told, as any kind's.
    std::set<std::string> read = {"type"};
    std::set<std::string> elsewhere;
    split_kind_attributes(check_kind_attributes, type, read, elsewhere);
    check_attribute_names(e, "installedcheck", read, {}, elsewhere);
    check_child_names(e, "installedcheck", {});
    if (type == "check_file")
        check_file_check(e);
    else if (type == "check_registry_value")
        check_registry_check(e);
    else
        check_markers(e, "filename", true);
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
    check_registry_path(e);
    const std::wstring view = value(e, "view");
    if (has(e, "view") && view != L"32" && view != L"64")
        error(place(e, "view"), "registry-view",
              "view " + quoted(view) + " is not 32 or 64: Setup.exe reads the 32-bit view, as without a view, and "
              "does not find keys that a 64-bit product writes");

    const std::wstring fieldtype = value(e, "fieldtype");
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
        check_registry_dword(e, shown);
        return;
    }
    if (fieldtype == L"REG_SZ") {
        check_registry_string(e, shown);
        return;
    }
    const std::string variant = case_variant(to_utf8(fieldtype), {"REG_DWORD", "REG_SZ"});
    error(place(e, "fieldtype"), variant.empty() ? "registry-type" : "keyword-case",
          (variant.empty() ? "fieldtype " + quoted(fieldtype) + " is not REG_DWORD, REG_SZ or empty"
                           : miscased("fieldtype", to_utf8(fieldtype), variant)) +
              ": Setup.exe shows \"Invalid registry type.\" and the check says the component is missing");
}

// The key is always looked for under HKEY_LOCAL_MACHINE.
void linter::check_registry_path(const TiXmlElement& e)
{
    const std::wstring path = value(e, "path");
    if (path.empty()) {
        error(place(e, "path"), "registry-path",
              "a check_registry_value without a path looks at HKEY_LOCAL_MACHINE itself, which always exists");
        return;
    }
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

// A REG_DWORD check reads fieldvalue as a decimal number, whatever its
// comparison.
void linter::check_registry_dword(const TiXmlElement& e, const std::string& shown)
{
    const std::wstring fieldvalue = value(e, "fieldvalue");
    const std::wstring comparison = value(e, "comparison");
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
}

// A REG_SZ check compares texts or versions; it cannot test presence alone.
void linter::check_registry_string(const TiXmlElement& e, const std::string& shown)
{
    const std::wstring comparison = value(e, "comparison");
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
}

}  // namespace lint_detail
}  // namespace setup_check
