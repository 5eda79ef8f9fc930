#include "registry/registry_helpers.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace ruvo {
namespace {

Text ToText(const VariantValue& value) {
  if (const auto* text = std::get_if<Text>(&value)) return *text;
  return DecimalText(*std::get_if<std::int32_t>(&value));
}

// The number a value stands for; nothing when it is a text that is not a whole
// 32-bit number.
std::optional<std::int32_t> ToInt32(const VariantValue& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  const Text& text = *std::get_if<Text>(&value);
  errno = 0;
  wchar_t* end = nullptr;
  const long long parsed = std::wcstoll(text.c_str(), &end, 10);
  const bool whole = !text.empty() && end != text.c_str() && *end == L'\0';
  if (!whole || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(parsed);
}

RegistryResult StringBytes(Registry& registry, const Text& text, std::vector<std::uint8_t>& bytes) {
  std::string ansi;
  if (const RegistryResult status = registry.ToAnsiCodePage(text, ansi); status != kErrorSuccess) {
    return status;
  }
  bytes.assign(ansi.begin(), ansi.end());
  bytes.push_back(0);
  return kErrorSuccess;
}

std::vector<std::uint8_t> DwordBytes(std::int32_t number) {
  const auto bits = static_cast<std::uint32_t>(number);
  return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

}  // namespace

RegistryResult WriteKeyValue(Registry& registry, const Text& keyPath, const Text& valueName,
                             const VariantValue& value, std::int32_t valueType) {
  OpenedKey key(registry);
  const RegistryResult opened =
      registry.RegOpenKeyExA(kHkeyCurrentUser, keyPath, 0, kKeySetValue, key.handle());
  if (opened != kErrorSuccess) return opened;
  return SetRegistryValue(registry, key.get(), valueName, valueType, value);
}

RegistryResult SetRegistryValue(Registry& registry, KeyHandle key, const Text& valueName,
                                std::int32_t valueType, const VariantValue& value) {
  switch (valueType) {
    case kRegSz: {
      std::vector<std::uint8_t> bytes;
      const RegistryResult converted = StringBytes(registry, ToText(value), bytes);
      if (converted != kErrorSuccess) return converted;
      return registry.RegSetValueExA(key, valueName, kRegSz, bytes);
    }
    case kRegDword: {
      const std::optional<std::int32_t> number = ToInt32(value);
      if (!number) return kErrorInvalidData;
      return registry.RegSetValueExA(key, valueName, kRegDword, DwordBytes(*number));
    }
    default:
      return kErrorInvalidParameter;
  }
}

RegistryResult RemoveKey(Registry& registry, PredefinedRoot root, const Text& subKey) {
  return registry.RegDeleteKeyA(root, subKey);
}

RegistryResult FlushKey(Registry& registry, PredefinedRoot root, const Text& keyPath) {
  OpenedKey key(registry);
  const RegistryResult opened =
      registry.RegOpenKeyExA(root, keyPath, 0, kKeyQueryValue, key.handle());
  if (opened != kErrorSuccess) return opened;
  return registry.RegFlushKey(key.get());
}

}  // namespace ruvo
