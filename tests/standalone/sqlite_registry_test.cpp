// The registry stand-in's own behaviour beyond the backend contract: its file, its
// roots and handles, and what it says about status codes.
#include <sys/stat.h>

#include "platform/standalone/sqlite_registry.h"
#include "platform/text.h"
#include "standalone_test_support.h"

namespace ruvo::standalone_test {
namespace {

using store::SqliteRegistry;

class SqliteRegistryTest : public ::testing::Test {
 protected:
  TemporaryFolder temporary;
  std::filesystem::path store = temporary.path() / "data" / "registry.sqlite3";
  SqliteRegistry registry{store};

  KeyHandle Create(const Text& path, PredefinedRoot root = kHkeyCurrentUser) {
    return CreateKey(registry, path, root);
  }
};

// Reading a store that is not there yet, and whatever is done to a root (which
// always exists, holds no values and cannot go), leaves the disk alone.
TEST_F(SqliteRegistryTest, ReadsAndRootsOfAMissingStoreCreateNothing) {
  KeyHandle key = 0;
  EXPECT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, L"Software", key), kErrorFileNotFound);
  EXPECT_EQ(key, 0u);
  EXPECT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"Software"), kErrorFileNotFound);

  std::uint32_t disposition = 0;
  ASSERT_EQ(registry.RegCreateKeyExA(kHkeyUsers, L"", 0, kKeyEverySpecificRight, key, disposition),
            kErrorSuccess);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  EXPECT_EQ(registry.RegSetValueExA(key, L"", kRegSz, {'u', 0}), kErrorAccessDenied);
  EXPECT_EQ(registry.RegFlushKey(key), kErrorSuccess);
  EXPECT_EQ(registry.RegCloseKey(key), kErrorSuccess);
  EXPECT_EQ(registry.RegDeleteKeyA(kHkeyUsers, L""), kErrorAccessDenied);
  EXPECT_EQ(registry.Examine().problem, "");

  EXPECT_EQ(Names(temporary.path()), std::set<std::string>{});
}

// No file, or an empty one as a crash right after making it leaves: the first write
// makes our marked store, alone in a folder that only the user can enter.
TEST(SqliteRegistryStore, TheFirstWriteMakesAMarkedStoreOfNoFileOrAnEmptyOne) {
  for (const bool empty : {false, true}) {
    SCOPED_TRACE(empty ? "an empty file" : "no file");
    TemporaryFolder temporary;
    const std::filesystem::path store = empty ? temporary.path() / "registry.sqlite3"
                                              : temporary.path() / "data" / "registry.sqlite3";
    if (empty) WriteBytes(store, "");
    SqliteRegistry registry(store);
    EXPECT_EQ(registry.Examine().problem, "");
    KeyHandle key = 0;
    EXPECT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, L"Software", key), kErrorFileNotFound);
    std::uint32_t disposition = 0;
    ASSERT_EQ(registry.RegCreateKeyExA(kHkeyCurrentUser, L"Software\\Ruvo", 0,
                                       kKeyEverySpecificRight, key, disposition),
              kErrorSuccess);
    EXPECT_EQ(disposition, kRegCreatedNewKey);

    EXPECT_EQ(Names(store.parent_path()), std::set<std::string>{"registry.sqlite3"});
    struct stat info {};
    ASSERT_EQ(::stat(store.parent_path().c_str(), &info), 0);
    if (!empty) {
      EXPECT_EQ(info.st_mode & 0777, 0700u);  // the folder it made
    }
    Sql sql(store);
    EXPECT_EQ(sql.Run("PRAGMA application_id"), Rows{"1381324367"});
    EXPECT_EQ(sql.Run("PRAGMA user_version"), Rows{"1"});
    EXPECT_EQ(sql.Run("PRAGMA journal_mode"), Rows{"delete"});
  }
}

// Each call is one transaction: another program reading the file sees its change as
// soon as it returns. A key, its parents and its values keep their first spelling.
TEST_F(SqliteRegistryTest, EveryChangeIsInTheFileWhenTheCallReturns) {
  registry.RegCloseKey(Create(L"Software\\Ruvo\\First"));
  registry.RegCloseKey(Create(L"SOFTWARE\\RUVO\\Second"));
  const KeyHandle key = Create(L"software\\ruvo\\second");
  ASSERT_EQ(registry.RegSetValueExA(key, L"MixedName", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
  ASSERT_EQ(registry.RegSetValueExA(key, L"MIXEDNAME", kRegDword, {2, 0, 0, 0}), kErrorSuccess);
  const KeyHandle gone = Create(L"Software\\Ruvo\\Gone");
  ASSERT_EQ(registry.RegSetValueExA(gone, L"Left", kRegDword, {3, 0, 0, 0}), kErrorSuccess);
  ASSERT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"software\\ruvo\\GONE"), kErrorSuccess);

  Sql sql(store);
  EXPECT_EQ(
      sql.Run("SELECT path FROM keys ORDER BY path"),
      (Rows{"Software", "Software\\Ruvo", "Software\\Ruvo\\First", "Software\\Ruvo\\Second"}));
  // The deleted key's value went with it.
  EXPECT_EQ(sql.Run("SELECT name || '=' || hex(data) FROM key_values"), Rows{"MixedName=02000000"});
}

TEST_F(SqliteRegistryTest, TheFourRootsAreSeparateTrees) {
  const PredefinedRoot roots[] = {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine,
                                  kHkeyUsers};
  for (const PredefinedRoot root : roots) {
    const std::uint8_t mark = static_cast<std::uint8_t>(root);
    ASSERT_EQ(registry.RegSetValueExA(Create(L"Software\\Same", root), L"", kRegBinary, {mark}),
              kErrorSuccess);
  }
  ASSERT_EQ(registry.RegDeleteKeyA(kHkeyLocalMachine, L"Software\\Same"), kErrorSuccess);
  for (const PredefinedRoot root : roots) {
    SCOPED_TRACE(root);
    const bool deleted = root == kHkeyLocalMachine;
    KeyHandle key = 0;
    ASSERT_EQ(registry.RegOpenKeyA(root, L"Software\\Same", key),
              deleted ? kErrorFileNotFound : kErrorSuccess);
    if (deleted) continue;
    EXPECT_EQ(StoredValue(store, L"Software\\Same", L"", root),
              std::make_pair(kRegBinary, Bytes{static_cast<std::uint8_t>(root)}));
  }
}

TEST_F(SqliteRegistryTest, OtherRootsAndMalformedPathsAreRefusedWithoutTouchingTheFile) {
  struct Case {
    PredefinedRoot root;
    Text path;
    RegistryResult status;
  };
  const Case cases[] = {
      {0, L"Software", kErrorInvalidHandle},
      {0x80000004u, L"Software", kErrorInvalidHandle},  // performance data
      {0x80000005u, L"Software", kErrorInvalidHandle},  // current config
      {0x100, L"Software", kErrorInvalidHandle},
      {kHkeyCurrentUser, L"\\Software", 161},
      {kHkeyCurrentUser, L"Software\\", 161},
      {kHkeyCurrentUser, L"Software\\\\Ruvo", 161},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(ToUtf8(test.path) + " under " + std::to_string(test.root));
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(
        registry.RegCreateKeyExA(test.root, test.path, 0, kKeyEverySpecificRight, key, disposition),
        test.status);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry.RegOpenKeyA(test.root, test.path, key), test.status);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry.RegDeleteKeyA(test.root, test.path), test.status);
  }
  EXPECT_EQ(Names(temporary.path()), std::set<std::string>{});
}

TEST_F(SqliteRegistryTest, AnOldHandleNeverReachesAKeyMadeAgainAtTheSamePath) {
  const KeyHandle old = Create(L"Phoenix");
  ASSERT_EQ(registry.RegSetValueExA(old, L"Life", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
  ASSERT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"Phoenix"), kErrorSuccess);
  const KeyHandle reborn = Create(L"Phoenix");

  EXPECT_EQ(registry.RegSetValueExA(old, L"Life", kRegDword, {2, 0, 0, 0}), kErrorKeyDeleted);
  EXPECT_EQ(StoredValue(store, L"Phoenix", L"Life"), std::nullopt);  // values went too
  EXPECT_EQ(registry.RegSetValueExA(reborn, L"Life", kRegDword, {3, 0, 0, 0}), kErrorSuccess);
  EXPECT_EQ(StoredValue(store, L"Phoenix", L"Life"), std::make_pair(kRegDword, Bytes{3, 0, 0, 0}));
}

// Never a predefined root's value, and never one still open, however many were closed.
TEST_F(SqliteRegistryTest, HandlesAreNonZeroAndDistinctWhileOpen) {
  std::set<KeyHandle> open;
  for (int i = 0; i < 40; ++i) {
    const KeyHandle key = Create(L"Handles");
    EXPECT_NE(key, 0u);
    EXPECT_LT(key, kHkeyClassesRoot);
    EXPECT_TRUE(open.insert(key).second) << key;
    if (i % 3 == 0) {
      EXPECT_EQ(registry.RegCloseKey(key), kErrorSuccess);
      open.erase(key);
    }
  }
}

TEST_F(SqliteRegistryTest, StatusesAreDescribedInTheSystemsWords) {
  const std::pair<RegistryResult, Text> cases[] = {
      {2, L"The system cannot find the file specified."},
      {5, L"Access is denied."},
      {6, L"The handle is invalid."},
      {170, L"The requested resource is in use."},
      {1009, L"The configuration registry database is corrupt."},
      {1018, L"Illegal operation attempted on a registry key that has been marked for deletion."},
      {1234, L"Error 1234."},
      {-1, L"Error -1."},
  };
  for (const auto& [status, text] : cases) {
    SCOPED_TRACE(status);
    EXPECT_EQ(registry.DescribeStatus(status), text);
  }
}

// The stand-in's code page is ASCII: "é", which Windows' code page 1252 holds, is not.
TEST_F(SqliteRegistryTest, TextOutsideAsciiIsRefusedAndNulIsKept) {
  std::string bytes;
  EXPECT_EQ(registry.ToAnsiCodePage(L"caf\u00e9", bytes), kErrorNoUnicodeTranslation);
  EXPECT_EQ(registry.ToAnsiCodePage(std::wstring(L"a\0b", 3), bytes), kErrorSuccess);
  EXPECT_EQ(bytes, std::string("a\0b", 3));
}

}  // namespace
}  // namespace ruvo::standalone_test
