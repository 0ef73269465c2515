// A started process, owned: its handle is closed when the owner goes.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace platform {

class owned_process {
public:
    owned_process() = default;
    owned_process(processes& role, process_handle handle) : role_(&role), handle_(handle) {}
    ~owned_process() { reset(); }
    owned_process(const owned_process&) = delete;
    owned_process& operator=(const owned_process&) = delete;
    owned_process(owned_process&& other) noexcept
        : role_(other.role_), handle_(std::exchange(other.handle_, process_handle{0}))
    {
    }
    owned_process& operator=(owned_process&& other) noexcept
    {
        if (this != &other) {
            reset();
            role_ = other.role_;
            handle_ = std::exchange(other.handle_, process_handle{0});
        }
        return *this;
    }

    explicit operator bool() const { return handle_ != 0; }
    process_handle handle() const { return handle_; }
    processes& role() const { return *role_; }

    // Closes the handle; the owner then holds nothing.
    void reset()
    {
        if (handle_ != 0) role_->close_process(std::exchange(handle_, process_handle{0}));
    }

private:
    processes* role_ = nullptr;
    process_handle handle_ = 0;
};

}  // namespace platform
