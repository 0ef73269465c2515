// A stand-in for Windows on which the checker runs Setup.exe's own reader: a
// chosen system version and language, fixed folders, a file system and a
// registry that hold nothing unless told otherwise, and message boxes that
// are recorded instead of shown. It plays the four roles the reader needs;
// the checker never starts a process or fetches a file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace setup_check {

class stub_platform : public ::platform::files,
                      public ::platform::registry,
                      public ::platform::system_facts,
                      public ::platform::user_interface {
public:
    struct shown_message {
        std::wstring text;
        std::optional<std::wstring> caption;  // empty: the system's default title
        ::platform::box_icon icon = ::platform::box_icon::error;
    };

    // --- The system the reader sees -------------------------------------
    std::wstring module = L"D:\\Setup.exe";
    std::wstring system_dir = L"C:\\WINDOWS\\system32";
    std::wstring windows_dir = L"C:\\WINDOWS";
    std::wstring temp_dir = L"C:\\TEMP\\";
    ::platform::os_version_info version{2, 6, 1, 1, L"Service Pack 1"};
    std::optional<std::uint16_t> language = std::uint16_t{1033};
    // Files that exist, keyed by lower-cased path, with an optional version
    // (major, minor, build, revision packed as in VS_FIXEDFILEINFO).
    std::map<std::wstring, std::optional<::platform::fixed_file_version>> files;
    // Registry keys under HKEY_LOCAL_MACHINE that exist (lower-cased), and
    // values in them: (key, name), both lower-cased, to the stored bytes.
    std::set<std::wstring> machine_keys;
    std::map<std::pair<std::wstring, std::wstring>, std::vector<std::uint8_t>> machine_values;
    // The bytes of each file that read_file serves (lower-cased path).
    std::map<std::wstring, std::string> contents;

    // --- What happened ----------------------------------------------------
    std::vector<shown_message> messages;

    // --- files: read only -------------------------------------------------
    bool path_exists(const std::wstring& path) override;
    ::platform::read_status read_file(const std::wstring& path, std::size_t limit, std::string& bytes) override;
    bool create_directory(const std::wstring&) override { return false; }
    bool delete_file(const std::wstring&) override { return false; }
    bool move_file(const std::wstring&, const std::wstring&) override { return false; }
    bool append_file(const std::wstring&, const std::string&) override { return false; }
    std::wstring full_path(const std::wstring& path) override { return path; }
    bool file_size(const std::wstring&, std::uint64_t&) override { return false; }
    bool file_sha256(const std::wstring&, std::uint8_t (&)[32]) override { return false; }
    bool file_version(const std::wstring& path, ::platform::fixed_file_version& out) override;
    bool file_language(const std::wstring& path, std::uint16_t& langid) override;
    // --- registry: HKEY_LOCAL_MACHINE only ----------------------------------
    // One registry stands for both views: the keys given are there in each.
    bool key_opens(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access access,
                   ::platform::reg_view view) override;
    bool read_value(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access access,
                    ::platform::reg_view view, const std::wstring& name, std::vector<std::uint8_t>& data) override;
    // --- system_facts -------------------------------------------------------
    bool module_path(std::wstring& path) override;
    ::platform::resource_status configuration_resource(std::string&) override
    {
        return ::platform::resource_status::not_found;
    }
    std::wstring system_directory() override { return system_dir; }
    std::wstring windows_directory() override { return windows_dir; }
    std::wstring temp_directory() override { return temp_dir; }
    bool os_version(bool extended, ::platform::os_version_info& out) override;
    std::wstring command_line() override { return L"Setup.exe"; }
    std::wstring error_text(std::uint32_t) override { return std::wstring(); }
    // Windows-1252, the ANSI code page of Western European and US systems.
    std::wstring ansi_to_wide(const std::string& text) override;
    ::platform::local_time now() override { return {}; }
    // --- user_interface -------------------------------------------------------
    ::platform::box_answer message_box(::platform::window_handle owner, const std::wstring& text,
                                       const wchar_t* caption, ::platform::box_icon icon,
                                       ::platform::box_buttons buttons) override;
};

}  // namespace setup_check
