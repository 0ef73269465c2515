// e2e_stub.exe: stands in for a component program in the end-to-end tests.
//
// A component's command cannot carry arguments, so the stub takes its
// behaviour from its own file name. The name (without ".exe") is split at '_'
// into words, read left to right:
//   exitN     exit with code N (decimal; default 0)
//   sleepN    wait N milliseconds before exiting (default 0)
//   hold      after the start line, wait until "<its own path>.go" exists
//             (the driver's "release" step makes it), at most two minutes
//   anything else is ignored, so copies can be told apart: "a_exit0.exe".
// Examples: exit0.exe, exit1.exe, exit3010.exe, exit259.exe,
//           sleep3000_exit0.exe, second_exit0.exe.
//
// On start it appends one line to "<its own path>.log" (e.g. exit1.exe.log),
// and one more just before it exits; each line is a JSON object:
//   {"event":"start","tick":T,"ms":M,"pid":P,"cmdline":"...","cwd":"..."}
//   {"event":"end","tick":T,"ms":M,"pid":P,"exit":N}
// where tick is GetTickCount() and ms the performance counter in
// milliseconds, both comparable across processes of one machine.
// The stub has no window (GUI subsystem, so no console appears either).

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "json.h"

namespace {

std::wstring own_path() {
    std::wstring p(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &p[0], (DWORD)p.size());
    p.resize(n);
    return p;
}

std::string stamps() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    char buf[96];
    snprintf(buf, sizeof buf, "\"tick\":%lu,\"ms\":%.3f,\"pid\":%lu", (unsigned long)GetTickCount(),
             (double)c.QuadPart * 1000.0 / (double)f.QuadPart, (unsigned long)GetCurrentProcessId());
    return buf;
}

// Appends with one write, opened for sharing: stubs started together may
// write to the same log.
void append_line(const std::wstring& path, const std::string& line) {
    HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    std::string data = line + "\n";
    DWORD written = 0;
    WriteFile(f, data.data(), (DWORD)data.size(), &written, nullptr);
    CloseHandle(f);
}

struct Behaviour {
    unsigned long exit_code = 0;
    unsigned long sleep_ms = 0;
    bool hold = false;
};

// Reads "<number>" right after a prefix; false when the word is not prefix+digits.
bool number_after(const std::wstring& word, const wchar_t* prefix, unsigned long& out) {
    size_t n = wcslen(prefix);
    if (word.size() <= n || _wcsnicmp(word.c_str(), prefix, n) != 0) return false;
    unsigned long v = 0;
    for (size_t i = n; i < word.size(); ++i) {
        if (word[i] < L'0' || word[i] > L'9') return false;
        v = v * 10 + (word[i] - L'0');
    }
    out = v;
    return true;
}

Behaviour behaviour_from_name(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    Behaviour b;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find(L'_', start);
        if (end == std::wstring::npos) end = name.size();
        std::wstring word = name.substr(start, end - start);
        unsigned long v;
        if (number_after(word, L"exit", v)) b.exit_code = v;
        else if (number_after(word, L"sleep", v)) b.sleep_ms = v;
        else if (_wcsicmp(word.c_str(), L"hold") == 0) b.hold = true;
        start = end + 1;
    }
    return b;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring self = own_path();
    std::wstring log = self + L".log";
    wchar_t cwd[MAX_PATH * 4] = {0};
    GetCurrentDirectoryW(MAX_PATH * 4, cwd);
    append_line(log, "{\"event\":\"start\"," + stamps() + ",\"cmdline\":" + json_string(GetCommandLineW()) +
                         ",\"cwd\":" + json_string(cwd) + "}");
    Behaviour b = behaviour_from_name(self);
    if (b.hold) {
        const std::wstring go = self + L".go";
        for (int i = 0; i < 12000 && GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
    }
    if (b.sleep_ms) Sleep(b.sleep_ms);
    append_line(log, "{\"event\":\"end\"," + stamps() + ",\"exit\":" + std::to_string(b.exit_code) + "}");
    return (int)b.exit_code;
}
