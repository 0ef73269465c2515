// The run: load the configuration, check the administrator requirement, then
// hand the settings to the dialog or to the silent sequence.
#pragma once

#include <functional>

#include "config/settings.h"
#include "config/sources.h"
#include "engine/run_context.h"
#include "platform/platform.h"
#include "run/command_line.h"

namespace run {

// The two ways a run installs; each gets its own copy of the settings, which
// shares the driver's components.
struct run_modes {
    std::function<void(engine::run_context&, config::configuration_settings&)> interactive;
    std::function<void(engine::run_context&, config::configuration_settings&)> silent;
};

// Whether a run whose user lacks the administrator rights its settings
// require asks for them, by starting a copy of itself through the system's
// prompt: from Windows Vista on, when somebody may answer (not an
// unattended silent run), and never in the copy itself (/elevated).
bool asks_for_rights(const config::configuration_settings& settings, const switches& args,
                     platform::system_facts& facts);

// Runs the whole setup and answers the process's exit status: 1, or with
// the configuration's detailed_exit_status how the run ended.
int run_setup(platform::platform& sys, const run_modes& modes,
              config::sources from = config::sources::file_or_stored);

}  // namespace run
