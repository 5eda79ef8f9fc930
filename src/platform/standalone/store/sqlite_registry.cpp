#include "platform/standalone/store/sqlite_registry.h"

#include <sqlite3.h>

#include <cerrno>
#include <new>
#include <utility>

#include "platform/standalone/data_home.h"
#include "platform/standalone/posix.h"
#include "platform/standalone/store/sqlite_store.h"
#include "platform/status_text.h"
#include "platform/text.h"

namespace ruvo::store {
namespace {

// Further Windows status codes the stand-in reports.

// KEY_ALL_ACCESS: what RegOpenKeyA's handles hold (it asks for MAXIMUM_ALLOWED).
constexpr std::uint32_t kFullAccess = 0xF003F;

constexpr KeyHandle kFirstHandle = 0x100;
constexpr KeyHandle kRootKeyId = 0;

bool IsPredefined(PredefinedRoot root) {
  return root == kHkeyClassesRoot || root == kHkeyCurrentUser || root == kHkeyLocalMachine ||
         root == kHkeyUsers;
}

// A key path or value name as the ANSI functions receive it: a C string in the
// stand-in's code page, ASCII. Nothing when a character has no exact form there.
std::optional<std::string> AnsiName(const Text& text) {
  std::string name;
  for (wchar_t c : text) {
    if (c == L'\0') break;
    if (c < 0 || c >= 0x80) return std::nullopt;
    name += static_cast<char>(c);
  }
  return name;
}

std::string Fold(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// "" names the root itself; otherwise no component may be empty.
bool IsValidKeyPath(const std::string& path) {
  if (path.empty()) return true;
  return path.front() != '\\' && path.back() != '\\' && path.find("\\\\") == std::string::npos;
}

// A root and key path as the ANSI functions take them: refused for a root that is
// not predefined, a character outside the code page, or an empty component.
RegistryResult KeyPath(PredefinedRoot root, const Text& subKey, std::string& path) {
  if (!IsPredefined(root)) return kErrorInvalidHandle;
  const std::optional<std::string> ansiPath = AnsiName(subKey);
  if (!ansiPath) return kErrorNoUnicodeTranslation;
  if (!IsValidKeyPath(*ansiPath)) return kErrorBadPathname;
  path = *ansiPath;
  return kErrorSuccess;
}

// The Windows status that says what the system call's errno says.
RegistryResult StatusOfErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:  // Windows refuses to open a folder as a file the same way
      return kErrorAccessDenied;
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case ENOMEM:
      return kErrorOutOfMemory;
    case EIO:
      return kErrorIoDevice;
    case ELOOP:
      return kErrorCantResolveFilename;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EFBIG:
      return kErrorFileTooLarge;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    default:
      return kErrorRegistryIoFailed;
  }
}

// The status of a failed SQLite call: the system's reason where a system call failed
// beneath it, else SQLite's own.
RegistryResult StatusOf(const sqlite::Failure& failure) {
  const int primary = failure.code() & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return kErrorBusy;
  if (failure.IsBadStore()) return kErrorBadDb;
  if (failure.systemError() != 0) return StatusOfErrno(failure.systemError());
  switch (primary) {
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return kErrorAccessDenied;
    case SQLITE_NOMEM:
      return kErrorOutOfMemory;
    case SQLITE_FULL:
      return kErrorDiskFull;
    case SQLITE_TOOBIG:
      return kErrorFileTooLarge;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
      return kErrorRegistryIoFailed;
    default:
      // A statement SQLite refused (SQLITE_ERROR, a constraint, a misuse): ours to mend.
      return kErrorInternalError;
  }
}

struct FoundKey {
  std::int64_t id;
  std::string path;  // as spelled when it was created
};

std::optional<FoundKey> FindKey(sqlite::Connection& connection, PredefinedRoot root,
                                const std::string& foldedPath) {
  sqlite::Statement find =
      connection.Prepare("SELECT id, path FROM keys WHERE root = ?1 AND folded_path = ?2");
  find.Bind(1, std::int64_t{root}).Bind(2, foldedPath);
  if (!find.Step()) return std::nullopt;
  return FoundKey{find.Integer(0), find.String(1)};
}

std::int64_t InsertKey(sqlite::Connection& connection, PredefinedRoot root,
                       const std::string& path) {
  sqlite::Statement insert = connection.Prepare(
      "INSERT INTO keys (root, path, folded_path) VALUES (?1, ?2, ?3) RETURNING id");
  insert.Bind(1, std::int64_t{root}).Bind(2, path).Bind(3, Fold(path));
  insert.Step();
  const std::int64_t id = insert.Integer(0);
  while (insert.Step()) {
  }
  return id;
}

bool KeyExists(sqlite::Connection& connection, std::int64_t id) {
  sqlite::Statement find = connection.Prepare("SELECT 1 FROM keys WHERE id = ?1");
  find.Bind(1, id);
  return find.Step();
}

// Every subkey's folded path starts with the key's folded path and a backslash, so
// it sorts between "PATH\" and "PATH]" (']' follows '\').
bool HasSubkeys(sqlite::Connection& connection, PredefinedRoot root,
                const std::string& foldedPath) {
  sqlite::Statement find = connection.Prepare(
      "SELECT 1 FROM keys WHERE root = ?1 AND folded_path > ?2 AND folded_path < ?3 LIMIT 1");
  find.Bind(1, std::int64_t{root}).Bind(2, foldedPath + "\\").Bind(3, foldedPath + "]");
  return find.Step();
}

// The row that holds a root's own values (path ""), made when first needed.
std::int64_t RootKeyRow(sqlite::Connection& connection, PredefinedRoot root, bool create) {
  if (auto found = FindKey(connection, root, "")) return found->id;
  return create ? InsertKey(connection, root, "") : 0;
}

}  // namespace

// One call's view of the store: its transaction and what the file holds.
class SqliteRegistry::Session {
 public:
  // `createLayout`: an empty file receives the tables within this transaction.
  Session(sqlite::Connection& connection, sqlite::Transaction::Kind kind, bool createLayout)
      : connection(connection), transaction(connection, kind), layout(ReadLayout(connection)) {
    if (createLayout && empty()) {
      sqlite::CreateLayout(connection);
      layout = sqlite::Layout::Ours;
    }
  }

  bool empty() const { return layout == sqlite::Layout::Empty; }

  sqlite::Connection& connection;
  sqlite::Transaction transaction;
  sqlite::Layout layout;
};

SqliteRegistry::SqliteRegistry(std::filesystem::path store, std::chrono::milliseconds busyTimeout)
    : store_(std::move(store)), busyTimeout_(busyTimeout) {}

SqliteRegistry::~SqliteRegistry() = default;

std::string SqliteRegistry::CheckStore(const std::filesystem::path& store,
                                       std::chrono::milliseconds busyTimeout) {
  return ExamineStore(store, busyTimeout).problem;
}

SqliteRegistry::StoreReport SqliteRegistry::ExamineStore(const std::filesystem::path& store,
                                                         std::chrono::milliseconds busyTimeout) {
  const sqlite::Inspection inspection = sqlite::InspectStore(store, busyTimeout);
  // A store that is merely locked is not damaged; the calls report the lock.
  if (inspection.state != sqlite::StoreState::Bad) return {};
  switch (inspection.kind) {
    case sqlite::StoreProblem::Foreign:
      return {StoreTrouble::Foreign, inspection.problem};
    case sqlite::StoreProblem::NotAFile:
      return {StoreTrouble::NotAFile, inspection.problem};
    case sqlite::StoreProblem::Unreadable:
      return {StoreTrouble::Unreadable, inspection.problem};
    case sqlite::StoreProblem::None:
    case sqlite::StoreProblem::Damaged:
      break;
  }
  return {StoreTrouble::Damaged, inspection.problem};
}

bool SqliteRegistry::Connect(Intent intent) {
  if (connection_) return true;
  const sqlite::Inspection inspection = sqlite::InspectStore(store_, busyTimeout_);
  std::unique_ptr<sqlite::Connection> connection;
  switch (inspection.state) {
    case sqlite::StoreState::Missing: {
      if (intent != Intent::Create) return false;
      CreatePrivateFolders(store_.parent_path());
      connection = std::make_unique<sqlite::Connection>(
          store_, sqlite::Connection::Mode::ReadWriteCreate, busyTimeout_);
      // The new file's name must survive a crash as well as its content.
      if (const int error = posix::SyncFolder(store_.parent_path()); error != 0) {
        throw std::filesystem::filesystem_error("Cannot flush the folder", store_.parent_path(),
                                                std::error_code(error, std::generic_category()));
      }
      break;
    }
    case sqlite::StoreState::Usable:
      connection = std::make_unique<sqlite::Connection>(store_, sqlite::Connection::Mode::ReadWrite,
                                                        busyTimeout_);
      break;
    case sqlite::StoreState::Busy:
      throw sqlite::Failure(inspection.code, inspection.problem);
    case sqlite::StoreState::Bad:
      switch (inspection.kind) {
        case sqlite::StoreProblem::Foreign:
          throw sqlite::Failure::Foreign(inspection.problem);
        case sqlite::StoreProblem::NotAFile:
          throw sqlite::Failure(inspection.code, inspection.problem,
                                inspection.systemError != 0 ? inspection.systemError : EACCES);
        default:
          throw sqlite::Failure(inspection.code, inspection.problem, inspection.systemError);
      }
  }
  // A rollback journal keeps the store one self-contained file (no -wal or -shm
  // beside it) that a read-only check can open without creating anything; FULL makes
  // every commit reach the disk before the call returns.
  connection->Execute("PRAGMA journal_mode = DELETE");
  connection->Execute("PRAGMA synchronous = FULL");
  connection_ = std::move(connection);
  return true;
}

std::optional<SqliteRegistry::Session> SqliteRegistry::Begin(Intent intent) {
  if (!Connect(intent)) return std::nullopt;
  return std::optional<Session>(
      std::in_place, *connection_,
      intent == Intent::Read ? sqlite::Transaction::Kind::Read : sqlite::Transaction::Kind::Write,
      intent == Intent::Create);
}

KeyHandle SqliteRegistry::NewHandle(PredefinedRoot root, std::int64_t keyId, std::uint32_t access) {
  // Handles look like the system's: small multiples of four, never 0, never a
  // predefined root, never one still open.
  while (nextHandle_ == 0 || nextHandle_ >= kHkeyClassesRoot || handles_.count(nextHandle_) != 0) {
    nextHandle_ = nextHandle_ >= kHkeyClassesRoot ? kFirstHandle : nextHandle_ + 4;
  }
  const KeyHandle handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = OpenKey{root, keyId, access};
  return handle;
}

RegistryResult SqliteRegistry::Target(KeyHandle key, std::uint32_t right, OpenKey& target) const {
  const auto handle = handles_.find(key);
  if (handle == handles_.end()) return kErrorInvalidHandle;
  // As on Windows, the handle's rights are checked before the key itself.
  if ((handle->second.access & right) != right) return kErrorAccessDenied;
  target = handle->second;
  return kErrorSuccess;
}

RegistryResult SqliteRegistry::Fail(const sqlite::Failure& failure) {
  lastProblem_ = failure.what();
  // The next call looks at the file afresh instead of trusting this connection.
  if (failure.IsBadStore()) connection_.reset();
  return StatusOf(failure);
}

template <typename Call>
RegistryResult SqliteRegistry::Guarded(Call&& call) noexcept {
  try {
    lastProblem_.clear();
    return call();
  } catch (const sqlite::Failure& failure) {
    return Fail(failure);
  } catch (const std::filesystem::filesystem_error& error) {
    lastProblem_ = error.what();
    return StatusOfErrno(error.code().value());
  } catch (const std::bad_alloc&) {
    return kErrorOutOfMemory;
  } catch (const std::exception& error) {
    lastProblem_ = error.what();
    return kErrorRegistryIoFailed;
  }
}

RegistryResult SqliteRegistry::Open(PredefinedRoot root, const Text& subKey, std::uint32_t access,
                                    KeyHandle& key) {
  key = 0;
  return Guarded([&]() -> RegistryResult {
    std::string path;
    if (const RegistryResult refused = KeyPath(root, subKey, path); refused != kErrorSuccess) {
      return refused;
    }
    if (path.empty()) {
      key = NewHandle(root, kRootKeyId, access);
      return kErrorSuccess;
    }
    auto session = Begin(Intent::Read);
    if (!session || session->empty()) return kErrorFileNotFound;
    const auto found = FindKey(session->connection, root, Fold(path));
    if (!found) return kErrorFileNotFound;
    session->transaction.Commit();
    key = NewHandle(root, found->id, access);
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegOpenKeyA(PredefinedRoot root, const Text& subKey,
                                           KeyHandle& key) {
  return Open(root, subKey, kFullAccess, key);
}

RegistryResult SqliteRegistry::RegOpenKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t,
                                             std::uint32_t access, KeyHandle& key) {
  return Open(root, subKey, access, key);
}

RegistryResult SqliteRegistry::RegCreateKeyExA(PredefinedRoot root, const Text& subKey,
                                               std::uint32_t, std::uint32_t access, KeyHandle& key,
                                               std::uint32_t& disposition) {
  key = 0;
  return Guarded([&]() -> RegistryResult {
    std::string path;
    if (const RegistryResult refused = KeyPath(root, subKey, path); refused != kErrorSuccess) {
      return refused;
    }
    if (path.empty()) {
      key = NewHandle(root, kRootKeyId, access);
      disposition = kRegOpenedExistingKey;
      return kErrorSuccess;
    }
    auto session = Begin(Intent::Create);
    // Walk down the path, creating each missing key below the spelling of its
    // existing parent.
    std::string spelled;
    std::int64_t id = 0;
    bool existed = false;
    for (std::size_t start = 0; start <= path.size();) {
      std::size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      const std::string component = path.substr(start, end - start);
      const auto found = FindKey(session->connection, root, Fold(path.substr(0, end)));
      existed = found.has_value();
      spelled = existed ? found->path : (spelled.empty() ? component : spelled + "\\" + component);
      id = existed ? found->id : InsertKey(session->connection, root, spelled);
      start = end + 1;
    }
    session->transaction.Commit();
    key = NewHandle(root, id, access);
    disposition = existed ? kRegOpenedExistingKey : kRegCreatedNewKey;
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegSetValueExA(KeyHandle key, const Text& valueName,
                                              std::int32_t type,
                                              const std::vector<std::uint8_t>& data) {
  return Guarded([&]() -> RegistryResult {
    OpenKey target{};
    if (const RegistryResult status = Target(key, kKeySetValue, target); status != kErrorSuccess) {
      return status;
    }
    // Only a root's own values can be the first thing written to a new store.
    auto session = Begin(target.keyId == kRootKeyId ? Intent::Create : Intent::Change);
    if (!session || session->empty()) return kErrorKeyDeleted;
    std::int64_t id = target.keyId;
    if (id == kRootKeyId) {
      id = RootKeyRow(session->connection, target.root, true);
    } else if (!KeyExists(session->connection, id)) {
      return kErrorKeyDeleted;
    }
    const std::optional<std::string> ansiName = AnsiName(valueName);
    if (!ansiName) return kErrorNoUnicodeTranslation;
    const std::string& name = *ansiName;
    sqlite::Statement upsert = session->connection.Prepare(
        "INSERT INTO key_values (key_id, name, folded_name, type, data)"
        " VALUES (?1, ?2, ?3, ?4, ?5)"
        " ON CONFLICT (key_id, folded_name) DO UPDATE SET type = excluded.type,"
        " data = excluded.data");
    upsert.Bind(1, id).Bind(2, name).Bind(3, Fold(name)).Bind(4, std::int64_t{type}).Bind(5, data);
    upsert.Step();
    session->transaction.Commit();
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegQueryValueExA(KeyHandle key, const Text& valueName,
                                                std::int32_t& type,
                                                std::vector<std::uint8_t>& data) {
  return Guarded([&]() -> RegistryResult {
    OpenKey target{};
    if (const RegistryResult status = Target(key, kKeyQueryValue, target);
        status != kErrorSuccess) {
      return status;
    }
    auto session = Begin(Intent::Read);
    const RegistryResult gone = target.keyId == kRootKeyId ? kErrorFileNotFound : kErrorKeyDeleted;
    if (!session || session->empty()) return gone;
    std::int64_t id = target.keyId;
    if (id == kRootKeyId) {
      id = RootKeyRow(session->connection, target.root, false);
      if (id == 0) return kErrorFileNotFound;
    } else if (!KeyExists(session->connection, id)) {
      return kErrorKeyDeleted;
    }
    sqlite::Statement read = session->connection.Prepare(
        "SELECT type, data FROM key_values WHERE key_id = ?1 AND folded_name = ?2");
    const std::optional<std::string> name = AnsiName(valueName);
    if (!name) return kErrorNoUnicodeTranslation;
    read.Bind(1, id).Bind(2, Fold(*name));
    if (!read.Step()) return kErrorFileNotFound;
    const auto storedType = static_cast<std::int32_t>(read.Integer(0));
    std::vector<std::uint8_t> bytes = read.Blob(1);
    session->transaction.Commit();
    type = storedType;
    data = std::move(bytes);
    return kErrorSuccess;
  });
}

RegistryResult SqliteRegistry::RegDeleteKeyA(PredefinedRoot root, const Text& subKey) {
  return Guarded([&]() -> RegistryResult {
    std::string path;
    if (const RegistryResult refused = KeyPath(root, subKey, path); refused != kErrorSuccess) {
      return refused;
    }
    if (path.empty()) return kErrorAccessDenied;  // a root cannot be deleted
    auto session = Begin(Intent::Change);
    if (!session || session->empty()) return kErrorFileNotFound;
    const std::string folded = Fold(path);
    const auto found = FindKey(session->connection, root, folded);
    if (!found) return kErrorFileNotFound;
    if (HasSubkeys(session->connection, root, folded)) return kErrorAccessDenied;
    sqlite::Statement values =
        session->connection.Prepare("DELETE FROM key_values WHERE key_id = ?1");
    values.Bind(1, found->id).Step();
    sqlite::Statement keys = session->connection.Prepare("DELETE FROM keys WHERE id = ?1");
    keys.Bind(1, found->id).Step();
    session->transaction.Commit();
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
  return WindowsStatusText(status);
}

RegistryResult SqliteRegistry::ToAnsiCodePage(const Text& text, std::string& bytes) {
  return ToAscii(text, bytes) ? kErrorSuccess : kErrorNoUnicodeTranslation;
}

}  // namespace ruvo::store
