// Where the stand-alone program keeps its state: the registry stand-in and the
// folder that stands for drive C:, both in the user's XDG data folder.
#pragma once

#include <filesystem>

namespace ruvo {

// The data folder is ${XDG_DATA_HOME:-$HOME/.local/share}/ruvo-linklens. An empty or
// relative XDG_DATA_HOME counts as unset. Each throws std::runtime_error when neither
// it nor a home folder can be found.

// The SQLite database that holds the registry: <data folder>/registry.sqlite3.
std::filesystem::path RegistryStoreFile();

// The file whose lock keeps two programs' actions apart: <data folder>/action.lock.
std::filesystem::path InstanceLockFile();

// The folder that stands for drive C:: <data folder>/drive_c.
std::filesystem::path DriveCFolder();

// Creates `folder` and its missing parents, each new one private to the user (0700),
// as the XDG rules ask for data folders. Throws std::filesystem::filesystem_error.
void CreatePrivateFolders(const std::filesystem::path& folder);

}  // namespace ruvo
