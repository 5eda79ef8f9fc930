// One install or uninstall at a time for the user: an advisory lock on a file in the
// program's data folder, held until it is released or the program ends.
#pragma once

#include <filesystem>

#include "platform/platform_services.h"
#include "platform/standalone/posix.h"

namespace ruvo {

class FileInstanceLock final : public InstanceLock {
 public:
  explicit FileInstanceLock(std::filesystem::path file) : file_(std::move(file)) {}

  bool AcquireForAction(std::chrono::milliseconds patience) override;
  // Closing the descriptor lets the lock go.
  void Release() override { held_ = posix::FileDescriptor(); }

 private:
  std::filesystem::path file_;
  posix::FileDescriptor held_;
};

}  // namespace ruvo
