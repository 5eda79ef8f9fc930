#include "files_contract.h"

#include <string>
#include <vector>

#include "platform/text.h"

namespace ruvo::contract {
namespace {

// The same path with forward slashes and an upper-case drive letter.
Text OtherSpelling(Text path) {
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  if (!path.empty() && path[0] == L'c') path[0] = L'C';
  return path;
}

const char* Describe(FileFailure failure) {
  switch (failure) {
    case FileFailure::NotFound:
      return "NotFound";
    case FileFailure::AlreadyExists:
      return "AlreadyExists";
    case FileFailure::NotEmpty:
      return "NotEmpty";
    case FileFailure::Other:
      break;
  }
  return "Other";
}

}  // namespace

void FilesContract::SetUp() {
  backend_ = MakeBackend();
}

void FilesContract::TearDown() {
  backend_.registry.reset();
  backend_.files.reset();
  if (backend_.cleanUp) backend_.cleanUp();
}

std::optional<PlatformError> FilesContract::Raised(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const PlatformError& error) {
    // A raised error always says why, in the system's words.
    EXPECT_NE(error.code(), 0);
    EXPECT_FALSE(error.reason().empty());
    return error;
  }
  ADD_FAILURE() << "the operation raised nothing";
  return std::nullopt;
}

// Asserts the kind of failure an operation raised.
#define EXPECT_RAISES(operation, expected)                                                       \
  do {                                                                                           \
    const auto raised = Raised([&] { operation; });                                              \
    if (raised) {                                                                                \
      EXPECT_STREQ(Describe(raised->failure()), Describe(expected)) << ToUtf8(raised->reason()); \
    }                                                                                            \
  } while (false)

TEST_F(FilesContract, MakingAFolderTwiceRaisesAlreadyExists) {
  files().MakeFolder(backend_.scratchFolder);
  EXPECT_RAISES(files().MakeFolder(backend_.scratchFolder), FileFailure::AlreadyExists);
  EXPECT_RAISES(files().MakeFolder(OtherSpelling(backend_.scratchFolder)),
                FileFailure::AlreadyExists);
  files().MakeFolder(In(L"Inner"));  // the first one is a real folder
}

TEST_F(FilesContract, MakingAFolderInAMissingFolderRaisesNotFoundAndMakesNothing) {
  EXPECT_RAISES(files().MakeFolder(In(L"Missing\\Child")), FileFailure::NotFound);
  files().MakeFolder(backend_.scratchFolder);  // not made on the way
  files().MakeFolder(In(L"Missing"));
}

TEST_F(FilesContract, RemovingWhatIsNotThereRaisesNotFound) {
  files().MakeFolder(backend_.scratchFolder);
  EXPECT_RAISES(files().RemoveFile(In(L"absent.htm")), FileFailure::NotFound);
  EXPECT_RAISES(files().RemoveFile(In(L"Absent\\page.htm")), FileFailure::NotFound);
  EXPECT_RAISES(files().RemoveFolder(In(L"Absent")), FileFailure::NotFound);
  EXPECT_RAISES(files().RemoveFolder(In(L"Absent\\Deeper")), FileFailure::NotFound);
}

TEST_F(FilesContract, RemovingAFolderThatHoldsSomethingRaisesNotEmptyAndKeepsIt) {
  files().MakeFolder(backend_.scratchFolder);
  files().MakeFolder(In(L"WithFile"));
  files().ReplaceTextFile(In(L"WithFile\\foreign.txt"), {L"keep me"});
  files().MakeFolder(In(L"WithFolder"));
  files().MakeFolder(In(L"WithFolder\\Inner"));

  EXPECT_RAISES(files().RemoveFolder(In(L"WithFile")), FileFailure::NotEmpty);
  EXPECT_EQ(Read(In(L"WithFile\\foreign.txt")), std::optional<std::string>("keep me\r\n"));

  EXPECT_RAISES(files().RemoveFolder(In(L"WithFolder")), FileFailure::NotEmpty);
  EXPECT_RAISES(files().MakeFolder(In(L"WithFolder\\Inner")), FileFailure::AlreadyExists);
}

TEST_F(FilesContract, RemovingAFolderAsAFileRaisesAndKeepsIt) {
  files().MakeFolder(backend_.scratchFolder);
  files().MakeFolder(In(L"NotAFile"));
  EXPECT_RAISES(files().RemoveFile(In(L"NotAFile")), FileFailure::Other);
  EXPECT_RAISES(files().MakeFolder(In(L"NotAFile")), FileFailure::AlreadyExists);
}

TEST_F(FilesContract, RemovingEmptiesAndThenRemovesTheFolder) {
  files().MakeFolder(backend_.scratchFolder);
  files().ReplaceTextFile(In(L"page.htm"), {L"x"});
  files().RemoveFile(In(L"page.htm"));
  EXPECT_EQ(Read(In(L"page.htm")), std::nullopt);
  files().RemoveFolder(backend_.scratchFolder);
  EXPECT_RAISES(files().RemoveFolder(backend_.scratchFolder), FileFailure::NotFound);
}

TEST_F(FilesContract, TextFileHoldsEachLineAndCrLfWithNothingElse) {
  struct Case {
    const char* name;
    std::vector<Text> lines;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"lines",
       {L"<html>", L"", L"  two  spaces\t", L"</html>"},
       "<html>\r\n\r\n  two  spaces\t\r\n</html>\r\n"},
      {"one line", {L"only"}, "only\r\n"},
      {"no lines", {}, ""},
  };
  files().MakeFolder(backend_.scratchFolder);
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    files().ReplaceTextFile(In(L"page.htm"), test.lines);
    EXPECT_EQ(Read(In(L"page.htm")), std::optional<std::string>(test.bytes));
  }
}

TEST_F(FilesContract, ReplacingALongerFileLeavesNothingOfIt) {
  files().MakeFolder(backend_.scratchFolder);
  files().ReplaceTextFile(In(L"page.htm"),
                          std::vector<Text>(200, L"a long line of the old page, to be replaced"));
  files().ReplaceTextFile(In(L"page.htm"), {L"new"});
  EXPECT_EQ(Read(In(L"page.htm")), std::optional<std::string>("new\r\n"));
}

TEST_F(FilesContract, ReplacingLeavesNoTemporaryFileBehind) {
  files().MakeFolder(backend_.scratchFolder);
  files().ReplaceTextFile(In(L"page.htm"), {L"first"});
  files().ReplaceTextFile(In(L"page.htm"), {L"second"});
  files().RemoveFile(In(L"page.htm"));
  // Only an empty folder can be removed.
  files().RemoveFolder(backend_.scratchFolder);
}

TEST_F(FilesContract, AFolderStandingAtTheFileRaisesAndStays) {
  files().MakeFolder(backend_.scratchFolder);
  files().MakeFolder(In(L"page.htm"));
  EXPECT_RAISES(files().ReplaceTextFile(In(L"page.htm"), {L"never written"}), FileFailure::Other);
  EXPECT_RAISES(files().MakeFolder(In(L"page.htm")), FileFailure::AlreadyExists);
  // The folder is still empty and nothing else was left beside it.
  files().RemoveFolder(In(L"page.htm"));
  files().RemoveFolder(backend_.scratchFolder);
}

TEST_F(FilesContract, WritingIntoAMissingFolderRaisesNotFound) {
  EXPECT_RAISES(files().ReplaceTextFile(In(L"page.htm"), {L"x"}), FileFailure::NotFound);
  EXPECT_EQ(Read(In(L"page.htm")), std::nullopt);
  files().MakeFolder(backend_.scratchFolder);  // nothing was made on the way
}

TEST_F(FilesContract, SlashesAndTheDriveLetterCaseNameTheSamePlace) {
  // The installer writes with backslashes and the uninstaller removes with forward
  // slashes.
  files().MakeFolder(backend_.scratchFolder);
  files().ReplaceTextFile(In(L"page.htm"), {L"same"});
  EXPECT_EQ(Read(OtherSpelling(In(L"page.htm"))), std::optional<std::string>("same\r\n"));
  files().RemoveFile(OtherSpelling(In(L"page.htm")));
  EXPECT_EQ(Read(In(L"page.htm")), std::nullopt);
  files().RemoveFolder(OtherSpelling(backend_.scratchFolder));
  EXPECT_RAISES(files().RemoveFolder(backend_.scratchFolder), FileFailure::NotFound);
}

}  // namespace ruvo::contract
