#include "config/settings.h"

namespace config {

void release_components(configuration_settings& settings)
{
    // In list order, each released with its checks, downloads and process;
    // the list is emptied at the end (erasing from the front would make this
    // quadratic).
    for (auto& component : settings.components) component.reset();
    settings.components.clear();
}

}  // namespace config
