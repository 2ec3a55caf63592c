// The library's terminate handler: end the process at once. The runtime's own handler prints
// the demangled type of the exception, which drags a C++ demangler of some 40 KB into a
// library that throws nothing and has no console to print to.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}  // namespace __gnu_cxx
