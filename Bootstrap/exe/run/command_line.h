// The administrator's command line: the few switches that management tools
// pass to setup programs. Every other argument is ignored, as it always was,
// so that a command line that worked before still does.
#pragma once

#include <string>
#include <vector>

#include "config/settings.h"

namespace run {

struct switches {
    // /quiet: silent and unattended whatever the configuration says, with
    // the deployment exit statuses; no box from the very start.
    bool quiet = false;
    // How /quiet was typed ("/qn", "-Silent", ...), for the log.
    std::wstring quiet_as;
    // /norestart: every restart question is answered No without a box.
    bool norestart = false;
    // /passive: the dialog shows the run and its progress, starts it by
    // itself and asks nothing, with the deployment exit statuses.
    bool passive = false;
    // /elevated: this process is the copy that Setup.exe started with a
    // request for administrator rights; it never asks again.
    bool elevated = false;
    // /? or /help: the list of switches, and nothing else.
    bool help = false;
    // /log FILE: the file as typed (relative to the current folder, no path
    // markers); empty when not given.
    std::wstring log_file;
    // Arguments that are no switch of ours (a /log without its file among
    // them), for the log.
    std::vector<std::wstring> ignored;
};

// A command line split into arguments as the C runtime splits it: blanks
// separate, double quotes group, backslashes escape a quote only before one.
// The first argument, the program, ends at its closing quote or first blank.
std::vector<std::wstring> split_command_line(const std::wstring& line);

// The text after the program, as typed: what a copy of the program is
// started with.
std::wstring arguments_text(const std::wstring& line);

// The switches among the arguments that follow the program: "/" or "-",
// then the name in any letter case, in any order.
switches parse_switches(const std::vector<std::wstring>& arguments);

// What /quiet makes of a configuration: a silent, unattended run that ends
// with a deployment exit status.
void apply_quiet(config::configuration_settings& settings);

// What /passive makes of a configuration: an interactive run that shows
// its progress and ends with a deployment exit status; downloads start
// without waiting for Start.
void apply_passive(config::configuration_settings& settings);

// The text of the help box for a program of this file name.
std::wstring help_text(const std::wstring& program_name);

}  // namespace run
