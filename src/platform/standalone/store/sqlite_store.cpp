#include "platform/standalone/store/sqlite_store.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <system_error>
#include <tuple>

#include "platform/standalone/posix.h"

namespace ruvo::store::sqlite {
namespace {

std::string SystemReason(int error) {
  return std::system_category().message(error);
}

// SQLite's words for the last failure, with the system's reason when a system call
// beneath it failed.
Failure LastFailure(sqlite3* db, int code) {
  std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
  if (systemError != 0) message += " (" + SystemReason(systemError) + ")";
  return Failure(code, message, systemError);
}

std::string Hex(std::int64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value & 0xFFFFFFFF));
  return text;
}

// SQLite's quick check; an empty text when it finds nothing wrong.
std::string QuickCheck(Connection& connection) {
  Statement check = connection.Prepare("PRAGMA quick_check(5)");
  std::string problems;
  while (check.Step()) {
    std::string line = check.String(0);
    if (line == "ok") continue;
    // The first problem comes under a heading that names the schema:
    // "*** in database main ***\nOn tree page 45 cell 6: ...".
    if (line.rfind("*** ", 0) == 0) {
      const std::size_t end = line.find('\n');
      line = end == std::string::npos ? std::string() : line.substr(end + 1);
    }
    if (line.empty()) continue;
    if (!problems.empty()) problems += "; ";
    problems += line;
  }
  return problems;
}

constexpr char kJournalSuffix[] = "-journal";

// The unix VFS refuses longer names with a bare "unable to open database file".
void CheckPathLength(const std::filesystem::path& file) {
  if (file == ":memory:") return;
  const sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  const std::size_t limit = vfs != nullptr ? static_cast<std::size_t>(vfs->mxPathname) : 512;
  // Its journal's name must fit as well.
  const std::size_t length =
      std::filesystem::absolute(file).native().size() + sizeof kJournalSuffix - 1;
  if (length >= limit) {
    throw Failure(SQLITE_CANTOPEN,
                  "its path is too long for SQLite (" + std::to_string(length) +
                      " bytes with its journal's suffix; at most " + std::to_string(limit - 1) +
                      ")",
                  ENAMETOOLONG);
  }
}

// "file:" URI of a path: everything but unreserved characters and '/' escaped.
std::string FileUri(const std::filesystem::path& file) {
  static const char digits[] = "0123456789ABCDEF";
  std::string uri = "file:";
  const std::string path = std::filesystem::absolute(file).native();
  for (const unsigned char c : path) {
    if (std::isalnum(c) != 0 || std::strchr("/-._~", c) != nullptr) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += digits[c >> 4];
      uri += digits[c & 0xF];
    }
  }
  return uri;
}

int OpenFlags(Connection::Mode mode) {
  switch (mode) {
    case Connection::Mode::Immutable:
      return SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW;
    case Connection::Mode::ReadWrite:
      return SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW;
    case Connection::Mode::ReadWriteCreate:
      break;
  }
  return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW;
}

}  // namespace

Failure Failure::Foreign(const std::string& message) {
  Failure failure(SQLITE_NOTADB, message);
  failure.foreign_ = true;
  return failure;
}

bool Failure::IsBadStore() const noexcept {
  const int primary = code_ & 0xFF;
  return foreign_ || primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB ||
         primary == SQLITE_FORMAT;
}

void CloseDatabase::operator()(sqlite3* db) const noexcept {
  sqlite3_close_v2(db);
}

void FinalizeStatement::operator()(sqlite3_stmt* statement) const noexcept {
  sqlite3_finalize(statement);
}

// --- statements -----------------------------------------------------------------------

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  sqlite3_stmt* raw = nullptr;
  const int result =
      sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  statement_.reset(raw);
  Check(result);
}

void Statement::Check(int result) const {
  if (result != SQLITE_OK) throw LastFailure(db_, result);
}

Statement& Statement::Bind(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(statement_.get(), index, value));
  return *this;
}

Statement& Statement::Bind(int index, const std::string& text) {
  Check(sqlite3_bind_text(statement_.get(), index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT));
  return *this;
}

Statement& Statement::Bind(int index, const std::vector<std::uint8_t>& blob) {
  // An empty value is a zero-length blob, never NULL.
  if (blob.empty()) {
    Check(sqlite3_bind_zeroblob(statement_.get(), index, 0));
  } else {
    Check(sqlite3_bind_blob(statement_.get(), index, blob.data(), static_cast<int>(blob.size()),
                            SQLITE_TRANSIENT));
  }
  return *this;
}

bool Statement::Step() {
  const int result = sqlite3_step(statement_.get());
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  throw LastFailure(db_, result);
}

std::int64_t Statement::Integer(int column) const {
  return sqlite3_column_int64(statement_.get(), column);
}

std::string Statement::String(int column) const {
  const auto* text = sqlite3_column_text(statement_.get(), column);
  const int size = sqlite3_column_bytes(statement_.get(), column);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), size);
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
  const auto* bytes =
      static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_.get(), column));
  const int size = sqlite3_column_bytes(statement_.get(), column);
  return bytes == nullptr ? std::vector<std::uint8_t>()
                          : std::vector<std::uint8_t>(bytes, bytes + size);
}

// --- connections and transactions -----------------------------------------------------

Connection::Connection(const std::filesystem::path& file, Mode mode,
                       std::chrono::milliseconds busyTimeout) {
  CheckPathLength(file);
  const std::string name =
      mode == Mode::Immutable ? FileUri(file) + "?mode=ro&immutable=1" : file.string();
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(name.c_str(), &raw, OpenFlags(mode), nullptr);
  db_.reset(raw);  // closed even when the open failed
  if (result != SQLITE_OK) throw LastFailure(raw, result);
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, static_cast<int>(busyTimeout.count()));
  // What a file may hold beyond our tables is never run, even before the catalogue
  // has been compared.
  for (const auto& [option, value] :
       {std::pair{SQLITE_DBCONFIG_DEFENSIVE, 1}, std::pair{SQLITE_DBCONFIG_ENABLE_TRIGGER, 0},
        std::pair{SQLITE_DBCONFIG_ENABLE_VIEW, 0}, std::pair{SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0}}) {
    if (const int set = sqlite3_db_config(raw, option, value, nullptr); set != SQLITE_OK) {
      throw LastFailure(raw, set);
    }
  }
}

void Connection::Execute(std::string_view sql) {
  const int result = sqlite3_exec(db_.get(), std::string(sql).c_str(), nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) throw LastFailure(db_.get(), result);
}

std::int64_t Connection::QueryInteger(std::string_view sql) {
  Statement statement = Prepare(sql);
  return statement.Step() ? statement.Integer(0) : 0;
}

Transaction::Transaction(Connection& connection, Kind kind) : connection_(connection) {
  // A writer takes the write lock up front, so that two writers never deadlock
  // upgrading their read locks; the busy timeout applies here.
  connection_.Execute(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (!open_) return;
  try {
    connection_.Execute("ROLLBACK");
  } catch (const Failure&) {
    // SQLite rolls back by itself when a statement failed badly enough.
  }
}

void Transaction::Commit() {
  connection_.Execute("COMMIT");
  open_ = false;
}

// --- the store's layout ------------------------------------------------------------------

namespace {

// One object of a catalogue: type, name, table and the SQL that made it ("" for the
// indexes SQLite makes for UNIQUE and PRIMARY KEY).
using CatalogueRow = std::tuple<std::string, std::string, std::string, std::string>;

std::set<CatalogueRow> ReadCatalogue(Connection& connection) {
  Statement rows =
      connection.Prepare("SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_master");
  std::set<CatalogueRow> catalogue;
  while (rows.Step()) {
    catalogue.emplace(rows.String(0), rows.String(1), rows.String(2), rows.String(3));
  }
  return catalogue;
}

// What CreateLayout makes, read back from a database in memory.
const std::set<CatalogueRow>& OurCatalogue() {
  static const std::set<CatalogueRow> catalogue = [] {
    Connection memory(":memory:", Connection::Mode::ReadWriteCreate, std::chrono::milliseconds(0));
    CreateLayout(memory);
    return ReadCatalogue(memory);
  }();
  return catalogue;
}

// The first way the store's catalogue differs from ours, or "".
std::string CatalogueDifference(const std::set<CatalogueRow>& found) {
  const std::set<CatalogueRow>& ours = OurCatalogue();
  auto sameName = [](const CatalogueRow& row, const std::set<CatalogueRow>& in) {
    return std::find_if(in.begin(), in.end(), [&](const CatalogueRow& other) {
             return std::get<0>(other) == std::get<0>(row) &&
                    std::get<1>(other) == std::get<1>(row);
           }) != in.end();
  };
  for (const CatalogueRow& row : found) {
    if (ours.count(row) != 0) continue;
    const std::string object = std::get<0>(row) + " \"" + std::get<1>(row) + "\"";
    return sameName(row, ours) ? "its " + object + " is not as RUVO LinkLens makes it"
                               : "it holds a " + object + " that RUVO LinkLens does not make";
  }
  for (const CatalogueRow& row : ours) {
    if (found.count(row) == 0)
      return "its " + std::get<0>(row) + " \"" + std::get<1>(row) + "\" is missing";
  }
  return {};
}

}  // namespace

Layout ReadLayout(Connection& connection) {
  if (connection.QueryInteger("PRAGMA page_count") == 0) return Layout::Empty;
  const std::int64_t id = connection.QueryInteger("PRAGMA application_id");
  // A write transaction on an empty file already sees its first page. A database with
  // no mark, no version and nothing in it holds nothing to lose either.
  if (id == 0 && connection.QueryInteger("PRAGMA user_version") == 0 &&
      connection.QueryInteger("SELECT count(*) FROM sqlite_master") == 0) {
    return Layout::Empty;
  }
  if (id != kApplicationId) {
    throw Failure::Foreign(id == 0 ? "it is an SQLite database of another program"
                                   : "it is an SQLite database of another program "
                                     "(application id " +
                                         Hex(id) + ")");
  }
  const std::int64_t version = connection.QueryInteger("PRAGMA user_version");
  if (version > kSchemaVersion) {
    throw Failure::Foreign("it was written by a newer version of RUVO LinkLens (layout " +
                           std::to_string(version) + ")");
  }
  if (version != kSchemaVersion) {
    throw Failure::Foreign("its layout " + std::to_string(version) + " is unknown");
  }
  if (const std::string difference = CatalogueDifference(ReadCatalogue(connection));
      !difference.empty()) {
    throw Failure::Foreign(difference);
  }
  return Layout::Ours;
}

void CreateLayout(Connection& connection) {
  // Keys are stored by their full path below a root: `path` as first spelled,
  // `folded_path` in ASCII upper case for the case-insensitive lookups. Ids are never
  // reused, so a handle to a deleted key can never reach a new key of the same path.
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
  connection.Execute("PRAGMA application_id = " + std::to_string(kApplicationId));
  connection.Execute("PRAGMA user_version = " + std::to_string(kSchemaVersion));
}

namespace {

Inspection Unreadable(int error, const std::string& what) {
  return {StoreState::Bad, SQLITE_CANTOPEN, what + ": " + SystemReason(error),
          StoreProblem::Unreadable, error};
}

const char* KindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// Opens an existing regular file for reading without following a link or waiting
// on a FIFO; an invalid descriptor with `inspection` set otherwise (or with nothing
// set when the file is not there).
posix::FileDescriptor OpenRegular(const std::filesystem::path& file, const std::string& what,
                                  Inspection& inspection) {
  posix::FileDescriptor fd(
      ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  if (!fd.valid()) {
    const int error = errno;
    if (error == ENOENT) return fd;
    // O_NOFOLLOW on a link gives ELOOP: say what stands there, not a loop.
    if (error == ELOOP && ::lstat(file.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      inspection = {StoreState::Bad, SQLITE_CANTOPEN, what + " is a symbolic link, not a file",
                    StoreProblem::NotAFile, 0};
    } else {
      inspection = Unreadable(error, what + " cannot be opened");
    }
    return posix::FileDescriptor();
  }
  if (::fstat(fd.get(), &info) != 0) {
    inspection = Unreadable(errno, what + " cannot be looked at");
    return posix::FileDescriptor();
  }
  if (!S_ISREG(info.st_mode)) {
    inspection = {StoreState::Bad, SQLITE_CANTOPEN,
                  what + " is " + KindOfFile(info.st_mode) + ", not a file", StoreProblem::NotAFile,
                  0};
    return posix::FileDescriptor();
  }
  return fd;
}

// Copies an open file to `to` (a new file in a private folder). Returns 0 or errno.
int CopyTo(int from, const std::filesystem::path& to) {
  posix::FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!out.valid()) return errno;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(from, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (count == 0) break;
    for (ssize_t done = 0; done < count;) {
      const ssize_t written =
          ::write(out.get(), buffer + done, static_cast<std::size_t>(count - done));
      if (written < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += written;
    }
  }
  return out.Close();
}

// A private folder for the copies, removed with what it holds.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / "ruvo-store-XXXXXX").string();
    if (error) pattern = "/tmp/ruvo-store-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr)
      path_ = pattern;
    else
      error_ = errno;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  int error() const { return error_; }

 private:
  std::filesystem::path path_;
  int error_ = 0;
};

Inspection Judge(const std::filesystem::path& file, Connection::Mode mode,
                 std::chrono::milliseconds busyTimeout) {
  try {
    Connection connection(file, mode, busyTimeout);
    Transaction read(connection, Transaction::Kind::Read);
    if (ReadLayout(connection) == Layout::Ours) {
      const std::string problems = QuickCheck(connection);
      if (!problems.empty()) {
        return {StoreState::Bad, SQLITE_CORRUPT, problems, StoreProblem::Damaged, 0};
      }
    }
    return {StoreState::Usable, 0, {}, StoreProblem::None, 0};
  } catch (const Failure& failure) {
    const int primary = failure.code() & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
      return {StoreState::Busy, failure.code(), failure.what(), StoreProblem::None, 0};
    }
    const StoreProblem kind = failure.foreign()      ? StoreProblem::Foreign
                              : failure.IsBadStore() ? StoreProblem::Damaged
                                                     : StoreProblem::Unreadable;
    return {StoreState::Bad, failure.code(), failure.what(), kind, failure.systemError()};
  }
}

}  // namespace

Inspection InspectStore(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout) {
  try {
    CheckPathLength(file);
  } catch (const Failure& failure) {
    return {StoreState::Bad, failure.code(), failure.what(), StoreProblem::Unreadable,
            failure.systemError()};
  }
  const std::filesystem::path journal = file.string() + kJournalSuffix;
  Inspection refused;
  // The journal first: SQLite would open it when it next writes the store.
  posix::FileDescriptor journalFd =
      OpenRegular(journal, "its journal " + journal.string(), refused);
  if (refused.state == StoreState::Bad) return refused;
  posix::FileDescriptor storeFd = OpenRegular(file, "it", refused);
  if (refused.state == StoreState::Bad) return refused;
  if (!storeFd.valid()) return {};  // missing: an empty registry

  struct stat journalInfo {};
  if (!journalFd.valid() ||
      (::fstat(journalFd.get(), &journalInfo) == 0 && journalInfo.st_size == 0)) {
    return Judge(file, Connection::Mode::Immutable, busyTimeout);
  }
  // A write that was cut off, or is under way: judge the store as SQLite will see it
  // after rolling the journal back, on copies, so that nothing here is changed.
  ScratchFolder scratch;
  if (scratch.path().empty()) return Unreadable(scratch.error(), "no private copy can be made");
  const std::filesystem::path copy = scratch.path() / "store";
  if (const int error = CopyTo(journalFd.get(), copy.string() + kJournalSuffix); error != 0) {
    return Unreadable(error, "its journal cannot be copied");
  }
  if (const int error = CopyTo(storeFd.get(), copy); error != 0) {
    return Unreadable(error, "it cannot be copied");
  }
  return Judge(copy, Connection::Mode::ReadWrite, busyTimeout);
}

}  // namespace ruvo::store::sqlite
