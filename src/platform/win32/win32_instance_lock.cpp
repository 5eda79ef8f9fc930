#include "platform/win32/win32_instance_lock.h"

#include <sddl.h>

#include "platform/win32/system_text.h"

namespace ruvo::win32 {
namespace {

// "Global\": one name for every session on the machine, so that two users (fast user
// switching, remote desktops) never install and uninstall over each other.
constexpr const wchar_t* kMutexName = L"Global\\RuvoLinkLens.InstallOrUninstall";

// Whoever made the mutex, every signed-in user may wait for it and take it
// (SYNCHRONIZE | MUTEX_MODIFY_STATE); nobody but the system and administrators may
// change it otherwise.
constexpr const wchar_t* kMutexAccessRules = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;AU)";
constexpr DWORD kWaitAndRelease = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// Creates the mutex, or opens the one another program made; the system's error code
// when neither can be done.
HANDLE OpenMachineMutex(DWORD& error) {
  PSECURITY_DESCRIPTOR rules = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kMutexAccessRules, SDDL_REVISION_1,
                                                             &rules, nullptr)) {
    attributes.lpSecurityDescriptor = rules;
  }
  const HANDLE mutex = ::CreateMutexExW(&attributes, kMutexName, 0, kWaitAndRelease);
  error = mutex == nullptr ? ::GetLastError() : ERROR_SUCCESS;
  ::LocalFree(rules);
  return mutex;
}

LockResult Refused(const wchar_t* what, DWORD error) {
  return {LockState::Failed, Text(what) + L" " + kMutexName + L" failed: " + SystemMessage(error)};
}

}  // namespace

Win32InstanceLock::Win32InstanceLock(Waiter& waiter)
    : waiter_(waiter), mutex_(OpenMachineMutex(openError_)) {}

Win32InstanceLock::~Win32InstanceLock() {
  Release();
}

void Win32InstanceLock::Release() {
  if (held_) ::ReleaseMutex(mutex_.get());
  held_ = false;
}

LockResult Win32InstanceLock::AcquireForAction(std::chrono::milliseconds patience) {
  if (held_) return {LockState::Held, {}};
  if (!mutex_) mutex_.reset(OpenMachineMutex(openError_));
  if (!mutex_) return Refused(L"Creating the lock", openError_);
  DWORD error = ERROR_SUCCESS;
  switch (waiter_.WaitAnswering(mutex_.get(), static_cast<DWORD>(patience.count()), error)) {
    // An abandoned mutex was held by a program that ended mid-way: the lock is ours now,
    // and the action itself cleans up what that program left.
    case Waiter::Wait::Signalled:
    case Waiter::Wait::Abandoned:
      held_ = true;
      return {LockState::Held, {}};
    case Waiter::Wait::TimedOut:
      return {LockState::Busy, {}};
    case Waiter::Wait::CloseRequested:
      return {LockState::CloseRequested, {}};
    case Waiter::Wait::Failed:
      break;
  }
  return Refused(L"Waiting for the lock", error);
}

}  // namespace ruvo::win32
