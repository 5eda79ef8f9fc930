// page_writer DRIVE_FOLDER: writes the handler page through the installer's own
// writer into a folder standing for drive C:, so that the browser tests run the
// very bytes an install puts at c:\Program Files\ruvo\ruvo.htm.
#include <filesystem>
#include <iostream>

#include "handler_page/handler_page.h"
#include "platform/standalone/drive_c.h"
#include "platform/text.h"

namespace {

// A Windows drive C: always has its program folder; the installer relies on it and
// only makes its own folder inside.
void ProvideProgramFilesFolder(ruvo::FileSystem& files) {
  try {
    files.MakeFolder(L"c:\\Program Files");
  } catch (const ruvo::PlatformError& error) {
    if (error.failure() != ruvo::FileFailure::AlreadyExists) throw;
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: page_writer DRIVE_FOLDER\n"
                 "writes DRIVE_FOLDER/Program Files/ruvo/ruvo.htm as the installer does\n";
    return 2;
  }
  try {
    ruvo::DriveCFileSystem files{std::filesystem::path(argv[1])};
    ProvideProgramFilesFolder(files);
    ruvo::WriteHandlerPage(files);
  } catch (const ruvo::PlatformError& error) {
    std::cerr << "page_writer: " << ruvo::ToUtf8(error.reason()) << '\n';
    return 1;
  }
  return 0;
}
