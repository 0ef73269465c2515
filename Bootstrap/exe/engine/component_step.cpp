#include "engine/component_step.h"

#include "config/text.h"
#include "engine/reboot.h"

namespace engine {

namespace {

constexpr std::uint32_t no_limit = 0xFFFFFFFFu;

step_outcome step(platform::platform& sys, components::component& c, const std::wstring& reboot_required,
                  platform::window_handle owner, run_kind kind)
{
    if (!c.exec()) return step_outcome::start_failed;

    // The wait blocks on the process itself: no CPU is spent meanwhile, and
    // it ends when the process ends, whatever its exit code.
    if (kind == run_kind::interactive)
        c.wait_until_ended(no_limit, true);
    else if (!c.primary)
        c.wait_until_ended(no_limit, false);

    if (c.is_executing()) return step_outcome::still_running;

    const std::uint32_t code = c.get_exit_code();
    if (code != 0 && code != 3010) return step_outcome::exit_code_failure;

    const std::wstring completion = text::trim(c.installcompletemessage);
    if (!completion.empty()) sys.message_box(owner, completion, L"", platform::mb_iconinformation);

    if (c.mustreboot) {
        if (sys.message_box(owner, reboot_required, L"", platform::mb_yesno | platform::mb_iconquestion) ==
            platform::id_yes)
            reboot_machine(sys);
        return step_outcome::restart;
    }
    return step_outcome::installed;
}

}  // namespace

step_outcome run_component_step(platform::platform& sys, components::component& c, const std::wstring& reboot_required,
                                platform::window_handle owner, run_kind kind)
{
    try {
        return step(sys, c, reboot_required, owner, kind);
    } catch (...) {
        return step_outcome::error;
    }
}

}  // namespace engine
