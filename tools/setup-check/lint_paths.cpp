// Paths and the files they name: markers and environment variables in
// them, a start text that carries arguments, and the files that the
// installation medium must hold.
#include <algorithm>
#include <filesystem>

#include "base/text.h"
#include "lint_internal.h"

namespace setup_check {
namespace lint_detail {

namespace fs = std::filesystem;

namespace {

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

}  // namespace

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
        std::string marker;
        for (const char* m : marker_names)
            if (token.rfind(m, 0) == 0) marker = m;
        if (!marker.empty() && !expanded) {
            warning(place(e, name), "marker",
                    marker + " is not replaced in " + name + ": Setup.exe replaces markers only in paths");
        } else if (!marker.empty()) {
            const std::size_t after = i + marker.size();
            check_marker_end(e, name, marker, after < v.size() ? v[after] : L'\0');
            i = after - 1;
        } else if (expanded && token.size() >= 2) {
            check_marker_lookalike(e, name, token, url != std::wstring::npos && url < i);
        }
    }
}

// What follows a marker: it stands for a folder, and only #TEMPPATH ends
// with a backslash.
void linter::check_marker_end(const TiXmlElement& e, const char* name, const std::string& marker, wchar_t next)
{
    if (marker == "#TEMPPATH") {
        if (next == L'\\' || next == L'/')
            warning(place(e, name), "marker",
                    "#TEMPPATH already ends with a backslash: the path gets two separators here");
    } else if (next != L'\0' && next != L'\\' && next != L'/' && next != L'"' && next != L' ' && next != L';' &&
               next != L',') {
        warning(place(e, name), "marker",
                marker + " stands for a folder without a trailing backslash: write " + marker + "\\" +
                    to_utf8(std::wstring(1, next)) + "...");
    }
}

// A "#" word that is no marker but was meant as one: a marker in another
// letter case, or a word that reads like a folder's name. Inside an address
// a "#" begins a fragment, and only the letter case is judged.
void linter::check_marker_lookalike(const TiXmlElement& e, const char* name, const std::string& token,
                                    bool in_address)
{
    const std::string token_upper = upper(token);
    for (const char* m : marker_names) {
        if (token_upper.rfind(m, 0) != 0) continue;
        error(place(e, name), "marker",
              quoted(token.substr(0, std::string(m).size())) + " is not replaced: markers are case-sensitive, write " +
                  m);
        return;
    }
    if (in_address) return;
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

void linter::check_start(const TiXmlElement& e, const char* name, const std::string& hint)
{
    check_markers(e, name, true);
    // A text with arguments names no file: looking for it on the medium
    // would only add a confusing second error.
    if (check_start_text(e, name, hint)) return;
    check_downloaded_start(e, name);
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

}  // namespace lint_detail
}  // namespace setup_check
