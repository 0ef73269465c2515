#include "fake_platform.h"

#include <openssl/evp.h>

#include "base/paths.h"
#include "base/text.h"

#include <algorithm>

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
    files[lower(base::combine_path(system_dir, L"user.exe"))].language = langid;
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

read_status fake_platform::read_file(const std::wstring& path, std::size_t limit, std::string& bytes)
{
    calls.push_back(L"read_file:" + path);
    file* f = find(path);
    if (f == nullptr || f->is_directory || !f->readable) return read_status::failed;
    if (f->bytes.size() > limit) return read_status::too_large;
    bytes = f->bytes;
    bytes_read += bytes.size();
    return read_status::ok;
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

bool fake_platform::move_file(const std::wstring& from, const std::wstring& to)
{
    calls.push_back(L"move_file:" + from + L"|" + to);
    auto it = files.find(lower(from));
    if (it == files.end() || it->second.is_directory) return false;
    file moved = it->second;
    files.erase(it);
    files[lower(to)] = moved;
    return true;
}

bool fake_platform::append_file(const std::wstring& path, const std::string& bytes)
{
    const std::size_t cut = path.find_last_of(L"\\/");
    const file* folder = cut == std::wstring::npos ? nullptr : find(path.substr(0, cut));
    file* existing = find(path);
    if (folder == nullptr || !folder->is_directory || (existing != nullptr && (existing->is_directory || !existing->readable)))
        return false;
    files[lower(path)].bytes += bytes;
    return true;
}

local_time fake_platform::now()
{
    const std::uint32_t ms = clock_ms;
    return local_time{2026, 1, 2, static_cast<std::uint16_t>(3 + ms / 3600000 % 21), static_cast<std::uint16_t>(4 + ms / 60000 % 56),
                      static_cast<std::uint16_t>(5 + ms / 1000 % 55), static_cast<std::uint16_t>(ms % 1000)};
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

bool fake_platform::key_opens(reg_root root, const std::wstring& subkey, reg_access access, reg_view view)
{
    calls.push_back(L"key_opens:" + key_of(root, subkey));
    (void)access;
    const std::wstring key = key_of(root, subkey);
    key_views.emplace_back(key, view);
    const auto denied = registry_denied.find(key);
    return registry.count(key) > 0 && (denied == registry_denied.end() || !denied->second);
}

bool fake_platform::read_value(reg_root root, const std::wstring& subkey, reg_access access, reg_view view,
                               const std::wstring& name, std::vector<std::uint8_t>& data)
{
    calls.push_back(L"read_value:" + key_of(root, subkey) + L":" + name);
    if (!key_opens(root, subkey, access, view)) return false;
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

bool fake_platform::shell_execute_ex(const std::wstring& file, const std::wstring& parameters, shell_verb verb,
                                     process_handle& process, std::uint32_t& error)
{
    const bool runas = verb == shell_verb::run_as_administrator;
    calls.push_back(std::wstring(runas ? L"shell_execute_ex runas:" : L"shell_execute_ex:") + file + L"|" + parameters);
    auto it = programs.find(lower(file));
    if (it == programs.end() || !it->second.starts) {
        error = it == programs.end() ? 2 : it->second.start_error;  // 2: the file is not there
        return false;
    }
    if (runas && it->second.declines_elevation) {
        error = error_cancelled;
        return false;
    }
    if (!it->second.gives_process) {
        process = 0;
        return true;
    }
    processes.push_back(started_process{file, parameters, it->second, verb});
    process = processes.size();
    return true;
}

bool fake_platform::shell_open(const std::wstring& file, std::uint32_t& error)
{
    calls.push_back(L"shell_open:" + file);
    opened.push_back(file);
    if (!shell_open_accepts) error = 1155;  // no program is associated with it
    return shell_open_accepts;
}

void fake_platform::refuse_system_boxes()
{
    calls.push_back(L"refuse_system_boxes");
    system_boxes_refused = true;
}

std::wstring fake_platform::full_path(const std::wstring& path)
{
    if (path.empty()) return std::wstring();
    const bool absolute = (path.size() > 1 && path[1] == L':') || path[0] == L'\\';
    return absolute ? path : current_dir + L"\\" + path;
}

std::wstring fake_platform::error_text(std::uint32_t code)
{
    const auto it = error_texts.find(code);
    return it == error_texts.end() ? std::wstring() : it->second;
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
    thread = ++threads_started_;
    if (threads_run_late > 0) {
        --threads_run_late;
        // The body waits until run_late_threads: every wait for it times
        // out meanwhile, as for a thread that has not been scheduled yet.
        late_threads_.push_back({thread, std::move(body)});
        stuck_threads_.push_back(thread);
        return true;
    }
    // The body runs to its end at once: the tests see one deterministic
    // interleaving, the one in which the thread is fastest. A body that
    // stalled is then stuck for good, and waits for it time out.
    running_thread_ = thread;
    body();
    running_thread_ = 0;
    return true;
}

void fake_platform::run_late_threads()
{
    std::vector<std::pair<thread_handle, std::function<void()>>> late;
    late.swap(late_threads_);
    for (auto& t : late) {
        running_thread_ = t.first;
        t.second();
        running_thread_ = 0;
    }
}

wait_result fake_platform::wait_thread_pumping(thread_handle thread, std::uint32_t timeout_ms)
{
    ++pumped_waits;
    if (while_pumping) while_pumping();
    return wait_thread(thread, timeout_ms);
}

void fake_platform::sleep_pumping(std::uint32_t ms)
{
    ++pumped_waits;
    if (while_pumping) while_pumping();
    sleep(ms);
}

wait_result fake_platform::wait_thread(thread_handle thread, std::uint32_t timeout_ms)
{
    for (auto t = trickles_.begin(); t != trickles_.end(); ++t) {
        if (t->thread != thread) continue;
        const std::uint32_t until = clock_ms + timeout_ms;
        while (t->stored < t->answer.content.size() && t->next_at <= until) {
            clock_ms = t->next_at;
            const std::size_t n = std::min(t->answer.piece, t->answer.content.size() - t->stored);
            files[lower(t->target)].bytes += t->answer.content.substr(t->stored, n);
            t->stored += n;
            t->next_at += t->answer.piece_ms;
            if (!t->sink->on_bytes(t->stored, t->answer.announced)) files.erase(lower(t->target));
        }
        if (t->stored < t->answer.content.size()) {
            clock_ms = until;
            return wait_result::timeout;
        }
        trickles_.erase(t);
        return wait_result::ended;
    }
    for (thread_handle stuck : stuck_threads_) {
        if (stuck == thread) {
            clock_ms += timeout_ms;
            return wait_result::timeout;
        }
    }
    return wait_result::ended;
}

void fake_platform::close_thread(thread_handle) {}

std::uint32_t fake_platform::tick_count()
{
    const std::uint32_t now = clock_ms;
    if (arrivals_race_the_clock && !racing_) {
        racing_ = true;  // the arrival reads the clock too
        ++clock_ms;
        for (const trickle& t : trickles_) t.sink->on_bytes(t.stored, t.answer.announced);
        racing_ = false;
    }
    return now;
}

void fake_platform::sleep(std::uint32_t ms)
{
    sleeps.push_back(ms);
    clock_ms += ms;
}

box_answer fake_platform::message_box(window_handle owner, const std::wstring& text, const wchar_t* caption,
                                      box_icon icon, box_buttons buttons)
{
    message m;
    m.owner = owner;
    m.text = text;
    if (caption != nullptr) m.caption = std::wstring(caption);
    m.icon = icon;
    m.buttons = buttons;
    messages.push_back(m);
    if (!answers.empty()) {
        const box_answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == box_buttons::yes_no ? box_answer::yes : box_answer::ok;
}

bool fake_platform::admin_sid_available() { return sid_available; }

membership_status fake_platform::check_admin_membership(bool& member)
{
    calls.push_back(L"check_admin_membership");
    member = member_of_admins;
    return membership;
}

token_status fake_platform::token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                                         std::vector<std::uint8_t>& is_admin_group)
{
    calls.push_back(L"token_groups:" + std::to_wstring(buffer_size));
    needed = token_size;
    if (token_result != token_status::ok) return token_result;
    if (buffer_size < token_size) return token_status::buffer_too_small;
    is_admin_group = token_group_is_admin;
    return token_status::ok;
}

token_elevation fake_platform::elevation()
{
    calls.push_back(L"elevation");
    return elevation_answer;
}

bool fake_platform::reboot_windows(std::uint32_t& error)
{
    calls.push_back(L"reboot");
    ++reboots;
    files_at_reboot = files;
    if (!reboot_refused) return true;
    error = 1314;  // a required privilege is not held
    return false;
}

transfer_result fake_platform::download_url(const std::wstring& url, const std::wstring& target,
                                            transfer_sink& sink)
{
    calls.push_back(L"download:" + url + L"|" + target);
    const auto answers = downloads.find(url);
    const std::size_t asked = static_cast<std::size_t>(std::count(requests.begin(), requests.end(), url));
    requests.push_back(url);
    transfer_result r;
    if (answers == downloads.end() || answers->second.empty()) {
        r.status = transfer_status::cannot_connect;
        return r;
    }
    const download& d = answers->second[std::min(asked, answers->second.size() - 1)];
    r.status = d.status;
    r.http_status = d.http_status;
    r.announced = d.announced;
    if (d.stalls && d.content.empty()) {
        stuck_threads_.push_back(running_thread_);  // not even an answer arrives
        return r;
    }
    if (d.status != transfer_status::completed && !d.stalls) return r;
    // A target in a folder that does not exist cannot be written.
    const std::size_t cut = target.find_last_of(L"\\/");
    const file* folder = cut == std::wstring::npos ? nullptr : find(target.substr(0, cut));
    if (folder == nullptr || !folder->is_directory) {
        r.status = transfer_status::failed;
        return r;
    }
    if (d.http_status >= 400 && !d.stalls) return r;  // an error page is not stored
    sink.on_bytes(0, d.announced);
    add_file(target, std::string());
    if (d.piece != 0) {
        trickles_.push_back(trickle{running_thread_, target, d, &sink, 0, clock_ms + d.piece_ms});
        return r;
    }
    if (!d.content.empty()) {
        files[lower(target)].bytes = d.content;
        if (!sink.on_bytes(d.content.size(), d.announced)) {
            files.erase(lower(target));
            r.status = transfer_status::cancelled;
            return r;
        }
    }
    // Threads that started late are scheduled now, in the middle of this
    // transfer.
    if (running_thread_ != 0 && !late_threads_.empty()) {
        const thread_handle self = running_thread_;
        run_late_threads();
        running_thread_ = self;
    }
    if (d.stalls) stuck_threads_.push_back(running_thread_);
    return r;
}

lock_status fake_platform::take_run_lock(const std::wstring& name)
{
    if (locks_fail) return lock_status::failed;
    for (const auto& held : locks_held_elsewhere)
        if (held == name) return lock_status::held_elsewhere;
    locks_taken.push_back(name);
    return lock_status::taken;
}

void fake_platform::mark_window(window_handle window, const std::wstring& name) { windows_marked.emplace_back(window, name); }

bool fake_platform::bring_marked_window_forward(const std::wstring& name)
{
    for (const auto& marked : windows_marked_elsewhere)
        if (marked == name) {
            brought_forward.push_back(name);
            return true;
        }
    return false;
}

}  // namespace platform
