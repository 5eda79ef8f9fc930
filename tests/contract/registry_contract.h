// The registry half of the backend contract.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "contract_backend.h"

namespace ruvo::contract {

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  Registry& registry() { return *backend_.registry; }
  // A key below the scratch key.
  Text Path(const Text& relative) const { return backend_.scratchKey + L"\\" + relative; }
  // Creates (or opens) a key below the scratch key; the handle is closed at the end.
  KeyHandle Create(const Text& relative, std::uint32_t* disposition = nullptr);
  // Opens an existing key below the scratch key with RegOpenKeyExA; 0 when it fails.
  KeyHandle Open(const Text& relative, std::uint32_t access = kKeyQueryValue | kKeySetValue);
  // A value of a key below the scratch key as the backend stored it (its type and
  // bytes), read back the binding's own way; nothing when there is none.
  std::optional<std::pair<std::int32_t, std::vector<std::uint8_t>>> Stored(
      const Text& relative, const Text& name) {
    return backend_.readValue(Path(relative), name);
  }
  // Remembers a handle to close at the end of the test.
  KeyHandle Track(KeyHandle key);

  Backend backend_;

 private:
  std::vector<KeyHandle> handles_;
};

}  // namespace ruvo::contract
