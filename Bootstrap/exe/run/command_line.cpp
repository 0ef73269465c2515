#include "run/command_line.h"

#include "base/text.h"

namespace run {

namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The switch an argument names ("quiet" for "/QUIET" or "-quiet"), or the
// empty text when it names none of ours. The words that other setup
// programs take for a run without any window all mean /quiet, so that the
// switch an administrator types first works.
std::wstring switch_name(const std::wstring& argument)
{
    if (argument.size() < 2 || (argument[0] != L'/' && argument[0] != L'-')) return std::wstring();
    const std::wstring name = text::ascii_lower(argument.substr(1));
    for (const wchar_t* quiet : {L"quiet", L"q", L"qn", L"s", L"silent", L"verysilent"})
        if (name == quiet) return L"quiet";
    for (const wchar_t* known : {L"passive", L"norestart", L"log", L"elevated", L"?", L"help"})
        if (name == known) return name;
    return std::wstring();
}

// The program, the first argument: quotes only group, nothing is escaped.
// `end` is where the text after it begins.
std::wstring program_of(const std::wstring& line, std::size_t& end)
{
    std::size_t i = 0;
    const std::size_t n = line.size();
    std::wstring program;
    if (i < n && line[i] == L'"') {
        const std::size_t close = line.find(L'"', i + 1);
        program = line.substr(i + 1, close == std::wstring::npos ? std::wstring::npos : close - i - 1);
        i = close == std::wstring::npos ? n : close + 1;
    }
    while (i < n && !is_blank(line[i])) program += line[i++];
    end = i;
    return program;
}

}  // namespace

std::vector<std::wstring> split_command_line(const std::wstring& line)
{
    std::vector<std::wstring> arguments;
    std::size_t i = 0;
    const std::size_t n = line.size();
    arguments.push_back(program_of(line, i));

    for (;;) {
        while (i < n && is_blank(line[i])) ++i;
        if (i >= n) break;
        std::wstring argument;
        bool quoted = false;
        while (i < n && (quoted || !is_blank(line[i]))) {
            std::size_t backslashes = 0;
            while (i < n && line[i] == L'\\') ++backslashes, ++i;
            if (i < n && line[i] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument += L'"';  // an escaped quote
                } else if (quoted && i + 1 < n && line[i + 1] == L'"') {
                    argument += L'"';  // "" inside quotes is one quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, L'\\');
                if (i < n && (quoted || !is_blank(line[i]))) argument += line[i++];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::wstring arguments_text(const std::wstring& line)
{
    std::size_t i = 0;
    program_of(line, i);
    while (i < line.size() && is_blank(line[i])) ++i;
    return line.substr(i);
}

switches parse_switches(const std::vector<std::wstring>& arguments)
{
    switches s;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring name = switch_name(arguments[i]);
        if (name == L"quiet") {
            s.quiet = true;
            s.quiet_as = arguments[i];
        } else if (name == L"passive") {
            s.passive = true;
        } else if (name == L"norestart") {
            s.norestart = true;
        } else if (name == L"elevated") {
            s.elevated = true;
        } else if (name == L"?" || name == L"help") {
            s.help = true;
        } else if (name == L"log" && i + 1 < arguments.size() && switch_name(arguments[i + 1]).empty() &&
                   !arguments[i + 1].empty()) {
            // The file follows; a switch of ours in its place means that
            // the file was left out.
            s.log_file = arguments[++i];
        } else {
            s.ignored.push_back(arguments[i]);
        }
    }
    return s;
}

void apply_quiet(config::configuration_settings& settings)
{
    settings.install_silent = true;
    settings.unattended = true;
    settings.detailed_exit_status = true;
}

void apply_passive(config::configuration_settings& settings)
{
    settings.install_silent = false;
    settings.show_progress = true;
    settings.detailed_exit_status = true;
    for (const auto& c : settings.components) c->download_dialog.autostartdownload = true;
}

std::wstring help_text(const std::wstring& program_name)
{
    return program_name + L" [/quiet | /passive] [/norestart] [/log FILE]\n"
                          L"\n"
                          L"/quiet - install without any window or message, and end with 0 (done), 3010 (a restart "
                          L"is needed), 1641 (a component started a restart), 1603 (failed), 1618 (another "
                          L"installation was in progress: try again later) or 1 (the configuration cannot be read); "
                          L"/q, /qn, /s, /silent and /verysilent mean the same\n"
                          L"/passive - show the installation's progress, start at once and ask nothing; the same "
                          L"statuses as /quiet\n"
                          L"/norestart - never restart Windows: a needed restart is left to you (3010 under /quiet)\n"
                          L"/log FILE - write a log of the run to FILE, making its folder if needed\n"
                          L"/elevated - set by Setup.exe itself on the copy of itself that it starts with "
                          L"administrator rights; that copy never asks for them again\n"
                          L"/? or /help - show this list\n"
                          L"\n"
                          L"Without /quiet or /passive the setup runs as its configuration says and ends with 1, "
                          L"unless the "
                          L"configuration asks for the statuses above (then also 1602: the dialog was left).\n"
                          L"Switches may also start with - and are written in any letter case.";
}

}  // namespace run
