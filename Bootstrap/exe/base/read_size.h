// How much one read of a network answer asks for.
#pragma once

#include <cstdint>

namespace base {

// What the connection says has arrived, so that on a slow link each arrival
// is read (and seen) at once instead of waiting for a full buffer; at least
// one byte, whose read waits for the next arrival or confirms the end; at
// most the buffer.
inline std::uint32_t read_size(std::uint32_t available, std::uint32_t buffer)
{
    const std::uint32_t wanted = available < buffer ? available : buffer;
    return wanted == 0 ? 1 : wanted;
}

}  // namespace base
