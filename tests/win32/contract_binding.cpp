// Binds the backend contract suite to the Win32 backend: the real registry under
// HKEY_CURRENT_USER\Software\RuvoContract and real folders on drive C:, both
// removed again after each test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "contract_backend.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_registry.h"

namespace ruvo::contract {
namespace {

constexpr const wchar_t* kScratchParent = L"Software\\RuvoContract";

// A name no other test and no other run uses: the process and the running test.
Text UniqueName() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test != nullptr ? std::string(test->test_suite_name()) + "-" + test->name()
                                     : std::string("outside-a-test");
  for (char& c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '-';
  }
  return std::to_wstring(::GetCurrentProcessId()) + L"-" + Text(name.begin(), name.end());
}

std::optional<std::string> ReadWholeFile(const Text& path) {
  win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

// Deletes a folder and everything in it; a missing folder is nothing to delete.
void DeleteFolderTree(const Text& folder) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const Text name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const Text path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteFolderTree(path);
      } else {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

Backend MakeBackend() {
  const Text unique = UniqueName();
  Backend backend;
  backend.registry = std::make_unique<win32::Win32Registry>();
  backend.files = std::make_unique<win32::Win32FileSystem>();
  backend.scratchKey = Text(kScratchParent) + L"\\" + unique;
  backend.scratchFolder = L"c:\\ruvo-contract-" + unique;
  backend.readFile = ReadWholeFile;
  backend.cleanUp = [key = backend.scratchKey, folder = backend.scratchFolder] {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent);  // fails while others still use it
    DeleteFolderTree(folder);
  };
  return backend;
}

}  // namespace ruvo::contract
