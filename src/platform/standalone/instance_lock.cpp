#include "platform/standalone/instance_lock.h"

#include <sys/file.h>

#include <cstring>

#include "platform/standalone/data_home.h"
#include "platform/text.h"

namespace ruvo {
namespace {

LockResult Refused(const char* what, const std::filesystem::path& file, int error) {
  return {LockState::Failed,
          FromUtf8(std::string(what) + " " + file.string() + " failed: " + std::strerror(error))};
}

}  // namespace

LockResult FileInstanceLock::AcquireForAction(std::chrono::milliseconds patience) {
  if (held_.valid()) return {LockState::Held, {}};
  try {
    CreatePrivateFolders(file_.parent_path());
  } catch (const std::filesystem::filesystem_error& error) {
    return Refused("Making the folder of the lock file", file_, error.code().value());
  }
  posix::FileDescriptor fd(::open(file_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) return Refused("Opening the lock file", file_, errno);
  constexpr std::chrono::milliseconds kStep{50};
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return Refused("Locking the file", file_, errno);
    if (std::chrono::steady_clock::now() >= deadline) return {LockState::Busy, {}};
    if (!pause_(kStep)) return {LockState::CloseRequested, {}};
  }
  held_ = std::move(fd);
  return {LockState::Held, {}};
}

}  // namespace ruvo
