// An uncaught exception ends this program as abort() does. The library's own
// handler would first print the exception's demangled type to a console a
// window program does not have, and it links the whole demangler (46 KiB) in.
#include <cstdlib>

namespace __gnu_cxx {
[[noreturn]] void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
