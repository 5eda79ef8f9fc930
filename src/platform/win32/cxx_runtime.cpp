// The C++ runtime of the Windows program, which is built without exceptions.
//
// What would still throw is the standard library. Its allocation, and the size checks
// that only sizes beyond memory can fail, land here with operator new: the user is
// told that memory ran out, and the program ends at once. Its checks for faults of
// the program itself (an index out of range, an empty std::function) cannot be
// reached by this program's code; should one be, it ends the program the same way
// rather than bring in the unwinder.
//
// The library's own string code is compiled with exceptions, and with it would come
// the unwinder, the exception classes and the terminate handler with its name
// demangler. The strings are instantiated here instead, without exceptions, so the
// linker never needs the library's copies.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

#include "platform/win32/out_of_memory.h"
#include "registration/messages.h"

namespace ruvo::win32 {

void StopForLackOfMemory() noexcept {
  // From fixed texts: nothing here may need the memory that ran out.
  ::MessageBoxW(nullptr, kOutOfMemoryMessage.data(), kApplicationTitle.data(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
  ::ExitProcess(kOutOfMemoryExitStatus);
}

}  // namespace ruvo::win32

namespace {

void* Allocate(std::size_t size) noexcept {
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) ruvo::win32::StopForLackOfMemory();
  return memory;
}

}  // namespace

// The library's throw points the program can reach, answered without throwing.
namespace std {

void __throw_bad_alloc() {
  ruvo::win32::StopForLackOfMemory();
}
void __throw_bad_array_new_length() {
  ruvo::win32::StopForLackOfMemory();
}
void __throw_length_error(const char*) {
  ruvo::win32::StopForLackOfMemory();
}
void __throw_logic_error(const char*) {
  ruvo::win32::StopForLackOfMemory();
}
void __throw_out_of_range(const char*) {
  ruvo::win32::StopForLackOfMemory();
}
void __throw_out_of_range_fmt(const char*, ...) {
  ruvo::win32::StopForLackOfMemory();
}
void __throw_invalid_argument(const char*) {
  ruvo::win32::StopForLackOfMemory();
}
void __throw_bad_function_call() {
  ruvo::win32::StopForLackOfMemory();
}

}  // namespace std

template class std::basic_string<char>;
template class std::basic_string<wchar_t>;

// A call through a pure virtual function is a fault in the program itself; the
// library's answer would bring in the terminate handler.
extern "C" void __cxa_pure_virtual() {
  std::abort();
}

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
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
