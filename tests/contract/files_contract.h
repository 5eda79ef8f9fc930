// The file and folder half of the backend contract.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "contract_backend.h"

namespace ruvo::contract {

class FilesContract : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  FileSystem& files() { return *backend_.files; }
  // A path inside the scratch folder.
  Text In(const Text& relative) const { return backend_.scratchFolder + L"\\" + relative; }
  std::optional<std::string> Read(const Text& path) const { return backend_.readFile(path); }

  Backend backend_;
};

}  // namespace ruvo::contract
