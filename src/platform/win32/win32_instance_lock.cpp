#include "platform/win32/win32_instance_lock.h"

namespace ruvo::win32 {
namespace {

// "Local\": the user's own session; every RUVO LinkLens of that user shares it.
constexpr const wchar_t* kMutexName = L"Local\\RuvoLinkLens.InstallOrUninstall";

}  // namespace

Win32InstanceLock::Win32InstanceLock() : mutex_(::CreateMutexW(nullptr, FALSE, kMutexName)) {}

Win32InstanceLock::~Win32InstanceLock() {
  Release();
}

void Win32InstanceLock::Release() {
  if (held_) ::ReleaseMutex(mutex_.get());
  held_ = false;
}

bool Win32InstanceLock::AcquireForAction(std::chrono::milliseconds patience) {
  if (held_) return true;
  if (!mutex_) mutex_.reset(::CreateMutexW(nullptr, FALSE, kMutexName));
  if (!mutex_) return false;
  const DWORD waited = ::WaitForSingleObject(mutex_.get(), static_cast<DWORD>(patience.count()));
  // An abandoned mutex was held by a program that ended mid-way: the lock is ours now,
  // and the action itself cleans up what that program left.
  held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  return held_;
}

}  // namespace ruvo::win32
