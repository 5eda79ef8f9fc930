#include "registry/registry_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>

#include "fake_platform.h"
#include "registration/record.h"

namespace ruvo {
namespace {

using fake::FakeRegistry;

class RegistryHelpersTest : public ::testing::Test {
 protected:
  std::vector<std::string> journal;
  FakeRegistry registry{journal};
  const Text keyPath{kExtensionKeyPath};

  void SetUp() override { registry.AddKey(kHkeyCurrentUser, keyPath); }

  std::vector<std::uint8_t> Stored(const Text& name) {
    auto value = registry.GetValue(kHkeyCurrentUser, keyPath, name);
    EXPECT_TRUE(value.has_value()) << "no value " << std::string(name.begin(), name.end());
    return value ? value->data : std::vector<std::uint8_t>{};
  }
};

TEST_F(RegistryHelpersTest, StringValueCarriesItsTerminatingZero) {
  ASSERT_EQ(WriteKeyValue(registry, keyPath, L"", Text(kHandlerPageUrl), kRegSz), 0);
  const auto value = registry.GetValue(kHkeyCurrentUser, keyPath, L"");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, kRegSz);
  std::vector<std::uint8_t> expected(kHandlerPageUrl.begin(), kHandlerPageUrl.end());
  expected.push_back(0);
  EXPECT_EQ(value->data, expected);
  EXPECT_EQ(value->data.size(), 38u);
}

TEST_F(RegistryHelpersTest, ConvertsEachValueToTheRequestedType) {
  struct Case {
    const wchar_t* name;
    VariantValue value;
    std::int32_t type;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {L"Contexts", 32, kRegDword, {0x20, 0x00, 0x00, 0x00}},
      {L"Negative", -2, kRegDword, {0xFE, 0xFF, 0xFF, 0xFF}},
      {L"FromText", Text(L"32"), kRegDword, {0x20, 0x00, 0x00, 0x00}},
      {L"Number as text", 32, kRegSz, {'3', '2', 0}},
      {L"Zero as text", 0, kRegSz, {'0', 0}},
      {L"Lowest as text",
       INT32_MIN,
       kRegSz,
       {'-', '2', '1', '4', '7', '4', '8', '3', '6', '4', '8', 0}},
      {L"Empty", Text(L""), kRegSz, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::wcslen(c.name)));
    ASSERT_EQ(WriteKeyValue(registry, keyPath, c.name, c.value, c.type), 0);
    const auto value = registry.GetValue(kHkeyCurrentUser, keyPath, c.name);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(value->data, c.bytes);
  }
}

TEST_F(RegistryHelpersTest, OtherTypesWriteNothingAndAreRefused) {
  for (std::int32_t type : {0, 2, 3, 7, 11}) {
    KeyHandle key = 0;
    ASSERT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, keyPath, key), 0);
    EXPECT_EQ(SetRegistryValue(registry, key, L"Other", type, Text(L"x")), kErrorInvalidParameter)
        << type;
    registry.RegCloseKey(key);
  }
  EXPECT_TRUE(registry.ValueNames(kHkeyCurrentUser, keyPath).empty());
}

TEST_F(RegistryHelpersTest, TextThatIsNotANumberCannotBecomeADword) {
  for (const wchar_t* text : {L"", L"thirty-two", L"32x", L"99999999999", L"-2147483649"}) {
    EXPECT_EQ(WriteKeyValue(registry, keyPath, L"Contexts", Text(text), kRegDword),
              kErrorInvalidData)
        << text;
  }
  EXPECT_TRUE(registry.ValueNames(kHkeyCurrentUser, keyPath).empty());
  EXPECT_EQ(registry.OpenHandleCount(), 0u) << "a refused conversion still closes the key";
}

TEST_F(RegistryHelpersTest, TextTheCodePageCannotHoldIsRefusedNotMangled) {
  EXPECT_EQ(WriteKeyValue(registry, keyPath, L"Name", Text(L"caf\u00e9"), kRegSz),
            kErrorNoUnicodeTranslation);
  EXPECT_TRUE(registry.ValueNames(kHkeyCurrentUser, keyPath).empty());
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(RegistryHelpersTest, WriteToAMissingKeyReportsTheOpenStatusAndCreatesNothing) {
  const std::size_t keysBefore = registry.KeyCount();
  EXPECT_EQ(WriteKeyValue(registry, keyPath + L"\\Missing", L"", Text(L"x"), kRegSz),
            kErrorFileNotFound);
  EXPECT_EQ(registry.KeyCount(), keysBefore);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(RegistryHelpersTest, WriteReportsAFailedSetAndStillClosesTheKey) {
  registry.FailNext("RegSetValueExA Contexts", kErrorAccessDenied);
  EXPECT_EQ(WriteKeyValue(registry, keyPath, L"Contexts", 32, kRegDword), kErrorAccessDenied);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST_F(RegistryHelpersTest, RemoveKeyReportsWhatTheRegistrySays) {
  EXPECT_EQ(RemoveKey(registry, kHkeyCurrentUser, keyPath + L"\\Missing"), kErrorFileNotFound);
  registry.AddKey(kHkeyCurrentUser, keyPath + L"\\Child");
  EXPECT_EQ(RemoveKey(registry, kHkeyCurrentUser, keyPath), kErrorAccessDenied);
  EXPECT_TRUE(registry.HasKey(kHkeyCurrentUser, keyPath));
  EXPECT_EQ(RemoveKey(registry, kHkeyCurrentUser, keyPath + L"\\CHILD"), 0);
  EXPECT_EQ(RemoveKey(registry, kHkeyCurrentUser, keyPath), 0);
  EXPECT_FALSE(registry.HasKey(kHkeyCurrentUser, keyPath));
}

}  // namespace
}  // namespace ruvo
