// Owners of Windows handles: each closes its handle when it goes, and hands
// it over only by moving. The one set used by all the Win32 code.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wincrypt.h>

#include <utility>

namespace win32 {

template <class Traits>
class owner {
public:
    using type = typename Traits::type;

    owner() = default;
    explicit owner(type h) : h_(h) {}
    ~owner() { reset(); }
    owner(const owner&) = delete;
    owner& operator=(const owner&) = delete;
    owner(owner&& other) noexcept : h_(other.release()) {}
    owner& operator=(owner&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }

    explicit operator bool() const { return Traits::valid(h_); }
    type get() const { return h_; }
    // For functions that hand out a handle through a pointer.
    type* put()
    {
        reset();
        return &h_;
    }
    type release() { return std::exchange(h_, Traits::none()); }
    void reset(type h = Traits::none())
    {
        if (Traits::valid(h_)) Traits::close(h_);
        h_ = h;
    }

private:
    type h_ = Traits::none();
};

struct kernel_traits {
    using type = HANDLE;
    static HANDLE none() { return nullptr; }
    static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
struct key_traits {
    using type = HKEY;
    static HKEY none() { return nullptr; }
    static bool valid(HKEY h) { return h != nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};
struct module_traits {
    using type = HMODULE;
    static HMODULE none() { return nullptr; }
    static bool valid(HMODULE h) { return h != nullptr; }
    static void close(HMODULE h) { FreeLibrary(h); }
};
struct icon_traits {
    using type = HICON;
    static HICON none() { return nullptr; }
    static bool valid(HICON h) { return h != nullptr; }
    static void close(HICON h) { DestroyIcon(h); }
};
struct sid_traits {
    using type = PSID;
    static PSID none() { return nullptr; }
    static bool valid(PSID h) { return h != nullptr; }
    static void close(PSID h) { FreeSid(h); }
};
struct crypt_provider_traits {
    using type = HCRYPTPROV;
    static HCRYPTPROV none() { return 0; }
    static bool valid(HCRYPTPROV h) { return h != 0; }
    static void close(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
struct crypt_hash_traits {
    using type = HCRYPTHASH;
    static HCRYPTHASH none() { return 0; }
    static bool valid(HCRYPTHASH h) { return h != 0; }
    static void close(HCRYPTHASH h) { CryptDestroyHash(h); }
};

using kernel_handle = owner<kernel_traits>;
using registry_key = owner<key_traits>;
using module = owner<module_traits>;
using icon = owner<icon_traits>;
using sid = owner<sid_traits>;
using crypt_provider = owner<crypt_provider_traits>;
using crypt_hash = owner<crypt_hash_traits>;

// A COM apartment for the calling thread, left again when the owner goes
// (only when entering it succeeded).
class com_apartment {
public:
    com_apartment() : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~com_apartment()
    {
        if (entered_) CoUninitialize();
    }
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;

private:
    bool entered_;
};

// Loads a DLL from the system folder only, never from the program's folder.
module load_system_library(const wchar_t* name);

}  // namespace win32
