// One component from its start to its outcome, shared by both install runs.
#pragma once

#include <string>

#include "components/component.h"
#include "engine/run_context.h"

namespace engine {

// download_failed: the component's files did not all arrive; like a failed
// start, the component was not run.
enum class step_outcome { download_failed, start_failed, still_running, exit_code_failure, restart, installed, error };

enum class run_kind {
    silent,       // no window; a primary component is not waited for
    interactive,  // the dialog owns the boxes; its messages are served while waiting
};

// Starts the component, waits for it, judges its exit code (0 and 3010
// succeed), shows its completion text and, for `mustreboot`, the restart
// question. An exit code that cannot be read is the outcome `error`. The
// log is told each step; the record, a pending or started restart.
step_outcome run_component_step(run_context& run, components::component& c, const std::wstring& reboot_required,
                                platform::window_handle owner, run_kind kind);

// Tells the log how the component's turn ended.
void log_outcome(run_context& run, const components::component& c, step_outcome outcome);

}  // namespace engine
