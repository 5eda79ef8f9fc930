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
ruvo::FileResult ProvideProgramFilesFolder(ruvo::FileSystem& files) {
  ruvo::FileResult made = files.MakeFolder(L"c:\\Program Files");
  if (!made.ok() && made.failure() == ruvo::FileFailure::AlreadyExists) {
    return ruvo::FileResult::Done();
  }
  return made;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: page_writer DRIVE_FOLDER\n"
                 "writes DRIVE_FOLDER/Program Files/ruvo/ruvo.htm as the installer does\n";
    return 2;
  }
  ruvo::drive::DriveCFileSystem files{std::filesystem::path(argv[1])};
  ruvo::FileResult written = ProvideProgramFilesFolder(files);
  if (written.ok()) written = ruvo::WriteHandlerPage(files);
  if (!written.ok()) {
    std::cerr << "page_writer: " << ruvo::ToUtf8(written.reason()) << '\n';
    return 1;
  }
  return 0;
}
