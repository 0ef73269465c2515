#include "components/component.h"

#include "config/errors.h"
#include "config/paths.h"

namespace components {

bool component::is_installed()
{
    if (installed_checks.empty()) return false;
    for (auto& check : installed_checks)
        if (!check->is_installed()) return false;
    return true;
}

process_component::~process_component()
{
    if (process_info.process != 0) sys_.close_process(process_info.process);
}

bool process_component::start_process(const std::wstring& file, const std::wstring& parameters)
{
    platform::process_handle process = 0;
    if (!sys_.shell_execute_ex(file, parameters, process)) return false;
    if (process == 0) return false;
    if (process_info.process != 0) sys_.close_process(process_info.process);
    process_info = process_information{};
    process_info.process = process;
    return true;
}

std::uint32_t process_component::get_exit_code()
{
    std::uint32_t code = 0;
    if (!sys_.exit_code(process_info.process, code)) throw config::code_error{};
    return code;
}

bool process_component::is_executing()
{
    // Asked of the process itself, not of its exit code: a program that ends
    // with 259 (STILL_ACTIVE) has ended all the same.
    if (process_info.process == 0) return false;
    return sys_.wait_process(process_info.process, 0) == platform::wait_result::timeout;
}

bool process_component::wait_until_ended(std::uint32_t timeout_ms, bool pump)
{
    if (process_info.process == 0) return true;
    const platform::wait_result r = pump ? sys_.wait_process_pumping(process_info.process, timeout_ms)
                                         : sys_.wait_process(process_info.process, timeout_ms);
    return r != platform::wait_result::timeout;
}

void process_component::reset()
{
    // Clearing the record closes the handle first, so that no handle leaks.
    if (process_info.process != 0) sys_.close_process(process_info.process);
    process_info = process_information{};
}

bool cmd_component::exec()
{
    // The whole command is the file to open: it is not split into a program
    // and arguments.
    return start_process(command, std::wstring());
}

bool msi_component::exec()
{
    // Windows Installer is started directly, so that the parameters reach it;
    // a package's shell association does not reliably pass them on.
    const std::wstring msiexec = config::combine_path(sys_.system_directory(), L"msiexec.exe");
    std::wstring parameters = L"/i \"" + package + L"\"";
    if (!cmdparameters.empty()) parameters += L" " + cmdparameters;
    return start_process(msiexec, parameters);
}

bool openfile_component::exec()
{
    return sys_.shell_execute(file) > 32;
}

}  // namespace components
