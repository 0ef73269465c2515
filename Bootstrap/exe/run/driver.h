// The run: load the configuration, check the administrator requirement, then
// hand the settings to the dialog or to the silent sequence.
#pragma once

#include <functional>

#include "config/settings.h"
#include "platform/platform.h"

namespace run {

// The two ways a run installs; each gets its own copy of the settings, which
// shares the driver's components.
struct run_modes {
    std::function<void(config::configuration_settings&)> interactive;
    std::function<void(config::configuration_settings&)> silent;
};

void run_setup(platform::platform& sys, const run_modes& modes);

}  // namespace run
