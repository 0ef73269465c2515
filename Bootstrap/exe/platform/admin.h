// Whether the process runs with administrator rights.
#pragma once

#include "platform/platform.h"

namespace platform {

// True with administrator rights, and on systems that have no notion of them
// (the Windows 95 family). Every failure on the way answers false, except a
// failed version query, which answers true. Nothing is remembered.
// From Windows Vista on, a member of Administrators also needs an elevated
// token.
bool is_current_user_admin(system_facts& facts, privileges& token);

// The system can start a program with administrator rights after asking the
// user (Windows Vista and later: the "runas" verb's prompt).
bool can_ask_for_rights(system_facts& facts);

}  // namespace platform
