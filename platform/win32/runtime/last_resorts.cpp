// The C++ runtime's last resorts in the shipped binaries (Mendalix.dll, Quorvex.exe,
// btctl.exe), which are built without exception support: nothing in them throws or catches.
// Where the runtime would throw (memory exhausted, a container grown past its largest size,
// an empty std::function called), nothing would catch it and the process would end; here
// it ends at once. The runtime's own terminate handler prints the exception's demangled
// type first, which drags a C++ demangler into programs that have no console to print to.
// Together with the unwinder these would be some 100 KB of each binary.
#include <cstddef>
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_bad_function_call() { abort(); }
}  // namespace std

// The replaceable allocation functions. No new-handler is ever installed, so the standard
// ones would throw std::bad_alloc where these end the process.
void* operator new(std::size_t size) {
  if (void* p = malloc(size ? size : 1)) return p;
  abort();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
