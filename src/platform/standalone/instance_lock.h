// One install or uninstall at a time for the data folder: an advisory lock on a file
// in it, held until it is released or the program ends.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>

#include "platform/platform_services.h"
#include "platform/standalone/posix.h"

namespace ruvo {

class FileInstanceLock final : public InstanceLock {
 public:
  // Waits a moment while the window keeps answering; false once the user has asked
  // for it to close.
  using Pause = std::function<bool(std::chrono::milliseconds)>;

  FileInstanceLock(std::filesystem::path file, Pause pause)
      : file_(std::move(file)), pause_(std::move(pause)) {}

  LockResult AcquireForAction(std::chrono::milliseconds patience) override;
  // Closing the descriptor lets the lock go.
  void Release() override { held_ = posix::FileDescriptor(); }

 private:
  std::filesystem::path file_;
  Pause pause_;
  posix::FileDescriptor held_;
};

}  // namespace ruvo
