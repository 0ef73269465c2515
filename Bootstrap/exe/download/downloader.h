// Fetching a component's files before the silent sequence runs it: one
// worker thread per component, one item after the other.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "components/component.h"
#include "config/download_records.h"
#include "platform/platform.h"

namespace download {

// How the worker and the transfer report to whoever waits for them.
class IDownloadCallback {
public:
    virtual ~IDownloadCallback() = default;
    virtual void ReportProgress(std::uint32_t so_far, std::uint32_t total, const std::wstring& text) = 0;
    virtual void ReportFinished() = 0;
    virtual void ReportFailure(const std::wstring& message) = 0;
    virtual bool IsCancelRequested() = 0;
    virtual void ReportCancelled() = 0;
    virtual const std::vector<const config::download_item*>& GetDownloadItems() = 0;
};

// Waits without a window: progress is not shown and nothing cancels.
class SilentDownloader : public IDownloadCallback {
public:
    SilentDownloader(platform::platform& sys, std::vector<const config::download_item*> items);
    ~SilentDownloader() override;

    void ReportProgress(std::uint32_t, std::uint32_t, const std::wstring&) override {}
    void ReportFinished() override { finished = true; }
    // The message is neither kept nor shown: the failure question says it.
    void ReportFailure(const std::wstring&) override { failed = true; }
    bool IsCancelRequested() override { return false; }
    void ReportCancelled() override { failed = true; }
    const std::vector<const config::download_item*>& GetDownloadItems() override { return items; }
    void WaitForWorker();

    std::vector<const config::download_item*> items;
    platform::thread_handle worker_thread = 0;  // 0: no thread
    std::atomic<bool> finished{false};
    std::atomic<bool> failed{false};

private:
    platform::platform& sys_;
};

// The transfer of one item: builds the target, creates the folder, fetches,
// and reports progress to the callback.
class DownloadComponent : public platform::transfer_callback {
public:
    DownloadComponent(platform::platform& sys, IDownloadCallback& callback, const config::download_item& item,
                      int index, int count)
        : callback(callback), item(item), index(index), count(count), sys_(sys)
    {
    }

    // Raises the failing HRESULT (an std::int32_t) when the transfer fails.
    void Fetch();
    std::int32_t on_progress(std::uint32_t so_far, std::uint32_t total) override;

    IDownloadCallback& callback;
    const config::download_item& item;
    int index;  // 1-based
    int count;
    bool cancelled = false;

private:
    platform::platform& sys_;
};

// The worker's routine: fetches every item and reports exactly one of
// finished, failure or cancellation.
std::uint32_t DownloadThreadProc(platform::platform& sys, IDownloadCallback& callback);

std::wstring FormatByteSize(std::uint32_t bytes);
std::wstring GetFileNameFromUrl(const std::wstring& url);

// True when the component has nothing to fetch or everything arrived.
// Never raises.
bool download_component_files(platform::platform& sys, components::component& c);

// HRESULTs of the failures the program tells apart.
constexpr std::int32_t e_abort = static_cast<std::int32_t>(0x80004004);
// The server answered with an HTTP error status, or nothing arrived.
constexpr std::int32_t inet_e_download_failure = static_cast<std::int32_t>(0x800C0008);
// The file that arrived does not have the expected digest.
constexpr std::int32_t trust_e_bad_digest = static_cast<std::int32_t>(0x80096010);

}  // namespace download
