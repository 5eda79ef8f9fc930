#include "platform/win32/win32_registry.h"

#include <winternl.h>

#include "platform/win32/system_text.h"

// ntdll's key deletion, which RegDeleteKeyA itself ends in; MinGW's ntdll import
// library has it, no header declares it.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace ruvo::win32 {
namespace {

// HKEY_CURRENT_USER and its kin are these numbers sign-extended to a pointer.
HKEY RootKey(PredefinedRoot root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

RegistryResult Status(LSTATUS status) {
  return static_cast<RegistryResult>(status);
}

// A key path or value name as the ANSI functions take it; false when the code page
// cannot hold it exactly.
bool AnsiName(const Text& text, std::string& name) {
  return ToAnsi(text, name);
}

}  // namespace

KeyHandle Win32Registry::Adopt(UniqueKey key) {
  ++lastHandle_;
  if (lastHandle_ == 0) ++lastHandle_;  // 0 means no key
  keys_[lastHandle_] = std::move(key);
  return lastHandle_;
}

HKEY Win32Registry::Find(KeyHandle key) const {
  const auto found = keys_.find(key);
  return found == keys_.end() ? nullptr : found->second.get();
}

RegistryResult Win32Registry::RegOpenKeyA(PredefinedRoot root, const Text& subKey, KeyHandle& key) {
  key = 0;
  std::string path;
  if (!AnsiName(subKey, path)) return kErrorNoUnicodeTranslation;
  UniqueKey opened;
  const LSTATUS status = ::RegOpenKeyA(RootKey(root), path.c_str(), opened.put());
  if (status == ERROR_SUCCESS) key = Adopt(std::move(opened));
  return Status(status);
}

RegistryResult Win32Registry::RegOpenKeyExA(PredefinedRoot root, const Text& subKey,
                                            std::uint32_t options, std::uint32_t access,
                                            KeyHandle& key) {
  key = 0;
  std::string path;
  if (!AnsiName(subKey, path)) return kErrorNoUnicodeTranslation;
  UniqueKey opened;
  const LSTATUS status =
      ::RegOpenKeyExA(RootKey(root), path.c_str(), options, access, opened.put());
  if (status == ERROR_SUCCESS) key = Adopt(std::move(opened));
  return Status(status);
}

RegistryResult Win32Registry::RegCreateKeyExA(PredefinedRoot root, const Text& subKey,
                                              std::uint32_t options, std::uint32_t access,
                                              KeyHandle& key, std::uint32_t& disposition) {
  key = 0;
  disposition = 0;
  std::string path;
  if (!AnsiName(subKey, path)) return kErrorNoUnicodeTranslation;
  UniqueKey created;
  DWORD how = 0;
  const LSTATUS status = ::RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, options, access,
                                           nullptr, created.put(), &how);
  if (status == ERROR_SUCCESS) {
    key = Adopt(std::move(created));
    disposition = how;
  }
  return Status(status);
}

RegistryResult Win32Registry::RegSetValueExA(KeyHandle key, const Text& valueName,
                                             std::int32_t type,
                                             const std::vector<std::uint8_t>& data) {
  const HKEY opened = Find(key);
  if (opened == nullptr) return kErrorInvalidHandle;
  std::string name;
  if (!AnsiName(valueName, name)) return kErrorNoUnicodeTranslation;
  return Status(::RegSetValueExA(opened, name.c_str(), 0, static_cast<DWORD>(type), data.data(),
                                 static_cast<DWORD>(data.size())));
}

RegistryResult Win32Registry::RegEnumKeyExA(KeyHandle key, std::uint32_t index, Text& name) {
  name.clear();
  const HKEY opened = Find(key);
  if (opened == nullptr) return kErrorInvalidHandle;
  char buffer[256];  // a key's name holds at most 255 characters
  DWORD size = sizeof buffer;
  const LSTATUS status =
      ::RegEnumKeyExA(opened, index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS && !FromAnsi(std::string(buffer, size), name)) {
    return kErrorNoUnicodeTranslation;
  }
  return Status(status);
}

RegistryResult Win32Registry::RegDeleteKeyA(PredefinedRoot root, const Text& subKey) {
  std::string path;
  if (!AnsiName(subKey, path)) return kErrorNoUnicodeTranslation;
  // RegDeleteKeyA opens the key it deletes following a registry link, and so deletes
  // the link's target. The key is opened as itself instead, and deleted through that
  // handle: a link goes, its target stays.
  UniqueKey key;
  const LSTATUS opened =
      ::RegOpenKeyExA(RootKey(root), path.c_str(), REG_OPTION_OPEN_LINK, DELETE, key.put());
  if (opened != ERROR_SUCCESS) return Status(opened);
  return Status(static_cast<LSTATUS>(::RtlNtStatusToDosError(::NtDeleteKey(key.get()))));
}

RegistryResult Win32Registry::RegFlushKey(KeyHandle key) {
  const HKEY opened = Find(key);
  if (opened == nullptr) return kErrorInvalidHandle;
  return Status(::RegFlushKey(opened));
}

RegistryResult Win32Registry::RegCloseKey(KeyHandle key) {
  const auto found = keys_.find(key);
  if (found == keys_.end()) return kErrorInvalidHandle;
  const LSTATUS status = ::RegCloseKey(found->second.release());
  keys_.erase(found);
  return Status(status);
}

Text Win32Registry::DescribeStatus(RegistryResult status) {
  return SystemMessage(static_cast<DWORD>(status));
}

RegistryResult Win32Registry::ToAnsiCodePage(const Text& text, std::string& bytes) {
  return ToAnsi(text, bytes) ? kErrorSuccess : kErrorNoUnicodeTranslation;
}

}  // namespace ruvo::win32
