// The configured install components: what each one is, how it starts, and
// how its end and result are read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/installed_checks.h"
#include "config/download_records.h"
#include "platform/platform.h"

namespace components {

class component {
public:
    explicit component(platform::platform& sys) : sys_(sys) {}
    virtual ~component() = default;
    component(const component&) = delete;
    component& operator=(const component&) = delete;

    // True when the component was started (or, for a document, accepted).
    virtual bool exec() = 0;
    // The exit code of what was started; raises config::code_error when it
    // cannot be read.
    virtual std::uint32_t get_exit_code() = 0;
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
    config::download_dialog_settings download_dialog;
    bool has_download_dialog = false;
    bool selected = false;
    bool required = false;
    std::wstring required_message;
    std::wstring admin_required;
    bool primary = false;

protected:
    platform::platform& sys_;
};

// A component that starts a process and keeps its handle for its whole life.
class process_component : public component {
public:
    using component::component;
    ~process_component() override;

    std::uint32_t get_exit_code() override;
    bool is_executing() override;
    void reset() override;
    bool wait_until_ended(std::uint32_t timeout_ms, bool pump) override;

    struct process_information {
        platform::process_handle process = 0;
        platform::thread_handle thread = 0;
        std::uint32_t process_id = 0;
        std::uint32_t thread_id = 0;
    } process_info;

protected:
    bool start_process(const std::wstring& file, const std::wstring& parameters);
};

class cmd_component : public process_component {
public:
    using process_component::process_component;
    bool exec() override;

    std::wstring command;
};

class msi_component : public process_component {
public:
    using process_component::process_component;
    bool exec() override;

    std::wstring package;
    std::wstring cmdparameters;
};

class openfile_component : public component {
public:
    using component::component;
    bool exec() override;
    std::uint32_t get_exit_code() override { return 0; }
    bool is_executing() override { return false; }
    void reset() override {}
    bool wait_until_ended(std::uint32_t, bool) override { return true; }

    std::wstring file;
};

}  // namespace components
