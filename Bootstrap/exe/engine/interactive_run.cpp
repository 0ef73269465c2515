#include "engine/interactive_run.h"

#include "config/text.h"
#include "engine/component_step.h"
#include "engine/format.h"
#include "platform/admin.h"

namespace engine {

namespace {

enum class next { go_on, end_run };

next failure_question(platform::platform& sys, const config::configuration_settings& settings,
                      components::component& c, platform::window_handle owner)
{
    const std::wstring question = format_with_one_string(settings.failed_exec_command_continue, c.description);
    // The product itself failing ends the run without a question.
    if (c.required && c.primary) return next::end_run;
    return sys.message_box(owner, question, nullptr, platform::mb_yesno | platform::mb_iconwarning) ==
                   platform::id_yes
               ? next::go_on
               : next::end_run;
}

next handle_component(platform::platform& sys, const config::configuration_settings& settings,
                      components::component& c, platform::window_handle owner)
{
    bool refused = false;
    try {
        if (!c.selected || c.is_installed()) return next::go_on;
        refused = !c.admin_required.empty() && !platform::is_current_user_admin(sys);
        if (refused) sys.message_box(owner, c.admin_required, c.description.c_str(), platform::mb_iconinformation);
    } catch (...) {
        // A preparation that fails is this component's error, not the run's.
        refused = true;
    }
    if (refused) return failure_question(sys, settings, c, owner);
    switch (run_component_step(sys, c, settings.reboot_required, owner, run_kind::interactive)) {
    case step_outcome::installed:
        return next::go_on;
    case step_outcome::restart:
    case step_outcome::still_running:
        return next::end_run;
    default:
        return failure_question(sys, settings, c, owner);
    }
}

void finish(platform::platform& sys, const config::configuration_settings& settings)
{
    for (const auto& c : settings.components)
        if (c->selected) return;
    const std::wstring completed = text::trim(settings.installation_completed);
    if (!completed.empty()) sys.message_box(0, completed, L"", platform::mb_iconinformation);
    const std::wstring command = text::trim(settings.complete_command);
    if (!command.empty()) sys.shell_execute(command);
}

}  // namespace

void run_interactive_install(platform::platform& sys, const config::configuration_settings& settings,
                             const std::vector<dialog::checklist_row>& rows, install_window& window)
{
    const platform::window_handle owner = window.handle();
    try {
        window.begin_run();
        dialog::read_back_checks(rows, window.row_state_images());
        window.show_wait_cursor();
        for (const auto& c : settings.components)
            if (handle_component(sys, settings, *c, owner) == next::end_run) break;
        window.restore_cursor();
        finish(sys, settings);
    } catch (...) {
        sys.message_box(owner, L"Failed to install one or more components", nullptr, platform::mb_iconerror);
    }
    window.end_dialog();
}

}  // namespace engine
