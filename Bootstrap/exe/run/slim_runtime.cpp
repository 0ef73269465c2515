// Replacements for a few parts of the C++ runtime that a statically linked
// Setup.exe would otherwise carry without needing them (about 100 KB): the
// verbose terminate handler with its symbol demangler, and the helpers that
// throw the standard exceptions with formatted messages (which drag in a
// second string implementation and printf). Setup.exe never shows these
// messages: every exception is caught and reported in its own words, so a
// plain std::bad_alloc carries the failure just as well.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
void __throw_invalid_argument(const char*) { throw bad_alloc(); }
void __throw_bad_function_call() { throw bad_alloc(); }
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { std::abort(); }

}  // namespace std
