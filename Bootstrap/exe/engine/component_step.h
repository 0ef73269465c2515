// One component from its start to its outcome, shared by both install runs.
#pragma once

#include <string>

#include "components/component.h"
#include "engine/run_context.h"

namespace engine {

// download_failed: the component's files did not all arrive; like a failed
// start, the component was not run. restart_started: installed, and its
// installer has already started a restart of Windows (exit code 1641); the
// run ends as after the restart question, without asking it.
enum class step_outcome {
    download_failed,
    start_failed,
    still_running,
    exit_code_failure,
    restart,
    restart_started,
    installed,
    error
};

enum class run_kind {
    silent,       // no window; a primary component is not waited for unless the run is unattended
    interactive,  // the dialog owns the boxes; its messages are served while waiting
};

// Starts the component, waits for it, judges its exit code (0, 3010 and
// 1641 succeed), shows its completion text and, for `mustreboot`, the
// restart question. An exit code that cannot be read is the outcome
// `error`. The log is told each step; the record, a pending or started
// restart and a failure because another installation was in progress. The
// verb is the shell's for the start (run_as_administrator: the user is
// asked for the rights; a declined prompt is a failed start whose
// start_error is error_cancelled).
step_outcome run_component_step(run_context& run, components::component& c, const std::wstring& reboot_required,
                                platform::window_handle owner, run_kind kind,
                                platform::shell_verb verb = platform::shell_verb::default_action);

// Tells the log how the component's turn ended.
void log_outcome(run_context& run, const components::component& c, step_outcome outcome);

}  // namespace engine
