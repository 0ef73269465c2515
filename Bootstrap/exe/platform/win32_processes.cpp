#include "platform/win32_platform.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "platform/win32_api.h"
#include "platform/win32_pump.h"

namespace win32 {

namespace {

struct thread_start {
    std::function<void()> body;
};

DWORD WINAPI thread_entry(LPVOID parameter)
{
    std::unique_ptr<thread_start> start(static_cast<thread_start*>(parameter));
    start->body();
    return 0;
}

}  // namespace

HANDLE begin_thread(std::function<void()> body)
{
    auto start = std::make_unique<thread_start>(thread_start{std::move(body)});
    HANDLE h = CreateThread(nullptr, 0, thread_entry, start.get(), 0, nullptr);
    if (h != nullptr) start.release();  // the thread owns it now
    return h;
}

}  // namespace win32

namespace platform {

namespace {

// A failed shell call's error, never 0: a shell that says nothing more is
// reported as a general failure.
std::uint32_t shell_error()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace

bool win32_platform::shell_execute_ex(const std::wstring& file, const std::wstring& parameters, shell_verb verb,
                                      process_handle& process, std::uint32_t& error)
{
    // An elevated program may start elsewhere than its caller: the folder is
    // named, so that relative paths mean the same to it.
    std::vector<wchar_t> folder(GetCurrentDirectoryW(0, nullptr) + 1, L'\0');
    if (GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()) == 0) folder[0] = L'\0';
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | (refuse_boxes_ ? SEE_MASK_FLAG_NO_UI : 0);
    info.lpVerb = verb == shell_verb::run_as_administrator ? L"runas" : nullptr;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = folder[0] != L'\0' ? folder.data() : nullptr;
    info.nShow = SW_SHOWNORMAL;
    SetLastError(0);
    if (!ShellExecuteExW(&info)) {
        error = shell_error();
        return false;
    }
    process = reinterpret_cast<process_handle>(info.hProcess);
    return true;
}

bool win32_platform::shell_open(const std::wstring& file, std::uint32_t& error)
{
    SetLastError(0);
    if (refuse_boxes_) {
        // The same default action, with the shell told to keep quiet.
        SHELLEXECUTEINFOW info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.lpFile = file.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (ShellExecuteExW(&info)) return true;
    } else if (reinterpret_cast<std::intptr_t>(
                   ShellExecuteW(nullptr, nullptr, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32) {
        return true;
    }
    error = shell_error();
    return false;
}

void win32_platform::refuse_system_boxes()
{
    refuse_boxes_ = true;
    // The error mode can only be set whole: the one in force is read by
    // setting another, then set again with these added. A crash of the
    // program itself shows no report box either: nobody would close it.
    const UINT previous = SetErrorMode(0);
    SetErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
}

bool win32_platform::exit_code(process_handle process, std::uint32_t& code)
{
    DWORD value = 0;
    if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &value)) return false;
    code = value;
    return true;
}

wait_result win32_platform::wait_process(process_handle process, std::uint32_t timeout_ms)
{
    return win32::wait_for(reinterpret_cast<HANDLE>(process), timeout_ms);
}

wait_result win32_platform::wait_process_pumping(process_handle process, std::uint32_t timeout_ms)
{
    // No handle is no process to wait for: the pump would only pass the time.
    if (process == 0) return wait_result::failed;
    return win32::wait_pumping(reinterpret_cast<HANDLE>(process), timeout_ms);
}

void win32_platform::close_process(process_handle process)
{
    if (process != 0) CloseHandle(reinterpret_cast<HANDLE>(process));
}

bool win32_platform::start_thread(std::function<void()> body, thread_handle& thread)
{
    HANDLE h = win32::begin_thread(std::move(body));
    if (h == nullptr) return false;
    thread = reinterpret_cast<thread_handle>(h);
    return true;
}

wait_result win32_platform::wait_thread(thread_handle thread, std::uint32_t timeout_ms)
{
    return wait_process(thread, timeout_ms);
}

wait_result win32_platform::wait_thread_pumping(thread_handle thread, std::uint32_t timeout_ms)
{
    return wait_process_pumping(thread, timeout_ms);
}

void win32_platform::close_thread(thread_handle thread)
{
    if (thread != 0) CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void win32_platform::sleep(std::uint32_t ms) { Sleep(ms); }

void win32_platform::sleep_pumping(std::uint32_t ms) { win32::wait_pumping(nullptr, ms); }

std::uint32_t win32_platform::tick_count() { return GetTickCount(); }

std::uint32_t win32_platform::process_id() { return GetCurrentProcessId(); }

}  // namespace platform
