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
    const std::wstring question = format_with_one_string(settings.failed_exec_command_continue, c.description);
    return sys.message_box(0, question, nullptr, platform::mb_yesno | platform::mb_iconwarning) == platform::id_yes;
}

}  // namespace

void run_silent_install(platform::platform& sys, const config::configuration_settings& settings)
{
    try {
        for (std::size_t i = 0; i < settings.components.size(); ++i) {
            if (!settings.components[i]->selected) continue;
            if (!handle_component(sys, settings, i)) return;
        }
    } catch (...) {
        sys.message_box(0, L"Failed to install one or more components", nullptr, platform::mb_iconerror);
    }
}

}  // namespace engine
