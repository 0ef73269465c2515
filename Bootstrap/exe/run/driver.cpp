#include "run/driver.h"

#include "config/sources.h"
#include "platform/admin.h"

namespace config {

void release_components(configuration_settings& settings)
{
    // In list order, each taken out of the list and released; the list is
    // emptied at the end (erasing from the front would make this quadratic).
    for (auto& component : settings.components) {
        try {
            component.reset();
        } catch (...) {
            // Releasing goes on whatever one component does on its way out.
        }
    }
    settings.components.clear();
}

}  // namespace config

namespace run {

namespace {

void show_error(platform::platform& sys, const std::wstring& text)
{
    sys.message_box(0, text, nullptr, platform::mb_iconerror);
}

void run_loaded(platform::platform& sys, const run_modes& modes, config::configuration_settings& settings)
{
    if (!settings.dialog_admin_required.empty() && !platform::is_current_user_admin(sys)) {
        show_error(sys, settings.dialog_admin_required);
        return;
    }
    config::configuration_settings copy = settings;
    if (settings.install_silent) {
        if (modes.silent) modes.silent(copy);
    } else {
        if (modes.interactive) modes.interactive(copy);
    }
}

}  // namespace

void run_setup(platform::platform& sys, const run_modes& modes)
{
    config::configuration_settings settings;
    try {
        if (!config::load_setup_configuration(sys, settings))
            show_error(sys, L"Failed to read configuration file.");
        else
            run_loaded(sys, modes, settings);
    } catch (...) {
        // Nothing escapes the run; the components are released below.
    }
    config::release_components(settings);
}

}  // namespace run
