// A stand-in for Windows on which the checker runs Setup.exe's own reader: a
// chosen system version and language, fixed folders, a file system and a
// registry that hold nothing unless told otherwise, and message boxes that
// are recorded instead of shown.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace setup_check {

class stub_platform : public platform::platform {
public:
    struct shown_message {
        std::wstring text;
        std::optional<std::wstring> caption;  // empty: the system's default title
        std::uint32_t style = 0;
    };

    // --- The system the reader sees -------------------------------------
    std::wstring module = L"D:\\Setup.exe";
    std::wstring system_dir = L"C:\\WINDOWS\\system32";
    std::wstring windows_dir = L"C:\\WINDOWS";
    std::wstring temp_dir = L"C:\\TEMP\\";
    ::platform::os_version_info version{2, 6, 1, 7601, 1, L"Service Pack 1"};
    std::optional<std::uint16_t> language = std::uint16_t{1033};
    // Files that exist, keyed by lower-cased path, with an optional version
    // (major, minor, build, revision packed as in VS_FIXEDFILEINFO).
    std::map<std::wstring, std::optional<::platform::fixed_file_version>> files;
    // Registry keys under HKEY_LOCAL_MACHINE that exist (lower-cased).
    std::set<std::wstring> machine_keys;
    // The bytes of each file that read_file serves (lower-cased path).
    std::map<std::wstring, std::string> contents;

    // --- What happened ----------------------------------------------------
    std::vector<shown_message> messages;

    // --- platform ---------------------------------------------------------
    bool path_exists(const std::wstring& path) override;
    ::platform::read_status read_file(const std::wstring& path, std::size_t limit, std::string& bytes) override;
    bool create_directory(const std::wstring&) override { return false; }
    bool delete_file(const std::wstring&) override { return false; }
    bool move_file(const std::wstring&, const std::wstring&) override { return false; }
    bool file_size(const std::wstring&, std::uint64_t&) override { return false; }
    bool file_sha256(const std::wstring&, std::uint8_t (&)[32]) override { return false; }
    bool module_path(std::wstring& path) override;
    ::platform::resource_status configuration_resource(std::string&) override
    {
        return ::platform::resource_status::not_found;
    }
    std::wstring system_directory() override { return system_dir; }
    std::wstring windows_directory() override { return windows_dir; }
    std::wstring temp_directory() override { return temp_dir; }
    bool file_version(const std::wstring& path, ::platform::fixed_file_version& out) override;
    bool file_language(const std::wstring& path, std::uint16_t& langid) override;
    bool os_version(bool extended, ::platform::os_version_info& out) override;
    // Windows-1252, the ANSI code page of Western European and US systems.
    std::wstring ansi_to_wide(const std::string& text) override;
    bool reg_key_opens(::platform::reg_root root, const std::wstring& subkey, std::uint32_t access) override;
    bool reg_read_value(::platform::reg_root, const std::wstring&, std::uint32_t, const std::wstring&,
                        std::vector<std::uint8_t>&) override
    {
        return false;
    }
    bool shell_execute_ex(const std::wstring&, const std::wstring&, ::platform::process_handle&) override
    {
        return false;
    }
    std::intptr_t shell_execute(const std::wstring&) override { return 0; }
    bool exit_code(::platform::process_handle, std::uint32_t&) override { return false; }
    ::platform::wait_result wait_process(::platform::process_handle, std::uint32_t) override
    {
        return ::platform::wait_result::failed;
    }
    ::platform::wait_result wait_process_pumping(::platform::process_handle, std::uint32_t) override
    {
        return ::platform::wait_result::failed;
    }
    void close_process(::platform::process_handle) override {}
    bool start_thread(std::function<void()>, ::platform::thread_handle&) override { return false; }
    ::platform::wait_result wait_thread(::platform::thread_handle, std::uint32_t) override
    {
        return ::platform::wait_result::failed;
    }
    void close_thread(::platform::thread_handle) override {}
    void sleep(std::uint32_t) override {}
    std::uint32_t tick_count() override { return 0; }
    int message_box(::platform::window_handle owner, const std::wstring& text, const wchar_t* caption,
                    std::uint32_t style) override;
    bool admin_sid_available() override { return true; }
    ::platform::membership_status check_admin_membership(bool& member) override
    {
        member = true;
        return ::platform::membership_status::ok;
    }
    ::platform::token_status token_groups(std::uint32_t, std::uint32_t&, std::vector<bool>&) override
    {
        return ::platform::token_status::failed;
    }
    void reboot_windows() override {}
    ::platform::transfer_result download_url(const std::wstring&, const std::wstring&,
                                             ::platform::transfer_sink&) override
    {
        return ::platform::transfer_result{};
    }
};

}  // namespace setup_check
