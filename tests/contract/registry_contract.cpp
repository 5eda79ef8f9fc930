#include "registry_contract.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace ruvo::contract {
namespace {

constexpr std::int32_t kRegBinary = 3;

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Text Upper(Text text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

Text Lower(Text text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

// Both ways the installer opens a key, each with the rights the installer asks for.
struct Opener {
  const char* name;
  std::function<RegistryResult(Registry&, const Text&, KeyHandle&)> open;
};

const std::vector<Opener>& Openers() {
  static const std::vector<Opener> openers = {
      {"RegOpenKeyA",
       [](Registry& registry, const Text& path, KeyHandle& key) {
         return registry.RegOpenKeyA(kHkeyCurrentUser, path, key);
       }},
      {"RegOpenKeyExA",
       [](Registry& registry, const Text& path, KeyHandle& key) {
         return registry.RegOpenKeyExA(kHkeyCurrentUser, path, 0, kKeySetValue, key);
       }},
  };
  return openers;
}

}  // namespace

void RegistryContract::SetUp() {
  backend_ = MakeBackend();
}

void RegistryContract::TearDown() {
  for (KeyHandle key : handles_) registry().RegCloseKey(key);
  backend_.registry.reset();
  backend_.files.reset();
  if (backend_.cleanUp) backend_.cleanUp();
}

KeyHandle RegistryContract::Track(KeyHandle key) {
  if (key != 0) handles_.push_back(key);
  return key;
}

KeyHandle RegistryContract::Create(const Text& relative, std::uint32_t* disposition) {
  KeyHandle key = 0;
  std::uint32_t created = 0;
  EXPECT_EQ(registry().RegCreateKeyExA(kHkeyCurrentUser, Path(relative), kRegOptionNonVolatile,
                                       kKeyEverySpecificRight, key, created),
            kErrorSuccess);
  if (disposition != nullptr) *disposition = created;
  return Track(key);
}

KeyHandle RegistryContract::Open(const Text& relative, std::uint32_t access) {
  KeyHandle key = 0;
  registry().RegOpenKeyExA(kHkeyCurrentUser, Path(relative), 0, access, key);
  return Track(key);
}

TEST_F(RegistryContract, CreatingMakesMissingParentsAndTellsNewFromExisting) {
  std::uint32_t disposition = 0;
  EXPECT_NE(Create(L"Alpha\\Beta\\Gamma", &disposition), 0u);
  EXPECT_EQ(disposition, kRegCreatedNewKey);

  EXPECT_NE(Open(L"Alpha"), 0u);
  EXPECT_NE(Open(L"Alpha\\Beta"), 0u);

  // The parents came into being with the key; created again, each is opened.
  for (const Text& existing : {Text(L"Alpha"), Text(L"Alpha\\Beta"), Text(L"alpha\\BETA\\gamma")}) {
    SCOPED_TRACE(ToUtf8(existing));
    disposition = 0;
    EXPECT_NE(Create(existing, &disposition), 0u);
    EXPECT_EQ(disposition, kRegOpenedExistingKey);
  }
}

TEST_F(RegistryContract, EachOpenGivesItsOwnHandle) {
  const KeyHandle first = Create(L"Twice");
  const KeyHandle second = Create(L"Twice");
  const KeyHandle third = Open(L"Twice");
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(third, 0u);
  EXPECT_NE(first, second);
  EXPECT_NE(second, third);
  EXPECT_NE(first, third);
}

TEST_F(RegistryContract, KeyPathsIgnoreCase) {
  ASSERT_NE(Create(L"MixedCase\\Child"), 0u);
  const Text spellings[] = {Lower(Path(L"MixedCase\\Child")), Upper(Path(L"MixedCase\\Child")),
                            backend_.scratchKey + L"\\mIXEDcASE\\cHILD"};
  for (const Opener& opener : Openers()) {
    for (const Text& spelling : spellings) {
      SCOPED_TRACE(std::string(opener.name) + " " + ToUtf8(spelling));
      KeyHandle key = 0;
      EXPECT_EQ(opener.open(registry(), spelling, key), kErrorSuccess);
      EXPECT_NE(Track(key), 0u);
    }
  }
}

TEST_F(RegistryContract, MissingKeyOpensAsHandleZeroWithStatus2) {
  ASSERT_NE(Create(L"Present"), 0u);
  const Text missing[] = {Path(L"Missing"), Path(L"Missing\\Child"), Path(L"Present\\Missing"),
                          Path(L"Presen")};
  for (const Opener& opener : Openers()) {
    for (const Text& path : missing) {
      SCOPED_TRACE(std::string(opener.name) + " " + ToUtf8(path));
      KeyHandle key = 0;
      EXPECT_EQ(opener.open(registry(), path, key), kErrorFileNotFound);
      EXPECT_EQ(Track(key), 0u);
    }
  }
}

TEST_F(RegistryContract, ValuesKeepExactlyTheTypeAndBytesGiven) {
  struct Case {
    Text name;
    std::int32_t type;
    Bytes data;
  };
  const std::string url = "file://c:/Program Files/ruvo/ruvo.htm";
  const std::vector<Case> cases = {
      {L"", kRegSz, BytesOf(url + std::string(1, '\0'))},  // the default value, 38 bytes
      {L"Contexts", kRegDword, {0x20, 0x00, 0x00, 0x00}},
      {L"Text", kRegSz, BytesOf(std::string("Hello", 6))},
      {L"Binary", kRegBinary, {0x00, 0xFF, 0x00, 0x00, 0x7F, 0x00}},
      {L"Empty", kRegBinary, {}},
  };
  ASSERT_EQ(cases[0].data.size(), 38u);
  const KeyHandle writer = Create(L"Values");
  for (const Case& value : cases) {
    SCOPED_TRACE(ToUtf8(value.name));
    EXPECT_EQ(registry().RegSetValueExA(writer, value.name, value.type, value.data), kErrorSuccess);
  }
  ASSERT_EQ(registry().RegCloseKey(writer), kErrorSuccess);

  for (const Case& value : cases) {
    SCOPED_TRACE(ToUtf8(value.name));
    EXPECT_EQ(Stored(L"Values", value.name), std::make_pair(value.type, value.data));
  }
}

TEST_F(RegistryContract, ValueNamesIgnoreCaseAndSettingAgainReplacesTheValue) {
  const KeyHandle key = Create(L"Replace");
  ASSERT_EQ(registry().RegSetValueExA(key, L"Contexts", kRegDword, {0x20, 0, 0, 0}), kErrorSuccess);
  ASSERT_EQ(registry().RegSetValueExA(key, L"CONTEXTS", kRegBinary, {1, 2, 3, 4, 5, 6, 7, 8}),
            kErrorSuccess);
  ASSERT_EQ(registry().RegSetValueExA(key, L"contexts", kRegSz, {'x', 0}), kErrorSuccess);

  // One value, the last one set: the shorter value replaced the longer one wholly.
  for (const Text& name : {Text(L"Contexts"), Text(L"CONTEXTS"), Text(L"cOnTeXtS")}) {
    SCOPED_TRACE(ToUtf8(name));
    EXPECT_EQ(Stored(L"Replace", name), std::make_pair(kRegSz, Bytes{'x', 0}));
  }
  EXPECT_EQ(Stored(L"Replace", L""), std::nullopt);
}

TEST_F(RegistryContract, KeyWithSubkeysCannotBeDeletedAndStaysWhole) {
  const KeyHandle parent = Create(L"Parent");
  ASSERT_EQ(registry().RegSetValueExA(parent, L"Kept", kRegDword, {7, 0, 0, 0}), kErrorSuccess);
  ASSERT_NE(Create(L"Parent\\Child"), 0u);

  EXPECT_EQ(registry().RegDeleteKeyA(kHkeyCurrentUser, Path(L"Parent")), kErrorAccessDenied);

  EXPECT_EQ(Stored(L"Parent", L"Kept"), std::make_pair(kRegDword, Bytes{7, 0, 0, 0}));
  EXPECT_NE(Open(L"Parent\\Child"), 0u);

  // Children first, then the parent: both go, values and all.
  EXPECT_EQ(registry().RegDeleteKeyA(kHkeyCurrentUser, Path(L"PARENT\\child")), kErrorSuccess);
  EXPECT_EQ(Open(L"Parent\\Child"), 0u);
  EXPECT_EQ(registry().RegDeleteKeyA(kHkeyCurrentUser, Path(L"Parent")), kErrorSuccess);
  KeyHandle gone = 0;
  EXPECT_EQ(registry().RegOpenKeyA(kHkeyCurrentUser, Path(L"Parent"), gone), kErrorFileNotFound);
  EXPECT_EQ(Track(gone), 0u);
}

TEST_F(RegistryContract, SubkeysAreListedOneByOneAsFirstSpelledAndOnlyTheirOwn) {
  ASSERT_NE(Create(L"Parent\\Second"), 0u);
  ASSERT_NE(Create(L"Parent\\First\\Deeper"), 0u);
  struct Case {
    const char* name;
    Text key;
    std::uint32_t access;
    std::vector<Text> names;
    RegistryResult after;  // what the index after the last gives
  };
  const std::vector<Case> cases = {
      {"two children, not the grandchild",
       L"PARENT",
       kKeyEnumerateSubKeys,
       {L"First", L"Second"},
       kErrorNoMoreItems},
      {"none", L"Parent\\Second", kKeyEnumerateSubKeys, {}, kErrorNoMoreItems},
      {"a handle without the right", L"Parent", kKeyQueryValue, {}, kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const KeyHandle key = Open(c.key, c.access);
    ASSERT_NE(key, 0u);
    std::vector<Text> names;
    Text name;
    RegistryResult status = kErrorSuccess;
    while ((status = registry().RegEnumKeyExA(key, static_cast<std::uint32_t>(names.size()),
                                              name)) == kErrorSuccess) {
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(status, c.after);
  }
}

TEST_F(RegistryContract, AccessRightsAreEnforcedPerHandle) {
  // Each way of getting a handle to the same key, and what that handle may do.
  struct Case {
    const char* name;
    std::function<KeyHandle()> open;
    bool canSet;
  };
  const auto create = [this](std::uint32_t access) {
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(registry().RegCreateKeyExA(kHkeyCurrentUser, Path(L"Rights"), kRegOptionNonVolatile,
                                         access, key, disposition),
              kErrorSuccess);
    return Track(key);
  };
  const std::vector<Case> cases = {
      {"RegOpenKeyA",
       [this] {
         KeyHandle key = 0;
         EXPECT_EQ(registry().RegOpenKeyA(kHkeyCurrentUser, Path(L"Rights"), key), kErrorSuccess);
         return Track(key);
       },
       true},
      {"RegOpenKeyExA KEY_SET_VALUE", [this] { return Open(L"Rights", kKeySetValue); }, true},
      {"RegOpenKeyExA KEY_QUERY_VALUE", [this] { return Open(L"Rights", kKeyQueryValue); }, false},
      {"RegCreateKeyExA KEY_SET_VALUE", [&] { return create(kKeySetValue); }, true},
      {"RegCreateKeyExA KEY_QUERY_VALUE", [&] { return create(kKeyQueryValue); }, false},
  };
  const KeyHandle full = Create(L"Rights");
  const Bytes before = {0x11, 0, 0, 0};
  const Bytes after = {0x22, 0, 0, 0};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ASSERT_EQ(registry().RegSetValueExA(full, L"Probe", kRegDword, before), kErrorSuccess);
    const KeyHandle key = test.open();
    ASSERT_NE(key, 0u);

    EXPECT_EQ(registry().RegSetValueExA(key, L"Probe", kRegDword, after),
              test.canSet ? kErrorSuccess : kErrorAccessDenied);
    EXPECT_EQ(Stored(L"Rights", L"Probe"), std::make_pair(kRegDword, test.canSet ? after : before));
  }
}

TEST_F(RegistryContract, DeletingAKeyThatIsNotThereGives2) {
  ASSERT_NE(Create(L"Once"), 0u);
  ASSERT_EQ(registry().RegDeleteKeyA(kHkeyCurrentUser, Path(L"Once")), kErrorSuccess);
  for (const Text& path : {Path(L"Once"), Path(L"Never"), Path(L"Never\\Child")}) {
    SCOPED_TRACE(ToUtf8(path));
    EXPECT_EQ(registry().RegDeleteKeyA(kHkeyCurrentUser, path), kErrorFileNotFound);
  }
}

TEST_F(RegistryContract, HandleToADeletedKeyCannotSetValues) {
  KeyHandle key = 0;
  std::uint32_t disposition = 0;
  ASSERT_EQ(registry().RegCreateKeyExA(kHkeyCurrentUser, Path(L"Doomed"), kRegOptionNonVolatile,
                                       kKeyEverySpecificRight, key, disposition),
            kErrorSuccess);
  ASSERT_EQ(registry().RegDeleteKeyA(kHkeyCurrentUser, Path(L"Doomed")), kErrorSuccess);
  EXPECT_EQ(registry().RegSetValueExA(key, L"Contexts", kRegDword, {0x20, 0, 0, 0}),
            kErrorKeyDeleted);
  // The key must not have come back with the value.
  EXPECT_EQ(Open(L"Doomed"), 0u);
  EXPECT_EQ(registry().RegCloseKey(key), kErrorSuccess);
}

TEST_F(RegistryContract, UnknownHandlesGive6) {
  KeyHandle closed = 0;
  std::uint32_t disposition = 0;
  ASSERT_EQ(registry().RegCreateKeyExA(kHkeyCurrentUser, Path(L"Closed"), kRegOptionNonVolatile,
                                       kKeyEverySpecificRight, closed, disposition),
            kErrorSuccess);
  ASSERT_EQ(registry().RegCloseKey(closed), kErrorSuccess);

  for (const KeyHandle key : {KeyHandle{0}, closed}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(registry().RegCloseKey(key), kErrorInvalidHandle);
    EXPECT_EQ(registry().RegSetValueExA(key, L"", kRegSz, {'x', 0}), kErrorInvalidHandle);
  }
}

TEST_F(RegistryContract, TheSamePathUnderAnotherRootIsAnotherKey) {
  ASSERT_NE(Create(L"OnlyForTheUser"), 0u);
  KeyHandle key = 0;
  EXPECT_EQ(registry().RegOpenKeyA(kHkeyLocalMachine, Path(L"OnlyForTheUser"), key),
            kErrorFileNotFound);
  EXPECT_EQ(Track(key), 0u);
}

TEST_F(RegistryContract, AsciiTextReachesTheRegistryUnchanged) {
  Text printable;
  std::string expected;
  for (char c = ' '; c <= '~'; ++c) {
    printable += static_cast<wchar_t>(c);
    expected += c;
  }
  std::string bytes;
  EXPECT_EQ(registry().ToAnsiCodePage(printable, bytes), kErrorSuccess);
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(registry().ToAnsiCodePage(L"", bytes), kErrorSuccess);
  EXPECT_EQ(bytes, "");
}

TEST_F(RegistryContract, TextTheCodePageCannotHoldExactlyIsRefusedNotReplaced) {
  // "\u221E" would become "8" by best fit; the face has no single-byte form at all.
  for (const Text& text : {Text(L"x\u221Ey"), Text(L"a\U0001F600")}) {
    std::string bytes;
    EXPECT_EQ(registry().ToAnsiCodePage(text, bytes), kErrorNoUnicodeTranslation);
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(registry().RegCreateKeyExA(kHkeyCurrentUser, Path(text), kRegOptionNonVolatile,
                                         kKeyEverySpecificRight, key, disposition),
              kErrorNoUnicodeTranslation);
    EXPECT_EQ(Track(key), 0u);
  }
}

}  // namespace ruvo::contract
