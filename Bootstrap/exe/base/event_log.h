// Where a run's events go, one line each. The lower layers (installed
// checks, the reader, the downloader) write to it without knowing where the
// lines end up; the run decides that.
#pragma once

#include <string>

namespace base {

class event_log {
public:
    virtual ~event_log() = default;
    // False once nothing is kept, so that a caller can skip building a line
    // that nobody reads.
    virtual bool wanted() const = 0;
    virtual void write(const std::wstring& event) = 0;
};

}  // namespace base
