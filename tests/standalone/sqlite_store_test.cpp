// The registry stand-in's file under stress: damaged, foreign or unreachable files
// that must be left exactly as they are, a lock held by another process, a write cut
// off midway.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>

#include "platform/standalone/status_text.h"
#include "platform/standalone/sqlite_registry.h"
#include "platform/text.h"
#include "standalone_test_support.h"

namespace ruvo::standalone_test {
namespace {

using store::SqliteRegistry;
using Trouble = store::StoreTrouble;
using Path = std::filesystem::path;
using namespace std::chrono_literals;

// A store of some size, so that damage can hit pages in the middle of it.
void MakeStore(const Path& store) {
  SqliteRegistry registry(store);
  for (int i = 0; i < 40; ++i) {
    const KeyHandle key = CreateKey(registry, L"Software\\Ruvo\\Key" + std::to_wstring(i));
    ASSERT_EQ(registry.RegSetValueExA(key, L"Data", kRegBinary, Bytes(1500, std::uint8_t(i))),
              kErrorSuccess);
  }
}

std::string RandomBytes(std::size_t size) {
  std::mt19937 random(20240607);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Another process dies in the middle of a large change, after SQLite has begun to
// write pages into the file: the rollback journal stays behind, "hot".
void CutOffWrite(const Path& store, const char* sql) {
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

using Make = std::function<void(const Path& store)>;

// Our store, then what another program did to it.
Make Ours(const std::string& sql) {
  return [sql](const Path& store) {
    MakeStore(store);
    Sql(store).Run(sql);
  };
}
// Another program's database.
Make Theirs(const std::string& sql) {
  return [sql](const Path& store) { Sql(store).Run(sql); };
}

struct Damage {
  const char* name;
  Make make;
  std::string problem;  // what the report and the calls' words must hold
  Trouble trouble;
  Path store = "registry.sqlite3";  // in the temporary folder
  // What calls give: Windows refuses a folder opened as a file as access denied, and
  // what the system refuses is the registry's I/O failing.
  RegistryResult refused = trouble == Trouble::NotOurs ? kErrorBadDb : kErrorRegistryIoFailed;
};

const std::vector<Damage>& Damages() {
  const std::string longName(200, 'n');
  static const std::vector<Damage> damages = {
      {"random bytes", [](const Path& store) { WriteBytes(store, RandomBytes(8192)); },
       "file is not a database", Trouble::NotOurs},
      {"a truncated store",
       [](const Path& store) {
         MakeStore(store);
         std::filesystem::resize_file(store, std::filesystem::file_size(store) / 2);
       },
       "database disk image is malformed", Trouble::NotOurs},
      {"a store with its last page overwritten",
       [](const Path& store) {
         // Only SQLite's check of the whole file finds this: the keys are intact.
         MakeStore(store);
         std::fstream io(store, std::ios::binary | std::ios::in | std::ios::out);
         io.seekp(-4096, std::ios::end);
         io << RandomBytes(4096);
         ASSERT_TRUE(io.good());
       },
       "On tree page ", Trouble::NotOurs},
      {"another program's database",
       Theirs("CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('mine')"),
       "it is an SQLite database of another program", Trouble::NotOurs},
      {"another program's marked database",
       Theirs("PRAGMA application_id = 305419896; CREATE TABLE keys (x);"
              " CREATE TABLE key_values (y)"),
       "it is an SQLite database of another program (application id 0x12345678)", Trouble::NotOurs},
      {"a store of a newer version", Ours("PRAGMA user_version = 2"),
       "it was written by a newer version of RUVO LinkLens (layout 2)", Trouble::NotOurs},
      // Inspecting these must not roll the journal back nor make -wal or -shm files.
      {"another program's database with a hot journal",
       [](const Path& store) {
         Sql(store).Run(
             "CREATE TABLE notes (body BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL"
             " SELECT i + 1 FROM n WHERE i < 50) INSERT INTO notes SELECT zeroblob(2000) FROM n");
         CutOffWrite(store,
                     "PRAGMA cache_size = 2; BEGIN; UPDATE notes SET body = zeroblob(3000);");
       },
       "it is an SQLite database of another program", Trouble::NotOurs},
      {"another program's database in WAL mode",
       Theirs("PRAGMA journal_mode = WAL; CREATE TABLE notes (body TEXT);"
              " INSERT INTO notes VALUES ('mine')"),
       "it is an SQLite database of another program", Trouble::NotOurs},
      // What is not a regular file is never opened: a FIFO would hang the start.
      {"a FIFO as the store",
       [](const Path& store) { ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0); },
       "it is a FIFO, not a file", Trouble::NotOurs, "registry.sqlite3", kErrorAccessDenied},
      {"a FIFO as the journal",
       [](const Path& store) {
         MakeStore(store);
         ASSERT_EQ(::mkfifo((store.string() + "-journal").c_str(), 0600), 0);
       },
       "-journal is a FIFO, not a file", Trouble::NotOurs, "registry.sqlite3", kErrorAccessDenied},
      {"a folder as the store", [](const Path& store) { std::filesystem::create_directory(store); },
       "it is a folder, not a file", Trouble::NotOurs, "registry.sqlite3", kErrorAccessDenied},
      {"a link as the store",
       [](const Path& store) {
         MakeStore(store.string() + ".real");
         std::filesystem::create_symlink(store.string() + ".real", store);
       },
       "it is a symbolic link, not a file", Trouble::NotOurs, "registry.sqlite3",
       kErrorAccessDenied},
      // What the system or SQLite refuses on the way to the file: their reason is kept.
      {"a link loop on the way",
       [](const Path& store) {
         std::filesystem::create_directory_symlink("loop", store.parent_path());
       },
       "Too many levels of symbolic links", Trouble::Unreachable, "loop/registry.sqlite3"},
      {"a path longer than SQLite takes",
       [](const Path& store) { std::filesystem::create_directories(store.parent_path()); },
       "its path is too long for SQLite", Trouble::Unreachable,
       Path(longName) / longName / longName / "registry.sqlite3"},
      {"a file where its folder should be",
       [](const Path& store) { WriteBytes(store.parent_path(), "x"); }, "Not a directory",
       Trouble::Unreachable, "data/registry.sqlite3"},
  };
  return damages;
}

TEST(SqliteStore, ADamagedForeignOrUnreachableStoreIsReportedAndNeverWritten) {
  for (const Damage& damage : Damages()) {
    SCOPED_TRACE(damage.name);
    TemporaryFolder temporary;
    const Path store = temporary.path() / damage.store;
    damage.make(store);
    const auto before = ReadBytes(store);
    const auto journalBefore = ReadBytes(store.string() + "-journal");
    const auto namesBefore = Names(temporary.path());

    const SqliteRegistry::StoreReport report = SqliteRegistry(store).Examine();
    EXPECT_NE(report.problem.find(damage.problem), std::string::npos) << report.problem;
    EXPECT_EQ(report.trouble, damage.trouble);

    const RegistryResult refused = damage.refused;
    SqliteRegistry registry(store, 100ms);
    KeyHandle key = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(registry.RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo\\Key1", key), refused);
    EXPECT_EQ(registry.RegCreateKeyExA(kHkeyCurrentUser, L"Software\\New", 0,
                                       kKeyEverySpecificRight, key, disposition),
              refused);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(registry.RegDeleteKeyA(kHkeyCurrentUser, L"Software\\Ruvo\\Key1"), refused);
    // Windows' words, then the store and what is wrong with it.
    const std::string words = ToUtf8(registry.DescribeStatus(refused));
    EXPECT_EQ(words.rfind(ToUtf8(WindowsStatusText(refused)) + " " + store.string() + ": ", 0), 0u)
        << words;
    EXPECT_NE(words.find(damage.problem), std::string::npos) << words;

    EXPECT_TRUE(ReadBytes(store) == before) << "the file changed";
    EXPECT_TRUE(ReadBytes(store.string() + "-journal") == journalBefore) << "the journal changed";
    EXPECT_EQ(Names(temporary.path()), namesBefore);  // no journal or copy left beside it
  }
}

TEST(SqliteStore, ALockHeldByAnotherProcessGivesBusyAndChangesNothing) {
  TemporaryFolder temporary;
  const Path store = temporary.path() / "registry.sqlite3";
  {
    SqliteRegistry seed(store);
    ASSERT_EQ(seed.RegSetValueExA(CreateKey(seed, L"Software\\Ruvo"), L"Contexts", kRegDword,
                                  {0x20, 0, 0, 0}),
              kErrorSuccess);
  }
  const auto before = ReadBytes(store);

  // One registry looks at the store for the first time while it is locked; the other
  // has used it before and holds a handle.
  SqliteRegistry fresh(store, 200ms);
  SqliteRegistry connected(store, 200ms);
  KeyHandle held = 0;
  ASSERT_EQ(connected.RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo", held), kErrorSuccess);

  Sql locker(store);
  locker.Run("BEGIN EXCLUSIVE");
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

  locker.Run("ROLLBACK");
  EXPECT_TRUE(ReadBytes(store) == before) << "the file changed";
  for (SqliteRegistry* registry : {&fresh, &connected}) {
    KeyHandle key = 0;
    EXPECT_EQ(registry->RegOpenKeyA(kHkeyCurrentUser, L"Software\\Ruvo", key), kErrorSuccess);
  }
  EXPECT_EQ(StoredValue(store, L"Software\\Ruvo", L"Contexts"),
            std::make_pair(kRegDword, Bytes{0x20, 0, 0, 0}));
  EXPECT_EQ(connected.RegSetValueExA(held, L"Contexts", kRegDword, {0x21, 0, 0, 0}), kErrorSuccess);
  EXPECT_EQ(Sql(store).Run("PRAGMA integrity_check"), Rows{"ok"});
}

TEST(SqliteStore, AWriteCutOffMidwayIsRolledBackNotReportedAsDamage) {
  TemporaryFolder temporary;
  const Path store = temporary.path() / "registry.sqlite3";
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
  EXPECT_EQ(StoredValue(store, L"Software\\Ruvo\\Key1", L"Data")->second,
            Bytes(1500, std::uint8_t(1)));
  EXPECT_EQ(Sql(store).Run("PRAGMA integrity_check"), Rows{"ok"});
  EXPECT_EQ(Names(temporary.path()), std::set<std::string>{"registry.sqlite3"});
}

}  // namespace
}  // namespace ruvo::standalone_test
