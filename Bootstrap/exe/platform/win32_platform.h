// The platform on real Windows. Its members are defined one role to a file
// (win32_files.cpp, win32_registry.cpp, win32_processes.cpp, win32_ui.cpp,
// win32_network.cpp, win32_system.cpp, win32_privileges.cpp and
// win32_instances.cpp).
#pragma once

#include "platform/platform.h"

namespace platform {

class win32_platform : public platform {
public:
    // The one platform of the process. It is never destroyed: a download
    // given up on may still run on its own thread, calling it, until the
    // process ends, which ends that thread with it. The program carries no
    // guard for function-local statics, so the first call must come from the
    // main thread before any other thread starts.
    static win32_platform& process_platform();
    win32_platform(const win32_platform&) = delete;
    win32_platform& operator=(const win32_platform&) = delete;

    // instances
    lock_status take_run_lock(const std::wstring& name) override;
    void mark_window(window_handle window, const std::wstring& name) override;
    bool bring_marked_window_forward(const std::wstring& name) override;

    // files
    bool path_exists(const std::wstring& path) override;
    read_status read_file(const std::wstring& path, std::size_t limit, std::string& bytes) override;
    bool create_directory(const std::wstring& path) override;
    bool delete_file(const std::wstring& path) override;
    bool move_file(const std::wstring& from, const std::wstring& to) override;
    bool append_file(const std::wstring& path, const std::string& bytes) override;
    std::wstring full_path(const std::wstring& path) override;
    bool file_size(const std::wstring& path, std::uint64_t& size) override;
    bool file_sha256(const std::wstring& path, std::uint8_t (&digest)[32]) override;
    bool file_version(const std::wstring& path, fixed_file_version& out) override;
    bool file_language(const std::wstring& path, std::uint16_t& langid) override;
    // registry
    bool key_opens(reg_root root, const std::wstring& subkey, reg_access access, reg_view view) override;
    bool read_value(reg_root root, const std::wstring& subkey, reg_access access, reg_view view,
                    const std::wstring& name, std::vector<std::uint8_t>& data) override;
    // processes
    bool shell_execute_ex(const std::wstring& file, const std::wstring& parameters, shell_verb verb,
                          process_handle& process, std::uint32_t& error) override;
    bool shell_open(const std::wstring& file, std::uint32_t& error) override;
    void refuse_system_boxes() override;
    bool exit_code(process_handle process, std::uint32_t& code) override;
    wait_result wait_process(process_handle process, std::uint32_t timeout_ms) override;
    wait_result wait_process_pumping(process_handle process, std::uint32_t timeout_ms) override;
    void close_process(process_handle process) override;
    bool start_thread(std::function<void()> body, thread_handle& thread) override;
    wait_result wait_thread(thread_handle thread, std::uint32_t timeout_ms) override;
    wait_result wait_thread_pumping(thread_handle thread, std::uint32_t timeout_ms) override;
    void close_thread(thread_handle thread) override;
    void sleep(std::uint32_t ms) override;
    void sleep_pumping(std::uint32_t ms) override;
    std::uint32_t tick_count() override;
    std::uint32_t process_id() override;
    // user_interface
    box_answer message_box(window_handle owner, const std::wstring& text, const wchar_t* caption, box_icon icon,
                           box_buttons buttons) override;
    // network
    transfer_result download_url(const std::wstring& url, const std::wstring& target, transfer_sink& sink) override;
    // system_facts
    bool module_path(std::wstring& path) override;
    resource_status configuration_resource(std::string& bytes) override;
    std::wstring system_directory() override;
    std::wstring windows_directory() override;
    std::wstring temp_directory() override;
    std::wstring command_line() override;
    std::wstring error_text(std::uint32_t code) override;
    bool os_version(bool extended, os_version_info& out) override;
    std::wstring ansi_to_wide(const std::string& text) override;
    local_time now() override;
    // privileges
    bool admin_sid_available() override;
    membership_status check_admin_membership(bool& member) override;
    token_status token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                              std::vector<std::uint8_t>& is_admin_group) override;
    token_elevation elevation() override;
    bool reboot_windows(std::uint32_t& error) override;

private:
    win32_platform() = default;

    bool refuse_boxes_ = false;  // the shell and the error mode keep quiet
};

}  // namespace platform
