// The downloader: file names, sizes, progress texts, the worker's single
// report, and what counts as a download that arrived.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "download/downloader.h"
#include "platform/fake_platform.h"

using platform::fake_platform;

namespace {

TEST(FormatByteSize, switches_form_exactly_at_each_threshold)
{
    const std::pair<std::uint32_t, const wchar_t*> cases[] = {
        {0, L"0"},           {1023, L"1023"},         {1024, L"1.00KB"},        {1536, L"1.50KB"},
        {1048575, L"1024.00KB"}, {1048576, L"1.00MB"}, {2097152, L"2.00MB"},    {1073741823, L"1024.00MB"},
        {1073741824, L"1.00GB"}, {4294967295u, L"4.00GB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(download::FormatByteSize(bytes), text) << bytes;
}

TEST(FormatByteSize, rounds_like_printf_also_on_exact_ties)
{
    // 1152 / 1024 is exactly 1.125 and 1408 / 1024 exactly 1.375.
    EXPECT_EQ(download::FormatByteSize(1152), L"1.12KB");
    EXPECT_EQ(download::FormatByteSize(1408), L"1.38KB");
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
            ASSERT_EQ(download::FormatByteSize(static_cast<std::uint32_t>(n)),
                      std::wstring(expected, expected + std::strlen(expected)))
                << n;
        }
    }
}

TEST(GetFileNameFromUrl, takes_the_text_after_the_last_slash_or_backslash)
{
    EXPECT_EQ(download::GetFileNameFromUrl(L"http://host/dir/file.exe"), L"file.exe");
    EXPECT_EQ(download::GetFileNameFromUrl(L"http://host/dir\\file.exe"), L"file.exe");
    EXPECT_EQ(download::GetFileNameFromUrl(L"http://host/dir/"), L"");
    EXPECT_EQ(download::GetFileNameFromUrl(L"file.exe"), L"file.exe");
    EXPECT_EQ(download::GetFileNameFromUrl(L""), L"");
}

// A callback that records every report.
struct recording_callback : download::IDownloadCallback {
    std::vector<const config::download_item*> items;
    std::vector<std::wstring> reports;
    std::vector<std::wstring> progress;
    int cancel_after_checks = -1;  // -1: never
    int checks = 0;

    void ReportProgress(std::uint32_t, std::uint32_t, const std::wstring& text) override { progress.push_back(text); }
    void ReportFinished() override { reports.push_back(L"finished"); }
    void ReportFailure(const std::wstring& message) override { reports.push_back(L"failure: " + message); }
    bool IsCancelRequested() override { return cancel_after_checks >= 0 && checks++ >= cancel_after_checks; }
    void ReportCancelled() override { reports.push_back(L"cancelled"); }
    const std::vector<const config::download_item*>& GetDownloadItems() override { return items; }
};

struct worker : ::testing::Test {
    fake_platform sys;
    std::vector<config::download_item> records;
    recording_callback callback;

    void item(const std::wstring& name, const std::wstring& url, const std::wstring& folder = L"C:\\dl",
              const std::wstring& file = L"")
    {
        records.push_back({url, folder, file, name, L""});
    }

    void run()
    {
        for (const auto& r : records) callback.items.push_back(&r);
        download::DownloadThreadProc(sys, callback);
    }

    void serve(const std::wstring& url, const std::string& content = "MZ")
    {
        fake_platform::download d;
        d.content = content;
        sys.downloads[url] = d;
    }
};

TEST_F(worker, fetches_every_item_in_order_and_reports_finished_once)
{
    sys.add_directory(L"C:\\dl");
    item(L"One", L"http://h/one.exe");
    item(L"Two", L"http://h/two.exe", L"C:\\dl\\sub", L"renamed.exe");
    serve(L"http://h/one.exe");
    serve(L"http://h/two.exe");
    records.reserve(2);
    run();
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"finished"}));
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\one.exe"));
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\sub\\renamed.exe"));
    EXPECT_FALSE(sys.path_exists(L"C:\\dl\\sub\\two.exe"));
}

TEST_F(worker, the_second_of_three_failing_keeps_the_first_and_skips_the_third)
{
    sys.add_directory(L"C:\\dl");
    item(L"One", L"http://h/one.exe");
    item(L"Two", L"http://h/missing.exe");
    item(L"Three", L"http://h/three.exe");
    serve(L"http://h/one.exe");
    serve(L"http://h/three.exe");
    run();
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"failure: Failed to download component: Two"}));
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\one.exe"));
    EXPECT_FALSE(sys.path_exists(L"C:\\dl\\three.exe"));
}

TEST_F(worker, an_http_error_status_is_a_failure_and_its_page_is_removed)
{
    sys.add_directory(L"C:\\dl");
    item(L"Page", L"http://h/gone.exe");
    fake_platform::download d;
    d.http_status = 404;
    d.content = "<html>Not Found</html>";
    sys.downloads[L"http://h/gone.exe"] = d;
    run();
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"failure: Failed to download component: Page"}));
    EXPECT_FALSE(sys.path_exists(L"C:\\dl\\gone.exe"));
}

TEST_F(worker, a_success_that_left_no_file_is_a_failure)
{
    sys.add_directory(L"C:\\dl");
    item(L"Ghost", L"http://h/ghost.exe");
    fake_platform::download d;
    d.writes_file = false;
    sys.downloads[L"http://h/ghost.exe"] = d;
    run();
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"failure: Failed to download component: Ghost"}));
}

TEST_F(worker, a_url_ending_in_a_slash_targets_the_folder_and_fails)
{
    sys.add_directory(L"C:\\dl");
    item(L"Folder", L"http://h/dir/");
    serve(L"http://h/dir/");
    run();
    // The target is the folder itself (with the joining backslash): nothing
    // can be written there.
    EXPECT_EQ(sys.calls.back(), L"download:http://h/dir/|C:\\dl\\");
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"failure: Failed to download component: Folder"}));
}

TEST_F(worker, a_missing_parent_folder_is_not_created_and_the_transfer_fails)
{
    item(L"Deep", L"http://h/deep.exe", L"C:\\no\\such\\folder");
    fake_platform::download d;
    d.hresult = static_cast<std::int32_t>(0x800C0006);  // the target cannot be written
    sys.downloads[L"http://h/deep.exe"] = d;
    run();
    EXPECT_FALSE(sys.path_exists(L"C:\\no\\such\\folder"));
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"failure: Failed to download component: Deep"}));
}

TEST_F(worker, cancellation_before_an_item_reports_cancelled_and_during_a_transfer_aborts_it)
{
    sys.add_directory(L"C:\\dl");
    item(L"One", L"http://h/one.exe");
    fake_platform::download d;
    d.progress = {{10, 100}, {50, 100}};
    sys.downloads[L"http://h/one.exe"] = d;
    callback.cancel_after_checks = 1;  // the first look lets the item start
    run();
    // The progress call aborts the transfer, which then ends as a failed one.
    EXPECT_EQ(sys.calls.back(), L"download:http://h/one.exe|C:\\dl\\one.exe");
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"failure: Failed to download component: One"}));
    EXPECT_TRUE(callback.progress.empty());

    recording_callback before;
    before.items = callback.items;
    before.cancel_after_checks = 0;
    download::DownloadThreadProc(sys, before);
    EXPECT_EQ(before.reports, (std::vector<std::wstring>{L"cancelled"}));
}

TEST_F(worker, progress_texts_name_the_item_its_sizes_and_its_position)
{
    sys.add_directory(L"C:\\dl");
    item(L"Foo", L"http://h/foo.exe");
    item(L"Bar", L"http://h/bar.exe");
    fake_platform::download d;
    d.progress = {{1536, 2097152}, {0, 0}};
    sys.downloads[L"http://h/foo.exe"] = d;
    serve(L"http://h/bar.exe");
    run();
    EXPECT_EQ(callback.progress, (std::vector<std::wstring>{L"Foo (1.50KB of 2.00MB) - 1/2", L"Foo (0 of 0) - 1/2"}));
}

TEST(download_component_files, a_component_without_downloads_starts_no_thread)
{
    fake_platform sys;
    components::cmd_component c(sys);
    EXPECT_TRUE(download::download_component_files(sys, c));
    EXPECT_TRUE(sys.calls.empty());
}

TEST(download_component_files, answers_whether_everything_arrived)
{
    fake_platform sys;
    sys.add_directory(L"C:\\dl");
    components::cmd_component c(sys);
    c.has_download_dialog = true;
    c.download_dialog.downloads.push_back({L"http://h/a.exe", L"C:\\dl", L"", L"A", L""});
    fake_platform::download d;
    d.content = "MZ";
    sys.downloads[L"http://h/a.exe"] = d;
    EXPECT_TRUE(download::download_component_files(sys, c));

    c.download_dialog.downloads.push_back({L"http://h/b.exe", L"C:\\dl", L"", L"B", L""});
    EXPECT_FALSE(download::download_component_files(sys, c));
}

TEST(download_component_files, a_worker_that_cannot_start_is_a_failed_download)
{
    fake_platform sys;
    sys.threads_start = false;
    components::cmd_component c(sys);
    c.has_download_dialog = true;
    c.download_dialog.downloads.push_back({L"http://h/a.exe", L"C:\\dl", L"", L"A", L""});
    EXPECT_FALSE(download::download_component_files(sys, c));
}

}  // namespace

namespace {

std::wstring digest_of(platform::fake_platform& sys, const std::wstring& path)
{
    std::uint8_t d[32];
    if (!sys.file_sha256(path, d)) return L"";
    static const wchar_t hex[] = L"0123456789abcdef";
    std::wstring out;
    for (std::uint8_t b : d) {
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 0xF]);
    }
    return out;
}

TEST_F(worker, a_file_with_the_expected_digest_arrives_and_a_different_one_is_deleted)
{
    sys.add_directory(L"C:\\dl");
    sys.add_file(L"C:\\probe", "MZ");
    const std::wstring good = digest_of(sys, L"C:\\probe");
    ASSERT_EQ(good.size(), 64u);
    // The well-known digest of the empty input proves the hashing itself.
    sys.add_file(L"C:\\empty", "");
    EXPECT_EQ(digest_of(sys, L"C:\\empty"), L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    records.push_back({L"http://h/good.exe", L"C:\\dl", L"", L"Good", good});
    std::wstring wrong = good;
    wrong[0] = wrong[0] == L'0' ? L'1' : L'0';
    records.push_back({L"http://h/bad.exe", L"C:\\dl", L"", L"Bad", wrong});
    serve(L"http://h/good.exe");
    serve(L"http://h/bad.exe");
    run();
    EXPECT_TRUE(sys.path_exists(L"C:\\dl\\good.exe"));
    EXPECT_FALSE(sys.path_exists(L"C:\\dl\\bad.exe"));
    EXPECT_EQ(callback.reports, (std::vector<std::wstring>{L"failure: Failed to download component: Bad"}));
}

}  // namespace
