#include "registration/registration.h"

#include "logic_test_support.h"

namespace ruvo {
namespace {

using namespace testing_support;

// Spelled out here, so that a changed headline fails the tests.
const Text kInstallFailed = L"Ruvo Link Lens could not be installed in your machine.\n\n";
const Text kUninstallFailed = L"Ruvo Link Lens could not be uninstalled from your machine.\n\n";
const Text kDenied = L"Access is denied.";

// The sequence tells its one message last and leaves ending to the click.
void ExpectToldLast(const fake::FakePlatform& run) {
  EXPECT_EQ(run.ui.endCount(), 0);
  EXPECT_EQ(run.journal.back(), "ShowMessage");
}

TEST(ProbeTest, AnswersFromOpeningTheKeyUnderTheCurrentUserAloneAndChangesNothing) {
  EXPECT_EQ(static_cast<int>(InstallState::Installed), -1);
  struct Case {
    PredefinedRoot keyUnder;    // 0: no key anywhere
    RegistryResult openStatus;  // injected into the open; 0: none
    InstallState expected;
  };
  for (const Case& c : {Case{0, 0, InstallState::NotInstalled},
                        Case{kHkeyLocalMachine, 0, InstallState::NotInstalled},
                        Case{kHkeyCurrentUser, 0, InstallState::Installed},  // with no values
                        Case{kHkeyCurrentUser, kErrorAccessDenied, InstallState::CannotTell}}) {
    SCOPED_TRACE(::testing::Message() << "key under " << c.keyUnder << ", open " << c.openStatus);
    fake::FakePlatform run;
    if (c.keyUnder != 0) run.registry.AddKey(c.keyUnder, kKey);
    if (c.openStatus != 0) run.registry.FailNext("RegOpenKeyA", c.openStatus);
    const std::size_t keys = run.registry.KeyCount();
    RegistryResult status = kErrorSuccess;
    EXPECT_EQ(IsExtensionInstalled(run.registry, &status), c.expected);
    if (c.expected == InstallState::CannotTell) {
      EXPECT_EQ(status, c.openStatus);
    }
    EXPECT_EQ(run.registry.KeyCount(), keys);
    EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
    EXPECT_EQ(std::count(run.journal.begin(), run.journal.end(), "RegCloseKey"), 1)
        << "the handle is closed also when the open failed";
  }
}

TEST(InstallTest, WritesThePageThenTheKeyAndItsTwoValuesAndSaysSo) {
  for (const bool again : {false, true}) {
    SCOPED_TRACE(again ? "over a stale install" : "first install");
    fake::FakePlatform run;
    if (again) {
      AddInstalled(run);
      run.files.AddFile(kPage, ExpectedPage() + "stale tail\r\n");
      run.registry.AddKey(kHkeyCurrentUser, kKey + L"\\Leftover");
    }
    EXPECT_EQ(InstallExtension(run.services), Outcome::Succeeded);

    EXPECT_TRUE(run.files.HasFolder(kFolder));
    EXPECT_EQ(run.files.FileBytes(kPage), ExpectedPage()) << "rewritten, not appended to";
    EXPECT_FALSE(run.files.HasFile(kPage + L".previous"));
    const auto url = run.registry.GetValue(kHkeyCurrentUser, kKey, L"");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->type, kRegSz);
    EXPECT_EQ(url->data, UrlBytesWithZero());
    const auto contexts = run.registry.GetValue(kHkeyCurrentUser, kKey, L"Contexts");
    ASSERT_TRUE(contexts);
    EXPECT_EQ(contexts->type, kRegDword);
    EXPECT_EQ(contexts->data, (std::vector<std::uint8_t>{0x20, 0, 0, 0}));
    EXPECT_EQ(run.registry.ValueNames(kHkeyCurrentUser, kKey).size(), 2u);
    EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
    EXPECT_LT(JournalIndex(run, "ReplaceTextFile"), JournalIndex(run, "RegCreateKeyExA"))
        << "the page exists before the key that points to it";
    ExpectOneMessage(run, kInstalledMessage, MessageIcon::Information);
    ExpectToldLast(run);
  }
}

TEST(InstallTest, AFailureIsReportedAndWhatThisRunMadeIsTakenBackOut) {
  enum Setup {
    kHasKey = 1,
    kHasFolder = 2,
    kHasPage = 4,  // before: an old page
    kNoProgramFiles = 8,
    kCallDoesItsWork = 16,  // the failing call reports failure after doing its work
    kTakeBackFails = 32,
  };
  struct Case {
    const char* failingCall;  // a file call fails with the text of `status`
    RegistryResult status;
    int before;
    Text failure;
    int left;  // a page no key points at goes, and a folder only if this run made it
  };
  const std::string oldPage = "old page\r\n";
  const Text pageDenied = L"Writing c:\\Program Files\\ruvo\\ruvo.htm failed: " + kDenied;
  const Text create = L"Creating the registry key " + kKeyName + L" failed: ";
  const Text defaultDenied =
      L"Writing the default value of the registry key " + kKeyName + L" failed: " + kDenied;
  const Text contextsDenied =
      L"Writing the value \"Contexts\" of the registry key " + kKeyName + L" failed: " + kDenied;
  const int all = kHasKey | kHasFolder | kHasPage;
  const Case cases[] = {
      {"ReplaceTextFile", kErrorAccessDenied, kHasFolder | kHasPage, pageDenied,
       kHasFolder | kHasPage},
      {"ReplaceTextFile", kErrorAccessDenied, 0, pageDenied, 0},
      {"ReplaceTextFile", kErrorAccessDenied, kHasFolder, pageDenied, kHasFolder},
      {"", 0, kNoProgramFiles,
       L"Creating the folder c:\\Program Files\\ruvo failed: The system cannot find the path "
       L"specified.",
       0},
      {"RegCreateKeyExA", kErrorAccessDenied, 0, create + kDenied, 0},
      {"RegCreateKeyExA", kErrorAccessDenied, kHasFolder, create + kDenied, kHasFolder},
      // Someone's own page stood there: it is put back, not removed.
      {"RegCreateKeyExA", kErrorAccessDenied, kHasFolder | kHasPage, create + kDenied,
       kHasFolder | kHasPage},
      {"RegCreateKeyExA", 1117, kCallDoesItsWork, create + L"Error 1117.", 0},
      {"RegOpenKeyExA", kErrorAccessDenied, 0, defaultDenied, 0},
      {"RegSetValueExA ", kErrorAccessDenied, 0, defaultDenied, 0},
      {"RegSetValueExA Contexts", kErrorAccessDenied, 0, contextsDenied, 0},
      {"RegSetValueExA Contexts", kErrorAccessDenied, kHasKey, contextsDenied, all},
      {"RegFlushKey", 21, 0,
       L"Saving the registry key " + kKeyName + L" to the disk failed: Error 21.", 0},
      {"RegSetValueExA Contexts", kErrorAccessDenied, kTakeBackFails,
       contextsDenied +
           L"\n\nThe incomplete registry key could not be removed: Deleting the registry key " +
           kKeyName + L" failed: " + kDenied,
       all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.failingCall << ", before " << c.before);
    fake::FakePlatform run;
    if (c.before & kHasKey) run.registry.AddKey(kHkeyCurrentUser, kKey);
    if (c.before & kHasFolder) run.files.AddFolder(kFolder);
    if (c.before & kHasPage) run.files.AddFile(kPage, oldPage);
    if (c.before & kNoProgramFiles) {
      ASSERT_TRUE(run.files.RemoveFolder(L"c:\\Program Files").ok());
    }
    const std::string call = c.failingCall;
    const bool registryCall = call.rfind("Reg", 0) == 0;
    if (c.before & kCallDoesItsWork) {
      run.registry.FailNextAfterDoing(call, c.status);
    } else if (registryCall) {
      run.registry.FailNext(call, c.status);
    } else if (!call.empty()) {
      run.files.FailNext(call, FileFailure::Other, c.status, run.registry.DescribeStatus(c.status));
    }
    if (c.before & kTakeBackFails) run.registry.FailNext("RegDeleteKeyA", kErrorAccessDenied);

    EXPECT_EQ(InstallExtension(run.services), Outcome::Failed);

    ExpectOneMessage(run, kInstallFailed + c.failure, MessageIcon::Error);
    EXPECT_EQ(run.registry.HasKey(kHkeyCurrentUser, kKey), (c.left & kHasKey) != 0);
    EXPECT_EQ(run.files.HasFolder(kFolder), (c.left & kHasFolder) != 0);
    EXPECT_EQ(run.files.HasFile(kPage) ? run.files.FileBytes(kPage) : "none",
              c.left & kHasPage ? (c.before & kHasPage ? oldPage : ExpectedPage()) : "none");
    EXPECT_EQ(JournalIndex(run, "RegCreateKeyExA") < run.journal.size(), registryCall)
        << "the page comes first: its failure stops before the registry";
    EXPECT_FALSE(run.files.HasFile(kPage + L".previous")) << "no second name is left";
    EXPECT_EQ(run.registry.OpenHandleCount(), 0u);
  }
}

TEST(UninstallTest, RemovesWhatIsOursAndSaysWhetherItWasInstalled) {
  enum Setup { kWithKey = 1, kWithFolder = 2, kWithPage = 4, kWithPartial = 8, kWithForeign = 16 };
  const int installed = kWithKey | kWithFolder | kWithPage;
  struct Case {
    const char* name;
    int setup;
    RegistryResult deleteStatus;  // injected into the key's delete; 0: none
    std::wstring_view message;
  };
  const Case cases[] = {
      {"installed", installed, 0, kUninstalledMessage},
      {"key gone before the delete, a partial page left", installed | kWithPartial,
       kErrorFileNotFound, kUninstalledMessage},
      {"a foreign file keeps the folder", installed | kWithForeign, 0, kUninstalledMessage},
      {"page and folder without the key", kWithFolder | kWithPage, 0, kNotInstalledMessage},
      {"folder without the key", kWithFolder, 0, kNotInstalledMessage},
      {"nothing", 0, 0, kNotInstalledMessage},
  };
  const Text foreign = kFolder + L"\\notes.txt";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakePlatform run;
    if (c.setup & kWithKey) run.registry.AddKey(kHkeyCurrentUser, kKey);
    if (c.setup & kWithFolder) run.files.AddFolder(kFolder);
    if (c.setup & kWithPage) run.files.AddFile(kPage, ExpectedPage());
    if (c.setup & kWithPartial) run.files.AddFile(PartialFileFor(kPage), "half a page");
    if (c.setup & kWithForeign) run.files.AddFile(foreign, "mine");
    if (c.deleteStatus != 0) run.registry.FailNext("RegDeleteKeyA", c.deleteStatus);

    EXPECT_EQ(UninstallExtension(run.services), Outcome::Succeeded);

    // An injected status stands in for another program's delete: the fake keeps the key.
    EXPECT_EQ(run.registry.HasKey(kHkeyCurrentUser, kKey), c.deleteStatus != 0);
    EXPECT_FALSE(run.files.HasFile(kPage));
    EXPECT_FALSE(run.files.HasFile(PartialFileFor(kPage)));
    const bool foreignFile = (c.setup & kWithForeign) != 0;
    EXPECT_EQ(run.files.HasFile(foreign), foreignFile);
    EXPECT_EQ(run.files.HasFolder(kFolder), foreignFile) << "a folder of only our files is ours";
    EXPECT_TRUE(run.files.HasFolder(L"c:\\Program Files"));
    ExpectOneMessage(run, c.message, MessageIcon::Information);
    ExpectToldLast(run);
  }
}

TEST(UninstallTest, AFailureStopsThereAndTheOneMessageSaysWhatWentAndWhatIsLeft) {
  struct Case {
    const char* failingCall;  // a file call fails with the text of `status`
    RegistryResult status;
    bool installed;
    Text message;
    bool keyAfter, pageAfter;
  };
  const Text removed =
      L"Removed: the registry key, so Internet Explorer no longer offers \"Open with Ruvo Office "
      L"Suite\".\n";
  const Text nextRun =
      L".\nRUVO LinkLens offers Install when started again, as the extension is no longer "
      L"registered: remove what is left by hand.";
  const Text pageFailed =
      L"Deleting c:\\Program Files\\ruvo\\ruvo.htm failed: Access is denied.\n\n";
  const Text pageLeft =
      L"Left: c:\\Program Files\\ruvo\\ruvo.htm and the folder c:\\Program Files\\ruvo";
  const Case cases[] = {
      {"RegOpenKeyA", 21, true,
       L"RUVO LinkLens cannot tell whether the extension is installed. Nothing was changed.\n\n"
       L"Opening the registry key " +
           kKeyName + L" failed: Error 21.",
       true, true},
      {"RegDeleteKeyA", kErrorAccessDenied, true,
       kUninstallFailed + L"Deleting the registry key " + kKeyName + L" failed: " + kDenied, true,
       true},
      {"RegDeleteKeyA, a subkey", 0, true,  // the key holds someone else's subkey
       kUninstallFailed + L"Deleting the registry key " + kKeyName +
           L" failed: It holds the subkey \"Someone's\", which RUVO LinkLens did not write and "
           L"does not delete. Remove that subkey with the Registry Editor (or have whoever added "
           L"it remove it), then start RUVO LinkLens again.",
       true, true},
      {"RegFlushKey", 21, true,
       kUninstallFailed + L"Saving the deletion of the registry key " + kKeyName +
           L" to the disk failed: Error 21.",
       false, true},
      {"RemoveFile", kErrorAccessDenied, true,
       kUninstallFailed + pageFailed + removed + pageLeft + nextRun, false, true},
      // The system took the deletion and the page is still there (as the fake cannot be).
      {"ConfirmGone", kErrorAccessDenied, true,
       kUninstallFailed + pageFailed + removed + pageLeft + nextRun, false, false},
      {"RemoveFolder", kErrorAccessDenied, true,
       kUninstallFailed +
           L"Removing the folder c:\\Program Files\\ruvo failed: Access is denied.\n\n" + removed +
           L"Left: the folder c:\\Program Files\\ruvo" + nextRun,
       false, false},
      {"RemoveFile", kErrorAccessDenied, false, kUninstallFailed + pageFailed + pageLeft + nextRun,
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.failingCall) + (c.installed ? "" : " without the key"));
    fake::FakePlatform run;
    if (c.installed) run.registry.AddKey(kHkeyCurrentUser, kKey);
    run.files.AddFolder(kFolder);
    run.files.AddFile(kPage, ExpectedPage());
    const std::string call = c.failingCall;
    const bool registryCall = call.rfind("Reg", 0) == 0;
    if (c.status == 0) {
      run.registry.AddKey(kHkeyCurrentUser, kKey + L"\\Someone's");
    } else if (registryCall) {
      run.registry.FailNext(call, c.status);
    } else {
      run.files.FailNext(call, FileFailure::Other, c.status, run.registry.DescribeStatus(c.status));
    }

    EXPECT_EQ(UninstallExtension(run.services), Outcome::Failed);

    ExpectOneMessage(run, c.message, MessageIcon::Error);  // nothing told before the failure
    ExpectToldLast(run);
    EXPECT_EQ(run.registry.HasKey(kHkeyCurrentUser, kKey), c.keyAfter);
    EXPECT_EQ(run.files.HasFile(kPage), c.pageAfter) << "the page stays while the key may";
    EXPECT_TRUE(run.files.HasFolder(kFolder));
    EXPECT_EQ(JournalIndex(run, "RemoveFile") < run.journal.size(), !registryCall)
        << "a registry failure stops before the files";
  }
}

TEST(UninstallTest, InstallAndUninstallCanBeRepeated) {
  fake::FakePlatform run;
  for (int round = 0; round < 3; ++round) {
    InstallExtension(run.services);
    EXPECT_EQ(IsExtensionInstalled(run.registry), InstallState::Installed);
    UninstallExtension(run.services);
    EXPECT_EQ(IsExtensionInstalled(run.registry), InstallState::NotInstalled);
    EXPECT_EQ(run.files.EntryCount(), 2u) << "only c: and c:\\Program Files remain";
  }
  EXPECT_EQ(MessageTexts(run),
            (std::vector<Text>{Text(kInstalledMessage), Text(kUninstalledMessage),
                               Text(kInstalledMessage), Text(kUninstalledMessage),
                               Text(kInstalledMessage), Text(kUninstalledMessage)}));
}

}  // namespace
}  // namespace ruvo
