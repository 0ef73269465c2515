// The one door to the operating system, in roles: each piece of code takes
// the roles it needs, and a tool or a test implements only those. The values
// below are the program's own; the Win32 implementation (platform/win32_*,
// one file per role, with the handle owners, run-time lookups and message
// pump they share) maps them to the system's. Of the layers up to the engine
// it is the only code that includes <windows.h>. Above them, the dialogs
// (plain Win32 windows) and the program's entry and runtime (run/main.cpp,
// exe_module.cpp, slim_runtime.cpp) include it too: they are Win32 by nature
// and are built only into the program, never into the native tools or tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Opaque handles. 0 is "none".
using process_handle = std::uintptr_t;
using thread_handle = std::uintptr_t;
using window_handle = std::uintptr_t;

// ------------------------------------------------------------ vocabulary

enum class read_status { ok, failed, too_large };

// The fixed version information of a file (VS_FIXEDFILEINFO's version words).
struct fixed_file_version {
    std::uint32_t file_version_ms = 0;
    std::uint32_t file_version_ls = 0;
};

enum class reg_root { local_machine, current_user };
// KEY_READ and KEY_QUERY_VALUE.
enum class reg_access { read, query_value };
// Which view of the registry a 32-bit program reads on 64-bit Windows: the
// redirected one (Wow6432Node, where 32-bit programs write) or the native
// 64-bit one (KEY_WOW64_64KEY). 32-bit Windows has one view, read by both.
enum class reg_view { redirected, native };

enum class wait_result { ended, timeout, failed };

enum class box_icon { error, warning, information, question };
enum class box_buttons { ok, yes_no };
enum class box_answer { ok, yes, no };

// How a URL transfer ended.
enum class transfer_status {
    completed,        // it ran to its end; the HTTP status tells how the server answered
    cannot_connect,   // no connection was made (refused, unreachable)
    connection_lost,  // the connection was reset or closed before a whole answer
    timed_out,        // the network went quiet for longer than the transfer waits
    cancelled,        // the receiver stopped it
    failed,           // anything else (no such host, a target that cannot be written, ...)
};

struct transfer_result {
    transfer_status status = transfer_status::failed;
    std::uint32_t code = 0;         // the system's own code of a failure (an HRESULT or error number)
    std::uint32_t http_status = 0;  // for HTTP, the status the server answered with; 0 otherwise
    std::uint64_t announced = 0;    // the size the server announced; 0 when it announced none
};

// Follows a running transfer, on the transfer's own thread.
class transfer_sink {
public:
    virtual ~transfer_sink() = default;
    // Something arrived (the answer's headers, or body bytes: `stored` in
    // all so far, of `announced`, the size the server announced, 0 when it
    // announced none). False stops the transfer, which then reports
    // cancelled.
    virtual bool on_bytes(std::uint64_t stored, std::uint64_t announced) = 0;
};

// The local date and time, to the millisecond.
struct local_time {
    std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// What GetVersionExW tells of the running system.
struct os_version_info {
    std::uint32_t platform_id = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint16_t service_pack_major = 0;  // only filled by the extended query
    std::wstring csd_version;              // service-pack text
};

// Outcome of the configuration resource lookup, step by step.
enum class resource_status { ok, not_found, load_failed, lock_failed };

// Outcome of the system's membership test for the Administrators group.
enum class membership_status { ok, no_library, no_function, failed };

// Outcome of reading the groups of the process token.
enum class token_status { ok, buffer_too_small, no_token, failed };

// Whether the process token is elevated (TokenElevation); unknown where the
// system cannot tell, as before Windows Vista.
enum class token_elevation { elevated, limited, unknown };

// The shell's verb for a start: its default action, or "runas", which asks
// the user for administrator rights first (user account control).
enum class shell_verb { default_action, run_as_administrator };

// The system's error code for a request the user declined (ERROR_CANCELLED).
constexpr std::uint32_t error_cancelled = 1223;

// ------------------------------------------------------------ the roles

// Files, folders and the version resources of files.
class files {
public:
    virtual ~files() = default;
    // Something exists at the path (GetFileAttributesW).
    virtual bool path_exists(const std::wstring& path) = 0;
    // Opens an existing file for reading (sharing read access) and reads all
    // of it: failed when it cannot be opened or read (a folder, for one),
    // too_large, without reading, when it holds more than `limit` bytes.
    virtual read_status read_file(const std::wstring& path, std::size_t limit, std::string& bytes) = 0;
    // Creates the last level of a folder; the result tells whether it exists.
    virtual bool create_directory(const std::wstring& path) = 0;
    virtual bool delete_file(const std::wstring& path) = 0;
    // Renames a file within its volume, replacing a file of the new name.
    virtual bool move_file(const std::wstring& from, const std::wstring& to) = 0;
    // Appends bytes to a file, creating it when it does not exist; others
    // may read it meanwhile. False when it cannot be opened or written.
    virtual bool append_file(const std::wstring& path, const std::string& bytes) = 0;
    // The absolute form of a path as the user typed it: a relative one is
    // taken from the current folder. Empty when the system cannot form it.
    virtual std::wstring full_path(const std::wstring& path) = 0;
    // Size of a regular file; false when there is none at the path.
    virtual bool file_size(const std::wstring& path, std::uint64_t& size) = 0;
    // The SHA-256 digest of a file's contents, with the system's own
    // cryptography. False when the file cannot be opened, read to its end
    // or hashed.
    virtual bool file_sha256(const std::wstring& path, std::uint8_t (&digest)[32]) = 0;
    // The fixed version information of a file; false when it has none.
    virtual bool file_version(const std::wstring& path, fixed_file_version& out) = 0;
    // The language word of the first "\VarFileInfo\Translation" entry.
    virtual bool file_language(const std::wstring& path, std::uint16_t& langid) = 0;
};

// The registry, read only.
class registry {
public:
    virtual ~registry() = default;
    // The key exists in that view and opens with that access.
    virtual bool key_opens(reg_root root, const std::wstring& subkey, reg_access access, reg_view view) = 0;
    // A whole value (any type) of a key opened with that access in that
    // view. False when the key does not open or the value does not exist.
    virtual bool read_value(reg_root root, const std::wstring& subkey, reg_access access, reg_view view,
                            const std::wstring& name, std::vector<std::uint8_t>& data) = 0;
};

// Processes, the shell, threads and time.
class processes {
public:
    virtual ~processes() = default;
    // ShellExecuteExW with SEE_MASK_NOCLOSEPROCESS, SW_SHOWNORMAL and the
    // verb, started in the current folder. False when the shell refused (a
    // declined elevation prompt: error_cancelled), with the system's error
    // code in `error`; otherwise `process` holds the process handle, or 0
    // when the shell served the request without a process of its own.
    virtual bool shell_execute_ex(const std::wstring& file, const std::wstring& parameters, shell_verb verb,
                                  process_handle& process, std::uint32_t& error) = 0;
    // Opens a file or an address with the shell's default action, no window
    // and no verb: true when the shell accepted it; otherwise the system's
    // error code is in `error`.
    virtual bool shell_open(const std::wstring& file, std::uint32_t& error) = 0;
    // From now on the system shows no box of its own for this process: the
    // shell reports a failure without a message, and a critical error (no
    // disk in a drive, say) fails the call that met it instead of asking.
    virtual void refuse_system_boxes() = 0;
    virtual bool exit_code(process_handle process, std::uint32_t& code) = 0;
    // Waits until the process ends, at most timeout_ms (0xFFFFFFFF: no limit).
    virtual wait_result wait_process(process_handle process, std::uint32_t timeout_ms) = 0;
    // The same, while pumping the calling thread's window messages.
    virtual wait_result wait_process_pumping(process_handle process, std::uint32_t timeout_ms) = 0;
    virtual void close_process(process_handle process) = 0;
    // Starts `body` on a new thread. False when no thread could be started.
    virtual bool start_thread(std::function<void()> body, thread_handle& thread) = 0;
    virtual wait_result wait_thread(thread_handle thread, std::uint32_t timeout_ms) = 0;
    // The same, while pumping the calling thread's window messages.
    virtual wait_result wait_thread_pumping(thread_handle thread, std::uint32_t timeout_ms) = 0;
    virtual void close_thread(thread_handle thread) = 0;
    virtual void sleep(std::uint32_t ms) = 0;
    // Waits so long while pumping the calling thread's window messages.
    virtual void sleep_pumping(std::uint32_t ms) = 0;
    // Milliseconds since the system started; it wraps after 49.7 days, so
    // only differences are meaningful.
    virtual std::uint32_t tick_count() = 0;
    // The running process's identifier, unique among the running processes.
    virtual std::uint32_t process_id() = 0;
};

// Message boxes.
class user_interface {
public:
    virtual ~user_interface() = default;
    // MessageBoxW. A null caption lets the system show its default title.
    virtual box_answer message_box(window_handle owner, const std::wstring& text, const wchar_t* caption,
                                   box_icon icon, box_buttons buttons) = 0;
};

class network {
public:
    virtual ~network() = default;
    // Fetches `url` into a new file `target`, synchronously, with the
    // system's proxy settings. Nothing is left at `target` unless the result
    // is completed with an HTTP status below 400 (an error page is never
    // stored). Waits on a quiet network for a bounded time, so that a
    // transfer its receiver gave up on still ends.
    virtual transfer_result download_url(const std::wstring& url, const std::wstring& target,
                                         transfer_sink& sink) = 0;
};

// What the running system and the program itself are.
class system_facts {
public:
    virtual ~system_facts() = default;
    // The full path of the program's own file, wide. False when unavailable.
    virtual bool module_path(std::wstring& path) = 0;
    // Resource 103 of type RT_RCDATA of the program's own module.
    virtual resource_status configuration_resource(std::string& bytes) = 0;
    // The folders: empty when the system does not give them.
    virtual std::wstring system_directory() = 0;
    virtual std::wstring windows_directory() = 0;
    virtual std::wstring temp_directory() = 0;  // with its trailing backslash
    // GetVersionExW with OSVERSIONINFOEXW (extended) or OSVERSIONINFOW.
    virtual bool os_version(bool extended, os_version_info& out) = 0;
    // The program's whole command line, as the system gives it.
    virtual std::wstring command_line() = 0;
    // The system's own text for an error code (a Windows error, an HRESULT
    // or a network error), without a line break at its end; empty when the
    // system has none.
    virtual std::wstring error_text(std::uint32_t code) = 0;
    // MultiByteToWideChar with the current thread's ANSI code page.
    virtual std::wstring ansi_to_wide(const std::string& text) = 0;
    virtual local_time now() = 0;
};

// The process token, and the restart that needs one of its privileges.
class privileges {
public:
    virtual ~privileges() = default;
    // The security identifier of the Administrators group can be built.
    virtual bool admin_sid_available() = 0;
    // CheckTokenMembership of the Administrators group, looked up at run time.
    virtual membership_status check_admin_membership(bool& member) = 0;
    // GetTokenInformation(TokenGroups) into a buffer of `buffer_size` bytes.
    // Reports the size it needs; on success, for each group in order, 1 when
    // it is the Administrators group, else 0.
    virtual token_status token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                                      std::vector<std::uint8_t>& is_admin_group) = 0;
    // GetTokenInformation(TokenElevation) of the process token.
    virtual token_elevation elevation() = 0;
    // Enables SeShutdownPrivilege and asks Windows to restart (not forced).
    // False when Windows refused, with its error code in `error`.
    virtual bool reboot_windows(std::uint32_t& error) = 0;
};

// One run of a configuration at a time, across the machine's sessions.
enum class lock_status { taken, held_elsewhere, failed };

class instances {
public:
    virtual ~instances() = default;
    // Takes the lock of this name for the rest of the process's life: the
    // system releases it when the process ends, however it ends.
    virtual lock_status take_run_lock(const std::wstring& name) = 0;
    // Marks a window of this process with the name, so that another
    // process can find it.
    virtual void mark_window(window_handle window, const std::wstring& name) = 0;
    // Brings to the front the window that another process marked with the
    // name (or the window it has open over it). False when none was found.
    virtual bool bring_marked_window_forward(const std::wstring& name) = 0;
};

// Everything the program asks of the operating system.
class platform : public files,
                 public registry,
                 public processes,
                 public user_interface,
                 public network,
                 public system_facts,
                 public privileges,
                 public instances {};

}  // namespace platform
