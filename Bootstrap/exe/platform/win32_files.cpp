#include "platform/win32_platform.h"

#include "platform/win32_api.h"

namespace platform {

namespace {

// version.dll is not a known DLL: it is loaded from the system folder by
// full path, never found by the search order.
struct version_api : win32::system_api<version_api> {
    static constexpr const wchar_t* dll = L"version.dll";
    decltype(&GetFileVersionInfoSizeW) size = nullptr;
    decltype(&GetFileVersionInfoW) info = nullptr;
    decltype(&VerQueryValueW) query = nullptr;

    void bind(HMODULE m)
    {
        find(m, size, "GetFileVersionInfoSizeW");
        find(m, info, "GetFileVersionInfoW");
        find(m, query, "VerQueryValueW");
    }
};

// Reads a file's whole version block; false when it has none.
bool version_block(const std::wstring& path, std::vector<std::uint8_t>& block)
{
    const version_api& api = version_api::get();
    if (!api.usable()) return false;
    DWORD ignored = 0;
    const DWORD size = api.size(path.c_str(), &ignored);
    if (size == 0) return false;
    block.assign(size, 0);
    return api.info(path.c_str(), 0, size, block.data()) != FALSE;
}

}  // namespace

bool win32_platform::path_exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

read_status win32_platform::read_file(const std::wstring& path, std::size_t limit, std::string& bytes)
{
    win32::kernel_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return read_status::failed;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return read_status::failed;
    // The size is judged before any byte is read: an oversized file never
    // reaches memory.
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) return read_status::too_large;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            return read_status::failed;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return read_status::ok;
}

bool win32_platform::create_directory(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool win32_platform::delete_file(const std::wstring& path) { return DeleteFileW(path.c_str()) != FALSE; }

bool win32_platform::move_file(const std::wstring& from, const std::wstring& to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool win32_platform::append_file(const std::wstring& path, const std::string& bytes)
{
    win32::kernel_handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::wstring win32_platform::full_path(const std::wstring& path)
{
    if (path.empty()) return std::wstring();
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (n == 0) return std::wstring();
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);  // the size it needs, with its terminator
    }
    return std::wstring();
}

bool win32_platform::file_size(const std::wstring& path, std::uint64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool win32_platform::file_sha256(const std::wstring& path, std::uint8_t (&digest)[32])
{
    win32::kernel_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    win32::crypt_provider provider;
    if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    win32::crypt_hash hash;
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) return false;
    std::vector<BYTE> chunk(64 * 1024);
    for (;;) {
        DWORD read = 0;
        // A read that fails is not the end of the file: the digest of what
        // was read so far would be the digest of another file.
        if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return false;
        if (read == 0) break;
        if (!CryptHashData(hash.get(), chunk.data(), read, 0)) return false;
    }
    DWORD length = 32;
    return CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0) && length == 32;
}

bool win32_platform::file_version(const std::wstring& path, fixed_file_version& out)
{
    std::vector<std::uint8_t> block;
    if (!version_block(path, block)) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    wchar_t root[] = L"\\";
    if (!version_api::get().query(block.data(), root, reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return false;
    out.file_version_ms = fixed->dwFileVersionMS;
    out.file_version_ls = fixed->dwFileVersionLS;
    return true;
}

bool win32_platform::file_language(const std::wstring& path, std::uint16_t& langid)
{
    std::vector<std::uint8_t> block;
    if (!version_block(path, block)) return false;
    WORD* translation = nullptr;
    UINT length = 0;
    wchar_t name[] = L"\\VarFileInfo\\Translation";
    if (!version_api::get().query(block.data(), name, reinterpret_cast<void**>(&translation), &length) ||
        translation == nullptr || length < 4)
        return false;
    langid = translation[0];
    return true;
}

}  // namespace platform

