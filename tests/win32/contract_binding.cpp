// Binds the backend contract suite to the Win32 backend: the real registry under
// HKEY_CURRENT_USER\Software\RuvoContract and real folders on drive C:, both
// removed again after each test.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "contract_backend.h"
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
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Read straight from the registry, under the names the seam writes (ANSI).
std::optional<std::pair<std::int32_t, std::vector<std::uint8_t>>> ReadValue(const Text& keyPath,
                                                                             const Text& name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  const std::string ansi(name.begin(), name.end());  // the suite's names are ASCII
  DWORD type = 0;
  DWORD size = 0;
  std::vector<std::uint8_t> data;
  LSTATUS status = ::RegQueryValueExA(key, ansi.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    data.resize(size);
    status = ::RegQueryValueExA(key, ansi.c_str(), nullptr, &type, data.data(), &size);
    data.resize(size);
  }
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return std::make_pair(static_cast<std::int32_t>(type), data);
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
  backend.readValue = ReadValue;
  backend.cleanUp = [key = backend.scratchKey, folder = backend.scratchFolder] {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent);  // fails while others still use it
    std::error_code ignored;  // a folder the test never made is nothing to delete
    std::filesystem::remove_all(std::filesystem::path(folder), ignored);
  };
  return backend;
}

}  // namespace ruvo::contract
