// Whether the process runs with administrator rights.
#pragma once

#include "platform/platform.h"

namespace platform {

// True with administrator rights, and on systems that have no notion of them
// (the Windows 95 family). Every failure on the way answers false, except a
// failed version query, which answers true. Nothing is remembered.
bool is_current_user_admin(system_facts& facts, privileges& token);

}  // namespace platform
