// The registry stand-in's file under stress: damaged or foreign files that must be
// left exactly as they are, a lock held by another process, a write cut off midway.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>

#include "platform/standalone/store/sqlite_registry.h"
#include "platform/text.h"
#include "standalone_test_support.h"

namespace ruvo::store {
namespace {

using standalone_test::Names;
using standalone_test::ReadBytes;
using standalone_test::TemporaryFolder;
using standalone_test::WriteBytes;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::int32_t kRegBinary = 3;
constexpr RegistryResult kErrorBusy = 170;

// A connection of another program (or another copy of this one) to the same file.
class RawConnection {
 public:
  explicit RawConnection(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    const int result =
        sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(raw);
    EXPECT_EQ(result, SQLITE_OK);
  }
  void Execute(const std::string& sql) {
    char* message = nullptr;
    const int result = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(result, SQLITE_OK) << sql << ": " << (message != nullptr ? message : "");
    sqlite3_free(message);
  }
  std::string Text(const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) return {};
    const auto* text = sqlite3_column_text(statement.get(), 0);
    return text == nullptr ? "" : reinterpret_cast<const char*>(text);
  }

 private:
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close_v2};
};

// A store of some size, so that damage can hit pages in the middle of it.
void MakeStore(const std::filesystem::path& store) {
  SqliteRegistry registry(store);
  for (int i = 0; i < 40; ++i) {
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    ASSERT_EQ(
        registry.RegCreateKeyExA(kHkeyCurrentUser, L"Software\\Ruvo\\Key" + std::to_wstring(i), 0,
                                 kKeyEverySpecificRight, key, disposition),
        kErrorSuccess);
    ASSERT_EQ(registry.RegSetValueExA(key, L"Data", kRegBinary, Bytes(1500, std::uint8_t(i))),
              kErrorSuccess);
    registry.RegCloseKey(key);
  }
}

std::string RandomBytes(std::size_t size) {
  std::mt19937 random(20240607);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

void OverwriteAt(const std::filesystem::path& file, std::streamoff offset,
                 const std::string& bytes) {
  std::fstream io(file, std::ios::binary | std::ios::in | std::ios::out);
  io.seekp(offset);
  io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(io.good());
}

// Another process dies in the middle of a large change, after SQLite has begun to
// write pages into the file: the rollback journal stays behind, "hot".
void CutOffWrite(const std::filesystem::path& store, const char* sql) {
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(store.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(std::filesystem::exists(store.string() + "-journal"));
}

using Trouble = StoreTrouble;

struct Damage {
  const char* name;
  std::function<void(const std::filesystem::path&)> make;
  std::string problem;  // what the report and the calls' words must hold
  Trouble trouble;
};

const std::vector<Damage>& Damages() {
  static const std::vector<Damage> damages = {
      {"random bytes", [](const auto& store) { WriteBytes(store, RandomBytes(8192)); },
       "file is not a database", Trouble::Damaged},
      {"a text file",
       [](const auto& store) { WriteBytes(store, "[HKEY_CURRENT_USER\\Software]\nkey=value\n"); },
       "file is not a database", Trouble::Damaged},
      {"a truncated store",
       [](const auto& store) {
         MakeStore(store);
         std::filesystem::resize_file(store, std::filesystem::file_size(store) / 2);
       },
       "database disk image is malformed", Trouble::Damaged},
      {"a store with its last page overwritten",
       [](const auto& store) {
         // Only SQLite's check of the whole file finds this: the keys are intact.
         MakeStore(store);
         OverwriteAt(store, std::filesystem::file_size(store) - 4096, RandomBytes(4096));
       },
       "On tree page ", Trouble::Damaged},
      {"another program's database",
       [](const auto& store) {
         RawConnection(store).Execute(
             "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('mine')");
       },
       "it is an SQLite database of another program", Trouble::Foreign},
      {"another program's marked database",
       [](const auto& store) {
         RawConnection(store).Execute(
             "PRAGMA application_id = 305419896; CREATE TABLE keys (x); CREATE TABLE key_values "
             "(y)");
       },
       "it is an SQLite database of another program (application id 0x12345678)", Trouble::Foreign},
      {"a store of a newer version",
       [](const auto& store) {
         MakeStore(store);
         RawConnection(store).Execute("PRAGMA user_version = 2");
       },
       "it was written by a newer version of RUVO LinkLens (layout 2)", Trouble::Foreign},
      {"a store that lost a table",
       [](const auto& store) {
         MakeStore(store);
         RawConnection(store).Execute("DROP TABLE key_values");
       },
       "its table \"key_values\" is missing", Trouble::Foreign},
      // Our marks on a file whose catalogue is not exactly ours: whatever it holds
      // could run on our writes, or our statements fail on it after the page is out.
      {"our marks and a planted trigger",
       [](const auto& store) {
         MakeStore(store);
         RawConnection(store).Execute(
             "CREATE TRIGGER t AFTER INSERT ON key_values BEGIN"
             " UPDATE key_values SET data = x'00'; END");
       },
       "it holds a trigger \"t\" that RUVO LinkLens does not make", Trouble::Foreign},
      {"our marks and a view",
       [](const auto& store) {
         MakeStore(store);
         RawConnection(store).Execute("CREATE VIEW v AS SELECT * FROM keys");
       },
       "it holds a view \"v\" that RUVO LinkLens does not make", Trouble::Foreign},
      {"our marks and another index",
       [](const auto& store) {
         MakeStore(store);
         RawConnection(store).Execute("CREATE INDEX i ON keys (path)");
       },
       "it holds a index \"i\" that RUVO LinkLens does not make", Trouble::Foreign},
      {"our marks and another column",
       [](const auto& store) {
         MakeStore(store);
         RawConnection(store).Execute("ALTER TABLE keys ADD COLUMN extra TEXT");
       },
       "its table \"keys\" is not as RUVO LinkLens makes it", Trouble::Foreign},
      {"our marks on other tables of the same names",
       [](const auto& store) {
         RawConnection(store).Execute(
             "PRAGMA application_id = 1381324367; PRAGMA user_version = 1;"
             "CREATE TABLE keys (x); CREATE TABLE key_values (y)");
       },
       "is not as RUVO LinkLens makes it", Trouble::Foreign},
      // Inspecting these must not roll the journal back nor make -wal or -shm files.
      {"another program's database with a hot journal",
       [](const auto& store) {
         RawConnection(store).Execute(
             "CREATE TABLE notes (body BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL"
             " SELECT i + 1 FROM n WHERE i < 50) INSERT INTO notes SELECT zeroblob(2000) FROM n");
         CutOffWrite(store,
                     "PRAGMA cache_size = 2; BEGIN; UPDATE notes SET body = zeroblob(3000);");
       },
       "it is an SQLite database of another program", Trouble::Foreign},
      {"another program's database in WAL mode",
       [](const auto& store) {
         RawConnection(store).Execute(
             "PRAGMA journal_mode = WAL; CREATE TABLE notes (body TEXT);"
             " INSERT INTO notes VALUES ('mine')");
       },
       "it is an SQLite database of another program", Trouble::Foreign},
      // What is not a regular file is never opened: a FIFO would hang the start.
      {"a FIFO as the store",
       [](const auto& store) { ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0); },
       "it is a FIFO, not a file", Trouble::NotAFile},
      {"a FIFO as the journal",
       [](const auto& store) {
         MakeStore(store);
         ASSERT_EQ(::mkfifo((store.string() + "-journal").c_str(), 0600), 0);
       },
       "-journal is a FIFO, not a file", Trouble::NotAFile},
      {"a folder as the store", [](const auto& store) { std::filesystem::create_directory(store); },
       "it is a folder, not a file", Trouble::NotAFile},
      {"a link as the store",
       [](const auto& store) {
         MakeStore(store.string() + ".real");
         std::filesystem::create_symlink(store.string() + ".real", store);
       },
       "it is a symbolic link, not a file", Trouble::NotAFile},
  };
  return damages;
}

TEST(SqliteStore, ADamagedOrForeignStoreIsReportedAndNeverWritten) {
  for (const Damage& damage : Damages()) {
    SCOPED_TRACE(damage.name);
    TemporaryFolder temporary;
    const std::filesystem::path store = temporary.path() / "registry.sqlite3";
    damage.make(store);
    const auto before = ReadBytes(store);
    const auto namesBefore = Names(temporary.path());

    const std::optional<std::string> journalBefore = ReadBytes(store.string() + "-journal");
    const SqliteRegistry::StoreReport report = SqliteRegistry(store).Examine();
    EXPECT_NE(report.problem.find(damage.problem), std::string::npos) << report.problem;
    EXPECT_EQ(report.trouble, damage.trouble);

    SqliteRegistry registry(store, 100ms);
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    // What is no file is refused as Windows refuses a folder opened as a file.
    const RegistryResult refused =
        damage.trouble == Trouble::NotAFile ? kErrorAccessDenied : kErrorBadDb;
    EXPECT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo\\Key1", key), refused);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry.RegCreateKeyExA(kHkeyCurrentUser, L"Software\\New", 0,
                                       kKeyEverySpecificRight, key, disposition),
              refused);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"Software\\Ruvo\\Key1"), refused);
    const std::string words = ToUtf8(registry.DescribeStatus(refused));
    EXPECT_NE(words.find(damage.problem), std::string::npos) << words;

    EXPECT_TRUE(ReadBytes(store) == before) << "the file changed";
    EXPECT_TRUE(ReadBytes(store.string() + "-journal") == journalBefore) << "the journal changed";
    EXPECT_EQ(Names(temporary.path()), namesBefore);  // no journal or copy left beside it
  }
}

TEST(SqliteStore, AnEmptyFileIsANewStore) {
  TemporaryFolder temporary;
  const std::filesystem::path store = temporary.path() / "registry.sqlite3";
  WriteBytes(store, "");
  SqliteRegistry registry(store);
  EXPECT_EQ(registry.Examine().problem, "");
  KeyHandle key = 0;
  EXPECT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, L"Software", key), kErrorFileNotFound);
  std::uint32_t disposition = 0;
  EXPECT_EQ(registry.RegCreateKeyExA(kHkeyCurrentUser, L"Software", 0, kKeyEverySpecificRight, key,
                                     disposition),
            kErrorSuccess);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  EXPECT_EQ(RawConnection(store).Text("PRAGMA application_id"), "1381324367");
}

TEST(SqliteStore, ALockHeldByAnotherProcessGivesBusyAndChangesNothing) {
  TemporaryFolder temporary;
  const std::filesystem::path store = temporary.path() / "registry.sqlite3";
  {
    SqliteRegistry seed(store);
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    ASSERT_EQ(seed.RegCreateKeyExA(kHkeyCurrentUser, L"Software\\Ruvo", 0, kKeyEverySpecificRight,
                                   key, disposition),
              kErrorSuccess);
    ASSERT_EQ(seed.RegSetValueExA(key, L"Contexts", kRegDword, {0x20, 0, 0, 0}), kErrorSuccess);
  }
  const auto before = ReadBytes(store);

  // One registry looks at the store for the first time while it is locked; the other
  // has used it before and holds a handle.
  SqliteRegistry fresh(store, 200ms);
  SqliteRegistry connected(store, 200ms);
  KeyHandle held = 0;
  ASSERT_EQ(connected.RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo", held), kErrorSuccess);

  RawConnection locker(store);
  locker.Execute("BEGIN EXCLUSIVE");
  EXPECT_EQ(SqliteRegistry(store, 100ms).Examine().problem, "");  // locked is not damaged

  for (SqliteRegistry* registry : {&fresh, &connected}) {
    SCOPED_TRACE(registry == &fresh ? "fresh" : "connected");
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(registry->RegCreateKeyExA(kHkeyCurrentUser, L"Software\\New", 0,
                                        kKeyEverySpecificRight, key, disposition),
              kErrorBusy);
    // It waited for the lock before giving up.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry->RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo", key), kErrorBusy);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry->RegDeleteKeyA(kHkeyCurrentUser, L"Software\\Ruvo"), kErrorBusy);
    const std::string words = ToUtf8(registry->DescribeStatus(kErrorBusy));
    EXPECT_NE(words.find("locked"), std::string::npos) << words;
  }
  EXPECT_EQ(connected.RegSetValueExA(held, L"Contexts", kRegDword, {0x21, 0, 0, 0}), kErrorBusy);

  locker.Execute("ROLLBACK");
  EXPECT_TRUE(ReadBytes(store) == before) << "the file changed";
  for (SqliteRegistry* registry : {&fresh, &connected}) {
    KeyHandle key = 0;
    EXPECT_EQ(registry->RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo", key), kErrorSuccess);
    std::int32_t type = 0;
    Bytes data;
    EXPECT_EQ(registry->RegQueryValueExA(key, L"Contexts", type, data), kErrorSuccess);
    EXPECT_EQ(data, (Bytes{0x20, 0, 0, 0}));
  }
  EXPECT_EQ(connected.RegSetValueExA(held, L"Contexts", kRegDword, {0x21, 0, 0, 0}), kErrorSuccess);
  EXPECT_EQ(RawConnection(store).Text("PRAGMA integrity_check"), "ok");
}

TEST(SqliteStore, AWriteCutOffMidwayIsRolledBackNotReportedAsDamage) {
  TemporaryFolder temporary;
  const std::filesystem::path store = temporary.path() / "registry.sqlite3";
  MakeStore(store);

  CutOffWrite(store,
              "PRAGMA cache_size = 2; BEGIN;"
              "UPDATE key_values SET data = zeroblob(3000);"
              "DELETE FROM keys WHERE path LIKE '%Key1%';");
  // Our own store: SQLite rolls the write back before the start-up check reads it.
  SqliteRegistry registry(store);
  EXPECT_EQ(registry.Examine().problem, "");
  KeyHandle key = 0;
  ASSERT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo\\Key1", key), kErrorSuccess);
  std::int32_t type = 0;
  Bytes data;
  ASSERT_EQ(registry.RegQueryValueExA(key, L"Data", type, data), kErrorSuccess);
  EXPECT_EQ(data, Bytes(1500, std::uint8_t(1)));
  EXPECT_EQ(RawConnection(store).Text("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(Names(temporary.path()), std::set<std::string>{"registry.sqlite3"});
}

}  // namespace
}  // namespace ruvo::store
