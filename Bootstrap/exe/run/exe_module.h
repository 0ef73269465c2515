// The program's module object: one per process, built before the entry point
// runs. It carries the module-wide lock and remembers whether it could be set
// up at all.
#pragma once

#include <windows.h>

class CExeModule {
public:
    static CExeModule& instance();
    bool initialisation_failed() const { return failed_; }
    long lock() { return InterlockedIncrement(&lock_count_); }
    long unlock() { return InterlockedDecrement(&lock_count_); }

private:
    CExeModule();
    ~CExeModule();
    CExeModule(const CExeModule&) = delete;
    CExeModule& operator=(const CExeModule&) = delete;

    CRITICAL_SECTION section_;
    volatile LONG lock_count_ = 0;
    bool failed_ = false;
};
