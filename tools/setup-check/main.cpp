// setup-check: reports the problems of a Setup.exe configuration (setup.xml)
// all at once, and shows what Setup.exe makes of it on a given system.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "diagnostics.h"
#include "lint.h"
#include "os_codes.h"
#include "plan.h"

namespace {

using namespace setup_check;

const char usage[] =
    "usage: setup-check [--format text|json] [--medium DIR] FILE...\n"
    "       setup-check --plan --language LANGID --os-code CODE [--app-dir DIR]\n"
    "                   [--file PATH[=VERSION]]... [--key KEY]... [--value KEY|NAME|TYPE|DATA]...\n"
    "                   [--quiet] [--norestart] [--log FILE] [--download-progress N/SIZE]\n"
    "                   [--format text|json] FILE\n"
    "       setup-check --os-codes\n"
    "\n"
    "Checks Setup.exe configurations and reports every problem as\n"
    "FILE:LINE:COLUMN: error|warning: MESSAGE [RULE].\n"
    "  --medium DIR    also report each #APPPATH file of the configuration that DIR lacks\n"
    "  --format json   one JSON document on standard output instead of lines\n"
    "  --plan          a dry run with Setup.exe's own reader: the configuration chosen for\n"
    "                  the language LANGID on the Windows version CODE (see --os-codes), and\n"
    "                  the components that remain after the filters. Installed checks see a\n"
    "                  system without files or registry keys, except those named with\n"
    "                  --file (optionally with a file version), --key and --value (under\n"
    "                  HKEY_LOCAL_MACHINE; TYPE is REG_SZ, REG_EXPAND_SZ or REG_DWORD);\n"
    "                  #APPPATH is --app-dir (default D:).\n"
    "  --quiet, --norestart, --log FILE\n"
    "                  with --plan: the run of an administrator's command line, Setup.exe\n"
    "                  /quiet (silent and unattended, with the deployment exit statuses),\n"
    "                  /norestart (every restart question answered No) and /log FILE (the\n"
    "                  log written to FILE, as typed, instead of log_file)\n"
    "  --download-progress N/SIZE\n"
    "                  with --plan: the download window's status text for each component's\n"
    "                  first file when N of its SIZE bytes have arrived\n"
    "  --os-codes      the Windows version codes that os_filter_greater/smaller compare with\n"
    "Exit status: 0 no errors (warnings allowed), 1 errors, 2 a file cannot be read or the\n"
    "command line is wrong.\n";

struct arguments {
    bool plan = false;
    bool list_codes = false;
    bool json = false;
    std::string medium;
    bool has_language = false, has_code = false;
    plan_options plan_opts;
    std::vector<std::string> files;
};

[[noreturn]] void usage_error(const std::string& message)
{
    std::fprintf(stderr, "setup-check: %s\n\n%s", message.c_str(), usage);
    std::exit(2);
}

// Read as strtol reads it (leading blanks and a sign allowed); the whole
// value must be used and fit an int.
int to_number(const std::string& option, const std::string& value)
{
    const char* start = value.c_str();
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(start, &end, 10);
    const bool whole = end != start && static_cast<std::size_t>(end - start) == value.size();
    if (!whole || errno == ERANGE || n < INT_MIN || n > INT_MAX)
        usage_error(option + " needs a decimal number, not \"" + value + "\"");
    return static_cast<int>(n);
}

// "N/SIZE": so many bytes of a file of SIZE bytes, both decimal.
void to_progress(const std::string& value, plan_options& o)
{
    const std::size_t slash = value.find('/');
    const auto whole = [](const std::string& digits, std::uint64_t& n) {
        if (digits.empty() || digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        n = std::strtoull(digits.c_str(), nullptr, 10);
        return true;
    };
    if (slash == std::string::npos || !whole(value.substr(0, slash), o.progress_so_far) ||
        !whole(value.substr(slash + 1), o.progress_size))
        usage_error("--download-progress needs N/SIZE, two decimal byte counts, not \"" + value + "\"");
    o.has_progress = true;
}

// The options that describe the system and the command line of --plan;
// false for any other argument.
template <class Next>
bool take_plan_option(const std::string& arg, Next next, arguments& a)
{
    plan_options& o = a.plan_opts;
    if (arg == "--language") {
        o.language = to_number(arg, next());
        a.has_language = true;
    } else if (arg == "--os-code") {
        o.os_code = to_number(arg, next());
        a.has_code = true;
    } else if (arg == "--app-dir") {
        o.app_dir = text::utf8_to_wide(next());
    } else if (arg == "--file") {
        o.files.push_back(text::utf8_to_wide(next()));
    } else if (arg == "--key") {
        o.keys.push_back(text::utf8_to_wide(next()));
    } else if (arg == "--value") {
        o.values.push_back(text::utf8_to_wide(next()));
    } else if (arg == "--quiet") {
        o.command_line.quiet = true;
    } else if (arg == "--norestart") {
        o.command_line.norestart = true;
    } else if (arg == "--log") {
        // Setup.exe ignores a /log whose file is left out; here that is a
        // mistake to tell, not an option to take for a file name.
        const std::string file = next();
        if (file.empty() || file[0] == '-') usage_error("--log needs a file name");
        o.command_line.log_file = text::utf8_to_wide(file);
    } else if (arg == "--download-progress") {
        to_progress(next(), o);
    } else {
        return false;
    }
    return true;
}

// The options that make sense only together.
void check_combinations(const arguments& a)
{
    if (a.files.empty()) usage_error("no configuration file given");
    const plan_options& o = a.plan_opts;
    if (a.plan) {
        if (!a.has_language || !a.has_code) usage_error("--plan needs --language and --os-code");
        if (a.files.size() != 1) usage_error("--plan takes one file");
        if (!a.medium.empty()) usage_error("--medium is for the checks, not for --plan");
    } else if (a.has_language || a.has_code || !o.files.empty() || !o.keys.empty() || !o.values.empty() ||
               o.command_line.quiet || o.command_line.norestart || !o.command_line.log_file.empty() ||
               o.has_progress) {
        usage_error("--language, --os-code, --file, --key, --value, --quiet, --norestart, --log and "
                    "--download-progress go with --plan");
    }
    if (!a.medium.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(path_from_argument(a.medium), ec))
            usage_error("--medium " + a.medium + " is not a folder");
    }
}

arguments parse(const std::vector<std::string>& argv)
{
    arguments a;
    const std::size_t argc = argv.size();
    for (std::size_t i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc) usage_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (arg == "--plan") {
            a.plan = true;
        } else if (arg == "--os-codes") {
            a.list_codes = true;
        } else if (arg == "--format") {
            const std::string f = next();
            if (f != "text" && f != "json") usage_error("--format is text or json");
            a.json = f == "json";
        } else if (arg == "--medium") {
            a.medium = next();
        } else if (!take_plan_option(arg, next, a)) {
            if (arg.size() > 1 && arg[0] == '-') usage_error("unknown option " + arg);
            a.files.push_back(arg);
        }
    }
    if (!a.list_codes) check_combinations(a);
    return a;
}

bool read_whole(const std::string& path, std::string& bytes)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_from_argument(path), ec)) return false;
    std::ifstream in(path_from_argument(path), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int list_codes()
{
    std::printf("code  Windows release\n");
    for (const auto& e : os_codes()) std::printf("%4d  %s\n", e.code, e.name);
    return 0;
}

int check_files(const arguments& a)
{
    lint_options options;
    options.medium_dir = a.medium;
    int errors = 0, warnings = 0;
    bool unreadable = false;
    std::string json_diagnostics, json_files;
    for (const auto& file : a.files) {
        std::string bytes;
        const bool readable = read_whole(file, bytes);
        if (!json_files.empty()) json_files += ",";
        json_files += "{\"file\":" + json_string(file) + ",\"readable\":" + (readable ? "true" : "false") + "}";
        if (!readable) {
            unreadable = true;
            if (!a.json) std::fprintf(stderr, "%s: error: cannot read the file\n", file.c_str());
            continue;
        }
        const std::vector<diagnostic> found = lint_document(bytes, options);
        for (const auto& d : found) {
            (d.level == severity::error ? errors : warnings) += 1;
            if (a.json) {
                if (!json_diagnostics.empty()) json_diagnostics += ",";
                json_diagnostics += "{\"file\":" + json_string(file) + ",\"line\":" + std::to_string(d.line) +
                                    ",\"column\":" + std::to_string(d.column) + ",\"severity\":\"" +
                                    (d.level == severity::error ? "error" : "warning") +
                                    "\",\"rule\":" + json_string(d.rule) + ",\"message\":" + json_string(d.message) +
                                    "}";
            } else {
                std::printf("%s\n", format_text(file, d).c_str());
            }
        }
    }
    const int status = unreadable ? 2 : errors > 0 ? 1 : 0;
    if (a.json) {
        std::printf("{\"files\":[%s],\"diagnostics\":[%s],\"errors\":%d,\"warnings\":%d,\"status\":%d}\n",
                    json_files.c_str(), json_diagnostics.c_str(), errors, warnings, status);
    } else {
        std::printf("%d error%s, %d warning%s\n", errors, errors == 1 ? "" : "s", warnings,
                    warnings == 1 ? "" : "s");
    }
    return status;
}

std::string yes(bool b) { return b ? "true" : "false"; }

std::string component_state(const plan_result& r, std::size_t index)
{
    const planned_component& c = r.components[index];
    const std::string stop = restart_stop_text(r, index);
    const std::string then = stop.empty() ? "" : "; " + stop;
    const std::string installed = c.selected ? "missing" : "installed";
    if (r.install_silent)
        return installed + (!c.selected ? ": skipped" : stop.empty() ? ": installed by the silent run" : ": " + stop);
    if (!c.listed)
        return installed + ", no row in the check list (required and primary)" +
               (c.selected ? ": installed by the run" + then : "");
    if (!c.selected) return "installed: row checked, locked and grey";
    if (c.required) return "missing: row checked and locked (required)" + then;
    return "missing: row checked, the user may uncheck it" + then;
}

std::string component_json(const planned_component& c)
{
    std::string out = "{\"line\":" + std::to_string(c.line) + ",\"type\":" + json_string(c.type) +
                      ",\"description\":" + json_string(c.description) + ",\"target\":" + json_string(c.target) +
                      ",\"parameters\":" + json_string(c.parameters) + ",\"required\":" + yes(c.required) +
                      ",\"primary\":" + yes(c.primary) + ",\"mustreboot\":" + yes(c.mustreboot) +
                      ",\"installed_checks\":" + std::to_string(c.checks) +
                      ",\"native_view_checks\":" + std::to_string(c.native_view_checks) +
                      ",\"selected\":" + yes(c.selected) +
                      ",\"listed\":" + yes(c.listed) + ",\"admin_required\":" + json_string(c.admin_required) +
                      ",\"download_waits\":" + yes(c.download_waits) + ",\"row_text\":" + json_string(c.row_text) +
                      ",\"installing_message\":" + json_string(c.installing_message) +
                      ",\"download_progress\":" + json_string(c.download_progress) +
                      ",\"downloads\":[";
    for (std::size_t k = 0; k < c.downloads.size(); ++k) {
        const planned_download& d = c.downloads[k];
        out += std::string(k ? "," : "") + "{\"componentname\":" + json_string(d.componentname) +
               ",\"sourceurl\":" + json_string(d.sourceurl) + ",\"destinationpath\":" + json_string(d.destinationpath) +
               ",\"destinationfilename\":" + json_string(d.destinationfilename) + "}";
    }
    return out + "]}";
}

std::string plan_json(const std::string& file, int language, const plan_result& r)
{
    std::string out = "{\"file\":" + json_string(file) + ",\"language\":" + std::to_string(language) +
                      ",\"os_code\":" + std::to_string(r.os_code) + ",\"os_name\":" + json_string(r.os_name) +
                      ",\"command_line\":{\"quiet\":" + yes(r.command_line.quiet) +
                      ",\"norestart\":" + yes(r.command_line.norestart) +
                      ",\"log\":" + json_string(r.command_line.log_file) + "},\"loaded\":" + yes(r.loaded) +
                      ",\"message_boxes\":[";
    for (std::size_t i = 0; i < r.boxes.size(); ++i)
        out += std::string(i ? "," : "") + "{\"text\":" + json_string(r.boxes[i].text) +
               ",\"caption\":" + json_string(r.boxes[i].caption) + ",\"shown\":" + yes(r.boxes[i].shown) + "}";
    out += "]";
    if (!r.loaded) return out + "}";
    out += ",\"configuration\":{\"index\":" + std::to_string(r.configuration_index) +
           ",\"line\":" + std::to_string(r.configuration_line) + ",\"lcid\":" + json_string(r.lcid) +
           ",\"dialog_caption\":" + json_string(r.dialog_caption) +
           ",\"install_silent\":" + yes(r.install_silent) +
           ",\"dialog_admin_required\":" + json_string(r.dialog_admin_required) +
           ",\"asks_for_rights\":" + yes(r.asks_for_rights) +
           ",\"complete_command\":" + json_string(r.complete_command) + ",\"log_file\":" + json_string(r.log_file) +
           ",\"detailed_exit_status\":" + yes(r.detailed_exit_status) + ",\"unattended\":" + yes(r.unattended) +
           ",\"show_progress\":" + yes(r.show_progress) +
           ",\"exit_statuses\":[";
    const auto statuses = possible_exit_statuses(r);
    for (std::size_t i = 0; i < statuses.size(); ++i)
        out += std::string(i ? "," : "") + "{\"status\":" + std::to_string(statuses[i].first) +
               ",\"when\":" + json_string(statuses[i].second) + "}";
    out += "]},\"components\":[";
    for (std::size_t i = 0; i < r.components.size(); ++i)
        out += std::string(i ? "," : "") + component_json(r.components[i]);
    out += "],\"left_out\":[";
    for (std::size_t i = 0; i < r.left_out.size(); ++i)
        out += std::string(i ? "," : "") + "{\"line\":" + std::to_string(r.left_out[i].line) +
               ",\"description\":" + json_string(r.left_out[i].description) +
               ",\"reason\":" + json_string(r.left_out[i].reason) + "}";
    return out + "]}";
}

void print_component(std::size_t number, const plan_result& r)
{
    const planned_component& c = r.components[number - 1];
    std::string flags;
    for (const auto& f : {std::make_pair(c.required, "required"), std::make_pair(c.primary, "primary"),
                          std::make_pair(c.mustreboot, "mustreboot")})
        if (f.first) flags += std::string(" ") + f.second;
    std::printf("  %zu. line %d: %s \"%s\"%s\n", number, c.line, c.type.c_str(), to_utf8(c.description).c_str(),
                flags.c_str());
    std::printf("       %s %s\n", c.type == "msi" ? "package" : c.type == "cmd" ? "command" : "file",
                to_utf8(c.target).c_str());
    if (!c.parameters.empty()) std::printf("       cmdparameters %s\n", to_utf8(c.parameters).c_str());
    if (!c.admin_required.empty())
        std::printf("       needs administrator rights (\"%s\")%s\n", to_utf8(c.admin_required).c_str(),
                    r.install_silent ? ", which the silent run does not ask for" : "");
    for (const auto& d : c.downloads)
        std::printf("       download %s -> %s%s%s\n", to_utf8(d.sourceurl).c_str(), to_utf8(d.destinationpath).c_str(),
                    d.destinationfilename.empty() ? "" : " as ", to_utf8(d.destinationfilename).c_str());
    if (!c.downloads.empty() && c.selected)
        std::printf("       %s\n", r.install_silent  ? "downloads before it runs, without a window"
                                   : !r.show_progress ? "its downloads are ignored by the interactive run (no "
                                                        "show_progress)"
                                   : c.download_waits ? "downloads in the download window before it runs, after "
                                                        "the user presses Start"
                                                      : "downloads in the download window before it runs");
    if (!c.download_progress.empty())
        std::printf("       download window status: \"%s\"\n", to_utf8(c.download_progress).c_str());
    const std::string view = c.native_view_checks == 0 ? ""
                             : c.checks == 1          ? " (it reads the 64-bit registry view)"
                                                      : " (" + std::to_string(c.native_view_checks) +
                                                       " read the 64-bit registry view)";
    std::printf("       %zu installed check%s%s; %s\n", c.checks, c.checks == 1 ? "" : "s", view.c_str(),
                component_state(r, number - 1).c_str());
}

// The switches as an administrator would type them for Setup.exe.
std::string typed_switches(const run::switches& s)
{
    std::string out;
    if (s.quiet) out += " /quiet";
    if (s.norestart) out += " /norestart";
    if (!s.log_file.empty()) {
        const std::string file = to_utf8(s.log_file);
        out += " /log " + (file.find(' ') == std::string::npos ? file : "\"" + file + "\"");
    }
    return out.empty() ? out : out.substr(1);
}

// Where the log of /log goes: the file as typed, from the folder Setup.exe
// is started in, with no marker replaced.
std::string command_line_log(const plan_result& r)
{
    const std::wstring& f = r.command_line.log_file;
    std::string out = to_utf8(f) + " (/log";
    const bool drive = f.size() >= 3 && f[1] == L':' && (f[2] == L'\\' || f[2] == L'/');
    const bool unc = f.size() >= 2 && f[0] == L'\\' && f[1] == L'\\';
    if (!drive && !unc) out += ", taken from the folder Setup.exe is started in";
    if (f.find(L'#') != std::wstring::npos) out += ", path markers are not replaced";
    if (!r.configured_log_file.empty())
        out += "; the configuration's " + to_utf8(r.configured_log_file) + " is not written";
    return out + ")";
}

// How the run goes: silent or not, the rights it needs, what follows it,
// its log, and who answers its questions.
void print_run_settings(const plan_result& r)
{
    std::printf("run: %s%s\n",
                r.install_silent  ? "silent (no dialog; downloads first)"
                : r.show_progress ? "interactive (the dialog, showing its progress: the component being handled, "
                                    "the download window)"
                                  : "interactive (the dialog)",
                r.install_silent && !r.configured_silent ? ", by /quiet (the configuration alone shows the dialog)" : "");
    if (!r.dialog_admin_required.empty())
        std::printf("administrator rights: required (\"%s\")%s\n", to_utf8(r.dialog_admin_required).c_str(),
                    r.asks_for_rights ? "; a user without them is asked for them: Setup.exe starts again as "
                                        "administrator and ends with that run's status"
                                      : "");
    if (!r.complete_command.empty())
        std::printf("complete_command: %s%s\n", to_utf8(r.complete_command).c_str(),
                    r.install_silent  ? " (the silent run never opens it)"
                    : r.show_progress ? " (after installation_completed, when no component failed and no restart "
                                        "was asked for)"
                                      : "");
    std::printf("log file: %s\n", !r.command_line.log_file.empty() ? command_line_log(r).c_str()
                                   : r.log_file.empty()             ? "none"
                                                                    : to_utf8(r.log_file).c_str());
    if (r.unattended)
        std::printf("unattended: %s%s\n",
                    r.install_silent ? "no message box is shown, every question is answered No"
                                     : "no effect (the run is interactive)",
                    r.command_line.quiet ? " (/quiet)" : "");
    if (r.command_line.norestart)
        std::printf("restart: never (/norestart): every restart question is answered No without being shown\n");
}

int print_plan_text(const std::string& file, int language, const plan_result& r)
{
    std::printf("%s: language %d on %s (version code %d)\n", file.c_str(), language, r.os_name.c_str(), r.os_code);
    const std::string switches = typed_switches(r.command_line);
    if (!switches.empty()) std::printf("command line: %s\n", switches.c_str());
    if (!r.loaded) {
        std::printf("Setup.exe fails to load the configuration (exit status 1):\n");
        for (const auto& b : r.boxes)
            std::printf("  message box%s: \"%s\"\n", b.shown ? "" : " not shown (unattended)", to_utf8(b.text).c_str());
        return 1;
    }
    std::printf("configuration: element %d (line %d), lcid \"%s\"\n", r.configuration_index, r.configuration_line,
                to_utf8(r.lcid).c_str());
    print_run_settings(r);
    std::printf("exit status:\n");
    for (const auto& s : possible_exit_statuses(r)) std::printf("  %d %s\n", s.first, s.second.c_str());
    std::printf("components:%s\n", r.components.empty() ? " none" : "");
    bool waits = false;
    for (std::size_t i = 0; i < r.components.size(); ++i) {
        if (r.components[i].listed && r.components[i].selected) waits = true;
        print_component(i + 1, r);
    }
    if (!r.install_silent && !waits)
        std::printf("the dialog does not wait for the user: nothing that it lists is missing\n");
    if (!r.left_out.empty()) {
        std::printf("left out by the filters:\n");
        for (const auto& l : r.left_out)
            std::printf("  line %d: \"%s\": %s\n", l.line, to_utf8(l.description).c_str(), l.reason.c_str());
    }
    if (!r.boxes.empty()) {
        std::printf("message boxes while reading:\n");
        for (const auto& b : r.boxes)
            std::printf("  %s\"%s\" (caption \"%s\")\n", b.shown ? "" : "not shown (unattended): ",
                        to_utf8(b.text).c_str(), to_utf8(b.caption).c_str());
    }
    return 0;
}

int print_plan(const arguments& a)
{
    const std::string& file = a.files.front();
    std::string bytes;
    if (!read_whole(file, bytes)) {
        std::fprintf(stderr, "%s: error: cannot read the file\n", file.c_str());
        return 2;
    }
    const base::result<plan_result> planned = make_plan(bytes, a.plan_opts);
    if (!planned) usage_error(to_utf8(planned.error().text()));
    const plan_result& r = planned.value();
    if (a.json) {
        std::printf("%s\n", plan_json(file, a.plan_opts.language, r).c_str());
        return r.loaded ? 0 : 1;
    }
    return print_plan_text(file, a.plan_opts.language, r);
}

}  // namespace

int tool_main(const std::vector<std::string>& argv)
{
    const arguments a = parse(argv);
    if (a.list_codes) return list_codes();
    return a.plan ? print_plan(a) : check_files(a);
}

#include "utf8_main.h"
