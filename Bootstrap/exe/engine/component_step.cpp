#include "engine/component_step.h"

#include "base/text.h"
#include "engine/reboot.h"

namespace engine {

namespace {

std::wstring named(const components::component& c) { return L"\"" + c.description + L"\""; }

const wchar_t* outcome_text(step_outcome outcome)
{
    switch (outcome) {
    case step_outcome::start_failed:
        return L"failed to start";
    case step_outcome::still_running:
        return L"still running";
    case step_outcome::exit_code_failure:
        return L"failed (exit code)";
    case step_outcome::restart:
        return L"installed, restart asked";
    case step_outcome::installed:
        return L"installed";
    default:
        return L"failed (error)";
    }
}

}  // namespace

step_outcome run_component_step(run_context& run, components::component& c, const std::wstring& reboot_required,
                                platform::window_handle owner, run_kind kind)
{
    constexpr std::uint32_t no_limit = 0xFFFFFFFFu;
    const bool started = c.exec(run.sys, run.sys);
    run.log.write(L"component " + named(c) + (started ? L" started: " : L" could not be started: ") + c.started);
    if (!started) return step_outcome::start_failed;

    // The wait blocks on the process itself: no CPU is spent meanwhile, and
    // it ends when the process ends, whatever its exit code.
    if (kind == run_kind::interactive)
        c.wait_until_ended(no_limit, true);
    else if (!c.primary)
        c.wait_until_ended(no_limit, false);

    if (c.is_executing()) {
        run.log.write(L"component " + named(c) + L" still runs (primary: not waited for)");
        return step_outcome::still_running;
    }

    std::uint32_t code = 0;
    if (!c.get_exit_code(code)) {
        run.log.write(L"component " + named(c) + L": its exit code cannot be read");
        return step_outcome::error;
    }
    run.log.write(L"component " + named(c) + L" ended with exit code " + text::decimal(code));
    if (!components::is_success_exit_code(code)) return step_outcome::exit_code_failure;
    if (code == 3010) run.record.restart_pending = true;

    const std::wstring completion = text::trim(c.installcompletemessage);
    if (!completion.empty())
        run.ui.message_box(owner, completion, L"", platform::box_icon::information, platform::box_buttons::ok);

    if (c.mustreboot) {
        if (run.ui.message_box(owner, reboot_required, L"", platform::box_icon::question,
                               platform::box_buttons::yes_no) == platform::box_answer::yes) {
            run.log.write(L"restart requested of Windows");
            run.log.flush();
            run.record.restart_started = true;
            reboot_machine(run.sys);
        } else {
            run.record.restart_pending = true;
        }
        return step_outcome::restart;
    }
    return step_outcome::installed;
}

void log_outcome(run_context& run, const components::component& c, step_outcome outcome)
{
    run.log.write(L"component " + named(c) + L": " + outcome_text(outcome));
}

}  // namespace engine
