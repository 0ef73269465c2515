#include "engine/interactive_run.h"

#include "base/text.h"
#include "engine/component_step.h"
#include "engine/format.h"
#include "engine/reboot.h"
#include "platform/admin.h"
#include "platform/system_error.h"

namespace engine {

namespace {

enum class next { go_on, end_run };

next ask_after_failure(run_context& run, const config::configuration_settings& settings, components::component& c,
                       platform::window_handle owner)
{
    run.record.failed = true;
    // The product itself failing ends the run without a question.
    if (components::is_product(c)) return next::end_run;
    return run.ui.message_box(owner, failure_question(settings, c), nullptr, platform::box_icon::warning,
                              platform::box_buttons::yes_no) == platform::box_answer::yes
               ? next::go_on
               : next::end_run;
}

next run_component(run_context& run, const config::configuration_settings& settings, components::component& c,
                   platform::window_handle owner)
{
    const std::wstring name = L"component \"" + c.description + L"\"";
    if (!c.selected) {
        run.log.write(name + L": not selected");
        return next::go_on;
    }
    if (c.is_installed()) {
        run.log.write(name + L": installed meanwhile, passed over");
        return next::go_on;
    }
    if (!c.admin_required.empty() && !platform::is_current_user_admin(run.sys, run.sys)) {
        run.log.write(name + L": needs administrator rights the user lacks");
        run.ui.message_box(owner, c.admin_required, c.description.c_str(), platform::box_icon::information,
                           platform::box_buttons::ok);
        return ask_after_failure(run, settings, c, owner);
    }
    const step_outcome outcome = run_component_step(run, c, settings.reboot_required, owner, run_kind::interactive);
    log_outcome(run, c, outcome);
    switch (outcome) {
    case step_outcome::installed:
        return next::go_on;
    case step_outcome::restart:
    case step_outcome::still_running:
        return next::end_run;
    default:
        return ask_after_failure(run, settings, c, owner);
    }
}

void finish(run_context& run, const config::configuration_settings& settings)
{
    for (const auto& c : settings.components)
        if (c->selected) return;
    const std::wstring completed = text::trim(settings.installation_completed);
    if (!completed.empty())
        run.ui.message_box(0, completed, L"", platform::box_icon::information, platform::box_buttons::ok);
    const std::wstring command = text::trim(settings.complete_command);
    if (command.empty()) return;
    std::uint32_t error = 0;
    if (run.sys.shell_open(command, error))
        run.log.write(L"complete_command " + command + L" opened");
    else
        run.log.write(L"complete_command " + command + L" refused by the shell: " +
                      platform::describe_error(run.sys, error));
}

}  // namespace

bool starts_by_itself(platform::platform& sys, bool all_listed_installed)
{
    return all_listed_installed || is_run_value_present(sys);
}

void run_interactive_install(run_context& run, const config::configuration_settings& settings,
                             const std::vector<checklist_row>& rows, install_window& window)
{
    const platform::window_handle owner = window.handle();
    window.begin_run();
    read_back_checks(rows, window.row_state_images());
    run.log.write(L"interactive run");
    window.show_wait_cursor();
    for (const auto& c : settings.components) {
        const next n = run_component(run, settings, *c, owner);
        run.log.flush();
        if (n == next::end_run) break;
    }
    window.restore_cursor();
    finish(run, settings);
    window.end_dialog();
}

}  // namespace engine
