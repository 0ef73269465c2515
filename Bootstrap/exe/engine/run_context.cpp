#include "engine/run_context.h"

namespace engine {

int exit_status(const run_record& record, bool loaded, bool detailed)
{
    if (!loaded || !detailed) return 1;
    if (record.failed) return record.another_install_running ? 1618 : 1603;
    if (record.left_before_run) return 1602;
    if (record.restart_started) return 1641;
    if (record.restart_pending) return 3010;
    return 0;
}

}  // namespace engine
