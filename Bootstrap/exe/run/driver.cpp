#include "run/driver.h"

#include "config/sources.h"
#include "platform/admin.h"

namespace run {

namespace {

void show_error(platform::platform& sys, const std::wstring& text)
{
    sys.message_box(0, text, nullptr, platform::box_icon::error, platform::box_buttons::ok);
}

void run_loaded(platform::platform& sys, const run_modes& modes, config::configuration_settings& settings)
{
    if (!settings.dialog_admin_required.empty() && !platform::is_current_user_admin(sys, sys)) {
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
    if (!config::load_setup_configuration(config::reading_system(sys), settings))
        show_error(sys, L"Failed to read configuration file.");
    else
        run_loaded(sys, modes, settings);
    config::release_components(settings);
}

}  // namespace run
