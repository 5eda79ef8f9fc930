#include "registry/registry_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/text.h"
#include "registration/record.h"

namespace ruvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// REG_SZ data: the text and its terminating zero.
Bytes Sz(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

class RegistryHelpersTest : public ::testing::Test {
 protected:
  std::vector<std::string> journal;
  fake::FakeRegistry registry{journal};
  const Text keyPath{kExtensionKeyPath};

  void SetUp() override { registry.AddKey(kHkeyCurrentUser, keyPath); }
};

TEST_F(RegistryHelpersTest, WritesEachValueAsTheRequestedTypeOrRefusesItWritingNothing) {
  struct Case {
    const wchar_t* name;  // the value's name
    VariantValue value;
    std::int32_t type;
    RegistryResult expected;
    Bytes bytes = {};            // written when accepted
    const wchar_t* below = L"";  // a subkey of the extension's key to write to
    bool setFails = false;
  };
  const Case cases[] = {
      {L"", Text(kHandlerPageUrl), kRegSz, 0, Sz("file://c:/Program Files/ruvo/ruvo.htm")},
      {L"Contexts", 32, kRegDword, 0, {0x20, 0x00, 0x00, 0x00}},
      {L"FromText", Text(L"32"), kRegDword, 0, {0x20, 0x00, 0x00, 0x00}},
      {L"Number as text", 32, kRegSz, 0, Sz("32")},
      {L"REG_BINARY", Text(L"x"), 3, kErrorInvalidParameter},
      {L"A number with a tail", Text(L"32x"), kRegDword, kErrorInvalidData},
      {L"Above 32 bits", Text(L"99999999999"), kRegDword, kErrorInvalidData},
      {L"Beyond the code page", Text(L"caf\u00e9"), kRegSz, kErrorNoUnicodeTranslation},
      {L"Missing key", Text(L"x"), kRegSz, kErrorFileNotFound, {}, L"\\Missing"},
      {L"Refused set", 32, kRegDword, kErrorAccessDenied, {}, L"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.name));
    if (c.setFails) registry.FailNext("RegSetValueExA " + ToUtf8(c.name), kErrorAccessDenied);
    const std::size_t keys = registry.KeyCount();
    const std::size_t values = registry.ValueNames(kHkeyCurrentUser, keyPath).size();

    EXPECT_EQ(WriteKeyValue(registry, keyPath + c.below, c.name, c.value, c.type), c.expected);

    const auto value = registry.GetValue(kHkeyCurrentUser, keyPath, c.name);
    if (c.expected == kErrorSuccess) {
      ASSERT_TRUE(value);
      EXPECT_EQ(value->type, c.type);
      EXPECT_EQ(value->data, c.bytes);
    } else {
      EXPECT_EQ(registry.ValueNames(kHkeyCurrentUser, keyPath).size(), values) << "wrote nothing";
    }
    EXPECT_EQ(registry.KeyCount(), keys);
    EXPECT_EQ(registry.OpenHandleCount(), 0u) << "the key is closed whatever happened";
  }
}

}  // namespace
}  // namespace ruvo
