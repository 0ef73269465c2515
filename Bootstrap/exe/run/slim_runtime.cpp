// The few parts of the C++ runtime that Setup.exe needs, in the form it
// needs them. The program is built without exception support: every failure
// travels as a value. What is left is a lack of memory, or a library check
// that a program without faults never trips: the process then ends at once
// with its only status, 1, as if it had been ended from outside. Defining
// these here also keeps the runtime's own versions out of the program,
// with the exception machinery, the symbol demangler and the formatted
// messages they would bring (about 100 KB).
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <new>

namespace {

[[noreturn]] void end_now() { ExitProcess(1); }

void* allocate(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) end_now();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

extern "C" void __cxa_pure_virtual() { end_now(); }

namespace __gnu_cxx {

void __verbose_terminate_handler() { end_now(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { end_now(); }
void __throw_bad_array_new_length() { end_now(); }
void __throw_length_error(const char*) { end_now(); }
void __throw_logic_error(const char*) { end_now(); }
void __throw_out_of_range(const char*) { end_now(); }
void __throw_out_of_range_fmt(const char*, ...) { end_now(); }
void __throw_invalid_argument(const char*) { end_now(); }
void __throw_bad_function_call() { end_now(); }
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { end_now(); }

// Asked by a shared object made by make_shared whether a deleter lookup
// names the library's own tag type. Only code built with type information
// could pass that type, and the program has none: the answer is always no.
// The runtime's version would bring in shared_ptr's whole library part, and
// with it the exception machinery and the unwinder (about 44 KB).
bool _Sp_make_shared_tag::_S_eq(const type_info&) noexcept { return false; }

}  // namespace std
