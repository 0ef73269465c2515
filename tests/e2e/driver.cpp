// e2e_driver.exe: runs a program under test and operates its windows the way
// a person would, writing what it saw to a log that run_e2e.py reads. How to
// call it, the script's steps and the log's lines: DRIVER.md.
//
// driver_script.cpp   the run and the steps that wait (the interpreter)
// driver_steps.cpp    the dialog's and the download window's operations
// driver_capture.cpp  pictures and measures of the windows
// driver_windows.cpp, driver_dialog.cpp, driver_pixels.cpp
//                     readers of the program's windows and the screen
// driver_json.cpp     the log's lines

#include <cstdlib>

#include "driver_json.h"
#include "driver_script.h"

namespace e2e {

std::wstring quote_arg(const std::wstring& a) {
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) return a;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += c;
            backslashes = 0;
            continue;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, L'\\');
    return out + L"\"";
}

namespace {

bool parse_args(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--") {
            for (int j = i + 1; j < argc; ++j) o.extra_args += L" " + quote_arg(argv[j]);
            break;
        }
        if (a == L"--limited") {
            o.limited = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        std::wstring v = argv[++i];
        if (a == L"--exe") o.exe = v;
        else if (a == L"--cwd") o.cwd = v;
        else if (a == L"--script") o.script = v;
        else if (a == L"--log") o.log = v;
        else if (a == L"--timeout") o.timeout = _wtof(v.c_str());
        else if (a == L"--foreign-window") o.foreign_windows.push_back(v);
        else return false;
    }
    return !o.exe.empty() && !o.log.empty() && o.timeout > 0;
}

}  // namespace

}  // namespace e2e

int wmain(int argc, wchar_t** argv) {
    using namespace e2e;
    Options o;
    if (!parse_args(argc, argv, o)) {
        fwprintf(stderr,
                 L"usage: e2e_driver.exe --exe <program> --cwd <folder> --script <file> --log <file> "
                 L"--timeout <seconds> [--limited] [--foreign-window <caption part>]... [-- <program arguments>]\n");
        return 3;
    }
    Log log;
    if (!log.open(o.log)) {
        fwprintf(stderr, L"e2e_driver: cannot write the log %ls\n", o.log.c_str());
        return 3;
    }
    Script script;
    if (!o.script.empty() && !script.load(o.script)) {
        log.line("{\"error\":" + json_string(L"cannot read the script " + o.script) + "}");
        return 3;
    }
    Driver d(log, script);
    return d.run(o);
}
