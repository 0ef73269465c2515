#include "engine/silent_install.h"

#include "download/downloader.h"
#include "engine/component_step.h"
#include "engine/format.h"

namespace engine {

namespace {

// True when the sequence goes on with the next component.
bool handle_component(run_context& run, const config::configuration_settings& settings, std::size_t i)
{
    components::component& c = *settings.components[i];
    const step_outcome outcome = download::download_component_files(run.sys, run.log, c)
                                     ? run_component_step(run, c, settings.reboot_required, 0, run_kind::silent)
                                     : step_outcome::download_failed;
    log_outcome(run, c, outcome);

    if (outcome == step_outcome::installed) return true;
    if (outcome == step_outcome::restart || outcome == step_outcome::restart_started) return false;
    // A component still running (a primary one, not waited for) is asked
    // about like a failure, but has not failed: its installation goes on.
    if (outcome != step_outcome::still_running) run.record.failed = true;
    // The last component's failure is never asked about.
    if (i + 1 >= settings.components.size()) return false;
    return run.ui.message_box(0, failure_question(settings, c), nullptr, platform::box_icon::warning,
                              platform::box_buttons::yes_no) == platform::box_answer::yes;
}

}  // namespace

void run_silent_install(run_context& run, const config::configuration_settings& settings)
{
    run.log.write(L"silent run");
    for (std::size_t i = 0; i < settings.components.size(); ++i) {
        if (!settings.components[i]->selected) continue;
        if (!handle_component(run, settings, i)) return;
    }
}

}  // namespace engine
