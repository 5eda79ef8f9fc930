// Small routines between the install and uninstall sequences and the registry:
// open a key and write one typed value, write a value into an open key, delete a key,
// flush a key.
#pragma once

#include <cstdint>
#include <variant>

#include "platform/platform_services.h"

namespace ruvo {

// The value to write: a text or a number, converted to the requested type.
using VariantValue = std::variant<Text, std::int32_t>;

// Opens `keyPath` under HKEY_CURRENT_USER for setting values and writes one value.
// Returns the first failing status, or 0.
RegistryResult WriteKeyValue(Registry& registry, const Text& keyPath, const Text& valueName,
                             const VariantValue& value, std::int32_t valueType);

// Writes a REG_SZ (with its terminating zero, as the registry expects) or a
// REG_DWORD (four bytes, little-endian). Writes nothing and fails with
// ERROR_INVALID_PARAMETER for any other type, and with ERROR_INVALID_DATA for a text
// that is not a whole 32-bit number where a REG_DWORD is asked for.
RegistryResult SetRegistryValue(Registry& registry, KeyHandle key, const Text& valueName,
                                std::int32_t valueType, const VariantValue& value);

RegistryResult RemoveKey(Registry& registry, PredefinedRoot root, const Text& subKey);

// Writes what changed in and below `keyPath` to the disk now; "" names the root.
RegistryResult FlushKey(Registry& registry, PredefinedRoot root, const Text& keyPath);

// Closes the key it holds when it goes out of scope, whatever happened meanwhile.
class OpenedKey {
 public:
  explicit OpenedKey(Registry& registry) : registry_(registry) {}
  ~OpenedKey() { registry_.RegCloseKey(handle_); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  KeyHandle& handle() { return handle_; }
  KeyHandle get() const { return handle_; }

 private:
  Registry& registry_;
  KeyHandle handle_ = 0;
};

}  // namespace ruvo
