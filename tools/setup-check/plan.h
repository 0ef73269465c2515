// The dry run: Setup.exe's own loader and reader on a chosen system, and
// what they make of a configuration there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"
#include "run/command_line.h"

namespace setup_check {

struct plan_options {
    int language = 1033;
    int os_code = 100;
    std::wstring app_dir = L"D:";  // the medium's folder, as #APPPATH
    // Files that exist on the system ("path" or "path=1.2.3.4" with a version)
    // and registry keys under HKEY_LOCAL_MACHINE that exist.
    std::vector<std::wstring> files;
    std::vector<std::wstring> keys;
    // Registry values under HKEY_LOCAL_MACHINE, "KEY|NAME|TYPE|DATA" with the
    // type REG_SZ, REG_EXPAND_SZ or REG_DWORD (decimal, or 0x and hexadecimal
    // digits); their keys exist too.
    std::vector<std::wstring> values;
    // The administrator's command line of the run: /quiet, /norestart and
    // /log FILE as Setup.exe reads them (help and ignored play no part).
    run::switches command_line;
    // When has_progress: the download window's status text of each
    // component's first file is also wanted, with progress_so_far of
    // progress_size bytes arrived.
    bool has_progress = false;
    std::uint64_t progress_so_far = 0, progress_size = 0;
};

struct planned_download {
    std::wstring componentname, sourceurl, destinationpath, destinationfilename;
};

struct planned_component {
    int line = 0;
    std::string type;          // msi, cmd, openfile
    std::wstring description;
    std::wstring target;       // command, package or file, markers replaced
    std::wstring parameters;   // msi: cmdparameters, markers replaced
    bool required = false, primary = false, mustreboot = false;
    bool selected = false;     // missing when read: to be installed
    bool listed = false;       // has a row in the check list
    std::size_t checks = 0;
    std::size_t native_view_checks = 0;  // of them, those that read the 64-bit registry view
    std::wstring admin_required;
    std::vector<planned_download> downloads;
    bool download_waits = false;  // the download window waits for Start (autostartdownload="false")
    // Listed: the row's text in the check list as the dialog first shows it.
    std::wstring row_text;
    // The dialog's message during its turn in a run that shows its progress;
    // empty when the message stays as it was.
    std::wstring installing_message;
    // With has_progress and downloads: the download window's status text
    // while the first file arrives.
    std::wstring download_progress;
};

struct left_out_component {
    int line = 0;
    std::wstring description;
    std::string reason;
};

struct shown_box {
    std::wstring text;
    std::wstring caption;  // "" when the system's default title shows
    bool shown = true;     // false: unattended, the box only goes to the log
};

struct plan_result {
    bool loaded = false;
    int os_code = 0;           // as Setup.exe's classification computes it
    std::string os_name;
    run::switches command_line;  // as the options give it
    // Loaded: the configuration chosen and what it says.
    int configuration_index = 0;  // 1-based among the configuration elements
    int configuration_line = 0;
    std::wstring lcid;
    std::wstring dialog_caption;
    // The run's settings: the configuration's, with what /quiet makes of
    // them (run::apply_quiet) and the file of /log in place of log_file.
    bool install_silent = false;
    std::wstring dialog_admin_required, complete_command;
    // A user without the required rights is asked for them: Setup.exe starts
    // a copy of itself through the system's administrator prompt.
    bool asks_for_rights = false;
    std::wstring log_file;  // markers replaced (not those of /log); empty: no log
    bool detailed_exit_status = false, unattended = false;
    // The interactive run shows its progress and downloads (show_progress);
    // never a silent run.
    bool show_progress = false;
    // What the configuration itself says where the command line overrides it.
    bool configured_silent = false;
    std::wstring configured_log_file;
    std::vector<planned_component> components;
    std::vector<left_out_component> left_out;
    // Message boxes Setup.exe shows while it reads (and, when loading fails,
    // the ones that tell the user so, the driver's own last).
    std::vector<shown_box> boxes;
};

// Fails, with a message for the command line, on an OS code that no system
// produces, a language out of range, or a registry value that cannot be
// understood.
base::result<plan_result> make_plan(const std::string& document_bytes, const plan_options& options);

// Who answers the restart question of a mustreboot component: "/norestart",
// "unattended" (both say No without asking), or nullptr for the user.
const char* restart_answerer(const plan_result& plan);

// What the restart question of a mustreboot component makes of component
// `index`'s turn: for that component, that the run stops after it; for a
// later one, that the run may not reach it. Empty when no restart question
// stands in its way.
std::string restart_stop_text(const plan_result& plan, std::size_t index);

// The exit statuses a loaded configuration's run can end with, each with
// what it means, lowest first.
std::vector<std::pair<int, std::string>> possible_exit_statuses(const plan_result& plan);

}  // namespace setup_check
