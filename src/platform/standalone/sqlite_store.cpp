#include "platform/standalone/sqlite_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <system_error>

namespace ruvo::sqlite {
namespace {

// SQLite's words for the last failure, with the system's reason when there is one.
std::string LastError(sqlite3* db, int code) {
  std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
  if ((code & 0xFF) == SQLITE_CANTOPEN && systemError != 0) {
    message += " (" + std::system_category().message(systemError) + ")";
  }
  return message;
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

int OpenFlags(Connection::Mode mode) {
  switch (mode) {
    case Connection::Mode::ReadOnly:
      return SQLITE_OPEN_READONLY;
    case Connection::Mode::ReadWrite:
      return SQLITE_OPEN_READWRITE;
    case Connection::Mode::ReadWriteCreate:
      break;
  }
  return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
}

}  // namespace

bool Failure::IsBadStore() const noexcept {
  const int primary = code_ & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_FORMAT ||
         primary == SQLITE_ERROR;
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
  if (result != SQLITE_OK) throw Failure(result, LastError(db_, result));
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
  throw Failure(result, LastError(db_, result));
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
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(file.c_str(), &raw, OpenFlags(mode), nullptr);
  db_.reset(raw);  // closed even when the open failed
  if (result != SQLITE_OK) throw Failure(result, LastError(raw, result));
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, static_cast<int>(busyTimeout.count()));
}

void Connection::Execute(std::string_view sql) {
  const int result = sqlite3_exec(db_.get(), std::string(sql).c_str(), nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) throw Failure(result, LastError(db_.get(), result));
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
    throw Failure(SQLITE_NOTADB, id == 0 ? "it is an SQLite database of another program"
                                         : "it is an SQLite database of another program "
                                           "(application id " +
                                               Hex(id) + ")");
  }
  const std::int64_t version = connection.QueryInteger("PRAGMA user_version");
  if (version > kSchemaVersion) {
    throw Failure(SQLITE_NOTADB, "it was written by a newer version of RUVO LinkLens (layout " +
                                     std::to_string(version) + ")");
  }
  if (version != kSchemaVersion) {
    throw Failure(SQLITE_NOTADB, "its layout " + std::to_string(version) + " is unknown");
  }
  const std::int64_t tables = connection.QueryInteger(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'key_values')");
  if (tables != 2) throw Failure(SQLITE_NOTADB, "its tables are missing");
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

Inspection InspectStore(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout) {
  std::error_code error;
  const bool exists = std::filesystem::exists(file, error);
  if (error)
    return {StoreState::Bad, SQLITE_CANTOPEN, "it cannot be looked at: " + error.message()};
  if (!exists) return {StoreState::Missing, 0, {}};
  try {
    Connection connection(file, Connection::Mode::ReadOnly, busyTimeout);
    Transaction read(connection, Transaction::Kind::Read);
    if (ReadLayout(connection) == Layout::Ours) {
      const std::string problems = QuickCheck(connection);
      if (!problems.empty()) return {StoreState::Bad, SQLITE_CORRUPT, problems};
    }
    return {StoreState::Usable, 0, {}};
  } catch (const Failure& failure) {
    const int primary = failure.code() & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
      return {StoreState::Busy, failure.code(), failure.what()};
    }
    // A write that was cut off: SQLite rolls it back when the store is next opened for
    // writing, as it always does; the file is not damaged.
    if (failure.code() == SQLITE_READONLY_ROLLBACK) return {StoreState::Usable, 0, {}};
    return {StoreState::Bad, failure.code(), failure.what()};
  }
}

}  // namespace ruvo::sqlite
