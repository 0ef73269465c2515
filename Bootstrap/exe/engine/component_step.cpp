#include "engine/component_step.h"

#include "base/text.h"
#include "engine/reboot.h"
#include "platform/system_error.h"

namespace engine {

namespace {

std::wstring named(const components::component& c) { return L"\"" + c.description + L"\""; }

const wchar_t* outcome_text(step_outcome outcome)
{
    switch (outcome) {
    case step_outcome::download_failed:
        return L"download failed, not run";
    case step_outcome::start_failed:
        return L"failed to start";
    case step_outcome::still_running:
        return L"still running";
    case step_outcome::exit_code_failure:
        return L"failed (exit code)";
    case step_outcome::restart:
        return L"installed, restart asked";
    case step_outcome::restart_started:
        return L"installed, its installer started a restart of Windows";
    case step_outcome::installed:
        return L"installed";
    default:
        return L"failed (error)";
    }
}

// Windows Installer's codes that are neither plain success nor plain
// failure, in words for the log.
const wchar_t* meaning_text(components::exit_meaning meaning)
{
    switch (meaning) {
    case components::exit_meaning::restart_started:
        return L" (installed; its installer has started a restart of Windows)";
    case components::exit_meaning::another_install_running:
        return L" (another installation is already in progress)";
    default:
        return L"";
    }
}

// The restart question, and the restart when the answer is Yes. A restart
// that Windows refuses leaves one pending.
void ask_restart(run_context& run, const std::wstring& reboot_required, platform::window_handle owner)
{
    if (run.never_restart) {
        run.log.write(L"restart question not shown (/norestart): \"" + reboot_required + L"\": No");
        run.record.restart_pending = true;
        return;
    }
    if (run.ui.message_box(owner, reboot_required, L"", platform::box_icon::question, platform::box_buttons::yes_no) !=
        platform::box_answer::yes) {
        run.record.restart_pending = true;
        return;
    }
    run.log.write(L"restart requested of Windows");
    std::uint32_t error = 0;
    if (reboot_machine(run.sys, error)) {
        run.record.restart_started = true;
        return;
    }
    run.log.write(L"Windows refused the restart: " + platform::describe_error(run.sys, error));
    run.record.restart_pending = true;
}

}  // namespace

step_outcome run_component_step(run_context& run, components::component& c, const std::wstring& reboot_required,
                                platform::window_handle owner, run_kind kind, platform::shell_verb verb)
{
    constexpr std::uint32_t no_limit = 0xFFFFFFFFu;
    if (!c.exec(run.sys, run.sys, verb)) {
        run.log.write(L"component " + named(c) + L" could not be started: " + c.started + L": " +
                      (c.start_error != 0 ? platform::describe_error(run.sys, c.start_error)
                                          : std::wstring(L"the shell started no program to wait for")));
        return step_outcome::start_failed;
    }
    run.log.write(L"component " + named(c) + L" started: " + c.started);

    // The wait blocks on the process itself: no CPU is spent meanwhile, and
    // it ends when the process ends, whatever its exit code. An ordinary
    // silent run leaves the product (primary) to finish on its own; an
    // unattended one must report how it ended.
    if (kind == run_kind::interactive)
        c.wait_until_ended(no_limit, true);
    else if (!c.primary || run.unattended)
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
    const components::exit_meaning meaning = components::judge_exit_code(code);
    run.log.write(L"component " + named(c) + L" ended with exit code " + text::decimal(code) + meaning_text(meaning));
    if (meaning == components::exit_meaning::another_install_running) run.record.another_install_running = true;
    if (meaning == components::exit_meaning::failed || meaning == components::exit_meaning::another_install_running)
        return step_outcome::exit_code_failure;
    if (meaning == components::exit_meaning::restart_pending) run.record.restart_pending = true;

    const std::wstring completion = text::trim(c.installcompletemessage);
    if (!completion.empty())
        run.ui.message_box(owner, completion, L"", platform::box_icon::information, platform::box_buttons::ok);

    // Windows is already on its way down: no question of ours follows, and
    // the run ends here.
    if (meaning == components::exit_meaning::restart_started) {
        run.record.restart_started = true;
        return step_outcome::restart_started;
    }
    if (c.mustreboot) {
        ask_restart(run, reboot_required, owner);
        return step_outcome::restart;
    }
    return step_outcome::installed;
}

void log_outcome(run_context& run, const components::component& c, step_outcome outcome)
{
    run.log.write(L"component " + named(c) + L": " + outcome_text(outcome));
}

}  // namespace engine
