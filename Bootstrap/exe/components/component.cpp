#include "components/component.h"

#include "base/paths.h"

namespace components {

bool component::is_installed()
{
    if (installed_checks.empty()) return false;
    for (auto& check : installed_checks)
        if (!check->is_installed()) return false;
    return true;
}

bool process_component::start_process(platform::processes& processes, const std::wstring& file,
                                      const std::wstring& parameters, platform::shell_verb verb)
{
    started = parameters.empty() ? file : file + L" " + parameters;
    start_error = 0;
    platform::process_handle process = 0;
    if (!processes.shell_execute_ex(file, parameters, verb, process, start_error) || process == 0) return false;
    // A second start replaces the first process: its handle is closed.
    process_ = platform::owned_process(processes, process);
    return true;
}

bool process_component::get_exit_code(std::uint32_t& code)
{
    return process_ && process_.role().exit_code(process_.handle(), code);
}

bool process_component::is_executing()
{
    // Asked of the process itself, not of its exit code: a program that ends
    // with 259 (STILL_ACTIVE) has ended all the same.
    if (!process_) return false;
    return process_.role().wait_process(process_.handle(), 0) == platform::wait_result::timeout;
}

bool process_component::wait_until_ended(std::uint32_t timeout_ms, bool pump)
{
    if (!process_) return true;
    platform::processes& p = process_.role();
    const platform::wait_result r = pump ? p.wait_process_pumping(process_.handle(), timeout_ms)
                                         : p.wait_process(process_.handle(), timeout_ms);
    return r != platform::wait_result::timeout;
}

void process_component::reset() { process_.reset(); }

bool cmd_component::exec(platform::processes& processes, platform::system_facts&, platform::shell_verb verb)
{
    // The whole command is the file to open: it is not split into a program
    // and arguments.
    return start_process(processes, command, std::wstring(), verb);
}

bool msi_component::exec(platform::processes& processes, platform::system_facts& facts, platform::shell_verb verb)
{
    // Windows Installer is started directly, so that the parameters reach it;
    // a package's shell association does not reliably pass them on.
    const std::wstring msiexec = base::combine_path(facts.system_directory(), L"msiexec.exe");
    std::wstring parameters = L"/i \"" + package + L"\"";
    if (!cmdparameters.empty()) parameters += L" " + cmdparameters;
    return start_process(processes, msiexec, parameters, verb);
}

bool openfile_component::exec(platform::processes& processes, platform::system_facts&, platform::shell_verb verb)
{
    started = file;
    start_error = 0;
    if (verb == platform::shell_verb::default_action) return processes.shell_open(file, start_error);
    // A document is not waited for: the handle of whatever opened it goes.
    platform::process_handle process = 0;
    if (!processes.shell_execute_ex(file, std::wstring(), verb, process, start_error)) return false;
    if (process != 0) processes.close_process(process);
    return true;
}

}  // namespace components
