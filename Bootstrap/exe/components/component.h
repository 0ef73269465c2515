// The configured install components: what each one is, how it starts, and
// how its end and result are read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/downloads.h"
#include "components/installed_checks.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace components {

enum class component_kind { msi, cmd, openfile };

class component {
public:
    component() = default;
    virtual ~component() = default;
    component(const component&) = delete;
    component& operator=(const component&) = delete;

    virtual component_kind kind() const = 0;
    // True when the component was started (or, for a document, accepted),
    // with the shell's verb: run_as_administrator asks the user for the
    // rights first.
    virtual bool exec(platform::processes& processes, platform::system_facts& facts, platform::shell_verb verb) = 0;
    bool exec(platform::processes& processes, platform::system_facts& facts)
    {
        return exec(processes, facts, platform::shell_verb::default_action);
    }
    // The exit code of what was started; false when it cannot be read.
    virtual bool get_exit_code(std::uint32_t& code) = 0;
    // True while what was started still runs.
    virtual bool is_executing() = 0;
    virtual void reset() = 0;
    // Blocks until what was started has ended or `timeout_ms` passed; with
    // `pump` the calling thread's window messages are served meanwhile.
    // True when it has ended.
    virtual bool wait_until_ended(std::uint32_t timeout_ms, bool pump) = 0;

    // False without checks; otherwise true only when every check says so,
    // stopping at the first that does not.
    bool is_installed();

    std::wstring description;
    std::wstring os_filter_greater;
    std::wstring os_filter_smaller;
    std::wstring os_filter_lcid;
    std::wstring installcompletemessage;
    bool mustreboot = false;
    std::vector<std::unique_ptr<installedcheck>> installed_checks;
    download_dialog_settings download_dialog;
    bool has_download_dialog = false;
    bool selected = false;
    bool required = false;
    std::wstring required_message;
    std::wstring admin_required;
    bool primary = false;
    // What the last exec handed to the shell: the file, and its parameters
    // if any, and, when the shell refused, the system's error code (0: it
    // gave no process to wait for). For the run's log.
    std::wstring started;
    std::uint32_t start_error = 0;
};

// Both required and primary: the product itself. It has no row in the check
// list, and when it fails the interactive run ends without a question.
inline bool is_product(const component& c) { return c.required && c.primary; }

// What a component's exit code says. 0 and 3010 are success, and so is
// Windows Installer's 1641 (installed, and its installer has already started
// a restart of Windows); its 1618 (another installation is already in
// progress) is a failure that trying again later may mend.
enum class exit_meaning { installed, restart_pending, restart_started, another_install_running, failed };

inline exit_meaning judge_exit_code(std::uint32_t code)
{
    switch (code) {
    case 0:
        return exit_meaning::installed;
    case 3010:
        return exit_meaning::restart_pending;
    case 1641:
        return exit_meaning::restart_started;
    case 1618:
        return exit_meaning::another_install_running;
    default:
        return exit_meaning::failed;
    }
}

// A component that starts a process and keeps its handle for its whole life.
class process_component : public component {
public:
    bool get_exit_code(std::uint32_t& code) override;
    bool is_executing() override;
    void reset() override;
    bool wait_until_ended(std::uint32_t timeout_ms, bool pump) override;

protected:
    bool start_process(platform::processes& processes, const std::wstring& file, const std::wstring& parameters,
                       platform::shell_verb verb);

private:
    platform::owned_process process_;
};

class cmd_component : public process_component {
public:
    component_kind kind() const override { return component_kind::cmd; }
    using component::exec;
    bool exec(platform::processes& processes, platform::system_facts& facts, platform::shell_verb verb) override;

    std::wstring command;
};

class msi_component : public process_component {
public:
    component_kind kind() const override { return component_kind::msi; }
    using component::exec;
    bool exec(platform::processes& processes, platform::system_facts& facts, platform::shell_verb verb) override;

    std::wstring package;
    std::wstring cmdparameters;
};

class openfile_component : public component {
public:
    component_kind kind() const override { return component_kind::openfile; }
    using component::exec;
    bool exec(platform::processes& processes, platform::system_facts& facts, platform::shell_verb verb) override;
    bool get_exit_code(std::uint32_t& code) override
    {
        code = 0;
        return true;
    }
    bool is_executing() override { return false; }
    void reset() override {}
    bool wait_until_ended(std::uint32_t, bool) override { return true; }

    std::wstring file;
};

}  // namespace components
