// The program's module object: one per process, built during static
// initialisation, before the entry point and before anything else can load
// a DLL. It makes the process take DLLs from the system folder only.
#pragma once

class CExeModule {
public:
    static CExeModule& instance();

private:
    CExeModule();
    CExeModule(const CExeModule&) = delete;
    CExeModule& operator=(const CExeModule&) = delete;
};
