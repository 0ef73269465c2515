#include "engine/component_step.h"

#include "base/text.h"
#include "engine/reboot.h"

namespace engine {

step_outcome run_component_step(platform::platform& sys, components::component& c, const std::wstring& reboot_required,
                                platform::window_handle owner, run_kind kind)
{
    constexpr std::uint32_t no_limit = 0xFFFFFFFFu;
    if (!c.exec(sys, sys)) return step_outcome::start_failed;

    // The wait blocks on the process itself: no CPU is spent meanwhile, and
    // it ends when the process ends, whatever its exit code.
    if (kind == run_kind::interactive)
        c.wait_until_ended(no_limit, true);
    else if (!c.primary)
        c.wait_until_ended(no_limit, false);

    if (c.is_executing()) return step_outcome::still_running;

    std::uint32_t code = 0;
    if (!c.get_exit_code(code)) return step_outcome::error;
    if (!components::is_success_exit_code(code)) return step_outcome::exit_code_failure;

    const std::wstring completion = text::trim(c.installcompletemessage);
    if (!completion.empty())
        sys.message_box(owner, completion, L"", platform::box_icon::information, platform::box_buttons::ok);

    if (c.mustreboot) {
        if (sys.message_box(owner, reboot_required, L"", platform::box_icon::question, platform::box_buttons::yes_no) ==
            platform::box_answer::yes)
            reboot_machine(sys);
        return step_outcome::restart;
    }
    return step_outcome::installed;
}

}  // namespace engine
