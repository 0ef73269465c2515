#include "platform/admin.h"

#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t first_token_buffer = 1024;

bool token_lists_administrators(privileges& sys)
{
    std::uint32_t needed = 0;
    std::vector<std::uint8_t> groups;
    token_status status = sys.token_groups(first_token_buffer, needed, groups);
    // A token with more groups than the first buffer holds is asked again
    // with the size it reported; the second answer counts.
    if (needed > first_token_buffer) {
        groups.clear();
        status = sys.token_groups(needed, needed, groups);
    }
    if (status != token_status::ok) return false;
    for (std::uint8_t is_admin : groups)
        if (is_admin) return true;
    return false;
}

}  // namespace

bool is_current_user_admin(system_facts& facts, privileges& token)
{
    os_version_info v;
    if (!facts.os_version(false, v)) return true;
    if (v.platform_id != 2) return true;
    if (!token.admin_sid_available()) return false;
    if (v.major >= 5) {
        bool member = false;
        if (token.check_admin_membership(member) != membership_status::ok || !member) return false;
        // Under user account control a member's own token may be the filtered
        // one; where the system cannot tell, membership alone decides.
        return v.major < 6 || token.elevation() != token_elevation::limited;
    }
    return token_lists_administrators(token);
}

bool can_ask_for_rights(system_facts& facts)
{
    os_version_info v;
    return facts.os_version(false, v) && v.platform_id == 2 && v.major >= 6;
}

}  // namespace platform
