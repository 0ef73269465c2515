// A component's download dialog and its downloads: where each file is
// stored, its address and checksum, the dialog's formats, and a start file
// that the downloads are meant to bring.
#include <algorithm>

#include "base/numbered_format.h"
#include "base/paths.h"
#include "base/text.h"
#include "download/downloader.h"
#include "lint_internal.h"

namespace setup_check {
namespace lint_detail {

namespace {

// The attributes of the download dialog and of each download.
const std::set<std::string> download_dialog_attributes = {
    "dialog_caption", "dialog_message", "dialog_message_downloading", "buttonstart_caption",
    "buttoncancel_caption", "autostartdownload", "progress_text", "progress_text_no_size", "retry_text"};
const std::set<std::string> download_attributes = {"componentname", "sourceurl", "destinationpath",
                                                   "destinationfilename", "sha256"};

bool is_hex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

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

}  // namespace

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

}  // namespace lint_detail
}  // namespace setup_check
