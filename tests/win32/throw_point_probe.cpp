// A test-only program (never shipped) built with the Windows program's C++ runtime:
// it reaches one of the standard library's throw points, as running out of memory or
// a fault in the program would, so the end-to-end script can see the user told and
// the program ended with the status that says which.
//
//   throw_point_probe string     a string asked to grow past its largest size
//   throw_point_probe new        an allocation the system cannot satisfy
//   throw_point_probe at         a character read past a string's end with at()
//   throw_point_probe function   an empty std::function called
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <functional>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  // A size no process can have, which the optimiser cannot see through, so the
  // request really happens.
  volatile std::size_t huge = static_cast<std::size_t>(PTRDIFF_MAX) - 15;
  const std::wstring how = commandLine;
  if (how == L"string") {
    std::wstring text;
    text.reserve(text.max_size() + (huge & 1u) + 1);
    return static_cast<int>(text.size());
  }
  if (how == L"new") {
    char* bytes = new char[huge];
    bytes[huge - 1] = 1;
    const int last = bytes[huge - 1];
    delete[] bytes;
    return last;
  }
  if (how == L"at") return how.at(how.size() + (huge & 1u));
  if (how == L"function") {
    std::function<int()> nothing;
    if (huge == 0) nothing = [] { return 1; };
    return nothing();
  }
  return 2;
}
