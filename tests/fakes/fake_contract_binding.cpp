// Binds the backend contract to the in-memory fake, so that the logic's tests rest on
// a stand-in that keeps the same rules as the real backends.
#include <memory>

#include "contract_backend.h"
#include "fake_platform.h"

namespace ruvo::contract {

Backend MakeBackend() {
  // The fakes journal every call; the journal outlives them.
  auto journal = std::make_shared<std::vector<std::string>>();
  auto files = std::make_unique<fake::FakeFileSystem>(*journal);
  const fake::FakeFileSystem* reader = files.get();
  auto registry = std::make_unique<fake::FakeRegistry>(*journal);
  const fake::FakeRegistry* values = registry.get();
  Backend backend;
  backend.registry = std::move(registry);
  backend.files = std::move(files);
  backend.scratchKey = L"Software\\RuvoContract\\Run";
  backend.scratchFolder = L"c:\\ruvo-contract";
  backend.readFile = [reader](const Text& path) -> std::optional<std::string> {
    if (!reader->HasFile(path)) return std::nullopt;
    return reader->FileBytes(path);
  };
  backend.readValue = [values](const Text& keyPath, const Text& name)
      -> std::optional<std::pair<std::int32_t, std::vector<std::uint8_t>>> {
    const auto value = values->GetValue(kHkeyCurrentUser, keyPath, name);
    if (!value) return std::nullopt;
    return std::make_pair(value->type, value->data);
  };
  backend.cleanUp = [journal] {};
  return backend;
}

}  // namespace ruvo::contract
