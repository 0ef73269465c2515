// What the Win32 roles share: entry points of system DLLs looked up at run
// time, values built once for the whole process, and threads of their own.
#pragma once

#include <functional>
#include <new>

#include "platform/win32_handles.h"

namespace win32 {

// Finds an entry point of a DLL; its type comes from the declaration in the
// headers, so that nothing is imported by name.
template <class F>
F entry(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// A value built once, also when threads ask for it at the same time (the
// program carries no guard of the runtime's for function-local statics).
// It lives for the rest of the process.
template <class T, class Make>
const T& built_once(Make make)
{
    static volatile LONG state = 0;  // 0: not built, 1: being built, 2: built
    alignas(T) static unsigned char storage[sizeof(T)];
    if (InterlockedCompareExchange(&state, 1, 0) == 0) {
        new (storage) T(make());
        InterlockedExchange(&state, 2);
    } else {
        while (state != 2) Sleep(0);
    }
    return *reinterpret_cast<const T*>(storage);
}

// The entry points of a DLL of the system folder, looked up once and kept
// for the rest of the process. `Api` names its DLL and, in `bind`, finds
// each entry point with `find`; it is usable when every one was found.
template <class Api>
struct system_api {
    static const Api& get()
    {
        return built_once<Api>([] {
            Api api;
            const HMODULE m = load_system_library(Api::dll).release();  // kept for the process
            api.bind(m);
            return api;
        });
    }
    bool usable() const { return found_all_; }

protected:
    template <class F>
    void find(HMODULE m, F& into, const char* name)
    {
        into = entry<F>(m, name);
        found_all_ = found_all_ && into != nullptr;
    }

private:
    bool found_all_ = true;
};

// Starts `body` on a new thread, which owns it from then on: the thread's
// handle, or none when no thread could be started.
HANDLE begin_thread(std::function<void()> body);

// wininet.dll, which holds the texts of the network's error codes; none when
// it could not be loaded.
HMODULE internet_module();

}  // namespace win32
