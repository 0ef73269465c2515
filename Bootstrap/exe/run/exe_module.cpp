#include "run/exe_module.h"

namespace {
// Built during static initialisation, before wWinMain.
CExeModule& module_object = CExeModule::instance();
}  // namespace

CExeModule& CExeModule::instance()
{
    static CExeModule module;
    return module;
}

CExeModule::CExeModule()
{
    failed_ = !InitializeCriticalSectionAndSpinCount(&section_, 0);
}

CExeModule::~CExeModule()
{
    if (!failed_) DeleteCriticalSection(&section_);
}
