// The downloader: file names, sizes, which failures are tried again, and
// what counts as a download that arrived.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "base/read_size.h"
#include "download/downloader.h"
#include "fake_platform.h"

using platform::fake_platform;
using platform::transfer_status;

namespace {

TEST(format_byte_size, switches_form_exactly_at_each_threshold)
{
    const std::pair<std::uint32_t, const wchar_t*> cases[] = {
        {0, L"0"},           {1023, L"1023"},         {1024, L"1.00KB"},        {1536, L"1.50KB"},
        {1048575, L"1024.00KB"}, {1048576, L"1.00MB"}, {2097152, L"2.00MB"},    {1073741823, L"1024.00MB"},
        {1073741824, L"1.00GB"}, {4294967295u, L"4.00GB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(download::format_byte_size(bytes), text) << bytes;
}

TEST(format_byte_size, rounds_like_printf_also_on_exact_ties)
{
    // 1152 / 1024 is exactly 1.125 and 1408 / 1024 exactly 1.375.
    EXPECT_EQ(download::format_byte_size(1152), L"1.12KB");
    EXPECT_EQ(download::format_byte_size(1408), L"1.38KB");
    const struct {
        std::uint32_t low, high;
        double unit;
        const char* suffix;
    } ranges[] = {{1024, 1048575, 1024.0, "KB"}, {1048576, 1073741823, 1048576.0, "MB"},
                  {1073741824, 4294967295u, 1073741824.0, "GB"}};
    for (const auto& r : ranges) {
        std::uint64_t step = (static_cast<std::uint64_t>(r.high) - r.low) / 5003 + 1;
        for (std::uint64_t n = r.low; n <= r.high; n += step) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "%.2f%s", static_cast<double>(n) / r.unit, r.suffix);
            ASSERT_EQ(download::format_byte_size(static_cast<std::uint32_t>(n)),
                      std::wstring(expected, expected + std::strlen(expected)))
                << n;
        }
    }
}

TEST(file_name_from_url, takes_the_text_after_the_last_slash_or_backslash)
{
    EXPECT_EQ(download::file_name_from_url(L"http://host/dir/file.exe"), L"file.exe");
    EXPECT_EQ(download::file_name_from_url(L"http://host/dir\\file.exe"), L"file.exe");
    EXPECT_EQ(download::file_name_from_url(L"http://host/dir/"), L"");
    EXPECT_EQ(download::file_name_from_url(L"file.exe"), L"file.exe");
    EXPECT_EQ(download::file_name_from_url(L""), L"");
}

TEST(transfer_clock, an_arrival_stamped_after_the_clock_was_read_is_no_quiet)
{
    EXPECT_EQ(download::quiet_time(5000, 4990), 0u);  // a 49-day quiet, were it subtracted blindly
    EXPECT_EQ(download::quiet_time(5000, 35000), download::stall_limit_ms);
    EXPECT_EQ(download::quiet_time(0xFFFFFF00u, 0x100u), 0x200u);  // across the wrap of the tick count
}

// The reader's loop over a synchronous network read, which returns only once
// it has as many bytes as it asked for or the body has ended: on a slow link
// each read must come back with the next arrival, so that the stall watcher
// sees every one, and the end must be confirmed by a read that gives nothing.
TEST(read_size, every_read_returns_with_the_next_arrival_and_the_body_is_read_to_its_confirmed_end)
{
    const std::uint32_t buffer = 65536;
    const struct {
        const char* what;
        std::uint64_t size, piece;
        std::uint32_t piece_ms;
    } links[] = {
        {"100 bytes every 20 s", 65536, 100, 20000},
        {"all at once, more than the buffer", 200000, 200000, 1000},
    };
    for (const auto& link : links) {
        const auto arrived = [&](std::uint64_t t) { return std::min(link.size, (t / link.piece_ms + 1) * link.piece); };
        std::uint64_t now = 0, read = 0, longest_wait = 0;
        for (int reads = 1;; ++reads) {
            ASSERT_LT(reads, 2000) << link.what;
            const std::uint32_t ask = base::read_size(static_cast<std::uint32_t>(arrived(now) - read), buffer);
            ASSERT_GE(ask, 1u) << link.what;  // a read of nothing would end the body early
            ASSERT_LE(ask, buffer) << link.what;
            std::uint64_t back = now;
            while (arrived(back) - read < ask && arrived(back) < link.size) back = (back / link.piece_ms + 1) * link.piece_ms;
            const std::uint64_t got = std::min<std::uint64_t>(ask, arrived(back) - read);
            longest_wait = std::max(longest_wait, back - now);
            now = back;
            read += got;
            if (got == 0) break;
        }
        EXPECT_EQ(read, link.size) << link.what;
        EXPECT_LE(longest_wait, link.piece_ms) << link.what;
    }
}

// The lines written to the log.
struct kept_log : base::event_log {
    bool wanted() const override { return true; }
    void write(const std::wstring& event) override { lines.push_back(event); }
    bool holds(const std::wstring& part) const
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::wstring& l) { return l.find(part) != std::wstring::npos; });
    }
    std::vector<std::wstring> lines;
};

// A component whose downloads are served by the fake system.
struct download_world {
    fake_platform sys;
    kept_log log;
    components::cmd_component c;

    download_world()
    {
        sys.add_directory(L"C:\\dl");
        c.has_download_dialog = true;
    }

    void item(const std::wstring& url, const std::wstring& folder = L"C:\\dl", const std::wstring& file = L"",
              const std::wstring& sha256 = L"")
    {
        c.download_dialog.downloads.push_back({url, folder, file, L"Item", sha256});
    }

    static fake_platform::download answer(std::uint32_t http_status, const std::string& content = "MZ")
    {
        fake_platform::download d;
        d.http_status = http_status;
        d.content = content;
        return d;
    }

    static fake_platform::download failing(transfer_status status)
    {
        fake_platform::download d;
        d.status = status;
        return d;
    }

    bool run(download::progress_view* view = nullptr) { return download::download_component_files(sys, log, c, view); }
    long requests_for(const std::wstring& url) const
    {
        return std::count(sys.requests.begin(), sys.requests.end(), url);
    }
    // Files in the download folder, whatever their name.
    std::size_t files_in_folder() const
    {
        std::size_t n = 0;
        for (const auto& f : sys.files) n += f.first.rfind(L"c:\\dl\\", 0) == 0 ? 1 : 0;
        return n;
    }
};

struct downloads : ::testing::Test, download_world {};

TEST_F(downloads, every_item_arrives_in_order_under_its_own_name)
{
    item(L"http://h/one.exe");
    item(L"http://h/two.exe", L"C:\\dl\\sub", L"renamed.exe");
    sys.downloads[L"http://h/one.exe"] = {answer(200)};
    sys.downloads[L"http://h/one.exe"][0].announced = 2;  // exactly what arrives
    sys.downloads[L"http://h/two.exe"] = {answer(200)};
    EXPECT_TRUE(run());
    EXPECT_EQ(sys.requests, (std::vector<std::wstring>{L"http://h/one.exe", L"http://h/two.exe"}));
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\one.exe"));
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\sub\\renamed.exe"));
    EXPECT_FALSE(sys.path_exists(L"C:\\dl\\sub\\two.exe"));
    EXPECT_TRUE(sys.sleeps.empty());
}

TEST_F(downloads, the_second_of_three_failing_keeps_the_first_and_skips_the_third)
{
    item(L"http://h/one.exe");
    item(L"http://h/gone.exe");
    item(L"http://h/three.exe");
    sys.downloads[L"http://h/one.exe"] = {answer(200)};
    sys.downloads[L"http://h/gone.exe"] = {answer(404, "<html>Not Found</html>")};
    sys.downloads[L"http://h/three.exe"] = {answer(200)};
    EXPECT_FALSE(run());
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\one.exe"));
    EXPECT_EQ(files_in_folder(), 1u);  // no error page, no partial file
    EXPECT_EQ(requests_for(L"http://h/three.exe"), 0);
}

TEST_F(downloads, which_failures_are_tried_again_and_how_often)
{
    fake_platform::download short_body = answer(200, std::string(1000, 'x'));
    short_body.announced = 100000;
    fake_platform::download long_body = answer(200, std::string(1000, 'x'));
    long_body.announced = 100;
    fake_platform::download stall;
    stall.stalls = true;  // not even the answer's headers arrive
    fake_platform::download stall_in_body = answer(200, "MZ");
    stall_in_body.announced = 100;
    stall_in_body.stalls = true;
    const struct {
        const char* what;
        fake_platform::download answer;
        long requests;
    } cases[] = {
        {"refused", failing(transfer_status::cannot_connect), 3},
        {"reset", failing(transfer_status::connection_lost), 3},
        {"timed out", failing(transfer_status::timed_out), 3},
        {"stall before the answer", stall, 3},
        {"stall in the body", stall_in_body, 3},
        {"cut short", short_body, 3},
        {"longer than announced", long_body, 3},
        {"500", answer(500), 3},
        {"503", answer(503), 3},
        {"408", answer(408), 3},
        {"429", answer(429), 3},
        {"400", answer(400), 1},
        {"403", answer(403), 1},
        {"404", answer(404), 1},
        {"no such host", failing(transfer_status::failed), 1},
    };
    for (const auto& k : cases) {
        download_world world;
        world.item(L"http://h/a.exe");
        world.sys.downloads[L"http://h/a.exe"] = {k.answer};
        EXPECT_FALSE(world.run()) << k.what;
        EXPECT_EQ(world.requests_for(L"http://h/a.exe"), k.requests) << k.what;
        const std::vector<std::uint32_t> pauses =
            k.requests == 3 ? std::vector<std::uint32_t>{2000, 4000} : std::vector<std::uint32_t>{};
        EXPECT_EQ(world.sys.sleeps, pauses) << k.what;
        EXPECT_EQ(world.files_in_folder(), 0u) << k.what;
        if (k.answer.http_status >= 400) {
            EXPECT_TRUE(world.log.holds(L"attempt 1: HTTP " + std::to_wstring(k.answer.http_status))) << k.what;
        }
    }
}

TEST_F(downloads, a_stall_is_judged_by_the_clock_without_any_word_from_the_transfer)
{
    item(L"http://h/a.exe");
    fake_platform::download stall;
    stall.stalls = true;
    sys.downloads[L"http://h/a.exe"] = {stall, answer(200)};
    const std::uint32_t start = sys.clock_ms;
    EXPECT_TRUE(run());
    // One stall of 30 s, the pause of 2 s, then the second attempt arrives.
    EXPECT_EQ(sys.clock_ms - start, 30000u + 2000u);
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\a.exe"));
    EXPECT_EQ(files_in_folder(), 1u);
}

TEST_F(downloads, the_stall_watcher_counts_each_arrival_so_a_slow_link_is_no_stall)
{
    // 64 KiB, 100 bytes every 20 s: far slower than the stall limit per
    // 64 KiB, yet something arrives well within every 30 s. (That the
    // reader passes on each arrival at once is read_size's test.)
    item(L"http://h/a.exe");
    fake_platform::download slow = answer(200, std::string(65536, 'x'));
    slow.announced = 65536;
    slow.piece = 100;
    slow.piece_ms = 20000;
    sys.downloads[L"http://h/a.exe"] = {slow};
    EXPECT_TRUE(run());
    EXPECT_EQ(requests_for(L"http://h/a.exe"), 1);
    EXPECT_EQ(sys.files[L"c:\\dl\\a.exe"].bytes.size(), 65536u);
}

TEST_F(downloads, an_attempt_given_up_on_never_writes_the_items_file_and_leaves_no_part_file)
{
    // The first two attempts' threads are scheduled only after they were
    // given up on, in the middle of the third attempt's transfer.
    item(L"http://h/a.exe");
    sys.threads_run_late = 2;
    sys.downloads[L"http://h/a.exe"] = {answer(200, "third"), answer(200, "first, late"), answer(200, "second, late")};
    EXPECT_TRUE(run());
    EXPECT_EQ(requests_for(L"http://h/a.exe"), 3);
    EXPECT_EQ(sys.files[L"c:\\dl\\a.exe"].bytes, "third");
    EXPECT_EQ(files_in_folder(), 1u);
}

// A download window as a test plays it: it may hold back the start, and
// cancels when asked to at a given look at the transfer.
struct scripted_view : download::progress_view {
    bool start = true;
    int cancel_at_look = -1;  // -1: never
    int looks = 0;
    std::vector<int> pauses;  // the attempts paused before
    bool go_ahead() override { return start; }
    void transferring(const components::download_item&, int, int, std::uint64_t, std::uint64_t) override { ++looks; }
    void pausing(const components::download_item&, int, int, int attempt) override { pauses.push_back(attempt); }
    bool cancelled() override { return !start || (cancel_at_look >= 0 && looks > cancel_at_look); }
};

TEST_F(downloads, in_a_window_the_user_cancels_at_once_without_another_attempt_or_a_file_left)
{
    // A transfer that stalls in its body: the window looks at it while the
    // waits serve its messages, and Cancel ends it at the next look.
    item(L"http://h/a.exe");
    fake_platform::download stall_in_body = answer(200, "MZ");
    stall_in_body.announced = 100;
    stall_in_body.stalls = true;
    sys.downloads[L"http://h/a.exe"] = {stall_in_body};
    scripted_view view;
    view.cancel_at_look = 3;
    const std::uint32_t start = sys.clock_ms;
    EXPECT_FALSE(run(&view));
    EXPECT_EQ(requests_for(L"http://h/a.exe"), 1);
    EXPECT_TRUE(view.pauses.empty());
    EXPECT_LT(sys.clock_ms - start, 1000u);  // not a stall of 30 s
    EXPECT_GT(sys.pumped_waits, 0);
    EXPECT_EQ(files_in_folder(), 0u);
    EXPECT_TRUE(log.holds(L"attempt 1: cancelled by the user"));

    // Waiting for Start, and cancelled instead: nothing is asked for.
    download_world held;
    held.item(L"http://h/a.exe");
    held.sys.downloads[L"http://h/a.exe"] = {answer(200)};
    scripted_view never;
    never.start = false;
    EXPECT_FALSE(held.run(&never));
    EXPECT_TRUE(held.sys.requests.empty());

    // Between attempts the window shows the pause.
    download_world busy;
    busy.item(L"http://h/a.exe");
    busy.sys.downloads[L"http://h/a.exe"] = {answer(503, "busy"), answer(200)};
    scripted_view watching;
    EXPECT_TRUE(busy.run(&watching));
    EXPECT_EQ(watching.pauses, std::vector<int>{2});

    // A window that could not be made: nobody could cancel, so nothing is
    // fetched, and the log says why.
    struct unmade_window : scripted_view {
        bool usable(std::uint32_t& error) override
        {
            error = 2;
            return false;
        }
    };
    download_world unseen;
    unseen.item(L"http://h/a.exe");
    unseen.sys.downloads[L"http://h/a.exe"] = {answer(200)};
    unmade_window unmade;
    EXPECT_FALSE(unseen.run(&unmade));
    EXPECT_TRUE(unseen.sys.requests.empty());
    EXPECT_TRUE(unseen.log.holds(L"the download window cannot be made (system code 2: "));
}

// A window whose user clicks Cancel while the run serves its messages.
struct clicking_view : download::progress_view {
    bool clicked = false;
    bool go_ahead() override { return true; }
    void transferring(const components::download_item&, int, int, std::uint64_t, std::uint64_t) override {}
    void pausing(const components::download_item&, int, int, int) override {}
    bool cancelled() override { return clicked; }
};

TEST(downloads_in_a_window, a_cancel_holds_whenever_it_is_served_and_a_success_waits_for_nothing)
{
    fake_platform::download stall_in_body = download_world::answer(200, "MZ");
    stall_in_body.announced = 100;
    stall_in_body.stalls = true;
    const std::vector<fake_platform::download> fine = {download_world::answer(200)};
    const std::vector<fake_platform::download> busy_then_fine = {download_world::answer(503, "busy"),
                                                                  download_world::answer(200)};
    // Served waits: the transfer's (each 100 ms), then the judgement's, then
    // the move's, of each item; after a failed attempt, the pause's slices.
    const struct {
        const char* moment;
        int click_at;  // the served wait in which Cancel is clicked; 0: never
        std::vector<fake_platform::download> first;
        bool first_arrives;
    } cases[] = {
        {"during a transfer", 3, {stall_in_body}, false},
        {"in the wait in which the transfer ends", 1, fine, false},
        {"while the file is judged", 2, fine, false},
        {"between items", 3, fine, true},
        {"during the pause between attempts", 2, busy_then_fine, false},
        {"never", 0, fine, true},
    };
    for (const auto& k : cases) {
        download_world world;
        world.item(L"http://h/a.exe");
        world.item(L"http://h/b.exe");
        world.sys.downloads[L"http://h/a.exe"] = k.first;
        world.sys.downloads[L"http://h/b.exe"] = fine;
        clicking_view view;
        int served = 0;
        world.sys.while_pumping = [&] { view.clicked = view.clicked || ++served == k.click_at; };
        const std::uint32_t start = world.sys.clock_ms;
        const bool clicked = k.click_at != 0;
        EXPECT_EQ(world.run(&view), !clicked) << k.moment;
        EXPECT_EQ(world.requests_for(L"http://h/a.exe"), 1) << k.moment;
        EXPECT_EQ(world.requests_for(L"http://h/b.exe"), clicked ? 0 : 1) << k.moment;
        EXPECT_EQ(world.sys.path_exists(L"C:\\dl\\a.exe"), k.first_arrives) << k.moment;
        EXPECT_EQ(world.files_in_folder(), (k.first_arrives ? 1u : 0u) + (clicked ? 0u : 1u)) << k.moment;
        if (clicked)
            EXPECT_TRUE(world.log.holds(L"cancelled by the user")) << k.moment;
        else  // neither a pause nor any time after the files arrived
            EXPECT_TRUE(world.sys.sleeps.empty() && world.sys.clock_ms == start) << k.moment;
    }
}

TEST_F(downloads, an_arrival_between_the_reads_of_the_clock_is_no_stall_and_costs_no_pause)
{
    item(L"http://h/a.exe");
    fake_platform::download slow = answer(200, std::string(300, 'x'));
    slow.announced = 300;
    slow.piece = 100;
    slow.piece_ms = 250;
    sys.downloads[L"http://h/a.exe"] = {slow};
    sys.arrivals_race_the_clock = true;
    clicking_view view;
    EXPECT_TRUE(run(&view));
    EXPECT_EQ(requests_for(L"http://h/a.exe"), 1);
    EXPECT_TRUE(sys.sleeps.empty());
}

TEST_F(downloads, every_attempt_stores_under_a_name_of_its_own_process_and_attempt)
{
    item(L"http://h/a.exe");
    sys.pid = 77;
    sys.downloads[L"http://h/a.exe"] = {answer(503, "busy"), answer(200)};
    EXPECT_TRUE(run());
    EXPECT_TRUE(run());  // the same target fetched again
    std::vector<std::wstring> parts;
    for (const auto& call : sys.calls)
        if (call.rfind(L"download:", 0) == 0) parts.push_back(call.substr(call.find(L'|') + 1));
    ASSERT_EQ(parts.size(), 3u);
    for (const auto& part : parts) EXPECT_EQ(part.rfind(L"C:\\dl\\a.exe.77.", 0), 0u) << part;
    std::sort(parts.begin(), parts.end());
    EXPECT_EQ(std::unique(parts.begin(), parts.end()), parts.end());
}

TEST_F(downloads, a_busy_server_then_a_good_answer_arrives_after_one_pause)
{
    item(L"http://h/a.exe");
    sys.downloads[L"http://h/a.exe"] = {answer(503, "busy"), answer(200, "MZ")};
    EXPECT_TRUE(run());
    EXPECT_EQ(sys.sleeps, (std::vector<std::uint32_t>{2000}));
    EXPECT_EQ(sys.files[L"c:\\dl\\a.exe"].bytes, "MZ");
}

TEST_F(downloads, only_a_checked_file_takes_the_items_name)
{
    std::uint8_t digest[32];
    sys.add_file(L"C:\\probe", "MZ");
    ASSERT_TRUE(sys.file_sha256(L"C:\\probe", digest));
    std::wstring good;
    for (std::uint8_t b : digest) {
        good.push_back(L"0123456789abcdef"[b >> 4]);
        good.push_back(L"0123456789abcdef"[b & 0xF]);
    }
    std::wstring wrong = good;
    wrong[0] = wrong[0] == L'0' ? L'1' : L'0';
    // A file that differs from its digest is deleted at once, never tried
    // again and never stored under the item's name.
    item(L"http://h/good.exe", L"C:\\dl", L"", good);
    item(L"http://h/bad.exe", L"C:\\dl", L"", wrong);
    sys.downloads[L"http://h/good.exe"] = {answer(200)};
    sys.downloads[L"http://h/bad.exe"] = {answer(200)};
    EXPECT_FALSE(run());
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\good.exe"));
    EXPECT_FALSE(sys.path_exists(L"C:\\dl\\bad.exe"));
    EXPECT_EQ(requests_for(L"http://h/bad.exe"), 1);
    EXPECT_EQ(files_in_folder(), 1u);
}

TEST_F(downloads, a_target_that_names_a_folder_or_lies_in_a_missing_one_fails)
{
    item(L"http://h/dir/");
    sys.downloads[L"http://h/dir/"] = {answer(200)};
    EXPECT_FALSE(run());
    EXPECT_TRUE(sys.requests.empty());

    download_world deep;
    deep.item(L"http://h/deep.exe", L"C:\\no\\such\\folder");
    deep.sys.downloads[L"http://h/deep.exe"] = {answer(200)};
    EXPECT_FALSE(deep.run());
    // Only the last level is created: its parent is missing.
    EXPECT_FALSE(deep.sys.path_exists(L"C:\\no\\such\\folder"));
    EXPECT_EQ(deep.requests_for(L"http://h/deep.exe"), 1);
}

TEST(download_component_files, a_component_without_downloads_or_without_a_thread_fetches_nothing)
{
    fake_platform sys;
    kept_log log;
    components::cmd_component c;
    EXPECT_TRUE(download::download_component_files(sys, log, c));
    EXPECT_TRUE(sys.calls.empty());

    sys.threads_start = false;
    c.has_download_dialog = true;
    c.download_dialog.downloads.push_back({L"http://h/a.exe", L"C:\\dl", L"", L"A", L""});
    EXPECT_FALSE(download::download_component_files(sys, log, c));
    EXPECT_TRUE(sys.requests.empty());
}

}  // namespace
