// Keeps the statically linked C++ runtime small.
//
// The library's error paths (a string's length_error, out_of_range and the
// like) build exception objects with strings of their own, and an uncaught
// exception prints its demangled type name: together they link more code
// than the whole program. Measured with the banner as it is stored now:
// without these, Setup.exe is 301 KB (64-bit) and 376 KB (32-bit), over the
// 256 KB it is held to; with them, 174 KB and 213 KB. None of those errors can happen in this program
// short of a bug, so they end it at once; running out of memory still
// throws std::bad_alloc, which the program answers with a message.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
}  // namespace std
