// GCC's win32 thread model (the one whose programs need no winpthread DLL) has no
// std::mutex or std::condition_variable. GoogleTest uses them in one place, its
// Notification, and lets a port supply that class instead; this header, included
// ahead of every GoogleTest source, does so over a Win32 event.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;  // a manual-reset event; no <windows.h> in every test source
};

}  // namespace internal
}  // namespace testing
