// version_probe.exe: reads a program's version information the way Windows'
// own property pages do (GetFileVersionInfoW and VerQueryValueW, through the
// first translation the file lists) and writes it as "Name=value" lines.
//
//   version_probe.exe <program> <output file>
//
// The first line is "fixed=A.B.C.D/A.B.C.D" (file and product version of the
// fixed part); exit status 0 when the file has version information, else 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t* const names[] = {L"CompanyName", L"FileDescription", L"FileVersion",  L"InternalName",
                                L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"};

std::string utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

std::string dotted(DWORD high, DWORD low)
{
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", (unsigned long)HIWORD(high), (unsigned long)LOWORD(high),
                  (unsigned long)HIWORD(low), (unsigned long)LOWORD(low));
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fputs("usage: version_probe.exe <program> <output file>\n", stderr);
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    std::vector<unsigned char> block(size);
    if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, block.data())) return 1;

    std::string out;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr)
        out += "fixed=" + dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + "/" +
               dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + "\n";
    WORD* translation = nullptr;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < 4)
        return 1;
    for (const wchar_t* name : names) {
        wchar_t query[128];
        _snwprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], name);
        query[127] = L'\0';
        wchar_t* value = nullptr;
        if (VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&value), &length) && value != nullptr)
            out += utf8(name) + "=" + utf8(value) + "\n";
    }
    FILE* file = _wfopen(argv[2], L"wb");
    if (file == nullptr) return 1;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written ? 0 : 1;
}
