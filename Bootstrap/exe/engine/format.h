// The failure question's text: a printf-style format with one string.
#pragma once

#include <string>

#include "config/settings.h"

namespace engine {

// "%%" gives "%", the first "%s" takes `argument`, and every other "%"
// sequence is kept as written: no conversion ever reads an argument that is
// not there.
std::wstring format_with_one_string(const std::wstring& format, const std::wstring& argument);

// The question asked after the component failed: the configuration's
// failed_exec_command_continue with the component's description.
std::wstring failure_question(const config::configuration_settings& settings, const components::component& c);

}  // namespace engine
