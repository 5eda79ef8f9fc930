// The backend contract: what every backend of the platform seam must do the same
// way, because the logic relies on it. The suite is written once, against the seam
// alone; each backend binds it by defining MakeBackend().
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform_services.h"

namespace ruvo::contract {

// One backend under test, made afresh for every test.
struct Backend {
  std::unique_ptr<Registry> registry;
  std::unique_ptr<FileSystem> files;
  // A key path under HKEY_CURRENT_USER that the tests may fill, for example
  // L"Software\\RuvoContract\\<unique>"; it need not exist.
  Text scratchKey;
  // A Windows path on drive C: that does not exist yet, for example
  // L"c:\\ruvo-contract-<unique>".
  Text scratchFolder;
  // The bytes of a file on drive C:, or nothing when no file is there. The seam
  // cannot read files back; every binding can.
  std::function<std::optional<std::string>(const Text& windowsPath)> readFile;
  // The type and bytes of a value of a key below HKEY_CURRENT_USER (a full path),
  // or nothing when there is none. The seam writes values and never reads them back;
  // every binding reads them its own way.
  std::function<std::optional<std::pair<std::int32_t, std::vector<std::uint8_t>>>(
      const Text& keyPath, const Text& valueName)>
      readValue;
  // Removes whatever the tests left behind. Runs after `registry` and `files` are
  // destroyed and every handle the tests opened is closed.
  std::function<void()> cleanUp;
};

// Defined by each binding.
Backend MakeBackend();

}  // namespace ruvo::contract
