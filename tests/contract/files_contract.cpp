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

// Asserts that an operation failed, with the kind given and the system's code and
// words for why.
#define EXPECT_FAILS(operation, expected)                                                      \
  do {                                                                                         \
    const FileResult result = (operation);                                                     \
    if (result.ok()) {                                                                         \
      ADD_FAILURE() << #operation " succeeded";                                                \
    } else {                                                                                   \
      EXPECT_STREQ(Describe(result.failure()), Describe(expected)) << ToUtf8(result.reason()); \
      EXPECT_NE(result.code(), 0);                                                             \
      EXPECT_FALSE(result.reason().empty());                                                   \
    }                                                                                          \
  } while (false)

#define ASSERT_DONE(operation) ASSERT_TRUE((operation).ok()) << #operation

TEST_F(FilesContract, MakingAFolderTwiceRaisesAlreadyExists) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  EXPECT_FAILS(files().MakeFolder(backend_.scratchFolder), FileFailure::AlreadyExists);
  EXPECT_FAILS(files().MakeFolder(OtherSpelling(backend_.scratchFolder)),
               FileFailure::AlreadyExists);
  ASSERT_DONE(files().MakeFolder(In(L"Inner")));  // the first one is a real folder
}

TEST_F(FilesContract, MakingAFolderInAMissingFolderRaisesNotFoundAndMakesNothing) {
  EXPECT_FAILS(files().MakeFolder(In(L"Missing\\Child")), FileFailure::NotFound);
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));  // not made on the way
  ASSERT_DONE(files().MakeFolder(In(L"Missing")));
}

TEST_F(FilesContract, RemovingWhatIsNotThereRaisesNotFound) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  EXPECT_FAILS(files().RemoveFile(In(L"absent.htm")), FileFailure::NotFound);
  EXPECT_FAILS(files().RemoveFile(In(L"Absent\\page.htm")), FileFailure::NotFound);
  EXPECT_FAILS(files().RemoveFolder(In(L"Absent")), FileFailure::NotFound);
  EXPECT_FAILS(files().RemoveFolder(In(L"Absent\\Deeper")), FileFailure::NotFound);
}

TEST_F(FilesContract, RemovingAFolderThatHoldsSomethingRaisesNotEmptyAndKeepsIt) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().MakeFolder(In(L"WithFile")));
  ASSERT_DONE(files().ReplaceTextFile(In(L"WithFile\\foreign.txt"), {L"keep me"}));
  ASSERT_DONE(files().MakeFolder(In(L"WithFolder")));
  ASSERT_DONE(files().MakeFolder(In(L"WithFolder\\Inner")));

  EXPECT_FAILS(files().RemoveFolder(In(L"WithFile")), FileFailure::NotEmpty);
  EXPECT_EQ(Read(In(L"WithFile\\foreign.txt")), std::optional<std::string>("keep me\r\n"));

  EXPECT_FAILS(files().RemoveFolder(In(L"WithFolder")), FileFailure::NotEmpty);
  EXPECT_FAILS(files().MakeFolder(In(L"WithFolder\\Inner")), FileFailure::AlreadyExists);
}

TEST_F(FilesContract, RemovingAFolderAsAFileRaisesAndKeepsIt) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().MakeFolder(In(L"NotAFile")));
  EXPECT_FAILS(files().RemoveFile(In(L"NotAFile")), FileFailure::Other);
  EXPECT_FAILS(files().MakeFolder(In(L"NotAFile")), FileFailure::AlreadyExists);
}

TEST_F(FilesContract, RemovingEmptiesAndThenRemovesTheFolder) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"x"}));
  ASSERT_DONE(files().RemoveFile(In(L"page.htm")));
  EXPECT_EQ(Read(In(L"page.htm")), std::nullopt);
  ASSERT_DONE(files().RemoveFolder(backend_.scratchFolder));
  EXPECT_FAILS(files().RemoveFolder(backend_.scratchFolder), FileFailure::NotFound);
}

TEST_F(FilesContract, ConfirmingGoneTellsWhatIsStillThere) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"x"}));
  EXPECT_FAILS(files().ConfirmGone(In(L"page.htm")), FileFailure::AlreadyExists);
  EXPECT_FAILS(files().ConfirmGone(backend_.scratchFolder), FileFailure::AlreadyExists);
  ASSERT_DONE(files().RemoveFile(OtherSpelling(In(L"page.htm"))));
  for (const Text& gone : {In(L"page.htm"), In(L"Absent\\page.htm")}) {
    EXPECT_TRUE(files().ConfirmGone(gone).ok()) << ToUtf8(gone);
  }
}

TEST_F(FilesContract, ALinkedFileKeepsItsBytesWhenReplacedAndMovesBack) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().MakeFolder(In(L"Folder")));
  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"old"}));
  EXPECT_FAILS(files().LinkFile(In(L"absent.htm"), In(L"kept.htm")), FileFailure::NotFound);
  EXPECT_FAILS(files().LinkFile(In(L"Folder"), In(L"kept.htm")), FileFailure::NotFound);
  ASSERT_DONE(files().LinkFile(In(L"page.htm"), In(L"kept.htm")));
  EXPECT_FAILS(files().LinkFile(In(L"page.htm"), In(L"kept.htm")), FileFailure::AlreadyExists);

  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"new"}));
  EXPECT_EQ(Read(In(L"kept.htm")), std::optional<std::string>("old\r\n"));
  ASSERT_DONE(files().RenameFile(In(L"kept.htm"), In(L"page.htm")));
  EXPECT_EQ(Read(In(L"page.htm")), std::optional<std::string>("old\r\n"));
  EXPECT_EQ(Read(In(L"kept.htm")), std::nullopt);
  EXPECT_FAILS(files().RenameFile(In(L"kept.htm"), In(L"page.htm")), FileFailure::NotFound);
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
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), test.lines));
    EXPECT_EQ(Read(In(L"page.htm")), std::optional<std::string>(test.bytes));
  }
}

TEST_F(FilesContract, ReplacingALongerFileLeavesNothingOfIt) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().ReplaceTextFile(
      In(L"page.htm"), std::vector<Text>(200, L"a long line of the old page, to be replaced")));
  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"new"}));
  EXPECT_EQ(Read(In(L"page.htm")), std::optional<std::string>("new\r\n"));
}

TEST_F(FilesContract, ReplacingLeavesNoTemporaryFileBehind) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"first"}));
  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"second"}));
  ASSERT_DONE(files().RemoveFile(In(L"page.htm")));
  // Only an empty folder can be removed.
  ASSERT_DONE(files().RemoveFolder(backend_.scratchFolder));
}

TEST_F(FilesContract, AFolderStandingAtTheFileRaisesAndStays) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().MakeFolder(In(L"page.htm")));
  EXPECT_FAILS(files().ReplaceTextFile(In(L"page.htm"), {L"never written"}), FileFailure::Other);
  EXPECT_FAILS(files().MakeFolder(In(L"page.htm")), FileFailure::AlreadyExists);
  // The folder is still empty and nothing else was left beside it.
  ASSERT_DONE(files().RemoveFolder(In(L"page.htm")));
  ASSERT_DONE(files().RemoveFolder(backend_.scratchFolder));
}

TEST_F(FilesContract, TextTheCodePageCannotHoldIsRefusedNotReplaced) {
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  // No code page holds "\u221E" exactly ("8" by best fit): the page is not written at all.
  EXPECT_FAILS(files().ReplaceTextFile(In(L"page.htm"), {L"ok", L"x\u221Ey"}), FileFailure::Other);
  EXPECT_EQ(Read(In(L"page.htm")), std::nullopt);
  ASSERT_DONE(files().RemoveFolder(backend_.scratchFolder));  // and nothing beside it
}

TEST_F(FilesContract, WritingIntoAMissingFolderRaisesNotFound) {
  EXPECT_FAILS(files().ReplaceTextFile(In(L"page.htm"), {L"x"}), FileFailure::NotFound);
  EXPECT_EQ(Read(In(L"page.htm")), std::nullopt);
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));  // nothing was made on the way
}

TEST_F(FilesContract, SlashesAndTheDriveLetterCaseNameTheSamePlace) {
  // The installer writes with backslashes and the uninstaller removes with forward
  // slashes.
  ASSERT_DONE(files().MakeFolder(backend_.scratchFolder));
  ASSERT_DONE(files().ReplaceTextFile(In(L"page.htm"), {L"same"}));
  EXPECT_EQ(Read(OtherSpelling(In(L"page.htm"))), std::optional<std::string>("same\r\n"));
  ASSERT_DONE(files().RemoveFile(OtherSpelling(In(L"page.htm"))));
  EXPECT_EQ(Read(In(L"page.htm")), std::nullopt);
  ASSERT_DONE(files().RemoveFolder(OtherSpelling(backend_.scratchFolder)));
  EXPECT_FAILS(files().RemoveFolder(backend_.scratchFolder), FileFailure::NotFound);
}

}  // namespace ruvo::contract
