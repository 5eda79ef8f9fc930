// Shared pieces of the stand-alone backend's tests: a temporary folder that cleans up
// after itself, whole-file reads and writes, a scoped environment variable, and
// direct ways into the registry and its store.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform_services.h"
#include "platform/text.h"

namespace ruvo::standalone_test {

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = ::testing::TempDir() + "ruvo-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = std::filesystem::path(name.data());
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    // Tests make folders unwritable or add links; removal must still get through.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::optional<std::string> ReadBytes(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << file;
}

// The names in a folder, to see that nothing was left beside a file.
inline std::set<std::string> Names(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Sets (or, with nullopt, unsets) an environment variable for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value)
      : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) old_ = old;
    Set(value);
  }
  ~ScopedEnvironment() { Set(old_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    value ? ::setenv(name_.c_str(), value->c_str(), 1) : ::unsetenv(name_.c_str());
  }

  std::string name_;
  std::optional<std::string> old_;
};

using Bytes = std::vector<std::uint8_t>;
using Rows = std::vector<std::string>;
inline constexpr std::int32_t kRegBinary = 3;

// Creates (or opens) a key with every right the installer asks for; 0 when it failed.
inline KeyHandle CreateKey(Registry& registry, const Text& path,
                           PredefinedRoot root = kHkeyCurrentUser) {
  KeyHandle key = 0;
  std::uint32_t disposition = 0;
  EXPECT_EQ(registry.RegCreateKeyExA(root, path, 0, kKeyEverySpecificRight, key, disposition),
            kErrorSuccess)
      << ToUtf8(path);
  return key;
}


// The store as another program (or a person with the sqlite3 tool) opens it: to plant
// things in it, or to look at what the registry wrote.
class Sql {
 public:
  explicit Sql(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    const int result =
        sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(raw);
    EXPECT_EQ(result, SQLITE_OK) << file;
  }
  // Runs one statement or more; the first column of every row they give.
  Rows Run(const std::string& sql) {
    Rows rows;
    const auto collect = [](void* rows, int, char** values, char**) {
      static_cast<Rows*>(rows)->emplace_back(values[0] ? values[0] : "");
      return 0;
    };
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db_.get(), sql.c_str(), collect, &rows, &message), SQLITE_OK)
        << sql << ": " << (message != nullptr ? message : "");
    sqlite3_free(message);
    return rows;
  }

 private:
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db_{nullptr, sqlite3_close_v2};
};

// A value as the store holds it, read with SQL as any other program would: its type
// and bytes, or nothing.
inline std::optional<std::pair<std::int32_t, Bytes>> StoredValue(
    const std::filesystem::path& store, const Text& keyPath, const Text& name,
    PredefinedRoot root = kHkeyCurrentUser) {
  const auto quoted = [](const Text& text) {
    std::string sql = "'";
    for (const char c : ToUtf8(text)) sql += c == '\'' ? std::string("''") : std::string(1, c);
    return sql + "'";
  };
  const Rows rows = Sql(store).Run(
      "SELECT v.type || ':' || hex(v.data) FROM keys k JOIN key_values v ON v.key_id = k.id"
      " WHERE k.root = " + std::to_string(root) + " AND k.folded_path = upper(" +
      quoted(keyPath) + ") AND v.folded_name = upper(" + quoted(name) + ")");
  if (rows.empty()) return std::nullopt;
  const std::string& row = rows[0];
  const std::size_t colon = row.find(':');
  Bytes data;
  for (std::size_t i = colon + 1; i + 1 < row.size(); i += 2) {
    data.push_back(static_cast<std::uint8_t>(std::stoi(row.substr(i, 2), nullptr, 16)));
  }
  return std::make_pair(std::stoi(row.substr(0, colon)), data);
}

}  // namespace ruvo::standalone_test
