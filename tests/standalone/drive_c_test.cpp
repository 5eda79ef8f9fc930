#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>

#include "platform/standalone/drive_c.h"
#include "platform/text.h"
#include "standalone_test_support.h"

namespace ruvo::standalone_test {
namespace {

using drive::DriveCFileSystem;

class DriveC : public ::testing::Test {
 protected:
  TemporaryFolder temporary;
  std::filesystem::path drive = temporary.path() / "data" / "drive_c";
  DriveCFileSystem files{drive};

  // The result of an operation that must fail.
  static FileResult Failed(const FileResult& result) {
    EXPECT_FALSE(result.ok()) << "the operation succeeded";
    return result;
  }
};

// Paths on drive C: land in the folder; any other is refused with a reason that
// names it, by every operation before anything is touched.
TEST_F(DriveC, WindowsPathsLandInTheFolderOrAreRefusedWithAClearReason) {
  struct Case {
    Text windowsPath;
    std::filesystem::path mapped;  // relative to the drive folder, when it maps
    int code = 0;                  // else the refusal's
    std::string reason = "";
  };
  const Case cases[] = {
      {L"c:\\", ""},
      {L"C:/", ""},
      {L"c:\\Program Files\\ruvo\\ruvo.htm", "Program Files/ruvo/ruvo.htm"},
      {L"C:\\Program Files/ruvo\\ruvo.htm", "Program Files/ruvo/ruvo.htm"},
      {L"c:\\Program Files\\ruvo\\", "Program Files/ruvo"},
      {L"c:\\\\a\\\\b", "a/b"},
      {L"c:\\a\\.\\b", "a/b"},
      {L"c:\\MixedCase\\KEEPS.Spelling", "MixedCase/KEEPS.Spelling"},
      {L"c:\\name with dots...and spaces ", "name with dots...and spaces "},
      {L"d:\\x", "", EACCES, "d:\\x is not on drive C:, the only drive here"},
      {L"\\\\server\\share\\x", "", EACCES,
       "\\\\server\\share\\x is a network path; only drive C: is here"},
      {L"//server/share/x", "", EACCES,
       "//server/share/x is a network path; only drive C: is here"},
      {L"ruvo.htm", "", EINVAL, "ruvo.htm is not a full path on drive C:"},
      {L"\\Program Files", "", EINVAL, "\\Program Files is not a full path on drive C:"},
      {L"", "", EINVAL, " is not a full path on drive C:"},
      {L"c:", "", EINVAL,
       "c: is relative to the current folder of drive C:; only full paths are accepted"},
      {L"c:ruvo.htm", "", EINVAL,
       "c:ruvo.htm is relative to the current folder of drive C:; only full paths are accepted"},
      {L"c:\\..\\x", "", EACCES, "c:\\..\\x leaves drive C: (\"..\" is not followed)"},
      {L"c:\\a\\..\\b", "", EACCES, "c:\\a\\..\\b leaves drive C: (\"..\" is not followed)"},
      {L"c:\\a\\..", "", EACCES, "c:\\a\\.. leaves drive C: (\"..\" is not followed)"},
      {L"c:\\a:b", "", EINVAL, "c:\\a:b is not a valid name on drive C:"},
      {L"c:\\what?", "", EINVAL, "c:\\what? is not a valid name on drive C:"},
      {L"c:\\a\x01", "", EINVAL, "c:\\a\x01 is not a valid name on drive C:"},
      {Text(L"c:\\a\0b", 6), "", EINVAL, "A path holds a NUL character"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(ToUtf8(test.windowsPath));
    if (test.code == 0) {
      // A folder made there, its parents made first, lies where the path says (the
      // drive itself is there already).
      std::filesystem::create_directories((drive / test.mapped).parent_path());
      const FileResult made = files.MakeFolder(test.windowsPath);
      EXPECT_TRUE(made.ok() || made.failure() == FileFailure::AlreadyExists);
      EXPECT_TRUE(std::filesystem::is_directory(drive / test.mapped));
      if (!test.mapped.empty()) std::filesystem::remove_all(drive / *test.mapped.begin());
      continue;
    }
    const FileResult result = Failed(files.MakeFolder(test.windowsPath));
    EXPECT_EQ(result.failure(), FileFailure::Other);
    EXPECT_EQ(result.code(), test.code);
    EXPECT_EQ(ToUtf8(result.reason()), test.reason);
    EXPECT_EQ(Failed(files.ReplaceTextFile(test.windowsPath, {L"x"})).code(), test.code);
  }
  EXPECT_EQ(Names(drive), std::set<std::string>{});  // nothing else was made
}

// Every folder on the way is opened without following a link, so that a folder
// swapped for a link between a check and its use cannot send a write elsewhere: a
// link is never followed, even one that stays on the drive.
TEST_F(DriveC, ASymbolicLinkOnTheWayIsNeverFollowed) {
  const std::filesystem::path outside = temporary.path() / "outside";
  std::filesystem::create_directories(outside);
  WriteBytes(outside / "precious.txt", "keep");
  ASSERT_TRUE(files.MakeFolder(L"c:\\inner").ok());
  std::filesystem::create_directory_symlink(outside, drive / "out");
  std::filesystem::create_directory_symlink(drive / "inner", drive / "in");

  for (const Text& path : {Text(L"c:\\out\\x"), Text(L"c:/out/precious.txt"),
                           Text(L"c:\\out\\deeper\\x"), Text(L"c:\\in\\page.htm")}) {
    SCOPED_TRACE(ToUtf8(path));
    const FileResult error = Failed(files.MakeFolder(path));
    EXPECT_EQ(error.code(), EACCES);
    EXPECT_EQ(ToUtf8(error.reason()),
              ToUtf8(path) + " passes through a symbolic link; links on drive C: are not followed");
    EXPECT_FALSE(files.ReplaceTextFile(path, {L"overwritten"}).ok());
    EXPECT_FALSE(files.RemoveFile(path).ok());
  }
  EXPECT_EQ(Names(outside), std::set<std::string>{"precious.txt"});
  EXPECT_EQ(ReadBytes(outside / "precious.txt"), "keep");

  EXPECT_EQ(Names(drive / "inner"), std::set<std::string>{});
  // Removing a link removes only the link.
  ASSERT_TRUE(files.RemoveFile(L"c:\\out").ok());
  EXPECT_FALSE(std::filesystem::exists(drive / "out"));
  EXPECT_EQ(ReadBytes(outside / "precious.txt"), "keep");
}

// The first operation, even one refused, makes the drive's folder and its parents.
TEST_F(DriveC, TheDriveItselfCannotBeRemovedOrOverwritten) {
  EXPECT_EQ(Failed(files.MakeFolder(L"c:\\")).failure(), FileFailure::AlreadyExists);
  for (const Text& root : {Text(L"c:\\"), Text(L"C:/")}) {
    EXPECT_EQ(Failed(files.RemoveFolder(root)).code(), EACCES);
    EXPECT_EQ(Failed(files.ReplaceTextFile(root, {L"x"})).code(), EACCES);
    EXPECT_EQ(Failed(files.RemoveFile(root)).code(), EISDIR);
  }
  EXPECT_EQ(Names(drive), std::set<std::string>{});
  EXPECT_EQ(Names(drive.parent_path()), std::set<std::string>{"drive_c"});
}

TEST_F(DriveC, FailuresCarryTheSystemsCodeAndWords) {
  ASSERT_TRUE(files.MakeFolder(L"c:\\folder").ok());
  ASSERT_TRUE(files.MakeFolder(L"c:\\full").ok());
  ASSERT_TRUE(files.ReplaceTextFile(L"c:\\full\\file.txt", {L"x"}).ok());
  struct Case {
    const char* name;
    std::function<FileResult()> operation;
    FileFailure failure;
    int code;
    std::string reason;
  };
  const Case cases[] = {
      {"make an existing folder", [&] { return files.MakeFolder(L"c:\\folder"); },
       FileFailure::AlreadyExists, EEXIST, "File exists"},
      {"make a folder in a missing one", [&] { return files.MakeFolder(L"c:\\missing\\sub"); },
       FileFailure::NotFound, ENOENT, "No such file or directory"},
      {"make a folder under a file", [&] { return files.MakeFolder(L"c:\\full\\file.txt\\sub"); },
       FileFailure::NotFound, ENOTDIR, "Not a directory"},
      {"delete a missing file", [&] { return files.RemoveFile(L"c:\\folder\\none.htm"); },
       FileFailure::NotFound, ENOENT, "No such file or directory"},
      {"delete a folder as a file", [&] { return files.RemoveFile(L"c:\\folder"); },
       FileFailure::Other, EISDIR, "Is a directory"},
      {"remove a missing folder", [&] { return files.RemoveFolder(L"c:\\none"); },
       FileFailure::NotFound, ENOENT, "No such file or directory"},
      {"remove a full folder", [&] { return files.RemoveFolder(L"c:\\full"); },
       FileFailure::NotEmpty, ENOTEMPTY, "Directory not empty"},
      {"remove a file as a folder", [&] { return files.RemoveFolder(L"c:\\full\\file.txt"); },
       FileFailure::Other, ENOTDIR, "Not a directory"},
      {"write over a folder", [&] { return files.ReplaceTextFile(L"c:\\folder", {L"x"}); },
       FileFailure::Other, EISDIR, "Is a directory"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const FileResult error = Failed(test.operation());
    EXPECT_EQ(error.failure(), test.failure);
    EXPECT_EQ(error.code(), test.code);
    EXPECT_EQ(ToUtf8(error.reason()), test.reason);
  }
  // None of the failures left anything behind.
  EXPECT_EQ(Names(drive), (std::set<std::string>{"folder", "full"}));
  EXPECT_EQ(Names(drive / "folder"), std::set<std::string>{});
  EXPECT_EQ(Names(drive / "full"), std::set<std::string>{"file.txt"});
}

// 0666 less the umask, as any new file: the browser must be able to read the page.
TEST_F(DriveC, APageIsReadableLikeAnyNewFile) {
  const mode_t previous = ::umask(022);
  ASSERT_TRUE(files.ReplaceTextFile(L"c:\\page.htm", {L"plain"}).ok());
  ::umask(previous);
  struct stat info {};
  ASSERT_EQ(::stat((drive / "page.htm").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

// Keeps files from growing past a limit for one scope; a write past it fails with
// EFBIG instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

TEST_F(DriveC, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(files.MakeFolder(L"c:\\site").ok());
  ASSERT_TRUE(files.ReplaceTextFile(L"c:\\site\\page.htm", {L"old page"}).ok());
  FileResult error = FileResult::Done();
  {
    FileSizeLimit limit(64);
    error = Failed(files.ReplaceTextFile(L"c:\\site\\page.htm",
                                         std::vector<Text>(100, L"a new, longer page")));
  }
  EXPECT_EQ(error.failure(), FileFailure::Other);
  EXPECT_EQ(error.code(), EFBIG);
  EXPECT_EQ(ToUtf8(error.reason()), "File too large");
  EXPECT_EQ(ReadBytes(drive / "site" / "page.htm"), "old page\r\n");
  EXPECT_EQ(Names(drive / "site"), std::set<std::string>{"page.htm"});
}

}  // namespace
}  // namespace ruvo::standalone_test
