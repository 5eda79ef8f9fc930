// Files and folders through the wide Windows functions; every failure is returned
// with its Windows error code and the system's own words.
#pragma once

#include "platform/platform_services.h"

namespace ruvo::win32 {

class Win32FileSystem : public FileSystem {
 public:
  FileResult MakeFolder(const Text& path) override;
  FileResult RemoveFile(const Text& path) override;
  FileResult RemoveFolder(const Text& path) override;
  FileResult ConfirmGone(const Text& path) override;
  // Links only a file reached directly, never through a link.
  FileResult LinkFile(const Text& path, const Text& alias) override;
  FileResult RenameFile(const Text& from, const Text& to) override;
  // Writes a temporary file in the target's folder, flushes it to disk and moves it
  // over the target in one step, so a reader sees the old page or the whole new one.
  FileResult ReplaceTextFile(const Text& path, const std::vector<Text>& lines) override;
};

}  // namespace ruvo::win32
