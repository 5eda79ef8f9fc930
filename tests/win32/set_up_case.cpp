// A test-only helper (never shipped) that sets up what some end-to-end cases start
// from, things a plain `wine reg` or a shell cannot make:
//
//   set_up_case registry-link LINK TARGET   makes HKCU\LINK a registry link to the key
//                                     the registry names TARGET (\Registry\Machine\...)
//   set_up_case hold-open PATH              opens the file without letting others delete
//                                     it, prints "held", and keeps it open until killed
//   set_up_case stale-enter                 types Enter into the window that has the
//                                     keyboard, dated a minute ago, as a key typed
//                                     long before reaches a program that was busy
//   set_up_case hold mutex|event NAME       makes the named mutex (and takes it) or event,
//                                     prints "held", and keeps it until killed
//
// Exit status: 0 done, 1 the system refused (its code is printed), 2 bad use.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int Refused(const char* what, DWORD code) {
  std::fprintf(stderr, "set_up_case: %s failed with %lu\n", what, code);
  return 1;
}

int MakeRegistryLink(const wchar_t* link, const std::wstring& target) {
  HKEY key = nullptr;
  LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, link, 0, nullptr, REG_OPTION_CREATE_LINK,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return Refused("creating the link", status);
  // A link's target is its value SymbolicLinkValue, without a terminating zero.
  status = ::RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                            reinterpret_cast<const BYTE*>(target.c_str()),
                            static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS ? 0 : Refused("pointing the link at the target", status);
}

int HoldOpen(const wchar_t* path) {
  const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Refused("opening the file", ::GetLastError());
  std::puts("held");
  std::fflush(stdout);
  ::Sleep(INFINITE);
  return 0;
}

int HoldObject(const std::wstring& kind, const wchar_t* name) {
  const HANDLE object = kind == L"mutex" ? ::CreateMutexW(nullptr, TRUE, name)
                                         : ::CreateEventW(nullptr, TRUE, FALSE, name);
  if (object == nullptr) return Refused("making the object", ::GetLastError());
  std::puts("held");
  std::fflush(stdout);
  ::Sleep(INFINITE);
  return 0;
}

int TypeStaleEnter() {
  const DWORD aMinuteAgo = ::GetTickCount() - 60000;
  INPUT keys[2] = {};
  for (INPUT& key : keys) {
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = VK_RETURN;
    key.ki.time = aMinuteAgo;
  }
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return ::SendInput(2, keys, sizeof(INPUT)) == 2 ? 0 : Refused("typing", ::GetLastError());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"registry-link" && argc == 4) return MakeRegistryLink(argv[2], argv[3]);
  if (command == L"hold-open" && argc == 3) return HoldOpen(argv[2]);
  if (command == L"stale-enter" && argc == 2) return TypeStaleEnter();
  if (command == L"hold" && argc == 4) return HoldObject(argv[2], argv[3]);
  std::fputs(
      "usage: set_up_case registry-link LINK TARGET | hold-open PATH | stale-enter | "
      "hold mutex|event NAME\n",
      stderr);
  return 2;
}
