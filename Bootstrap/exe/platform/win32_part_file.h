// The file a transfer stores into, written by the network role.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32_handles.h"

namespace win32 {

// Deleted again unless the transfer keeps it. Its handle is open only while
// bytes are written, and then nobody else may open it, so that whoever gives
// up on the transfer (a watcher that saw it stall, or a user who cancelled)
// can delete it at once, even while the transfer still waits on the network:
// a file held open across those waits would keep its name in the folder
// until the transfer ended. A write that came after that delete finds no
// file and writes nothing. Between writes the name keeps others out: it is
// the attempt's own. It holds its own copy of the path, so that it may
// outlive whoever named it.
class partial_file {
public:
    explicit partial_file(std::wstring path) : path_(std::move(path)) { created_ = open_for(CREATE_ALWAYS); }
    ~partial_file()
    {
        if (created_ && !keep_) DeleteFileW(path_.c_str());
    }
    partial_file(const partial_file&) = delete;
    partial_file& operator=(const partial_file&) = delete;
    bool created() const { return created_; }
    // Appends; what is held back is written once it fills the buffer.
    bool write(const char* data, DWORD size)
    {
        held_.insert(held_.end(), data, data + size);
        return held_.size() < held_back || flush();
    }
    // Writes what is held back and keeps the file.
    bool keep()
    {
        keep_ = flush();
        return keep_;
    }

private:
    static constexpr std::size_t held_back = 256 * 1024;

    bool open_for(DWORD disposition)
    {
        kernel_handle file(CreateFileW(path_.c_str(), disposition == CREATE_ALWAYS ? GENERIC_WRITE : FILE_APPEND_DATA,
                                       FILE_SHARE_DELETE, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        const bool ok = held_.empty() || (WriteFile(file.get(), held_.data(), static_cast<DWORD>(held_.size()),
                                                    &written, nullptr) &&
                                          written == held_.size());
        held_.clear();
        return ok;
    }
    // Only to a file that is still there: one deleted meanwhile stays gone.
    bool flush() { return held_.empty() || open_for(OPEN_EXISTING); }

    const std::wstring path_;
    std::vector<char> held_;
    bool created_ = false;
    bool keep_ = false;
};

}  // namespace win32
