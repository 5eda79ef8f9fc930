// Binds the backend contract to the stand-alone backend: a registry in a fresh SQLite
// file and drive C: in a fresh folder, both in a temporary folder per test.
#include <algorithm>
#include <memory>

#include "contract_backend.h"
#include "platform/standalone/drive_c.h"
#include "platform/standalone/sqlite_registry.h"
#include "platform/text.h"
#include "standalone_test_support.h"

namespace ruvo::contract {

Backend MakeBackend() {
  auto folder = std::make_shared<standalone_test::TemporaryFolder>();
  const std::filesystem::path drive = folder->path() / "drive_c";
  Backend backend;
  backend.registry = std::make_unique<store::SqliteRegistry>(folder->path() / "registry.sqlite3");
  backend.files = std::make_unique<drive::DriveCFileSystem>(drive);
  backend.scratchKey = L"Software\\RuvoContract\\Run";
  backend.scratchFolder = L"c:\\ruvo-contract";
  // The suite's paths are plain "c:\..." ones.
  backend.readFile = [drive](const Text& path) -> std::optional<std::string> {
    std::string relative = ToUtf8(path.substr(3));
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return standalone_test::ReadBytes(drive / relative);
  };
  backend.readValue = [store = folder->path() / "registry.sqlite3"](const Text& keyPath,
                                                                     const Text& name) {
    return standalone_test::StoredValue(store, keyPath, name);
  };
  backend.cleanUp = [folder]() mutable { folder.reset(); };
  return backend;
}

}  // namespace ruvo::contract
