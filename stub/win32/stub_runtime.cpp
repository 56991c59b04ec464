// The stub is built without exceptions to stay small. The C++ library's
// few throwing paths (length errors, failed allocations) and its verbose
// terminate handler would otherwise pull in the unwinder and the symbol
// demangler; here they end the process instead.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void OutOfResources() {
  ExitProcess(1);
}

}  // namespace

namespace std {
[[noreturn]] void __throw_length_error(const char*) {
  OutOfResources();
}
[[noreturn]] void __throw_logic_error(const char*) {
  OutOfResources();
}
[[noreturn]] void __throw_out_of_range(const char*) {
  OutOfResources();
}
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) {
  OutOfResources();
}
[[noreturn]] void __throw_invalid_argument(const char*) {
  OutOfResources();
}
[[noreturn]] void __throw_bad_alloc() {
  OutOfResources();
}
[[noreturn]] void __throw_bad_array_new_length() {
  OutOfResources();
}
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  OutOfResources();
}
}  // namespace __gnu_cxx

void* operator new(std::size_t size) {
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) OutOfResources();
  return memory;
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
