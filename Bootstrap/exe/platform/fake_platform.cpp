#include "platform/fake_platform.h"

#include "config/paths.h"
#include <openssl/evp.h>

#include "config/text.h"

namespace platform {

namespace {

std::wstring lower(const std::wstring& s) { return text::ascii_lower(s); }

// Windows-1252, the ANSI code page of the systems the tests stand for.
wchar_t cp1252(unsigned char c)
{
    static const wchar_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                     0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (c >= 0x80 && c < 0xA0) return high[c - 0x80];
    return static_cast<wchar_t>(c);
}

}  // namespace

std::vector<std::uint8_t> utf16_bytes(const std::wstring& text, bool terminate)
{
    std::vector<std::uint8_t> out;
    for (wchar_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    if (terminate) {
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

std::wstring fake_platform::key_of(reg_root root, const std::wstring& subkey)
{
    return (root == reg_root::local_machine ? L"hklm\\" : L"hkcu\\") + lower(subkey);
}

fake_platform::file* fake_platform::find(const std::wstring& path)
{
    auto it = files.find(lower(path));
    return it == files.end() ? nullptr : &it->second;
}

void fake_platform::add_file(const std::wstring& path, const std::string& bytes)
{
    files[lower(path)].bytes = bytes;
}

void fake_platform::add_versioned_file(const std::wstring& path, std::uint16_t a, std::uint16_t b, std::uint16_t c,
                                       std::uint16_t d)
{
    file& f = files[lower(path)];
    f.version = fixed_file_version{(static_cast<std::uint32_t>(a) << 16) | b, (static_cast<std::uint32_t>(c) << 16) | d};
}

void fake_platform::add_directory(const std::wstring& path)
{
    files[lower(path)].is_directory = true;
}

void fake_platform::set_language(std::uint16_t langid)
{
    files[lower(config::combine_path(system_dir, L"user.exe"))].language = langid;
}

void fake_platform::add_reg_key(reg_root root, const std::wstring& key)
{
    registry[key_of(root, key)];
}

void fake_platform::set_reg_value(reg_root root, const std::wstring& key, const std::wstring& name,
                                  const std::vector<std::uint8_t>& data)
{
    registry[key_of(root, key)][lower(name)] = data;
}

void fake_platform::set_reg_dword(reg_root root, const std::wstring& key, const std::wstring& name,
                                  std::uint32_t value)
{
    set_reg_value(root, key, name,
                  {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

void fake_platform::set_reg_string(reg_root root, const std::wstring& key, const std::wstring& name,
                                   const std::wstring& value)
{
    set_reg_value(root, key, name, utf16_bytes(value));
}

std::vector<std::wstring> fake_platform::message_texts() const
{
    std::vector<std::wstring> out;
    for (const auto& m : messages) out.push_back(m.text);
    return out;
}

bool fake_platform::path_exists(const std::wstring& path)
{
    calls.push_back(L"path_exists:" + path);
    return find(path) != nullptr;
}

bool fake_platform::read_file(const std::wstring& path, std::string& bytes)
{
    file* f = find(path);
    if (f == nullptr || f->is_directory || !f->readable) return false;
    bytes = f->bytes;
    return true;
}

bool fake_platform::create_directory(const std::wstring& path)
{
    calls.push_back(L"create_directory:" + path);
    if (find(path) != nullptr) return true;
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 2 && find(path.substr(0, cut)) == nullptr) return false;
    add_directory(path);
    return true;
}

bool fake_platform::delete_file(const std::wstring& path)
{
    calls.push_back(L"delete_file:" + path);
    return files.erase(lower(path)) > 0;
}

bool fake_platform::file_size(const std::wstring& path, std::uint64_t& size)
{
    file* f = find(path);
    if (f == nullptr || f->is_directory) return false;
    size = f->bytes.size();
    return true;
}

bool fake_platform::file_sha256(const std::wstring& path, std::uint8_t (&digest)[32])
{
    file* f = find(path);
    if (f == nullptr || f->is_directory || !f->readable) return false;
    unsigned int length = 0;
    return EVP_Digest(f->bytes.data(), f->bytes.size(), digest, &length, EVP_sha256(), nullptr) == 1 &&
           length == 32;
}

bool fake_platform::module_path(std::wstring& path)
{
    if (!module_available) return false;
    path = module;
    return true;
}

resource_status fake_platform::configuration_resource(std::string& bytes)
{
    if (resource_result == resource_status::ok) bytes = resource_bytes;
    return resource_result;
}

bool fake_platform::file_version(const std::wstring& path, fixed_file_version& out)
{
    file* f = find(path);
    if (f == nullptr || !f->version) return false;
    out = *f->version;
    return true;
}

bool fake_platform::file_language(const std::wstring& path, std::uint16_t& langid)
{
    calls.push_back(L"file_language:" + path);
    file* f = find(path);
    if (f == nullptr || !f->language) return false;
    langid = *f->language;
    return true;
}

bool fake_platform::os_version(bool extended, os_version_info& out)
{
    if (extended ? !extended_version_works : !version_works) return false;
    out = version;
    if (!extended) out.service_pack_major = 0;
    return true;
}

std::wstring fake_platform::ansi_to_wide(const std::string& text)
{
    std::wstring out;
    for (char c : text) out.push_back(cp1252(static_cast<unsigned char>(c)));
    return out;
}

bool fake_platform::reg_key_opens(reg_root root, const std::wstring& subkey, std::uint32_t access)
{
    calls.push_back(L"reg_key_opens:" + key_of(root, subkey));
    (void)access;
    const std::wstring key = key_of(root, subkey);
    const auto denied = registry_denied.find(key);
    return registry.count(key) > 0 && (denied == registry_denied.end() || !denied->second);
}

bool fake_platform::reg_read_value(reg_root root, const std::wstring& subkey, std::uint32_t access,
                                   const std::wstring& name, std::vector<std::uint8_t>& data)
{
    calls.push_back(L"reg_read_value:" + key_of(root, subkey) + L":" + name);
    if (!reg_key_opens(root, subkey, access)) return false;
    const auto& values = registry[key_of(root, subkey)];
    auto it = values.find(lower(name));
    if (it == values.end()) return false;
    data = it->second;
    return true;
}

fake_platform::started_process* fake_platform::process_of(process_handle handle)
{
    if (handle == 0 || handle > processes.size()) return nullptr;
    return &processes[handle - 1];
}

bool fake_platform::shell_execute_ex(const std::wstring& file, const std::wstring& parameters,
                                     process_handle& process)
{
    calls.push_back(L"shell_execute_ex:" + file + L"|" + parameters);
    auto it = programs.find(lower(file));
    if (it == programs.end() || !it->second.starts) return false;
    if (!it->second.gives_process) {
        process = 0;
        return true;
    }
    processes.push_back(started_process{file, parameters, it->second});
    process = processes.size();
    return true;
}

std::intptr_t fake_platform::shell_execute(const std::wstring& file)
{
    calls.push_back(L"shell_execute:" + file);
    opened.push_back(file);
    return shell_execute_result;
}

bool fake_platform::exit_code(process_handle process, std::uint32_t& code)
{
    started_process* p = process_of(process);
    if (p == nullptr || p->closed || !p->behaviour.exit_code_readable) return false;
    code = p->ended ? p->behaviour.exit_code : still_active;
    return true;
}

wait_result fake_platform::wait_process(process_handle process, std::uint32_t timeout_ms)
{
    started_process* p = process_of(process);
    if (p == nullptr || p->closed) return wait_result::failed;
    calls.push_back(L"wait_process:" + std::to_wstring(timeout_ms));
    if (p->ended) return wait_result::ended;
    if (p->behaviour.never_ends) return wait_result::timeout;
    if (timeout_ms == 0 && p->polls < p->behaviour.polls_until_end) {
        ++p->polls;
        return wait_result::timeout;
    }
    p->ended = true;
    return wait_result::ended;
}

wait_result fake_platform::wait_process_pumping(process_handle process, std::uint32_t timeout_ms)
{
    calls.push_back(L"pumping");
    return wait_process(process, timeout_ms);
}

void fake_platform::close_process(process_handle process)
{
    if (started_process* p = process_of(process)) p->closed = true;
}

bool fake_platform::start_thread(std::function<void()> body, thread_handle& thread)
{
    calls.push_back(L"start_thread");
    if (!threads_start) return false;
    // The worker runs to its end at once: the tests see one deterministic
    // interleaving, the one in which the worker is fastest.
    body();
    thread = 1;
    return true;
}

wait_result fake_platform::wait_thread(thread_handle, std::uint32_t) { return wait_result::ended; }

void fake_platform::close_thread(thread_handle) {}

void fake_platform::sleep(std::uint32_t ms) { sleeps.push_back(ms); }

int fake_platform::message_box(window_handle owner, const std::wstring& text, const wchar_t* caption,
                               std::uint32_t style)
{
    message m;
    m.owner = owner;
    m.text = text;
    if (caption != nullptr) m.caption = std::wstring(caption);
    m.style = style;
    messages.push_back(m);
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (style & 0xF) == mb_yesno ? id_yes : id_ok;
}

bool fake_platform::admin_sid_available() { return sid_available; }

membership_status fake_platform::check_admin_membership(bool& member)
{
    calls.push_back(L"check_admin_membership");
    member = member_of_admins;
    return membership;
}

token_status fake_platform::token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                                         std::vector<bool>& is_admin_group)
{
    calls.push_back(L"token_groups:" + std::to_wstring(buffer_size));
    needed = token_size;
    if (token_result != token_status::ok) return token_result;
    if (buffer_size < token_size) return token_status::buffer_too_small;
    is_admin_group = token_group_is_admin;
    return token_status::ok;
}

void fake_platform::reboot_windows()
{
    calls.push_back(L"reboot");
    ++reboots;
}

transfer_result fake_platform::download_url(const std::wstring& url, const std::wstring& target,
                                            transfer_callback& callback)
{
    calls.push_back(L"download:" + url + L"|" + target);
    auto it = downloads.find(url);
    if (it == downloads.end()) return transfer_result{static_cast<std::int32_t>(0x800C0005), 0};  // not found
    const download& d = it->second;
    for (const auto& step : d.progress) {
        const std::int32_t hr = callback.on_progress(step.first, step.second);
        if (hr < 0) return transfer_result{hr, d.http_status};
    }
    // Like the real transfer, a target that cannot be written (a folder, or
    // a folder that does not exist) is silently left alone.
    const std::size_t cut = target.find_last_of(L"\\/");
    const bool folder_exists = cut != std::wstring::npos && find(target.substr(0, cut)) != nullptr &&
                               find(target.substr(0, cut))->is_directory;
    const bool writable = folder_exists && cut + 1 < target.size() && !(find(target) && find(target)->is_directory);
    if (d.hresult >= 0 && d.writes_file && writable) add_file(target, d.content);
    return transfer_result{d.hresult, d.http_status};
}

}  // namespace platform
