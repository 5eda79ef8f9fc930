// The registry stand-in of the stand-alone program: the Windows registry functions
// the installer calls, kept in one SQLite database file.
//
// It behaves as Windows does where the logic can tell: key paths and value names are
// case-insensitive (ASCII folding; the spelling given at creation is kept), a missing
// key opens as handle 0 with status 2, creating a key creates its parents, a value
// holds exactly the type and bytes given, a key with subkeys cannot be deleted (5),
// unknown handles give 6 and a handle to a deleted key gives 1018. The four
// predefined roots are separate trees. Each handle keeps the access it was opened
// with: setting a value needs KEY_SET_VALUE and reading one KEY_QUERY_VALUE, else 5.
//
// The file is created by the first call that writes; reads of a missing file see an
// empty registry. Each call is one transaction, durable when it returns. A file that
// is damaged, is not a database or belongs to another program is never written:
// every call on it returns 1009 (ERROR_BADDB).
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform_services.h"

namespace ruvo::store {
namespace sqlite {
class Connection;
class Failure;
}  // namespace sqlite

class SqliteRegistry final : public Registry {
 public:
  static constexpr std::chrono::milliseconds kDefaultBusyTimeout{5000};

  // `busyTimeout` is how long a call waits for another process's lock before it
  // gives up with ERROR_BUSY (170).
  explicit SqliteRegistry(std::filesystem::path store,
                          std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);
  ~SqliteRegistry() override;
  SqliteRegistry(const SqliteRegistry&) = delete;
  SqliteRegistry& operator=(const SqliteRegistry&) = delete;

  // "" when the store is fine or does not exist yet; otherwise what is wrong with it
  // (for example "file is not a database"), for a message that names the file. Opens
  // the file read-only and changes nothing. A store that another process keeps locked
  // beyond `busyTimeout` is not damaged: that gives "" as well.
  static std::string CheckStore(const std::filesystem::path& store,
                                std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);

  // Why CheckStore found the store unusable, so that the advice can fit the cause.
  enum class StoreTrouble {
    Fine,        // fine, missing, or only locked (not "None": X11 defines it)
    Damaged,     // not a database, or malformed: restore it or move it aside
    Foreign,     // a sound database that is not this program's store: move it aside
    NotAFile,    // a folder, FIFO, device or link stands at its name or its journal's
    Unreadable,  // the system refuses it: the problem carries the system's reason
  };
  struct StoreReport {
    StoreTrouble trouble = StoreTrouble::Fine;
    std::string problem;  // "" exactly when trouble is Fine
  };
  // CheckStore with the kind of trouble.
  static StoreReport ExamineStore(const std::filesystem::path& store,
                                  std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);

  RegistryResult RegOpenKeyA(PredefinedRoot root, const Text& subKey, KeyHandle& key) override;
  RegistryResult RegOpenKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                               std::uint32_t access, KeyHandle& key) override;
  RegistryResult RegCreateKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                                 std::uint32_t access, KeyHandle& key,
                                 std::uint32_t& disposition) override;
  RegistryResult RegSetValueExA(KeyHandle key, const Text& valueName, std::int32_t type,
                                const std::vector<std::uint8_t>& data) override;
  RegistryResult RegQueryValueExA(KeyHandle key, const Text& valueName, std::int32_t& type,
                                  std::vector<std::uint8_t>& data) override;
  RegistryResult RegDeleteKeyA(PredefinedRoot root, const Text& subKey) override;
  // Every call's transaction is on the disk when it returns: nothing is left to flush.
  RegistryResult RegFlushKey(KeyHandle key) override;
  RegistryResult RegCloseKey(KeyHandle key) override;
  Text DescribeStatus(RegistryResult status) override;
  // The stand-in's code page is ASCII.
  RegistryResult ToAnsiCodePage(const Text& text, std::string& bytes) override;

  const std::filesystem::path& store() const { return store_; }
  // SQLite's or the system's words for the last failed call, for diagnostics.
  const std::string& lastProblem() const { return lastProblem_; }

 private:
  // What an open handle stands for. Key id 0 is the root itself.
  struct OpenKey {
    PredefinedRoot root;
    std::int64_t keyId;
    std::uint32_t access;  // the rights the handle was opened with
  };
  enum class Intent {
    Read,    // a missing store is an empty registry
    Change,  // a missing store has nothing to change
    Create,  // a missing store is created
  };
  class Session;

  std::optional<Session> Begin(Intent intent);
  bool Connect(Intent intent);
  RegistryResult Open(PredefinedRoot root, const Text& subKey, std::uint32_t access,
                      KeyHandle& key);
  KeyHandle NewHandle(PredefinedRoot root, std::int64_t keyId, std::uint32_t access);
  // The key an open handle stands for, when the handle holds `right`.
  RegistryResult Target(KeyHandle key, std::uint32_t right, OpenKey& target) const;
  template <typename Call>
  RegistryResult Guarded(Call&& call) noexcept;
  RegistryResult Fail(const sqlite::Failure& failure);

  std::filesystem::path store_;
  std::chrono::milliseconds busyTimeout_;
  std::unique_ptr<sqlite::Connection> connection_;  // opened once the store proved ours
  std::map<KeyHandle, OpenKey> handles_;
  KeyHandle nextHandle_ = 0x100;
  std::string lastProblem_;
};

}  // namespace ruvo::store
