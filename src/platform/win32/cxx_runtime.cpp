// The C++ runtime of the Windows program, which is built without exceptions.
//
// What would still throw is the standard library. Its allocation, and the size checks
// that only sizes beyond memory can fail, land here with operator new: the user is
// told that memory ran out, and the program ends at once (status 3). Its checks for
// faults of the program itself (an index out of range, an empty std::function, a bad
// argument) and a call through a pure virtual function end the program the same way,
// told as what they are (status 4), rather than bring in the unwinder.
//
// The library's own string code is compiled with exceptions, and with it would come
// the unwinder, the exception classes and the terminate handler with its name
// demangler. The strings are instantiated here instead, without exceptions, so the
// linker never needs the library's copies.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "registration/messages.h"

namespace {

constexpr unsigned kOutOfMemoryExitStatus = 3;
constexpr unsigned kProgramFaultExitStatus = 4;

// From fixed texts: nothing here may need the memory that may have run out.
[[noreturn]] void Stop(std::wstring_view message, unsigned status) noexcept {
  ::MessageBoxW(nullptr, message.data(), ruvo::kApplicationTitle.data(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
  ::ExitProcess(status);
}

[[noreturn]] void StopForLackOfMemory() noexcept {
  Stop(ruvo::kOutOfMemoryMessage, kOutOfMemoryExitStatus);
}

[[noreturn]] void StopForProgramFault() noexcept {
  Stop(ruvo::kProgramFaultMessage, kProgramFaultExitStatus);
}

void* Allocate(std::size_t size) noexcept {
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) StopForLackOfMemory();
  return memory;
}

}  // namespace

// The library's throw points the program can reach, answered without throwing.
namespace std {

void __throw_bad_alloc() {
  StopForLackOfMemory();
}
void __throw_bad_array_new_length() {
  StopForLackOfMemory();
}
void __throw_length_error(const char*) {
  StopForLackOfMemory();
}
void __throw_logic_error(const char*) {
  StopForProgramFault();
}
void __throw_out_of_range(const char*) {
  StopForProgramFault();
}
void __throw_out_of_range_fmt(const char*, ...) {
  StopForProgramFault();
}
void __throw_invalid_argument(const char*) {
  StopForProgramFault();
}
void __throw_bad_function_call() {
  StopForProgramFault();
}

}  // namespace std

template class std::basic_string<char>;
template class std::basic_string<wchar_t>;

// The library's answer to a call through a pure virtual function would bring in the
// terminate handler.
extern "C" void __cxa_pure_virtual() {
  StopForProgramFault();
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
