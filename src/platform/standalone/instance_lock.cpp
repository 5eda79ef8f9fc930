#include "platform/standalone/instance_lock.h"

#include <sys/file.h>

#include <thread>

#include "platform/standalone/data_home.h"

namespace ruvo {

bool FileInstanceLock::AcquireForAction(std::chrono::milliseconds patience) {
  if (held_.valid()) return true;
  try {
    CreatePrivateFolders(file_.parent_path());
  } catch (const std::exception&) {
    return false;
  }
  posix::FileDescriptor fd(::open(file_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return false;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  held_ = std::move(fd);
  return true;
}

}  // namespace ruvo
