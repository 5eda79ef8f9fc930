// The SQLite file behind the registry stand-in: RAII for connections and
// statements, the store's layout, and the checks that tell our store from a damaged
// file or another program's database. Private to the stand-alone backend.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ruvo::store::sqlite {

// "RUVO": marks the file as this program's registry store.
inline constexpr std::int32_t kApplicationId = 0x5255564F;
// The layout of the tables below; a store with another version is not touched.
inline constexpr std::int32_t kSchemaVersion = 1;

// A failed SQLite call (or a store that is not ours): the extended result code, the
// errno of the system call beneath it (0 when none failed) and the words that say
// what is wrong.
class Failure : public std::runtime_error {
 public:
  Failure(int code, const std::string& message, int systemError = 0)
      : std::runtime_error(message), code_(code), systemError_(systemError) {}
  // A readable SQLite database that is not our store (another program's, a newer
  // layout, other tables): never written.
  static Failure Foreign(const std::string& message);

  int code() const noexcept { return code_; }
  int systemError() const noexcept { return systemError_; }
  bool foreign() const noexcept { return foreign_; }
  // Damaged, not a database, or not ours: the store must be left alone. A failed
  // statement, a lock or a failing disk is none of these.
  bool IsBadStore() const noexcept;

 private:
  int code_;
  int systemError_;
  bool foreign_ = false;
};

struct CloseDatabase {
  void operator()(sqlite3* db) const noexcept;
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const noexcept;
};

// One prepared statement; parameters are always bound, never spliced into the SQL.
class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, const std::string& text);
  Statement& Bind(int index, const std::vector<std::uint8_t>& blob);
  // True while a row is available; false when the statement has run to its end.
  bool Step();

  std::int64_t Integer(int column) const;
  std::string String(int column) const;
  std::vector<std::uint8_t> Blob(int column) const;

 private:
  void Check(int result) const;

  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement_;
};

class Connection {
 public:
  enum class Mode {
    Immutable,  // read-only, no locks, no journal looked at: nothing beside it is made
    ReadWrite,
    ReadWriteCreate,
  };

  // Opens the file (never creating it unless asked to, never through a symbolic link)
  // and sets the busy timeout. Triggers and views never run on it.
  Connection(const std::filesystem::path& file, Mode mode, std::chrono::milliseconds busyTimeout);

  // Runs fixed SQL that takes no parameters.
  void Execute(std::string_view sql);
  Statement Prepare(std::string_view sql) { return Statement(db_.get(), sql); }
  // The first column of the first row of fixed SQL (a pragma), 0 when there is no row.
  std::int64_t QueryInteger(std::string_view sql);

 private:
  std::unique_ptr<sqlite3, CloseDatabase> db_;
};

// One call's transaction: rolled back unless committed.
class Transaction {
 public:
  enum class Kind { Read, Write };
  Transaction(Connection& connection, Kind kind);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& connection_;
  bool open_ = true;
};

enum class Layout {
  Empty,  // a new, empty file (or a database with nothing in it): nothing is stored yet
  Ours,   // our tables at our version
};

// Reads the marks and the whole catalogue inside the caller's transaction: the
// tables, columns and indexes exactly as CreateLayout makes them, and nothing else
// (no trigger, view or other table). Raises a foreign Failure describing the
// difference when the file is not our store.
Layout ReadLayout(Connection& connection);

// Creates the tables in an empty file, inside the caller's write transaction.
void CreateLayout(Connection& connection);

enum class StoreState {
  Missing,  // no file: an empty registry
  Usable,   // empty, ours, or waiting for SQLite to roll back an interrupted write
  Busy,     // another process holds the lock beyond the busy timeout
  Bad,      // see StoreProblem
};

// Why a store is Bad, for advice that fits.
enum class StoreProblem {
  None,
  Damaged,     // not a database, or SQLite finds it malformed: restore or move aside
  Foreign,     // a sound database that is not our store: move it aside
  NotAFile,    // a folder, FIFO, device or symbolic link stands at its name or its journal's
  Unreadable,  // the system refuses it (permissions, a link loop, a failing disk, a
               // path too long): the system's reason says what to mend
};

struct Inspection {
  StoreState state = StoreState::Missing;
  int code = 0;         // SQLite's extended result code for Busy and Bad
  std::string problem;  // what is wrong, for Bad
  StoreProblem kind = StoreProblem::None;
  int systemError = 0;  // the errno beneath an Unreadable or NotAFile store, else 0
};

// Looks at the store without changing a byte of it or making anything beside it.
// Only a regular file (and a regular journal, if any) is opened: immutable, so that
// SQLite takes no lock and reads no journal. A hot journal is judged on a private
// copy of both files, rolled back there as SQLite would roll back the store itself.
// Checks the marks, the whole catalogue, and runs SQLite's quick check.
Inspection InspectStore(const std::filesystem::path& file, std::chrono::milliseconds busyTimeout);

}  // namespace ruvo::store::sqlite
