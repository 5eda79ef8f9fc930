#include "registration/registration.h"

#include "logic_test_support.h"

namespace ruvo {
namespace {

using namespace testing_support;

class ProbeTest : public SequenceTest {};

TEST_F(ProbeTest, AnswersFromTheKeyAloneUnderTheCurrentUser) {
  EXPECT_EQ(IsExtensionInstalled(fake.registry), InstallState::NotInstalled);

  fake.registry.AddKey(kHkeyLocalMachine, kKey);
  EXPECT_EQ(IsExtensionInstalled(fake.registry), InstallState::NotInstalled)
      << "the same path under another root does not count";

  fake.registry.AddKey(kHkeyCurrentUser, kKey);
  EXPECT_EQ(IsExtensionInstalled(fake.registry), InstallState::Installed)
      << "a key without values still counts";
  EXPECT_EQ(static_cast<int>(InstallState::Installed), -1);
}

TEST_F(ProbeTest, ARefusalIsNoAnswerAndLeavesNothingOpenOrChanged) {
  fake.registry.AddKey(kHkeyCurrentUser, kKey);
  const std::size_t keys = fake.registry.KeyCount();
  fake.registry.FailNext("RegOpenKeyA", kErrorAccessDenied);
  RegistryResult status = kErrorSuccess;
  EXPECT_EQ(IsExtensionInstalled(fake.registry, &status), InstallState::CannotTell);
  EXPECT_EQ(status, kErrorAccessDenied);
  EXPECT_EQ(IsExtensionInstalled(fake.registry), InstallState::Installed);
  EXPECT_EQ(fake.registry.OpenHandleCount(), 0u);
  EXPECT_EQ(fake.registry.KeyCount(), keys);
  EXPECT_EQ(std::count(fake.journal.begin(), fake.journal.end(), "RegCloseKey"), 2)
      << "the handle is closed also when the open failed";
}

class InstallTest : public SequenceTest {
 protected:
  void ExpectInstalledState() {
    EXPECT_TRUE(fake.files.HasFolder(kFolder));
    EXPECT_EQ(fake.files.FileBytes(kPage), ExpectedPage());
    const auto url = fake.registry.GetValue(kHkeyCurrentUser, kKey, L"");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->type, kRegSz);
    EXPECT_EQ(url->data, UrlBytesWithZero());
    const auto contexts = fake.registry.GetValue(kHkeyCurrentUser, kKey, L"Contexts");
    ASSERT_TRUE(contexts);
    EXPECT_EQ(contexts->type, kRegDword);
    EXPECT_EQ(contexts->data, (std::vector<std::uint8_t>{0x20, 0, 0, 0}));
    EXPECT_EQ(fake.registry.ValueNames(kHkeyCurrentUser, kKey).size(), 2u);
    EXPECT_EQ(fake.registry.OpenHandleCount(), 0u);
  }
};

TEST_F(InstallTest, FirstInstallWritesPageThenKeyAndSaysSo) {
  InstallExtension(fake.services);
  ExpectInstalledState();
  ExpectOneMessage(kInstalledMessage, MessageIcon::Information);
  EXPECT_LT(JournalIndex("ReplaceTextFile"), JournalIndex("RegCreateKeyExA"))
      << "the page exists before the key that points to it";
  EXPECT_EQ(fake.ui.endCount(), 0) << "the click handler ends the program";
}

TEST_F(InstallTest, ReinstallReplacesThePageAndValues) {
  Install();
  fake.files.AddFile(kPage, ExpectedPage() + "stale tail\r\n");
  fake.registry.AddKey(kHkeyCurrentUser, kKey + L"\\Leftover");
  InstallExtension(fake.services);
  EXPECT_EQ(fake.files.FileBytes(kPage), ExpectedPage()) << "rewritten, not appended to";
  EXPECT_TRUE(fake.registry.HasKey(kHkeyCurrentUser, kKey));
  ExpectOneMessage(kInstalledMessage, MessageIcon::Information);
}

TEST_F(InstallTest, PageThatCannotBeWrittenStopsBeforeTheRegistryAndSaysWhy) {
  const std::string oldPage = "old page\r\n";
  fake.files.AddFolder(kFolder);
  fake.files.AddFile(kPage, oldPage);
  fake.files.FailNext("ReplaceTextFile", FileFailure::Other, 13, L"Permission denied");

  InstallExtension(fake.services);

  EXPECT_EQ(fake.files.FileBytes(kPage), oldPage);
  EXPECT_FALSE(fake.registry.HasKey(kHkeyCurrentUser, kKey));
  EXPECT_EQ(JournalIndex("RegCreateKeyExA"), fake.journal.size()) << "registry untouched";
  ExpectOneMessage(
      L"Ruvo Link Lens could not be installed in your machine.\n\n"
      L"Writing c:\\Program Files\\ruvo\\ruvo.htm failed: Permission denied",
      MessageIcon::Error);
}

TEST_F(InstallTest, AFailedPageWriteTakesBackTheFolderOnlyWhenThisRunMadeIt) {
  for (const bool folderExisted : {false, true}) {
    SCOPED_TRACE(folderExisted ? "an empty folder was there" : "no folder was there");
    fake::FakePlatform run;
    if (folderExisted) run.files.AddFolder(kFolder);
    run.files.FailNext("ReplaceTextFile", FileFailure::Other, 28, L"No space left on device");
    EXPECT_EQ(InstallExtension(run.services), Outcome::Failed);
    EXPECT_EQ(run.files.HasFolder(kFolder), folderExisted);
  }
}

TEST_F(InstallTest, MissingProgramFilesIsReportedThroughThePageWrite) {
  fake::FakePlatform bare;
  ASSERT_TRUE(bare.files.RemoveFolder(L"c:\\Program Files").ok());
  InstallExtension(bare.services);
  ASSERT_EQ(bare.ui.messages().size(), 1u);
  EXPECT_EQ(bare.ui.messages()[0].icon, MessageIcon::Error);
  EXPECT_EQ(bare.ui.messages()[0].text,
            L"Ruvo Link Lens could not be installed in your machine.\n\n"
            L"Writing c:\\Program Files\\ruvo\\ruvo.htm failed: The system cannot find the path "
            L"specified.");
  EXPECT_FALSE(bare.registry.HasKey(kHkeyCurrentUser, kKey));
}

TEST_F(InstallTest, RegistryFailuresAreReportedAndWhatThisRunMadeIsTakenBackOut) {
  struct Case {
    const char* failingCall;
    bool keyExistedBefore;
    Text expectedFailure;
    bool keyRemainsAfter;
    bool folderExistedBefore = false;
  };
  const Case cases[] = {
      {"RegCreateKeyExA", false,
       L"Creating the registry key " + kKeyName + L" failed: Access is denied.", false},
      {"RegOpenKeyExA", false,
       L"Writing the default value of the registry key " + kKeyName + L" failed: Access is denied.",
       false},
      {"RegSetValueExA ", false,
       L"Writing the default value of the registry key " + kKeyName + L" failed: Access is denied.",
       false},
      {"RegSetValueExA Contexts", false,
       L"Writing the value \"Contexts\" of the registry key " + kKeyName +
           L" failed: Access is denied.",
       false},
      {"RegSetValueExA Contexts", true,
       L"Writing the value \"Contexts\" of the registry key " + kKeyName +
           L" failed: Access is denied.",
       true},
      {"RegCreateKeyExA", false,
       L"Creating the registry key " + kKeyName + L" failed: Access is denied.", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.failingCall) + (c.keyExistedBefore ? " over a key" : "") +
                 (c.folderExistedBefore ? " in an empty folder" : ""));
    fake::FakePlatform run;
    if (c.keyExistedBefore) run.registry.AddKey(kHkeyCurrentUser, kKey);
    if (c.folderExistedBefore) run.files.AddFolder(kFolder);
    run.registry.FailNext(c.failingCall, kErrorAccessDenied);

    InstallExtension(run.services);

    ASSERT_EQ(run.ui.messages().size(), 1u);
    EXPECT_EQ(run.ui.messages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(run.ui.messages()[0].text,
              L"Ruvo Link Lens could not be installed in your machine.\n\n" + c.expectedFailure);
    EXPECT_EQ(run.registry.HasKey(kHkeyCurrentUser, kKey), c.keyRemainsAfter);
    EXPECT_EQ(run.files.HasFile(kPage), c.keyRemainsAfter) << "a page no key points at goes";
    EXPECT_EQ(run.files.HasFolder(kFolder), c.keyRemainsAfter || c.folderExistedBefore)
        << "only a folder this run made goes";
    EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
  }
}

TEST_F(InstallTest, AKeyCreatedByACallThatReportedFailureIsStillTakenBack) {
  fake.registry.FailNextAfterDoing("RegCreateKeyExA", 1117);
  EXPECT_EQ(InstallExtension(fake.services), Outcome::Failed);
  EXPECT_FALSE(fake.registry.HasKey(kHkeyCurrentUser, kKey)) << "no empty key is left";
  EXPECT_FALSE(fake.files.HasFile(kPage));
  ASSERT_EQ(fake.ui.messages().size(), 1u);
  EXPECT_EQ(fake.ui.messages()[0].icon, MessageIcon::Error);
}

TEST_F(InstallTest, AKeyThatCannotBeFlushedIsTakenBackWithThePage) {
  fake.registry.FailNext("RegFlushKey", 21);
  EXPECT_EQ(InstallExtension(fake.services), Outcome::Failed);
  EXPECT_FALSE(fake.registry.HasKey(kHkeyCurrentUser, kKey));
  EXPECT_FALSE(fake.files.HasFile(kPage));
  ASSERT_EQ(fake.ui.messages().size(), 1u);
  EXPECT_EQ(fake.ui.messages()[0].text,
            L"Ruvo Link Lens could not be installed in your machine.\n\nSaving the registry key " +
                kKeyName + L" to the disk failed: Error 21.");
}

TEST_F(InstallTest, AFailedTakeBackIsReportedToo) {
  fake.registry.FailNext("RegSetValueExA Contexts", kErrorAccessDenied);
  fake.registry.FailNext("RegDeleteKeyA", kErrorAccessDenied);
  InstallExtension(fake.services);
  ExpectOneMessage(
      L"Ruvo Link Lens could not be installed in your machine.\n\n"
      L"Writing the value \"Contexts\" of the registry key " +
          kKeyName +
          L" failed: Access is denied.\n\n"
          L"The incomplete registry key could not be removed: Deleting the registry key " +
          kKeyName + L" failed: Access is denied.",
      MessageIcon::Error);
}

class UninstallTest : public SequenceTest {
 protected:
  // The sequence tells its one message last and leaves ending to the click.
  void ExpectToldLast() {
    EXPECT_EQ(fake.ui.endCount(), 0);
    EXPECT_EQ(fake.journal.back(), "ShowMessage");
  }
};

TEST_F(UninstallTest, InstalledStateIsRemovedWholly) {
  Install();
  UninstallExtension(fake.services);
  EXPECT_FALSE(fake.registry.HasKey(kHkeyCurrentUser, kKey));
  EXPECT_FALSE(fake.files.HasFile(kPage));
  EXPECT_FALSE(fake.files.HasFolder(kFolder));
  EXPECT_TRUE(fake.files.HasFolder(L"c:\\Program Files"));
  ExpectOneMessage(kUninstalledMessage, MessageIcon::Information);
  ExpectToldLast();
}

TEST_F(UninstallTest, LeftoversWithoutTheKeyAreStillCleanedUp) {
  struct Case {
    const char* name;
    bool folder;
    bool page;
  };
  for (const Case c : {Case{"page and folder", true, true}, Case{"folder only", true, false},
                       Case{"nothing", false, false}}) {
    SCOPED_TRACE(c.name);
    fake::FakePlatform run;
    if (c.folder) run.files.AddFolder(kFolder);
    if (c.page) run.files.AddFile(kPage, "page");
    UninstallExtension(run.services);
    EXPECT_FALSE(run.files.HasFile(kPage));
    EXPECT_FALSE(run.files.HasFolder(kFolder));
    ASSERT_EQ(run.ui.messages().size(), 1u) << "a missing page or folder is no failure";
    EXPECT_EQ(run.ui.messages()[0].text, kNotInstalledMessage);
    EXPECT_EQ(run.ui.messages()[0].icon, MessageIcon::Information);
  }
}

TEST_F(UninstallTest, AForeignFileKeepsTheFolderSilently) {
  Install();
  fake.files.AddFile(kFolder + L"\\notes.txt", "mine");
  UninstallExtension(fake.services);
  EXPECT_FALSE(fake.files.HasFile(kPage));
  EXPECT_TRUE(fake.files.HasFile(kFolder + L"\\notes.txt"));
  EXPECT_TRUE(fake.files.HasFolder(kFolder));
  ExpectOneMessage(kUninstalledMessage, MessageIcon::Information);
  ExpectToldLast();
}

TEST_F(UninstallTest, AKeyThatCannotBeDeletedLeavesEverythingAndSaysWhy) {
  Install();
  fake.registry.FailNext("RegDeleteKeyA", kErrorAccessDenied);
  UninstallExtension(fake.services);
  EXPECT_TRUE(fake.registry.HasKey(kHkeyCurrentUser, kKey));
  EXPECT_EQ(fake.files.FileBytes(kPage), ExpectedPage());
  ExpectOneMessage(
      L"Ruvo Link Lens could not be uninstalled from your machine.\n\n"
      L"Deleting the registry key " +
          kKeyName + L" failed: Access is denied.",
      MessageIcon::Error);
  EXPECT_EQ(JournalIndex("RemoveFile"), fake.journal.size());
  ExpectToldLast();
}

TEST_F(UninstallTest, AFileFailureIsTheOneMessageAndSaysWhatWentAndWhatIsLeft) {
  const Text removed =
      L"Removed: the registry key, so Internet Explorer no longer offers \"Open with Ruvo Office "
      L"Suite\".\n";
  const Text nextRun =
      L".\nRUVO LinkLens offers Install when started again, as the extension is no longer "
      L"registered: remove what is left by hand.";
  struct Case {
    const char* failingCall;
    bool installed;
    Text expected;
    bool pageRemains;
  };
  const Case cases[] = {
      {"RemoveFile", true,
       L"Deleting c:/Program Files/ruvo/ruvo.htm failed: Access is denied.\n\n" + removed +
           L"Left: c:/Program Files/ruvo/ruvo.htm and the folder c:/Program Files/ruvo" + nextRun,
       true},
      {"RemoveFolder", true,
       L"Removing the folder c:/Program Files/ruvo failed: Access is denied.\n\n" + removed +
           L"Left: the folder c:/Program Files/ruvo" + nextRun,
       false},
      {"RemoveFile", false,
       L"Deleting c:/Program Files/ruvo/ruvo.htm failed: Access is denied.\n\n"
       L"Left: c:/Program Files/ruvo/ruvo.htm and the folder c:/Program Files/ruvo" +
           nextRun,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.failingCall) + (c.installed ? "" : " without the key"));
    fake::FakePlatform run;
    if (c.installed) run.registry.AddKey(kHkeyCurrentUser, kKey);
    run.files.AddFolder(kFolder);
    run.files.AddFile(kPage, "page");
    run.files.FailNext(c.failingCall, FileFailure::Other, 5, L"Access is denied.");

    EXPECT_EQ(UninstallExtension(run.services), Outcome::Failed);

    EXPECT_FALSE(run.registry.HasKey(kHkeyCurrentUser, kKey));
    EXPECT_EQ(run.files.HasFile(kPage), c.pageRemains);
    EXPECT_TRUE(run.files.HasFolder(kFolder));
    ASSERT_EQ(run.ui.messages().size(), 1u) << "no success before the failure";
    EXPECT_EQ(run.ui.messages()[0].text,
              L"Ruvo Link Lens could not be uninstalled from your machine.\n\n" + c.expected);
    EXPECT_EQ(run.ui.messages()[0].icon, MessageIcon::Error);
  }
}

TEST_F(UninstallTest, WhatTheRegistryCannotTellOrKeepChangesNothingElse) {
  struct Case {
    const char* failingCall;
    RegistryResult status;
    Text expected;
  };
  const Case cases[] = {
      {"RegOpenKeyA", 21,
       L"RUVO LinkLens cannot tell whether the extension is installed. Nothing was changed.\n\n"
       L"Opening the registry key " +
           kKeyName + L" failed: Error 21."},
      {"RegFlushKey", 21,
       L"Ruvo Link Lens could not be uninstalled from your machine.\n\nSaving the deletion of "
       L"the registry key " +
           kKeyName + L" to the disk failed: Error 21."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failingCall);
    fake::FakePlatform run;
    run.registry.AddKey(kHkeyCurrentUser, kKey);
    run.files.AddFolder(kFolder);
    run.files.AddFile(kPage, "page");
    run.registry.FailNext(c.failingCall, c.status);
    EXPECT_EQ(UninstallExtension(run.services), Outcome::Failed);
    EXPECT_TRUE(run.files.HasFile(kPage)) << "the page stays while the key may";
    ASSERT_EQ(run.ui.messages().size(), 1u);
    EXPECT_EQ(run.ui.messages()[0].text, c.expected);
    EXPECT_EQ(run.ui.messages()[0].icon, MessageIcon::Error);
  }
}

TEST_F(UninstallTest, AKeyGoneBeforeTheDeleteCountsAsRemovedAndOurLeftoversGo) {
  Install();
  fake.files.AddFile(PartialFileFor(kPage), "half a page");
  fake.registry.FailNext("RegDeleteKeyA", kErrorFileNotFound);  // someone else was quicker
  EXPECT_EQ(UninstallExtension(fake.services), Outcome::Succeeded);
  EXPECT_FALSE(fake.files.HasFile(kPage));
  EXPECT_FALSE(fake.files.HasFile(PartialFileFor(kPage)));
  EXPECT_FALSE(fake.files.HasFolder(kFolder)) << "a folder of only our files is ours";
  ExpectOneMessage(kUninstalledMessage, MessageIcon::Information);
}

TEST_F(UninstallTest, InstallAndUninstallCanBeRepeated) {
  for (int round = 0; round < 3; ++round) {
    InstallExtension(fake.services);
    EXPECT_EQ(IsExtensionInstalled(fake.registry), InstallState::Installed);
    UninstallExtension(fake.services);
    EXPECT_EQ(IsExtensionInstalled(fake.registry), InstallState::NotInstalled);
    EXPECT_EQ(fake.files.EntryCount(), 2u) << "only c: and c:\\Program Files remain";
  }
  EXPECT_EQ(MessageTexts(),
            (std::vector<Text>{Text(kInstalledMessage), Text(kUninstalledMessage),
                               Text(kInstalledMessage), Text(kUninstalledMessage),
                               Text(kInstalledMessage), Text(kUninstalledMessage)}));
}

}  // namespace
}  // namespace ruvo
