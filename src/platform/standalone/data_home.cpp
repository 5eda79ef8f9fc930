#include "platform/standalone/data_home.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace ruvo {
namespace {

constexpr char kProgramFolder[] = "ruvo-linklens";

// An environment variable that holds an absolute path, or an empty path.
std::filesystem::path AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return {};
  std::filesystem::path path(value);
  return path.is_absolute() ? path : std::filesystem::path();
}

// $HOME, or the password database's entry when HOME is unset.
std::filesystem::path HomeFolder() {
  std::filesystem::path home = AbsoluteFromEnvironment("HOME");
  if (!home.empty()) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  throw std::runtime_error("Neither XDG_DATA_HOME nor a home folder is set");
}

std::filesystem::path StandaloneDataFolder() {
  std::filesystem::path dataHome = AbsoluteFromEnvironment("XDG_DATA_HOME");
  if (dataHome.empty()) dataHome = HomeFolder() / ".local" / "share";
  return dataHome / kProgramFolder;
}

}  // namespace

std::filesystem::path RegistryStoreFile() {
  return StandaloneDataFolder() / "registry.sqlite3";
}

std::filesystem::path InstanceLockFile() {
  return StandaloneDataFolder() / "action.lock";
}

std::filesystem::path DriveCFolder() {
  return StandaloneDataFolder() / "drive_c";
}

void CreatePrivateFolders(const std::filesystem::path& folder) {
  if (folder.empty()) return;
  // The folder's own mkdir speaks first, so that its errno (ENOSPC, EIO, EACCES) is
  // what is reported; only a missing parent sends us up the path.
  if (mkdir(folder.c_str(), 0700) == 0) return;
  int error = errno;
  if (error == ENOENT) {
    const std::filesystem::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder) {
      CreatePrivateFolders(parent);
      if (mkdir(folder.c_str(), 0700) == 0) return;
      error = errno;
    }
  }
  if (error == EEXIST) {
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
    error = ENOTDIR;  // a file stands where the folder should be
  }
  throw std::filesystem::filesystem_error("Cannot create the folder", folder,
                                          std::error_code(error, std::generic_category()));
}

}  // namespace ruvo
