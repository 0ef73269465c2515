// Started processes and threads, owned: a handle is closed when its owner
// goes.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace platform {

template <void (processes::*Close)(std::uintptr_t)>
class owned_handle {
public:
    owned_handle() = default;
    owned_handle(processes& role, std::uintptr_t handle) : role_(&role), handle_(handle) {}
    ~owned_handle() { reset(); }
    owned_handle(const owned_handle&) = delete;
    owned_handle& operator=(const owned_handle&) = delete;
    owned_handle(owned_handle&& other) noexcept
        : role_(other.role_), handle_(std::exchange(other.handle_, std::uintptr_t{0}))
    {
    }
    owned_handle& operator=(owned_handle&& other) noexcept
    {
        if (this != &other) {
            reset();
            role_ = other.role_;
            handle_ = std::exchange(other.handle_, std::uintptr_t{0});
        }
        return *this;
    }

    explicit operator bool() const { return handle_ != 0; }
    std::uintptr_t handle() const { return handle_; }
    processes& role() const { return *role_; }

    // Closes the handle; the owner then holds nothing. A thread goes on
    // running without it.
    void reset()
    {
        if (handle_ != 0) (role_->*Close)(std::exchange(handle_, std::uintptr_t{0}));
    }

private:
    processes* role_ = nullptr;
    std::uintptr_t handle_ = 0;
};

using owned_process = owned_handle<&processes::close_process>;
using owned_thread = owned_handle<&processes::close_thread>;

}  // namespace platform
