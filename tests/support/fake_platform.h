// An in-memory stand-in for Windows, for the native tests: files with their
// version resources, a registry, folders, the system version and language,
// scripted message-box answers and programs, and a log of what was asked.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform {

// The exit code a process reports while it still runs (STILL_ACTIVE).
constexpr std::uint32_t still_active = 259;

class fake_platform : public platform {
public:
    struct file {
        std::string bytes;
        bool is_directory = false;
        bool readable = true;
        std::optional<fixed_file_version> version;
        std::optional<std::uint16_t> language;
    };

    // How a program behaves when the shell starts it.
    struct program {
        bool starts = true;            // the shell accepts it
        bool gives_process = true;     // a process handle comes back
        std::uint32_t exit_code = 0;
        bool exit_code_readable = true;
        int polls_until_end = 0;       // zero-time waits that still see it run
        bool never_ends = false;       // even an unlimited wait times out
        std::uint32_t start_error = 5;  // the shell's error when it does not start
        bool declines_elevation = false;  // the user answers the "runas" prompt No
    };

    struct message {
        window_handle owner = 0;
        std::wstring text;
        std::optional<std::wstring> caption;  // empty optional: no caption
        box_icon icon = box_icon::error;
        box_buttons buttons = box_buttons::ok;
    };

    // One answer to a request.
    struct download {
        transfer_status status = transfer_status::completed;
        std::uint32_t http_status = 200;
        std::string content;          // what the transfer stores
        std::uint64_t announced = 0;  // the size the server announced; 0: none
        bool stalls = false;          // after `content`, nothing more arrives, ever
        // `content` arrives so many bytes at a time, each piece so many
        // milliseconds after the one before (0: all at once). The pieces
        // arrive while the transfer's thread is waited for, as the clock
        // passes.
        std::size_t piece = 0;
        std::uint32_t piece_ms = 0;
    };

    struct started_process {
        std::wstring file;
        std::wstring parameters;
        program behaviour;
        shell_verb verb = shell_verb::default_action;
        int polls = 0;
        bool ended = false;
        bool closed = false;
    };

    // --- Setup for a test -------------------------------------------------
    std::wstring module = L"C:\\medium\\Setup.exe";
    bool module_available = true;
    std::wstring system_dir = L"C:\\Windows\\system32";
    std::wstring windows_dir = L"C:\\Windows";
    std::wstring temp_dir = L"C:\\Users\\user\\Temp\\";
    resource_status resource_result = resource_status::ok;
    std::string resource_bytes;
    std::map<std::wstring, file> files;  // keyed by lower-cased path
    std::map<std::wstring, std::map<std::wstring, std::vector<std::uint8_t>>> registry;  // "hklm\\key" -> values
    std::map<std::wstring, bool> registry_denied;  // keys that exist but refuse to open
    bool extended_version_works = true;
    bool version_works = true;
    os_version_info version{2, 6, 1, 1, L"Service Pack 1"};
    bool sid_available = true;
    membership_status membership = membership_status::ok;
    bool member_of_admins = true;
    token_status token_result = token_status::ok;
    std::uint32_t token_size = 512;
    std::vector<std::uint8_t> token_group_is_admin{0, 1};
    token_elevation elevation_answer = token_elevation::unknown;
    std::map<std::wstring, program> programs;  // keyed by lower-cased path
    bool shell_open_accepts = true;
    bool reboot_refused = false;
    std::wstring command = L"\"C:\\medium\\Setup.exe\"";  // the program's command line
    std::wstring current_dir = L"C:\\work";
    std::map<std::uint32_t, std::wstring> error_texts{
        {2, L"The system cannot find the file specified."},
        {1314, L"A required privilege is not held by the client."},
    };
    // Message-box answers, in order; when they run out, the first button.
    std::deque<box_answer> answers;
    bool threads_start = true;
    // So many of the next threads start late: until their body runs, every
    // wait for them times out. The bodies run in the middle of the next
    // transfer that stores a file (after it stored it), or at
    // run_late_threads.
    int threads_run_late = 0;
    // The answers to the requests for a URL, in order; the last one repeats.
    std::map<std::wstring, std::vector<download>> downloads;
    std::uint32_t clock_ms = 1000;  // what tick_count answers; waits and sleeps advance it
    std::uint32_t pid = 4242;       // what process_id answers
    // Run locks held by other processes; the windows they marked.
    std::vector<std::wstring> locks_held_elsewhere;
    std::vector<std::wstring> windows_marked_elsewhere;
    bool locks_fail = false;
    // Every read of the clock is followed at once, a millisecond later, by
    // an arrival in each transfer whose pieces still arrive: the transfer's
    // thread ran between the reader's two reads.
    bool arrivals_race_the_clock = false;
    // Called in every wait and pause that serves window messages, before
    // it ends: what a window does with the messages it is served (a click).
    std::function<void()> while_pumping;

    // --- What happened ----------------------------------------------------
    std::vector<message> messages;
    std::vector<started_process> processes;
    std::vector<std::wstring> opened;  // files handed to shell_open
    std::vector<std::wstring> calls;   // a line per operation of interest
    std::vector<std::pair<std::wstring, reg_view>> key_views;  // each key asked for, with its view
    int reboots = 0;
    std::vector<std::wstring> locks_taken;
    std::vector<std::pair<window_handle, std::wstring>> windows_marked;
    std::vector<std::wstring> brought_forward;
    std::map<std::wstring, file> files_at_reboot;  // the files as the restart found them
    bool system_boxes_refused = false;
    std::vector<std::uint32_t> sleeps;
    int pumped_waits = 0;  // waits and pauses that served window messages
    std::vector<std::wstring> requests;  // the URLs asked for, in order
    std::size_t bytes_read = 0;          // by read_file

    // Helpers for tests.
    void add_file(const std::wstring& path, const std::string& bytes = std::string());
    void add_versioned_file(const std::wstring& path, std::uint16_t a, std::uint16_t b, std::uint16_t c,
                            std::uint16_t d);
    void add_directory(const std::wstring& path);
    void set_language(std::uint16_t langid);
    void set_reg_value(reg_root root, const std::wstring& key, const std::wstring& name,
                       const std::vector<std::uint8_t>& data);
    void set_reg_dword(reg_root root, const std::wstring& key, const std::wstring& name, std::uint32_t value);
    void set_reg_string(reg_root root, const std::wstring& key, const std::wstring& name, const std::wstring& value);
    void add_reg_key(reg_root root, const std::wstring& key);
    std::vector<std::wstring> message_texts() const;

    // --- platform ---------------------------------------------------------
    bool path_exists(const std::wstring& path) override;
    read_status read_file(const std::wstring& path, std::size_t limit, std::string& bytes) override;
    bool create_directory(const std::wstring& path) override;
    bool delete_file(const std::wstring& path) override;
    bool move_file(const std::wstring& from, const std::wstring& to) override;
    bool append_file(const std::wstring& path, const std::string& bytes) override;
    bool file_size(const std::wstring& path, std::uint64_t& size) override;
    bool file_sha256(const std::wstring& path, std::uint8_t (&digest)[32]) override;
    bool file_version(const std::wstring& path, fixed_file_version& out) override;
    bool file_language(const std::wstring& path, std::uint16_t& langid) override;
    bool key_opens(reg_root root, const std::wstring& subkey, reg_access access, reg_view view) override;
    bool read_value(reg_root root, const std::wstring& subkey, reg_access access, reg_view view,
                    const std::wstring& name, std::vector<std::uint8_t>& data) override;
    bool shell_execute_ex(const std::wstring& file, const std::wstring& parameters, shell_verb verb,
                          process_handle& process, std::uint32_t& error) override;
    bool shell_open(const std::wstring& file, std::uint32_t& error) override;
    void refuse_system_boxes() override;
    std::wstring full_path(const std::wstring& path) override;
    std::wstring command_line() override { return command; }
    std::wstring error_text(std::uint32_t code) override;
    bool exit_code(process_handle process, std::uint32_t& code) override;
    wait_result wait_process(process_handle process, std::uint32_t timeout_ms) override;
    wait_result wait_process_pumping(process_handle process, std::uint32_t timeout_ms) override;
    void close_process(process_handle process) override;
    bool start_thread(std::function<void()> body, thread_handle& thread) override;
    wait_result wait_thread(thread_handle thread, std::uint32_t timeout_ms) override;
    wait_result wait_thread_pumping(thread_handle thread, std::uint32_t timeout_ms) override;
    void sleep_pumping(std::uint32_t ms) override;
    // Runs the bodies of the threads started late, in the order they started.
    void run_late_threads();
    void close_thread(thread_handle thread) override;
    void sleep(std::uint32_t ms) override;
    std::uint32_t tick_count() override;
    std::uint32_t process_id() override { return pid; }
    lock_status take_run_lock(const std::wstring& name) override;
    void mark_window(window_handle window, const std::wstring& name) override;
    bool bring_marked_window_forward(const std::wstring& name) override;
    box_answer message_box(window_handle owner, const std::wstring& text, const wchar_t* caption, box_icon icon,
                           box_buttons buttons) override;
    transfer_result download_url(const std::wstring& url, const std::wstring& target, transfer_sink& sink) override;
    bool module_path(std::wstring& path) override;
    resource_status configuration_resource(std::string& bytes) override;
    std::wstring system_directory() override { return system_dir; }
    std::wstring windows_directory() override { return windows_dir; }
    std::wstring temp_directory() override { return temp_dir; }
    bool os_version(bool extended, os_version_info& out) override;
    std::wstring ansi_to_wide(const std::string& text) override;
    // 2026-01-02 03:04:05, advancing with the clock.
    local_time now() override;
    bool admin_sid_available() override;
    membership_status check_admin_membership(bool& member) override;
    token_status token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                              std::vector<std::uint8_t>& is_admin_group) override;
    token_elevation elevation() override;
    bool reboot_windows(std::uint32_t& error) override;

    static std::wstring key_of(reg_root root, const std::wstring& subkey);

private:
    started_process* process_of(process_handle handle);
    thread_handle threads_started_ = 0;
    thread_handle running_thread_ = 0;        // the thread whose body runs now
    std::vector<thread_handle> stuck_threads_;  // threads blocked for good
    std::vector<std::pair<thread_handle, std::function<void()>>> late_threads_;
    // A transfer whose pieces still arrive, and the thread that runs it.
    struct trickle {
        thread_handle thread = 0;
        std::wstring target;
        download answer;
        transfer_sink* sink = nullptr;
        std::size_t stored = 0;
        std::uint32_t next_at = 0;  // the clock when the next piece arrives
    };
    std::vector<trickle> trickles_;
    bool racing_ = false;
    file* find(const std::wstring& path);
};

// Little-endian bytes of a UTF-16 text with its terminating zero.
std::vector<std::uint8_t> utf16_bytes(const std::wstring& text, bool terminate = true);

}  // namespace platform
