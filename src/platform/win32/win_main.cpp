// The program's entry: harden DLL loading, open the window, run its messages.
#include <windows.h>

#include "platform/win32/main_frame.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_instance_lock.h"
#include "platform/win32/win32_registry.h"
#include "registration/messages.h"
#include "window/window_handlers.h"

namespace {

constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// A program started from a Downloads folder must never load a DLL planted beside it:
// from here on, DLLs come from System32 only. SetDefaultDllDirectories exists from
// Windows 8 (and 7 with KB2533623); older systems at least drop the current folder.
void RestrictDllSearchToSystem32() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const FARPROC found =
      kernel != nullptr ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
  // Through void(*)(): a cast between unrelated function types is what GetProcAddress
  // callers must do, and this form says so to the compiler.
  const auto setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found));
  if (setDefaultDllDirectories == nullptr || !setDefaultDllDirectories(kSearchSystem32)) {
    ::SetDllDirectoryW(L"");
  }
}

// COM for the picture loader, for as long as the window lives.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialised_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

int RunMessageLoop(const ruvo::win32::MainFrame& frame) {
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab, Enter and Space move the focus and press the button as in a dialog.
    if (frame.Window() != nullptr && ::IsDialogMessageW(frame.Window(), &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  RestrictDllSearchToSystem32();
  const ComApartment com;

  ruvo::win32::Win32Registry registry;
  ruvo::win32::Win32FileSystem files;
  ruvo::win32::MainFrame frame(instance);
  ruvo::win32::Win32InstanceLock lock(frame);
  ruvo::PlatformServices platform{registry, files, frame, lock};
  ruvo::WindowHandlers handlers(platform);
  if (const ruvo::Text failure = frame.Open(handlers, showCommand); !failure.empty()) {
    const ruvo::Text text = ruvo::Text(ruvo::kCouldNotStartHeadline) + L"\n\n" + failure;
    ::MessageBoxW(nullptr, text.c_str(), ruvo::Text(ruvo::kApplicationTitle).c_str(),
                  MB_OK | MB_ICONERROR);
    return 1;
  }
  return RunMessageLoop(frame);
}
