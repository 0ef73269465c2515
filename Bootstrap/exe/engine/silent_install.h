// Installing the selected components one after the other without a window.
#pragma once

#include "config/settings.h"
#include "engine/run_context.h"

namespace engine {

// Downloads and runs each component that was selected when the
// configuration was read. Every failure ends in the user's answer to the
// failure question, or in the end of the sequence.
void run_silent_install(run_context& run, const config::configuration_settings& settings);

}  // namespace engine
