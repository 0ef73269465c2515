#include "engine/silent_install.h"

#include "download/downloader.h"
#include "engine/component_step.h"
#include "engine/format.h"

namespace engine {

namespace {

// True when the sequence goes on with the next component.
bool handle_component(platform::platform& sys, const config::configuration_settings& settings, std::size_t i)
{
    components::component& c = *settings.components[i];
    step_outcome outcome = step_outcome::start_failed;
    if (download::download_component_files(sys, c))
        outcome = run_component_step(sys, c, settings.reboot_required, 0, run_kind::silent);

    switch (outcome) {
    case step_outcome::installed:
        return true;
    case step_outcome::restart:
        return false;
    default:
        break;
    }
    // The last component's failure is never asked about.
    if (i + 1 >= settings.components.size()) return false;
    return sys.message_box(0, failure_question(settings, c), nullptr, platform::box_icon::warning,
                           platform::box_buttons::yes_no) == platform::box_answer::yes;
}

}  // namespace

void run_silent_install(platform::platform& sys, const config::configuration_settings& settings)
{
    for (std::size_t i = 0; i < settings.components.size(); ++i) {
        if (!settings.components[i]->selected) continue;
        if (!handle_component(sys, settings, i)) return;
    }
}

}  // namespace engine
