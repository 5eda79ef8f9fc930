// The registry stand-in of the stand-alone program: the Windows registry functions
// the installer calls, kept in one SQLite database file.
//
// As on Windows where the logic can tell: key paths and value names ignore ASCII
// case (a key keeps its first spelling), a missing key opens as handle 0 with status
// 2, creating a key creates its parents, a value holds exactly the type and bytes
// given, a key with subkeys cannot be deleted (5), unknown handles give 6 and a
// deleted key's handles 1018. The four predefined roots are separate trees; a root
// opens as a key but holds no values. A handle keeps the access it was opened with:
// setting a value needs KEY_SET_VALUE, listing subkeys KEY_ENUMERATE_SUB_KEYS, else 5.
//
// The first call that writes creates the file; reads of a missing file see an empty
// registry. Each call is one transaction, durable when it returns. The store is
// looked at once: one that is damaged, no database or another program's is never
// written, and every call on it gives 1009 (ERROR_BADDB), or 5 when a folder, FIFO,
// device or link stands at its name or its journal's.
#pragma once

#include <chrono>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/platform_services.h"

namespace ruvo::store {
namespace sqlite {
class Connection;
// Rolls back the transaction of the connection it holds, unless committed.
struct RollBack {
  void operator()(Connection* connection) const;
};
using Transaction = std::unique_ptr<Connection, RollBack>;
}  // namespace sqlite

// Why the store cannot be used: the two things the user can do about it.
enum class StoreTrouble {
  Fine,         // usable, missing, or only locked (not "None": X11 defines it)
  NotOurs,      // damaged, another program's, or no file at all: move it aside or restore it
  Unreachable,  // the system or SQLite refuses it: the problem carries the reason
};

class SqliteRegistry final : public Registry {
 public:
  static constexpr std::chrono::milliseconds kDefaultBusyTimeout{5000};
  // `busyTimeout` is how long a call waits for another process's lock before it
  // gives up with ERROR_BUSY (170).
  explicit SqliteRegistry(std::filesystem::path store,
                          std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);
  ~SqliteRegistry() override;

  struct StoreReport {
    StoreTrouble trouble = StoreTrouble::Fine;
    std::string problem;  // what is wrong, for a message that names the file
  };
  // Looks at the store as the first call would, keeping what it found for the calls.
  // Fine when it is usable, missing, or locked by another process (the calls say so).
  StoreReport Examine();

  RegistryResult RegOpenKeyA(PredefinedRoot root, const Text& subKey, KeyHandle& key) override;
  RegistryResult RegOpenKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                               std::uint32_t access, KeyHandle& key) override;
  RegistryResult RegCreateKeyExA(PredefinedRoot root, const Text& subKey, std::uint32_t options,
                                 std::uint32_t access, KeyHandle& key,
                                 std::uint32_t& disposition) override;
  RegistryResult RegSetValueExA(KeyHandle key, const Text& valueName, std::int32_t type,
                                const std::vector<std::uint8_t>& data) override;
  RegistryResult RegEnumKeyExA(KeyHandle key, std::uint32_t index, Text& name) override;
  RegistryResult RegDeleteKeyA(PredefinedRoot root, const Text& subKey) override;
  // Every call's transaction is on the disk when it returns: nothing is left to flush.
  RegistryResult RegFlushKey(KeyHandle key) override;
  RegistryResult RegCloseKey(KeyHandle key) override;
  // Windows' words, then the store's name and SQLite's or the system's words when
  // `status` is what the last failed call returned.
  Text DescribeStatus(RegistryResult status) override;
  // The stand-in's code page is ASCII.
  RegistryResult ToAnsiCodePage(const Text& text, std::string& bytes) override;

 private:
  // What an open handle stands for. Key id 0 is the root itself.
  struct OpenKey {
    PredefinedRoot root;
    std::int64_t keyId;
    std::uint32_t access;  // the rights the handle was opened with
  };
  // A transaction on the store (a writer's when `write`), opened and checked when a
  // call first needs it; nullptr when the store is missing and not to be `create`d.
  sqlite::Transaction Begin(bool write, bool create = false);
  // Opens the key, or with a `disposition` to tell, creates it and missing parents.
  RegistryResult OpenOrCreateKey(PredefinedRoot root, const Text& subKey, std::uint32_t access,
                                 KeyHandle& key, std::uint32_t* disposition);
  // Runs `call` and turns whatever it throws into a status.
  template <typename Call>
  RegistryResult StatusOfCall(Call&& call) noexcept;

  std::filesystem::path store_;
  std::chrono::milliseconds busyTimeout_;
  std::unique_ptr<sqlite::Connection> connection_;
  std::exception_ptr refused_;  // what every call gets on a store left alone
  std::map<KeyHandle, OpenKey> handles_;
  KeyHandle lastHandle_ = 0;
  // The last failed call's status, SQLite's or the system's words, and the trouble.
  RegistryResult lastStatus_ = kErrorSuccess;
  std::string lastProblem_;
  StoreTrouble lastTrouble_ = StoreTrouble::Fine;
};

}  // namespace ruvo::store
