// One install or uninstall at a time for the user: a named mutex in the user's
// session, held until it is released or the program ends.
#pragma once

#include "platform/platform_services.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {

class Win32InstanceLock final : public InstanceLock {
 public:
  // Opens the user's mutex now, so that a press only waits for it.
  Win32InstanceLock();
  ~Win32InstanceLock() override;
  Win32InstanceLock(const Win32InstanceLock&) = delete;
  Win32InstanceLock& operator=(const Win32InstanceLock&) = delete;

  bool AcquireForAction(std::chrono::milliseconds patience) override;
  void Release() override;

 private:
  UniqueKernelObject mutex_;
  bool held_ = false;
};

}  // namespace ruvo::win32
