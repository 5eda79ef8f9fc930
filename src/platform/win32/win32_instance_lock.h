// One install or uninstall at a time on the machine: a named mutex in the global
// namespace, which every user's session shares (the page's folder is the machine's),
// held until it is released or the program ends.
#pragma once

#include <windows.h>

#include "platform/platform_services.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {

// Waits for a kernel object while the window keeps answering.
class Waiter {
 public:
  enum class Wait { Signalled, Abandoned, TimedOut, CloseRequested, Failed };

  // On Failed, the system's error code is in `error`.
  virtual Wait WaitAnswering(HANDLE object, DWORD milliseconds, DWORD& error) = 0;

 protected:
  ~Waiter() = default;
};

class Win32InstanceLock final : public InstanceLock {
 public:
  // Opens the machine's mutex now, so that a press only waits for it.
  explicit Win32InstanceLock(Waiter& waiter);
  ~Win32InstanceLock() override;
  Win32InstanceLock(const Win32InstanceLock&) = delete;
  Win32InstanceLock& operator=(const Win32InstanceLock&) = delete;

  LockResult AcquireForAction(std::chrono::milliseconds patience) override;
  void Release() override;

 private:
  Waiter& waiter_;
  UniqueKernelObject mutex_;
  DWORD openError_ = ERROR_SUCCESS;
  bool held_ = false;
};

}  // namespace ruvo::win32
