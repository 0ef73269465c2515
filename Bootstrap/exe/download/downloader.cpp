#include "download/downloader.h"

#include "config/paths.h"
#include "config/text.h"

namespace download {

SilentDownloader::SilentDownloader(platform::platform& sys, std::vector<const config::download_item*> items)
    : items(std::move(items)), sys_(sys)
{
}

SilentDownloader::~SilentDownloader()
{
    if (worker_thread != 0) sys_.close_thread(worker_thread);
}

void SilentDownloader::WaitForWorker()
{
    if (worker_thread == 0) return;
    sys_.wait_thread(worker_thread, 20000);
    sys_.close_thread(worker_thread);
    worker_thread = 0;
}

namespace {

// `bytes` / `unit` with two decimals, rounded to nearest and, on an exact
// tie, to the even last digit, as printf rounds its "%.2f".
std::wstring two_decimals(std::uint32_t bytes, std::uint64_t unit)
{
    const std::uint64_t scaled = static_cast<std::uint64_t>(bytes) * 100u;
    std::uint64_t hundredths = scaled / unit;
    const std::uint64_t rest = scaled % unit;
    if (rest * 2 > unit || (rest * 2 == unit && hundredths % 2 == 1)) ++hundredths;
    const std::uint64_t fraction = hundredths % 100;
    return text::decimal(hundredths / 100) + L'.' + (fraction < 10 ? L"0" : L"") + text::decimal(fraction);
}

}  // namespace

std::wstring FormatByteSize(std::uint32_t bytes)
{
    if (bytes < 1024u) return text::decimal(bytes);
    if (bytes < 1048576u) return two_decimals(bytes, 1024u) + L"KB";
    if (bytes < 1073741824u) return two_decimals(bytes, 1048576u) + L"MB";
    return two_decimals(bytes, 1073741824u) + L"GB";
}

std::wstring GetFileNameFromUrl(const std::wstring& url)
{
    const std::size_t cut = url.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return url;
    return url.substr(cut + 1);
}

namespace {

bool digest_matches(platform::platform& sys, const std::wstring& path, const std::wstring& expected)
{
    std::uint8_t digest[32];
    if (!sys.file_sha256(path, digest)) return false;
    static const wchar_t hex[] = L"0123456789abcdef";
    std::wstring actual;
    for (std::uint8_t b : digest) {
        actual.push_back(hex[b >> 4]);
        actual.push_back(hex[b & 0xF]);
    }
    return actual == expected;
}

}  // namespace

std::int32_t DownloadComponent::on_progress(std::uint32_t so_far, std::uint32_t total)
{
    if (callback.IsCancelRequested()) {
        cancelled = true;
        return e_abort;
    }
    const std::wstring progress = item.componentname + L" (" + FormatByteSize(so_far) + L" of " + FormatByteSize(total) +
                         L") - " + text::decimal(static_cast<std::uint32_t>(index)) + L"/" + text::decimal(static_cast<std::uint32_t>(count));
    callback.ReportProgress(so_far, total, progress);
    return 0;
}

void DownloadComponent::Fetch()
{
    const std::wstring name =
        item.destinationfilename.empty() ? GetFileNameFromUrl(item.sourceurl) : item.destinationfilename;
    const std::wstring target = config::combine_path(item.destinationpath, name);
    sys_.create_directory(item.destinationpath);
    const platform::transfer_result r = sys_.download_url(item.sourceurl, target, *this);
    if (r.hresult < 0) throw r.hresult;
    // A transfer can report success without delivering the file: an HTTP
    // error page saved in its place, or a target that could not be written.
    // Running either would run the wrong thing.
    std::uint64_t size = 0;
    if (r.http_status >= 400) {
        sys_.delete_file(target);
        throw inet_e_download_failure;
    }
    if (!sys_.file_size(target, size)) throw inet_e_download_failure;
    if (!item.sha256.empty() && !digest_matches(sys_, target, item.sha256)) {
        // A file that is not the one the publisher named is never run.
        sys_.delete_file(target);
        throw trust_e_bad_digest;
    }
}

std::uint32_t DownloadThreadProc(platform::platform& sys, IDownloadCallback& callback)
{
    std::wstring current = L"-";
    try {
        const std::vector<const config::download_item*>& items = callback.GetDownloadItems();
        const int count = static_cast<int>(items.size());
        for (int i = 0; i < count; ++i) {
            if (callback.IsCancelRequested()) {
                callback.ReportCancelled();
                return 0;
            }
            current = items[i]->componentname;
            DownloadComponent transfer(sys, callback, *items[i], i + 1, count);
            transfer.Fetch();
            if (transfer.cancelled) {
                callback.ReportCancelled();
                return 0;
            }
        }
        callback.ReportFinished();
    } catch (...) {
        callback.ReportFailure(L"Failed to download component: " + current);
    }
    return 0;
}

bool download_component_files(platform::platform& sys, components::component& c)
{
    if (!c.has_download_dialog) return true;
    try {
        std::vector<const config::download_item*> items;
        for (const auto& item : c.download_dialog.downloads) items.push_back(&item);
        SilentDownloader downloader(sys, std::move(items));
        platform::thread_handle thread = 0;
        // A worker that cannot be started is a failed download, never an
        // endless wait.
        if (!sys.start_thread([&sys, &downloader] { DownloadThreadProc(sys, downloader); }, thread)) return false;
        downloader.worker_thread = thread;
        // The worker reports exactly once and then ends: waiting for its end
        // means no flag is missed and the downloader outlives every use.
        sys.wait_thread(thread, 0xFFFFFFFFu);
        const bool ok = downloader.finished && !downloader.failed;
        return ok;
    } catch (...) {
        return false;
    }
}

}  // namespace download
