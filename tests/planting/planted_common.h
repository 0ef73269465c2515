/* Shared by every planted DLL of the DLL-planting test.
 *
 * A planted DLL appends one JSON line to "planted-markers.log" in its own
 * folder when it is loaded (DllMain, PROCESS_ATTACH) and each time one of
 * its exports is called. run_planting.py reads these lines.
 *
 *   {"event":"attach","dll":"version.dll","path":"<its own file>",
 *    "exe":"<the process's program>","pid":N,"tid":N,"static":bool,
 *    "exe_imports":bool,"exe_delay_imports":bool,
 *    "importers":["<loaded module whose import table names this DLL>",...],
 *    "stack":["ntdll.dll","kernelbase.dll","Setup.exe",...]}
 *   {"event":"call","dll":"...","function":"GetFileVersionInfoSizeW",
 *    "caller":"<module the call came from>","caller_is_exe":bool,
 *    "exe":"...","pid":N,"system_copy":"<what LoadLibraryExW of the
 *    system folder's copy returned>","forwarded":bool}
 *
 * "static" is DllMain's reserved argument being non-NULL: the loader sets it
 * for the DLLs it loads while the process starts (static imports), and
 * leaves it NULL for loads made later (LoadLibrary, and what such a load
 * brings in as its own imports).
 * "stack" lists, innermost first, the modules of the return addresses found
 * on the loading thread's stack (values that point just behind a call
 * instruction inside a loaded image), consecutive repeats collapsed. When the
 * program's own module is not among them, the DLL was loaded while the
 * process started, before any of the program's code ran; then "importers"
 * tells who asked for it.
 *
 * Each planted DLL defines PLANTED_NAME (L"version.dll") before including
 * this file, and calls planted_attach() from DllMain and planted_call() from
 * every export. planted_real() gives the system folder's copy, or NULL when
 * the loader hands back the planted copy itself for that path.
 */
#ifndef PLANTED_COMMON_H
#define PLANTED_COMMON_H

#include <windows.h>
#include <winternl.h>

#ifndef PLANTED_NAME
#error "define PLANTED_NAME before including planted_common.h"
#endif

static HMODULE planted_self;

/* ------------------------------------------------------------ a line of JSON */

typedef struct {
    char text[16384];
    int len;
} line_buf;

static void put_raw(line_buf* b, const char* s)
{
    while (*s && b->len < (int)sizeof b->text - 8) b->text[b->len++] = *s++;
}

static void put_num(line_buf* b, unsigned long n)
{
    char digits[16];
    int i = 0;
    do {
        digits[i++] = (char)('0' + n % 10);
        n /= 10;
    } while (n && i < 15);
    while (i > 0 && b->len < (int)sizeof b->text - 8) b->text[b->len++] = digits[--i];
}

static void put_wstr(line_buf* b, const wchar_t* w)
{
    char utf8[4 * MAX_PATH + 16];
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, utf8, sizeof utf8, NULL, NULL);
    int i;
    put_raw(b, "\"");
    for (i = 0; n > 0 && i < n - 1; ++i) {
        unsigned char c = (unsigned char)utf8[i];
        if (b->len >= (int)sizeof b->text - 16) break;
        if (c == '"' || c == '\\') {
            b->text[b->len++] = '\\';
            b->text[b->len++] = (char)c;
        } else if (c < 0x20) {
            put_raw(b, "\\u00");
            b->text[b->len++] = "0123456789abcdef"[c >> 4];
            b->text[b->len++] = "0123456789abcdef"[c & 15];
        } else {
            b->text[b->len++] = (char)c;
        }
    }
    put_raw(b, "\"");
}

static void put_bool(line_buf* b, BOOL v) { put_raw(b, v ? "true" : "false"); }

static void put_module_path(line_buf* b, HMODULE m)
{
    wchar_t path[MAX_PATH + 1];
    DWORD n = m ? GetModuleFileNameW(m, path, MAX_PATH) : 0;
    path[n < MAX_PATH ? n : MAX_PATH] = 0;
    if (n == 0) lstrcpyW(path, m ? L"?" : L"");
    put_wstr(b, path);
}

static void begin_line(line_buf* b, const char* event)
{
    b->len = 0;
    put_raw(b, "{\"event\":\"");
    put_raw(b, event);
    put_raw(b, "\",\"dll\":");
    put_wstr(b, PLANTED_NAME);
    put_raw(b, ",\"path\":");
    put_module_path(b, planted_self);
    put_raw(b, ",\"exe\":");
    put_module_path(b, GetModuleHandleW(NULL));
    put_raw(b, ",\"pid\":");
    put_num(b, GetCurrentProcessId());
    put_raw(b, ",\"tid\":");
    put_num(b, GetCurrentThreadId());
}

/* Appends the line to planted-markers.log beside this DLL, in one write. */
static void end_line(line_buf* b)
{
    wchar_t path[MAX_PATH + 32];
    DWORD n = GetModuleFileNameW(planted_self, path, MAX_PATH);
    HANDLE f;
    DWORD written;
    if (n == 0 || n >= MAX_PATH) return;
    while (n > 0 && path[n - 1] != L'\\' && path[n - 1] != L'/') --n;
    path[n] = 0;
    lstrcatW(path, L"planted-markers.log");
    put_raw(b, "}\n");
    f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    WriteFile(f, b->text, (DWORD)b->len, &written, NULL);
    CloseHandle(f);
}

/* ------------------------------------------------------------ loaded images */

typedef struct {
    ULONG_PTR base, end;
    const wchar_t* name; /* base name, points into the loader's record */
    int name_chars;
} image_range;

typedef struct {
    LIST_ENTRY InLoadOrderLinks;
    LIST_ENTRY InMemoryOrderLinks;
    LIST_ENTRY InInitializationOrderLinks;
    PVOID DllBase;
    PVOID EntryPoint;
    ULONG SizeOfImage;
    UNICODE_STRING FullDllName;
    UNICODE_STRING BaseDllName;
} loader_entry;

/* The images the loader knows, read from its own list in the PEB. */
static int loaded_images(image_range* out, int max)
{
    PEB* peb = NtCurrentTeb()->ProcessEnvironmentBlock;
    LIST_ENTRY* head;
    LIST_ENTRY* link;
    int n = 0;
    if (peb == NULL || peb->Ldr == NULL) return 0;
    /* InMemoryOrderModuleList links the second LIST_ENTRY of each record. */
    head = &peb->Ldr->InMemoryOrderModuleList;
    for (link = head->Flink; link != head && n < max; link = link->Flink) {
        loader_entry* e = CONTAINING_RECORD(link, loader_entry, InMemoryOrderLinks);
        if (e->DllBase == NULL) continue;
        out[n].base = (ULONG_PTR)e->DllBase;
        out[n].end = out[n].base + e->SizeOfImage;
        out[n].name = e->BaseDllName.Buffer;
        out[n].name_chars = e->BaseDllName.Length / sizeof(wchar_t);
        ++n;
    }
    return n;
}

static BOOL readable(const void* p, SIZE_T size)
{
    MEMORY_BASIC_INFORMATION mbi;
    const BYTE* a = (const BYTE*)p;
    if (VirtualQuery(a, &mbi, sizeof mbi) == 0) return FALSE;
    if (mbi.State != MEM_COMMIT) return FALSE;
    if (mbi.Protect & (PAGE_NOACCESS | PAGE_GUARD)) return FALSE;
    return a + size <= (const BYTE*)mbi.BaseAddress + mbi.RegionSize;
}

static const IMAGE_NT_HEADERS* nt_headers(ULONG_PTR base)
{
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    const IMAGE_NT_HEADERS* nt;
    if (!readable(dos, sizeof *dos) || dos->e_magic != IMAGE_DOS_SIGNATURE) return NULL;
    nt = (const IMAGE_NT_HEADERS*)(base + dos->e_lfanew);
    if (!readable(nt, sizeof *nt) || nt->Signature != IMAGE_NT_SIGNATURE) return NULL;
    return nt;
}

static BOOL same_name_ascii(const char* a, const wchar_t* w)
{
    for (; *a && *w; ++a, ++w) {
        wchar_t x = (wchar_t)(unsigned char)*a, y = *w;
        if (x >= L'A' && x <= L'Z') x += 32;
        if (y >= L'A' && y <= L'Z') y += 32;
        if (x != y) return FALSE;
    }
    return *a == 0 && *w == 0;
}

static BOOL rva_name_is(ULONG_PTR base, const IMAGE_NT_HEADERS* nt, DWORD rva, const wchar_t* wanted)
{
    const char* name = (const char*)(base + rva);
    if (rva == 0 || rva >= nt->OptionalHeader.SizeOfImage || !readable(name, 1)) return FALSE;
    return same_name_ascii(name, wanted);
}

/* Whether the image's import table names the DLL. */
static BOOL image_imports(ULONG_PTR base, const wchar_t* dll)
{
    const IMAGE_NT_HEADERS* nt = nt_headers(base);
    const IMAGE_DATA_DIRECTORY* dir;
    const IMAGE_IMPORT_DESCRIPTOR* d;
    if (nt == NULL || nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) return FALSE;
    dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir->VirtualAddress == 0 || dir->Size == 0) return FALSE;
    for (d = (const IMAGE_IMPORT_DESCRIPTOR*)(base + dir->VirtualAddress); readable(d, sizeof *d) && d->Name != 0;
         ++d)
        if (rva_name_is(base, nt, d->Name, dll)) return TRUE;
    return FALSE;
}

/* Whether the image's delay-import table names the DLL. */
static BOOL image_delay_imports(ULONG_PTR base, const wchar_t* dll)
{
    const IMAGE_NT_HEADERS* nt = nt_headers(base);
    const IMAGE_DATA_DIRECTORY* dir;
    const DWORD* d; /* Attributes, DllNameRVA, then six more fields */
    if (nt == NULL || nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT) return FALSE;
    dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    if (dir->VirtualAddress == 0 || dir->Size == 0) return FALSE;
    for (d = (const DWORD*)(base + dir->VirtualAddress); readable(d, 8 * sizeof(DWORD)) && d[1] != 0; d += 8) {
        DWORD name = (d[0] & 1) ? d[1] : (DWORD)(d[1] - base); /* old records hold addresses */
        if (rva_name_is(base, nt, name, dll)) return TRUE;
    }
    return FALSE;
}

static void put_image_name(line_buf* b, const image_range* r)
{
    wchar_t name[MAX_PATH];
    int n = r->name_chars < MAX_PATH - 1 ? r->name_chars : MAX_PATH - 1;
    if (r->name == NULL) n = 0;
    if (n > 0) memcpy(name, r->name, n * sizeof(wchar_t));
    name[n] = 0;
    put_wstr(b, name);
}

/* Whether the bytes just before addr form a call instruction (i386). */
static BOOL behind_a_call(ULONG_PTR addr, const image_range* r)
{
    const BYTE* p = (const BYTE*)addr;
    if (addr < r->base + 8 || !readable(p - 7, 7)) return FALSE;
    if (p[-5] == 0xE8) return TRUE;                                /* call rel32 */
    if (p[-6] == 0xFF && p[-5] == 0x15) return TRUE;               /* call [disp32] */
    if (p[-6] == 0xFF && (p[-5] & 0xF8) == 0x90) return TRUE;      /* call [reg+disp32] */
    if (p[-7] == 0xFF && p[-6] == 0x94) return TRUE;               /* call [sib+disp32] */
    if (p[-3] == 0xFF && (p[-2] & 0xF8) == 0x50) return TRUE;      /* call [reg+disp8] */
    if (p[-4] == 0xFF && p[-3] == 0x54) return TRUE;               /* call [sib+disp8] */
    if (p[-2] == 0xFF && (p[-1] & 0xF8) == 0xD0) return TRUE;      /* call reg */
    if (p[-2] == 0xFF && (p[-1] & 0xF8) == 0x10) return TRUE;      /* call [reg] */
    if (p[-3] == 0xFF && p[-2] == 0x14) return TRUE;               /* call [sib] */
    return FALSE;
}

static void planted_attach(HMODULE self, BOOL at_start_up)
{
    static image_range images[512];
    static line_buf b;
    int count, i, listed = 0, last = -1;
    ULONG_PTR exe_base = (ULONG_PTR)GetModuleHandleW(NULL);
    NT_TIB* tib = (NT_TIB*)NtCurrentTeb();
    volatile ULONG_PTR here = 0;
    const ULONG_PTR* slot;

    planted_self = self;
    count = loaded_images(images, 512);
    begin_line(&b, "attach");
    put_raw(&b, ",\"static\":");
    put_bool(&b, at_start_up);
    put_raw(&b, ",\"exe_imports\":");
    put_bool(&b, image_imports(exe_base, PLANTED_NAME));
    put_raw(&b, ",\"exe_delay_imports\":");
    put_bool(&b, image_delay_imports(exe_base, PLANTED_NAME));
    put_raw(&b, ",\"importers\":[");
    for (i = 0; i < count; ++i) {
        if (images[i].base == (ULONG_PTR)self) continue;
        if (image_imports(images[i].base, PLANTED_NAME) || image_delay_imports(images[i].base, PLANTED_NAME)) {
            if (listed++) put_raw(&b, ",");
            put_image_name(&b, &images[i]);
        }
    }
    put_raw(&b, "],\"stack\":[");
    listed = 0;
    for (slot = (const ULONG_PTR*)&here; (ULONG_PTR)slot + sizeof *slot <= (ULONG_PTR)tib->StackBase; ++slot) {
        ULONG_PTR v = *slot;
        for (i = 0; i < count; ++i) {
            if (v < images[i].base || v >= images[i].end) continue;
            if (behind_a_call(v, &images[i]) && i != last) {
                if (listed++) put_raw(&b, ",");
                put_image_name(&b, &images[i]);
                last = i;
            }
            break;
        }
        if (listed >= 64) break;
    }
    put_raw(&b, "]");
    end_line(&b);
}

/* ------------------------------------------------------------ calls */

static HMODULE planted_real_module;
static BOOL planted_real_tried;
static wchar_t planted_real_desc[MAX_PATH + 32];

/* The copy in the system folder, loaded the way Setup.exe loads it; NULL
 * when the loader gives back this planted copy for that path. */
static HMODULE planted_real(void)
{
    static volatile LONG busy;
    while (InterlockedCompareExchange(&busy, 1, 0) != 0) Sleep(0);
    if (!planted_real_tried) {
        wchar_t path[MAX_PATH + 32];
        UINT n = GetSystemDirectoryW(path, MAX_PATH);
        HMODULE m = NULL;
        planted_real_tried = TRUE;
        if (n > 0 && n < MAX_PATH) {
            lstrcatW(path, L"\\");
            lstrcatW(path, PLANTED_NAME);
            m = LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
        if (m == NULL) {
            lstrcpyW(planted_real_desc, L"(load failed)");
        } else if (m == planted_self) {
            lstrcpyW(planted_real_desc, L"(this planted copy)");
            FreeLibrary(m);
            m = NULL;
        } else {
            DWORD k = GetModuleFileNameW(m, planted_real_desc, MAX_PATH);
            planted_real_desc[k < MAX_PATH ? k : MAX_PATH] = 0;
        }
        planted_real_module = m;
    }
    InterlockedExchange(&busy, 0);
    return planted_real_module;
}

static FARPROC planted_forward(const char* function)
{
    HMODULE m = planted_real();
    return m ? GetProcAddress(m, function) : NULL;
}

/* Logs a call of an export; return_address is __builtin_return_address(0)
 * of the export itself. */
static void planted_call(const char* function, void* return_address, BOOL forwarded)
{
    line_buf b;
    HMODULE caller = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCWSTR)return_address, &caller);
    planted_real(); /* fills planted_real_desc */
    begin_line(&b, "call");
    put_raw(&b, ",\"function\":\"");
    put_raw(&b, function);
    put_raw(&b, "\",\"caller\":");
    put_module_path(&b, caller);
    put_raw(&b, ",\"caller_is_exe\":");
    put_bool(&b, caller != NULL && caller == GetModuleHandleW(NULL));
    put_raw(&b, ",\"system_copy\":");
    put_wstr(&b, planted_real_desc);
    put_raw(&b, ",\"forwarded\":");
    put_bool(&b, forwarded);
    end_line(&b);
}

#define PLANTED_DLLMAIN                                                     \
    BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) \
    {                                                                       \
        if (reason == DLL_PROCESS_ATTACH) planted_attach(instance, reserved != NULL); \
        return TRUE;                                                        \
    }

#endif
