// A test-only program (never shipped) built with the Windows program's C++ runtime:
// it reaches one of the standard library's throw points, as running out of memory
// would, so the end-to-end script can see the user told and the program ended.
//
//   out_of_memory_probe string   a string asked to grow past its largest size
//   out_of_memory_probe new      an allocation the system cannot satisfy
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  // A size no process can have, which the optimiser cannot see through, so the
  // request really happens.
  volatile std::size_t huge = static_cast<std::size_t>(PTRDIFF_MAX) - 15;
  if (std::wcscmp(commandLine, L"string") == 0) {
    std::wstring text;
    text.reserve(text.max_size() + (huge & 1u) + 1);
    return static_cast<int>(text.size());
  }
  if (std::wcscmp(commandLine, L"new") == 0) {
    char* bytes = new char[huge];
    bytes[huge - 1] = 1;
    const int last = bytes[huge - 1];
    delete[] bytes;
    return last;
  }
  return 2;
}
