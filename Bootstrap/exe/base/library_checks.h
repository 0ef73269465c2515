// Included ahead of every source file of the Windows build. The library's
// checks (bounds of strings and vectors, non-empty fronts) stay on, but a
// tripped check reports no file name, function signature and condition
// text: those would be stored for every check in every object file, several
// kilobytes in all. Setup.exe's runtime ends the process on a tripped check.
#pragma once

#include <bits/c++config.h>

#ifdef _GLIBCXX_ASSERTIONS
[[noreturn]] __attribute__((noinline, cold)) inline void library_check_failed() noexcept
{
    std::__glibcxx_assert_fail("", 0, "", "");
}

#undef __glibcxx_assert_impl
#define __glibcxx_assert_impl(_Condition)                   \
    if (__builtin_expect(!bool(_Condition), false)) {       \
        __glibcxx_constexpr_assert(false);                  \
        ::library_check_failed();                           \
    }
#endif
