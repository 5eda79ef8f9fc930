// The registry stand-in's own behaviour beyond the backend contract: its file, its
// roots and handles, and what it says about status codes.
#include <sqlite3.h>
#include <sys/stat.h>

#include <functional>
#include <memory>

#include "platform/standalone/store/sqlite_registry.h"
#include "platform/text.h"
#include "standalone_test_support.h"

namespace ruvo::store {
namespace {

using standalone_test::Names;
using standalone_test::TemporaryFolder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kRegBinary = 3;

// A direct look into the store, as a person with the sqlite3 tool would take.
class Peek {
 public:
  explicit Peek(const std::filesystem::path& store) {
    sqlite3* raw = nullptr;
    const int result = sqlite3_open_v2(store.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    db_.reset(raw);
    EXPECT_EQ(result, SQLITE_OK);
  }
  std::vector<std::string> Column(const char* sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr), SQLITE_OK) << sql;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
      const auto* text = sqlite3_column_text(statement.get(), 0);
      rows.emplace_back(text == nullptr ? "" : reinterpret_cast<const char*>(text));
    }
    return rows;
  }

 private:
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close_v2};
};

class SqliteRegistryTest : public ::testing::Test {
 protected:
  TemporaryFolder temporary;
  std::filesystem::path store = temporary.path() / "data" / "registry.sqlite3";
  SqliteRegistry registry{store};

  KeyHandle Create(PredefinedRoot root, const Text& path, SqliteRegistry& in) {
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(in.RegCreateKeyExA(root, path, 0, kKeyEverySpecificRight, key, disposition),
              kErrorSuccess);
    return key;
  }
  KeyHandle Create(const Text& path) { return Create(kHkeyCurrentUser, path, registry); }
  static RegistryResult Query(SqliteRegistry& in, KeyHandle key, const Text& name, Bytes& data) {
    std::int32_t type = 0;
    return in.RegQueryValueExA(key, name, type, data);
  }
};

TEST_F(SqliteRegistryTest, ReadingAMissingStoreCreatesNothing) {
  KeyHandle key = 0;
  EXPECT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, L"Software", key), kErrorFileNotFound);
  EXPECT_EQ(registry.RegOpenKeyExA(kHkeyCurrentUser, L"Software", 0, kKeySetValue, key),
            kErrorFileNotFound);
  EXPECT_EQ(key, 0u);
  EXPECT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"Software"), kErrorFileNotFound);
  // The root itself always exists, holds nothing yet, and opening it writes nothing.
  std::uint32_t disposition = 0;
  ASSERT_EQ(
      registry.RegCreateKeyExA(kHkeyCurrentUser, L"", 0, kKeyEverySpecificRight, key, disposition),
      kErrorSuccess);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  Bytes data;
  EXPECT_EQ(Query(registry, key, L"", data), kErrorFileNotFound);
  EXPECT_EQ(registry.RegCloseKey(key), kErrorSuccess);
  EXPECT_EQ(registry.Examine().problem, "");

  EXPECT_EQ(Names(temporary.path()), std::set<std::string>{});
}

TEST_F(SqliteRegistryTest, TheFirstWriteCreatesAMarkedStoreInAPrivateFolder) {
  ASSERT_NE(Create(L"Software\\Ruvo"), 0u);
  EXPECT_EQ(Names(store.parent_path()), std::set<std::string>{"registry.sqlite3"});
  struct stat info {};
  ASSERT_EQ(::stat(store.parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  Peek peek(store);
  EXPECT_EQ(peek.Column("PRAGMA application_id"), std::vector<std::string>{"1381324367"});
  EXPECT_EQ(peek.Column("PRAGMA user_version"), std::vector<std::string>{"1"});
  EXPECT_EQ(peek.Column("PRAGMA journal_mode"), std::vector<std::string>{"delete"});
  EXPECT_EQ(SqliteRegistry(store).Examine().problem, "");
}

TEST_F(SqliteRegistryTest, EveryChangeIsInTheFileWhenTheCallReturns) {
  const KeyHandle key = Create(L"Software\\Ruvo\\Open with Ruvo Office Suite");
  ASSERT_EQ(registry.RegSetValueExA(key, L"Contexts", kRegDword, {0x20, 0, 0, 0}), kErrorSuccess);
  ASSERT_NE(Create(L"Software\\Ruvo\\Gone"), 0u);
  ASSERT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"Software\\Ruvo\\Gone"), kErrorSuccess);

  // Another registry on the same file, while the first is still open, and one made
  // after the first is gone, both see the same.
  auto check = [&](SqliteRegistry& other) {
    KeyHandle reopened = 0;
    ASSERT_EQ(other.RegOpenKeyA(kHkeyCurrentUser, L"SOFTWARE\\ruvo\\open WITH ruvo office suite",
                                reopened),
              kErrorSuccess);
    Bytes data;
    EXPECT_EQ(Query(other, reopened, L"contexts", data), kErrorSuccess);
    EXPECT_EQ(data, (Bytes{0x20, 0, 0, 0}));
    KeyHandle gone = 0;
    EXPECT_EQ(other.RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo\\Gone", gone),
              kErrorFileNotFound);
    EXPECT_EQ(other.RegCloseKey(reopened), kErrorSuccess);
  };
  {
    SqliteRegistry concurrent(store);
    check(concurrent);
  }
  registry.RegCloseKey(key);
  auto later = std::make_unique<SqliteRegistry>(store);
  check(*later);
}

TEST_F(SqliteRegistryTest, TheFourRootsAreSeparateTrees) {
  const PredefinedRoot roots[] = {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine,
                                  kHkeyUsers};
  for (const PredefinedRoot root : roots) {
    const KeyHandle key = Create(root, L"Software\\Same", registry);
    ASSERT_EQ(registry.RegSetValueExA(key, L"", kRegBinary, {static_cast<std::uint8_t>(root)}),
              kErrorSuccess);
    registry.RegCloseKey(key);
  }
  ASSERT_EQ(registry.RegDeleteKeyA(kHkeyLocalMachine, L"Software\\Same"), kErrorSuccess);
  for (const PredefinedRoot root : roots) {
    SCOPED_TRACE(root);
    KeyHandle key = 0;
    if (root == kHkeyLocalMachine) {
      EXPECT_EQ(registry.RegOpenKeyA(root, L"Software\\Same", key), kErrorFileNotFound);
      continue;
    }
    ASSERT_EQ(registry.RegOpenKeyA(root, L"Software\\Same", key), kErrorSuccess);
    Bytes data;
    EXPECT_EQ(Query(registry, key, L"", data), kErrorSuccess);
    EXPECT_EQ(data, Bytes{static_cast<std::uint8_t>(root)});
    registry.RegCloseKey(key);
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

TEST_F(SqliteRegistryTest, ParentsKeepTheSpellingTheyWereCreatedWith) {
  registry.RegCloseKey(Create(L"Software\\Ruvo\\First"));
  registry.RegCloseKey(Create(L"SOFTWARE\\RUVO\\Second"));
  const KeyHandle key = Create(L"software\\ruvo\\second");
  ASSERT_EQ(registry.RegSetValueExA(key, L"MixedName", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
  ASSERT_EQ(registry.RegSetValueExA(key, L"MIXEDNAME", kRegDword, {2, 0, 0, 0}), kErrorSuccess);

  Peek peek(store);
  EXPECT_EQ(peek.Column("SELECT path FROM keys ORDER BY path"),
            (std::vector<std::string>{"Software", "Software\\Ruvo", "Software\\Ruvo\\First",
                                      "Software\\Ruvo\\Second"}));
  EXPECT_EQ(peek.Column("SELECT name || '=' || hex(data) FROM key_values"),
            std::vector<std::string>{"MixedName=02000000"});
}

TEST_F(SqliteRegistryTest, AnOldHandleNeverReachesAKeyMadeAgainAtTheSamePath) {
  const KeyHandle old = Create(L"Phoenix");
  ASSERT_EQ(registry.RegSetValueExA(old, L"Life", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
  ASSERT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"Phoenix"), kErrorSuccess);
  const KeyHandle reborn = Create(L"Phoenix");

  Bytes data;
  EXPECT_EQ(registry.RegSetValueExA(old, L"Life", kRegDword, {2, 0, 0, 0}), kErrorKeyDeleted);
  EXPECT_EQ(Query(registry, old, L"Life", data), kErrorKeyDeleted);
  EXPECT_EQ(Query(registry, reborn, L"Life", data), kErrorFileNotFound);  // values went too
  EXPECT_EQ(registry.RegSetValueExA(reborn, L"Life", kRegDword, {3, 0, 0, 0}), kErrorSuccess);
  EXPECT_EQ(Query(registry, reborn, L"Life", data), kErrorSuccess);
  EXPECT_EQ(data, (Bytes{3, 0, 0, 0}));
}

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
  for (const KeyHandle key : open) EXPECT_EQ(registry.RegCloseKey(key), kErrorSuccess);
}

TEST_F(SqliteRegistryTest, ARootOpensButHoldsNoValuesAndCannotBeDeleted) {
  KeyHandle root = 0;
  ASSERT_EQ(registry.RegOpenKeyA(kHkeyUsers, L"", root), kErrorSuccess);
  ASSERT_NE(root, 0u);
  EXPECT_EQ(registry.RegSetValueExA(root, L"", kRegSz, {'u', 0}), kErrorAccessDenied);
  EXPECT_EQ(registry.RegDeleteKeyA(kHkeyUsers, L""), kErrorAccessDenied);
  Bytes data;
  EXPECT_EQ(Query(registry, root, L"", data), kErrorFileNotFound);
  EXPECT_EQ(registry.RegFlushKey(root), kErrorSuccess);
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

// The system's reason for refusing the store reaches the start-up report and, after
// Windows' words, the description of the failed call.
TEST(SqliteRegistryReasons, TheSystemsReasonForAnUnusableStoreIsKept) {
  struct Case {
    const char* name;
    std::function<std::filesystem::path(const std::filesystem::path&)> make;  // gives the store
    std::string problem;  // what the report and the description must hold
  };
  const Case cases[] = {
      {"a link loop on the way",
       [](const auto& folder) {
         std::filesystem::create_directory_symlink("loop", folder / "loop");
         return folder / "loop" / "registry.sqlite3";
       },
       "Too many levels of symbolic links"},
      {"a path longer than SQLite takes",
       [](const auto& folder) {
         const std::string name(200, 'n');
         std::filesystem::create_directories(folder / name / name / name);
         return folder / name / name / name / "registry.sqlite3";
       },
       "its path is too long for SQLite"},
      {"a file where its folder should be",
       [](const auto& folder) {
         standalone_test::WriteBytes(folder / "data", "x");
         return folder / "data" / "registry.sqlite3";
       },
       "Not a directory"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    TemporaryFolder temporary;
    const std::filesystem::path store = test.make(temporary.path());
    const SqliteRegistry::StoreReport report = SqliteRegistry(store).Examine();
    EXPECT_EQ(report.trouble, StoreTrouble::Unreadable);
    EXPECT_NE(report.problem.find(test.problem), std::string::npos) << report.problem;
    SqliteRegistry registry(store);
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    const RegistryResult status = registry.RegCreateKeyExA(
        kHkeyCurrentUser, L"Software", 0, kKeyEverySpecificRight, key, disposition);
    EXPECT_EQ(status, 1016);  // the registry's I/O failed; the words say why
    const std::string words = ToUtf8(registry.DescribeStatus(status));
    EXPECT_EQ(words.rfind("An I/O operation initiated by the registry failed", 0), 0u) << words;
    EXPECT_NE(words.find(store.string() + ": "), std::string::npos) << words;
    EXPECT_NE(words.find(test.problem), std::string::npos) << words;
  }
}

TEST_F(SqliteRegistryTest, TextOutsideAsciiIsRefusedAndNulIsKept) {
  std::string bytes;
  EXPECT_EQ(registry.ToAnsiCodePage(L"caf\u00e9", bytes), kErrorNoUnicodeTranslation);
  EXPECT_EQ(registry.ToAnsiCodePage(std::wstring(L"a\0b", 3), bytes), kErrorSuccess);
  EXPECT_EQ(bytes, std::string("a\0b", 3));
}

}  // namespace
}  // namespace ruvo::store
