#include "platform/standalone/sqlite_registry.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/standalone/data_home.h"
#include "platform/standalone/posix.h"
#include "platform/standalone/status_text.h"
#include "platform/text.h"

namespace ruvo::store {
namespace sqlite {
// A failed call, or a store that must be left alone: SQLite's result code, the errno
// of the system call beneath it (0 when none failed) and what is wrong.
struct Failure : std::runtime_error {
  Failure(int code, const std::string& message, int systemError = 0,
          StoreTrouble trouble = StoreTrouble::Unreachable)
      : std::runtime_error(message), code(code), systemError(systemError), trouble(trouble) {}
  int code;
  int systemError;
  StoreTrouble trouble;  // Unreachable for a failed statement, a lock or a failing disk
};

// One column of a result row: its value as an integer and as bytes (text or blob).
struct Cell {
  std::int64_t integer;
  std::string bytes;
};
using Rows = std::vector<std::vector<Cell>>;

// Opens the file read-write (creating it only when asked to), never through a symbolic
// link; nothing a file may hold beyond our tables runs, even before the check.
class Connection {
 public:
  Connection(const std::filesystem::path& file, bool create, std::chrono::milliseconds timeout) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(
        file.c_str(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | (create ? SQLITE_OPEN_CREATE : 0), nullptr);
    db_.reset(raw);  // closed even when the open failed
    Check(opened);
    sqlite3_busy_timeout(raw, static_cast<int>(timeout.count()));
    // Defensive on; triggers, views and functions the schema names off.
    for (const int option : {SQLITE_DBCONFIG_DEFENSIVE, SQLITE_DBCONFIG_ENABLE_TRIGGER,
                             SQLITE_DBCONFIG_ENABLE_VIEW, SQLITE_DBCONFIG_TRUSTED_SCHEMA}) {
      Check(sqlite3_db_config(raw, option, option == SQLITE_DBCONFIG_DEFENSIVE, nullptr));
    }
  }

  // Runs one statement to its end and returns its rows. The values are bound to its
  // parameters ?1, ?2, ..., never spliced into the SQL.
  template <typename... Values>
  Rows Run(const char* sql, const Values&... values) {
    sqlite3_stmt* raw = nullptr;
    const int prepared = sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    Check(prepared);
    [[maybe_unused]] int index = 0;
    (Check(Bind(raw, ++index, values)), ...);
    Rows rows;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
      auto& row = rows.emplace_back();
      for (int column = 0; column < sqlite3_column_count(raw); ++column) {
        const std::int64_t integer = sqlite3_column_int64(raw, column);
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(raw, column));
        row.push_back(
            {integer, std::string(bytes ? bytes : "", sqlite3_column_bytes(raw, column))});
      }
    }
    if (result != SQLITE_DONE) Check(result);
    return rows;
  }
  // Runs fixed SQL that takes no parameters, one statement or more.
  void Execute(const std::string& sql, bool check = true) {
    const int result = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr);
    if (check) Check(result);
  }

 private:
  // SQLite's words for a failed call, with the system's reason when a system call
  // beneath it failed.
  void Check(int result) {
    if (result == SQLITE_OK) return;
    std::string message = sqlite3_errmsg(db_.get());
    const int systemError = sqlite3_system_errno(db_.get());
    if (systemError != 0) message += " (" + std::system_category().message(systemError) + ")";
    const int primary = result & 0xFF;
    const bool damaged =
        primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_FORMAT;
    throw Failure(result, message, systemError,
                  damaged ? StoreTrouble::NotOurs : StoreTrouble::Unreachable);
  }
  static int Bind(sqlite3_stmt* statement, int index, std::int64_t value) {
    return sqlite3_bind_int64(statement, index, value);
  }
  static int Bind(sqlite3_stmt* statement, int index, const std::string& text) {
    return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
  }
  // Never a null pointer: an empty value is a zero-length blob, not NULL.
  static int Bind(sqlite3_stmt* statement, int index, const std::vector<std::uint8_t>& blob) {
    return sqlite3_bind_blob(statement, index,
                             blob.empty() ? static_cast<const void*>("") : blob.data(),
                             static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  }

  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close_v2};
};

// SQLite has rolled back by itself when a statement failed badly enough.
void RollBack::operator()(Connection* connection) const {
  connection->Execute("ROLLBACK", false);
}

// One call's transaction, rolled back unless committed. A writer takes the write
// lock up front, so that two writers never deadlock upgrading their read locks.
Transaction Begin(Connection& connection, bool write) {
  connection.Execute(write ? "BEGIN IMMEDIATE" : "BEGIN");
  return Transaction(&connection);
}

void Commit(Transaction& transaction) {
  transaction->Execute("COMMIT");
  transaction.release();
}

namespace {
// "RUVO": marks the file as this program's registry store.
constexpr std::int32_t kApplicationId = 0x5255564F;
// The layout CreateLayout makes; a store of another version is never touched.
constexpr std::int32_t kSchemaVersion = 1;

Failure Foreign(const std::string& reason) {
  return Failure(SQLITE_NOTADB, reason, 0, StoreTrouble::NotOurs);
}
Failure Unreadable(int error, const std::string& what) {
  return Failure(SQLITE_CANTOPEN, what + ": " + std::system_category().message(error), error);
}

// Opens an existing regular file for reading, never through a symbolic link and never
// waiting on a FIFO; an invalid descriptor when nothing is there.
posix::FileDescriptor OpenRegular(const std::filesystem::path& file, const std::string& what) {
  posix::FileDescriptor fd(
      ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  const int error = !fd.valid() || ::fstat(fd.get(), &info) != 0 ? errno : 0;
  if (error == ENOENT) return fd;
  // O_NOFOLLOW on a link gives ELOOP: say what stands there, not a loop.
  if (error != 0 && (error != ELOOP || ::lstat(file.c_str(), &info) != 0)) {
    throw Unreadable(error, what + " cannot be opened");
  }
  if (error == 0 && S_ISREG(info.st_mode)) return fd;
  const char* kind = S_ISLNK(info.st_mode)    ? "a symbolic link"
                     : S_ISDIR(info.st_mode)  ? "a folder"
                     : S_ISFIFO(info.st_mode) ? "a FIFO"
                                              : "a special file";
  throw Failure(SQLITE_CANTOPEN, what + " is " + kind + ", not a file", 0, StoreTrouble::NotOurs);
}

// Looks at the store's first bytes and its journal's name, without SQLite: throws for
// what is no regular file, is not a database or is not ours, so that SQLite only
// ever opens our store or an empty file. False when there is no store.
bool RecogniseStore(const std::filesystem::path& file) {
  const std::string journal = std::filesystem::absolute(file).string() + "-journal";
  // The unix VFS refuses a longer name with a bare "unable to open database file".
  if (journal.size() >= static_cast<std::size_t>(sqlite3_vfs_find(nullptr)->mxPathname)) {
    throw Failure(SQLITE_CANTOPEN, "its path is too long for SQLite", ENAMETOOLONG);
  }
  const posix::FileDescriptor fd = OpenRegular(file, "it");
  OpenRegular(journal, "its journal " + journal);  // SQLite would open it too
  if (!fd.valid()) return false;
  unsigned char header[100] = {};
  const ssize_t size = ::pread(fd.get(), header, sizeof header, 0);
  if (size < 0) throw Unreadable(errno, "it cannot be read");
  if (size == 0) return true;  // a new, empty store
  if (size < 100 || std::memcmp(header, "SQLite format 3", 16) != 0) {
    throw Failure(SQLITE_NOTADB, sqlite3_errstr(SQLITE_NOTADB), 0, StoreTrouble::NotOurs);
  }
  // Ours never uses WAL, whose file may hold more than the database's file shows.
  if (header[18] == 2) throw Foreign("it is an SQLite database of another program (in WAL mode)");
  // Big-endian: the schema cookie at 40, the user version at 60, the application id at 68.
  const auto at = [&](int offset) {
    return static_cast<std::int32_t>(std::uint32_t{header[offset]} << 24 |
                                     std::uint32_t{header[offset + 1]} << 16 |
                                     std::uint32_t{header[offset + 2]} << 8 | header[offset + 3]);
  };
  const std::int32_t id = at(68), version = at(60);
  if (id == 0 && version == 0 && at(40) == 0) return true;  // no marks and nothing in it
  if (id != kApplicationId) {
    char hex[32] = "";
    if (id != 0) std::snprintf(hex, sizeof hex, " (application id 0x%08X)", std::uint32_t(id));
    throw Foreign(std::string("it is an SQLite database of another program") + hex);
  }
  if (version == kSchemaVersion) return true;
  const std::string layout = std::to_string(version);
  throw Foreign(version > kSchemaVersion
                    ? "it was written by a newer version of RUVO LinkLens (layout " + layout + ")"
                    : "its layout " + layout + " is unknown");
}

void CreateLayout(Connection& connection) {
  // A key's full path below its root, as first spelled and folded for lookups. Ids
  // are never reused: a handle to a deleted key never reaches a new key of its path.
  connection.Execute(
      "CREATE TABLE keys ("
      "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
      "  root INTEGER NOT NULL,"
      "  path TEXT NOT NULL,"
      "  folded_path TEXT NOT NULL,"
      "  UNIQUE (root, folded_path));"
      "CREATE TABLE key_values ("
      "  key_id INTEGER NOT NULL REFERENCES keys (id),"
      "  name TEXT NOT NULL,"
      "  folded_name TEXT NOT NULL,"
      "  type INTEGER NOT NULL,"
      "  data BLOB NOT NULL,"
      "  PRIMARY KEY (key_id, folded_name)) WITHOUT ROWID;");
  // Pragmas take no parameters; both numbers are our own constants.
  connection.Execute("PRAGMA application_id = " + std::to_string(kApplicationId) +
                     "; PRAGMA user_version = " + std::to_string(kSchemaVersion));
}

// In a transaction, after RecogniseStore read the marks that make it ours: false when
// nothing is stored yet, true when SQLite's quick check passes.
bool CheckStore(Connection& connection) {
  if (connection.Run("SELECT 1 FROM sqlite_master LIMIT 1").empty()) return false;
  std::string problems;
  for (const auto& row : connection.Run("PRAGMA quick_check(5)")) {
    // The first finding comes under a heading: "*** in database main ***\nOn tree...".
    std::string line = row[0].bytes;
    if (line.rfind("*** ", 0) == 0) line.erase(0, line.find('\n') + 1);
    if (line != "ok") problems += (problems.empty() ? "" : "; ") + line;
  }
  if (!problems.empty()) throw Failure(SQLITE_CORRUPT, problems, 0, StoreTrouble::NotOurs);
  return true;
}

// Opens what RecogniseStore let through and checks it once, before anything in it is
// read or written; an empty store gets our tables. nullptr: no store, none created.
std::unique_ptr<Connection> OpenStore(const std::filesystem::path& file, bool create,
                                      std::chrono::milliseconds busyTimeout) {
  const bool exists = RecogniseStore(file);
  if (!exists && !create) return nullptr;
  if (!exists) CreatePrivateFolders(file.parent_path());
  auto connection = std::make_unique<Connection>(file, !exists, busyTimeout);
  // The new file's name must survive a crash as well as its content.
  if (const int error = exists ? 0 : posix::SyncFolder(file.parent_path()); error != 0) {
    throw Unreadable(error, "its folder cannot be flushed");
  }
  // A rollback journal keeps the store one self-contained file (no -wal or -shm
  // beside it); FULL makes every commit reach the disk before the call returns.
  connection->Execute("PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL");
  // SQLite rolls back an interrupted write of ours when the check first reads.
  Transaction check = Begin(*connection, false);
  if (!CheckStore(*connection)) CreateLayout(*connection);
  Commit(check);
  return connection;
}

}  // namespace
}  // namespace sqlite

namespace {
// The store's statements. A key's id and path as first spelled:
constexpr char kFindKey[] = "SELECT id, path FROM keys WHERE root = ?1 AND folded_path = upper(?2)";
constexpr char kInsertKey[] =
    "INSERT INTO keys (root, path, folded_path) VALUES (?1, ?2, upper(?2)) RETURNING id, path";
// A subkey's folded path starts with the key's and a backslash: it sorts between
// "PATH\" and "PATH]" (']' follows '\').
constexpr char kFindSubkey[] =
    "SELECT 1 FROM keys WHERE root = ?1 AND folded_path > upper(?2) || '\\'"
    " AND folded_path < upper(?2) || ']'";
// The `?3`th child of a key (from 0, by folded path): a subkey with no backslash after
// the key's path.
constexpr char kFindChild[] =
    "SELECT path FROM keys WHERE root = ?1 AND folded_path > upper(?2) || '\\'"
    " AND folded_path < upper(?2) || ']' AND instr(substr(folded_path, length(?2) + 2), '\\') = 0"
    " ORDER BY folded_path LIMIT 1 OFFSET ?3";
constexpr char kFindTopKey[] =
    "SELECT path FROM keys WHERE root = ?1 AND instr(folded_path, '\\') = 0"
    " ORDER BY folded_path LIMIT 1 OFFSET ?2";
constexpr char kSetValue[] =
    "INSERT INTO key_values (key_id, name, folded_name, type, data)"
    " VALUES (?1, ?2, upper(?2), ?3, ?4) ON CONFLICT (key_id, folded_name)"
    " DO UPDATE SET type = excluded.type, data = excluded.data";
// RegOpenKeyA asks for MAXIMUM_ALLOWED: its handles hold every right checked here.
constexpr std::uint32_t kEveryRight = kKeySetValue | kKeyEnumerateSubKeys;
constexpr std::int64_t kRootKeyId = 0;

// A key path or value name as the ANSI functions receive it: a C string in the
// stand-in's code page, ASCII; nothing when a character has no exact form there.
// SQLite's upper() folds it for the case-insensitive lookups.
std::optional<std::string> AnsiName(const Text& text) {
  std::string name;
  if (!ToAscii(text, name)) return std::nullopt;
  return name.substr(0, name.find('\0'));
}

// A root and key path as the ANSI functions take them ("" names the root itself):
// refused for a root that is not predefined, a character outside the code page, or
// an empty component.
RegistryResult KeyPath(PredefinedRoot root, const Text& subKey, std::string& path) {
  if (root < kHkeyClassesRoot || root > kHkeyUsers) return kErrorInvalidHandle;
  const std::optional<std::string> name = AnsiName(subKey);
  if (!name) return kErrorNoUnicodeTranslation;
  path = *name;
  const bool malformed = !path.empty() && (path.front() == '\\' || path.back() == '\\' ||
                                           path.find("\\\\") != std::string::npos);
  return malformed ? kErrorBadPathname : kErrorSuccess;
}

// The Windows status of a failed call: the system's reason where a system call
// failed beneath it, else SQLite's. Their own words tell the rest.
RegistryResult StatusOf(int code, int error) {
  const int primary = code & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return kErrorBusy;
  if (error == EACCES || error == EPERM || error == EROFS || primary == SQLITE_PERM ||
      primary == SQLITE_READONLY || primary == SQLITE_AUTH) {
    return kErrorAccessDenied;
  }
  if (error == ENOSPC || error == EDQUOT || primary == SQLITE_FULL) return kErrorDiskFull;
  return error == ENOMEM || primary == SQLITE_NOMEM ? kErrorOutOfMemory : kErrorRegistryIoFailed;
}

}  // namespace

SqliteRegistry::SqliteRegistry(std::filesystem::path store, std::chrono::milliseconds busyTimeout)
    : store_(std::move(store)), busyTimeout_(busyTimeout) {}
SqliteRegistry::~SqliteRegistry() = default;

SqliteRegistry::StoreReport SqliteRegistry::Examine() {
  const RegistryResult status = StatusOfCall([&] { return Begin(false), kErrorSuccess; });
  // A lock is not damage: the calls report it.
  if (status == kErrorSuccess || status == kErrorBusy) return {};
  return {lastTrouble_, lastProblem_};
}

sqlite::Transaction SqliteRegistry::Begin(bool write, bool create) {
  if (refused_) std::rethrow_exception(refused_);
  if (!connection_) connection_ = sqlite::OpenStore(store_, create, busyTimeout_);
  return connection_ ? sqlite::Begin(*connection_, write) : nullptr;
}

template <typename Call>
RegistryResult SqliteRegistry::StatusOfCall(Call&& call) noexcept {
  lastProblem_.clear();
  lastTrouble_ = StoreTrouble::Unreachable;
  try {
    return call();
  } catch (const sqlite::Failure& failure) {
    lastProblem_ = failure.what();
    lastTrouble_ = failure.trouble;
    if (failure.trouble == StoreTrouble::Unreachable) {
      return lastStatus_ = StatusOf(failure.code, failure.systemError);
    }
    // Nothing more is tried on a store that must be left alone. Windows refuses a
    // folder opened as a file (what SQLite could not even open) as access denied.
    refused_ = std::make_exception_ptr(failure);
    connection_.reset();
    return lastStatus_ = failure.code == SQLITE_CANTOPEN ? kErrorAccessDenied : kErrorBadDb;
  } catch (const std::bad_alloc&) {
    return kErrorOutOfMemory;
  } catch (const std::exception& error) {
    // Making the store's folder failed: CreatePrivateFolders throws filesystem_error.
    const auto* system = dynamic_cast<const std::system_error*>(&error);
    lastProblem_ = error.what();
    return lastStatus_ = StatusOf(SQLITE_IOERR, system != nullptr ? system->code().value() : 0);
  }
}

RegistryResult SqliteRegistry::RegOpenKeyA(PredefinedRoot root, const Text& subKey,
                                           KeyHandle& key) {
  return OpenOrCreateKey(root, subKey, kEveryRight, key, nullptr);
}

RegistryResult SqliteRegistry::RegOpenKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t,
                                             std::uint32_t access, KeyHandle& key) {
  return OpenOrCreateKey(root, subKey, access, key, nullptr);
}

RegistryResult SqliteRegistry::RegCreateKeyExA(PredefinedRoot root, const Text& subKey,
                                               std::uint32_t, std::uint32_t access, KeyHandle& key,
                                               std::uint32_t& disposition) {
  return OpenOrCreateKey(root, subKey, access, key, &disposition);
}

RegistryResult SqliteRegistry::OpenOrCreateKey(PredefinedRoot root, const Text& subKey,
                                               std::uint32_t access, KeyHandle& key,
                                               std::uint32_t* disposition) {
  key = 0;
  return StatusOfCall([&]() -> RegistryResult {
    std::string path;
    if (const RegistryResult refused = KeyPath(root, subKey, path)) return refused;
    std::int64_t id = kRootKeyId;
    bool existed = true;
    if (!path.empty()) {
      const bool create = disposition != nullptr;
      auto transaction = Begin(create, create);
      if (!transaction) return kErrorFileNotFound;
      // Walk down the path (creating, each missing key goes below the spelling of its
      // parent; a spelling is as long as the path it spells).
      std::string spelled;
      for (std::size_t end = 0; end != path.size();) {
        end = create ? std::min(path.find('\\', end + 1), path.size()) : path.size();
        sqlite::Rows found = transaction->Run(kFindKey, root, path.substr(0, end));
        existed = !found.empty();
        if (!existed && !create) return kErrorFileNotFound;
        const std::string newKey = spelled + path.substr(spelled.size(), end - spelled.size());
        if (!existed) found = transaction->Run(kInsertKey, root, newKey);
        id = found[0][0].integer;
        spelled = found[0][1].bytes;
      }
      sqlite::Commit(transaction);
    }
    key = ++lastHandle_;  // never 0; no run opens the 2^31 keys that would reach a root
    handles_[key] = OpenKey{root, id, access};
    if (disposition != nullptr) *disposition = existed ? kRegOpenedExistingKey : kRegCreatedNewKey;
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegSetValueExA(KeyHandle key, const Text& valueName,
                                              std::int32_t type,
                                              const std::vector<std::uint8_t>& data) {
  return StatusOfCall([&]() -> RegistryResult {
    const auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    // As on Windows, the handle's rights are checked before the key itself.
    if ((handle->second.access & kKeySetValue) == 0) return kErrorAccessDenied;
    // The installer never keeps a value on a root: the stand-in holds none there.
    const std::int64_t id = handle->second.keyId;
    if (id == kRootKeyId) return kErrorAccessDenied;
    const std::optional<std::string> name = AnsiName(valueName);
    if (!name) return kErrorNoUnicodeTranslation;
    auto transaction = Begin(true);
    if (!transaction || transaction->Run("SELECT 1 FROM keys WHERE id = ?1", id).empty()) {
      return kErrorKeyDeleted;
    }
    transaction->Run(kSetValue, id, *name, type, data);
    sqlite::Commit(transaction);
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegEnumKeyExA(KeyHandle key, std::uint32_t index, Text& name) {
  name.clear();
  return StatusOfCall([&]() -> RegistryResult {
    const auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    const OpenKey& opened = handle->second;
    if ((opened.access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
    auto transaction = Begin(false);
    if (!transaction) return opened.keyId == kRootKeyId ? kErrorNoMoreItems : kErrorKeyDeleted;
    sqlite::Rows child;
    if (opened.keyId == kRootKeyId) {
      child = transaction->Run(kFindTopKey, opened.root, static_cast<std::int64_t>(index));
    } else {
      const sqlite::Rows self =
          transaction->Run("SELECT path FROM keys WHERE id = ?1", opened.keyId);
      if (self.empty()) return kErrorKeyDeleted;
      child = transaction->Run(kFindChild, opened.root, self[0][0].bytes,
                               static_cast<std::int64_t>(index));
    }
    if (child.empty()) return kErrorNoMoreItems;
    const std::string& path = child[0][0].bytes;
    name = FromUtf8(path.substr(path.rfind('\\') + 1));
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegDeleteKeyA(PredefinedRoot root, const Text& subKey) {
  return StatusOfCall([&]() -> RegistryResult {
    std::string path;
    if (const RegistryResult refused = KeyPath(root, subKey, path)) return refused;
    if (path.empty()) return kErrorAccessDenied;  // a root cannot be deleted
    auto transaction = Begin(true);
    const sqlite::Rows found =
        transaction ? transaction->Run(kFindKey, root, path) : sqlite::Rows();
    if (found.empty()) return kErrorFileNotFound;
    if (!transaction->Run(kFindSubkey, root, path).empty()) return kErrorAccessDenied;
    transaction->Run("DELETE FROM key_values WHERE key_id = ?1", found[0][0].integer);
    transaction->Run("DELETE FROM keys WHERE id = ?1", found[0][0].integer);
    sqlite::Commit(transaction);
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegFlushKey(KeyHandle key) {
  return handles_.count(key) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

RegistryResult SqliteRegistry::RegCloseKey(KeyHandle key) {
  // Closing a handle to a deleted key is fine, as on Windows.
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

Text SqliteRegistry::DescribeStatus(RegistryResult status) {
  if (status != lastStatus_ || lastProblem_.empty()) return WindowsStatusText(status);
  return WindowsStatusText(status) + L" " + FromUtf8(store_.string() + ": " + lastProblem_);
}

RegistryResult SqliteRegistry::ToAnsiCodePage(const Text& text, std::string& bytes) {
  return ToAscii(text, bytes) ? kErrorSuccess : kErrorNoUnicodeTranslation;
}

}  // namespace ruvo::store
