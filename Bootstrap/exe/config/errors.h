// The two shapes in which loading the configuration fails: a message shown
// as it stands, or the bare code -1 reported as "Error loading configuration
// file". Low-level operations raise the code for failures their caller
// cannot handle (a filter that is not a number, an unreadable language).
#pragma once

#include <string>

namespace config {

struct message_error {
    std::wstring message;
};

struct code_error {
    int code = -1;
};

}  // namespace config
