// What a run works with, and what it keeps of how it went.
#pragma once

#include "platform/platform.h"
#include "engine/run_log.h"

namespace engine {

// How the run went, as far as its exit status tells it.
struct run_record {
    bool failed = false;           // a component failed, or the run ended on an error
    bool restart_started = false;  // a restart was asked of Windows
    bool restart_pending = false;  // a component ended with 3010, or a restart was declined
    bool left_before_run = false;  // the user left the dialog before a run
    // A component failed because another installation was in progress
    // (exit code 1618): the run is worth trying again later.
    bool another_install_running = false;
};

// The process's exit status. Always 1, as the program has always ended,
// unless the configuration asks for the detailed one (and could be read):
// 1618 a failure while another installation was in progress, 1603 any other
// failure, 1602 left before the run, 1641 a restart started, 3010 a restart
// pending, 0 everything handled ended installed.
int exit_status(const run_record& record, bool loaded, bool detailed);

struct run_context {
    platform::platform& sys;
    // Where message boxes go: shown (and logged), or in an unattended run
    // only logged.
    platform::user_interface& ui;
    run_log& log;
    run_record& record;
    // Every restart question is answered No without being shown (/norestart).
    bool never_restart = false;
    // Nobody watches the run: every component is waited for, the product
    // included, so that its exit code decides the run's status.
    bool unattended = false;
    // The dialog starts the run by itself, shows its progress, and asks
    // nothing (/passive).
    bool passive = false;
    // The name of the lock this run holds on its configuration; the dialog
    // marks itself with it, so that a second copy can bring it forward.
    std::wstring run_lock = std::wstring();
};

}  // namespace engine
