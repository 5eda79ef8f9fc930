// The registry half of the seam over the Windows ANSI registry functions. The seam's
// 32-bit key handles name HKEYs held here, each in its own holder: a handle that was
// never closed is closed when this object goes.
#pragma once

#include <map>

#include "platform/platform_services.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {

class Win32Registry : public Registry {
 public:
  RegistryResult RegOpenKeyA(PredefinedRoot root, const Text& subKey, KeyHandle& key) override;
  RegistryResult RegOpenKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                               std::uint32_t access, KeyHandle& key) override;
  RegistryResult RegCreateKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                                 std::uint32_t access, KeyHandle& key,
                                 std::uint32_t& disposition) override;
  RegistryResult RegSetValueExA(KeyHandle key, const Text& valueName, std::int32_t type,
                                const std::vector<std::uint8_t>& data) override;
  RegistryResult RegEnumKeyExA(KeyHandle key, std::uint32_t index, Text& name) override;
  RegistryResult RegDeleteKeyA(PredefinedRoot root, const Text& subKey) override;
  RegistryResult RegFlushKey(KeyHandle key) override;
  RegistryResult RegCloseKey(KeyHandle key) override;
  Text DescribeStatus(RegistryResult status) override;
  RegistryResult ToAnsiCodePage(const Text& text, std::string& bytes) override;

 private:
  // Takes ownership of an opened key and names it with a new seam handle.
  KeyHandle Adopt(UniqueKey key);
  // The HKEY a seam handle names, or nullptr.
  HKEY Find(KeyHandle key) const;

  std::map<KeyHandle, UniqueKey> keys_;
  KeyHandle lastHandle_ = 0;
};

}  // namespace ruvo::win32
