#include "window/main_window.h"

#include "logic_test_support.h"
#include "registration/registration.h"

namespace ruvo {
namespace {

using namespace testing_support;

class MainWindowTest : public SequenceTest {
 protected:
  MainWindow window{fake.services};
};

TEST_F(MainWindowTest, LoadCaptionsTheButtonFromTheProbeAndSwitchesItsFont) {
  window.Form_Load();
  EXPECT_EQ(fake.ui.caption(), L"Install");
  EXPECT_EQ(fake.ui.fontName(), L"MS Sans Serif");

  fake::FakePlatform installed;
  installed.registry.AddKey(kHkeyCurrentUser, kKey);
  MainWindow(installed.services).Form_Load();
  EXPECT_EQ(installed.ui.caption(), L"Uninstall");
  EXPECT_EQ(installed.ui.fontName(), L"MS Sans Serif");
  EXPECT_TRUE(installed.ui.messages().empty());
}

TEST_F(MainWindowTest, ClickRunsWhatTheCaptionSetAtLoadSaysEvenIfTheRegistryMovedOn) {
  window.Form_Load();
  fake.registry.AddKey(kHkeyCurrentUser, kKey);  // someone else installed meanwhile
  window.ActionButton_Click();
  EXPECT_EQ(MessageTexts(), std::vector<Text>{Text(kInstalledMessage)});
  EXPECT_EQ(fake.files.FileBytes(kPage), ExpectedPage());
  EXPECT_EQ(fake.ui.endCount(), 1);
  EXPECT_EQ(fake.journal.back(), "EndProgram");
}

TEST_F(MainWindowTest, AnyCaptionButExactlyInstallUninstalls) {
  for (const wchar_t* caption : {L"Uninstall", L"install", L"Install ", L""}) {
    SCOPED_TRACE(std::string(caption, caption + std::wcslen(caption)));
    fake::FakePlatform run;
    run.ui.SetActionButtonCaption(caption);
    MainWindow(run.services).ActionButton_Click();
    ASSERT_EQ(run.ui.messages().size(), 1u);
    EXPECT_EQ(run.ui.messages()[0].text, kNotInstalledMessage);
    EXPECT_EQ(run.ui.endCount(), 1) << "ended exactly once";
    EXPECT_EQ(run.ui.callsAfterEnd(), 0);
    EXPECT_FALSE(run.files.HasFile(kPage));
  }
}

TEST_F(MainWindowTest, OnePressOneOutcomeAndTheExitStatusSaysWhich) {
  struct Case {
    const char* name;
    bool pageWriteFails;
    ExitStatus status;
  };
  for (const Case& c :
       {Case{"success", false, ExitStatus::Done}, Case{"failure", true, ExitStatus::Failed}}) {
    SCOPED_TRACE(c.name);
    fake::FakePlatform run;
    MainWindow handlers(run.services);
    handlers.Form_Load();
    if (c.pageWriteFails) run.files.FailNext("ReplaceTextFile", FileFailure::Other, 28, L"full");
    handlers.ActionButton_Click();
    const std::size_t calls = run.journal.size();
    handlers.ActionButton_Click();  // a press that arrived while the first one ran
    EXPECT_EQ(run.journal.size(), calls) << "the second press did nothing";
    EXPECT_EQ(run.ui.messages().size(), 1u);
    EXPECT_EQ(run.ui.endCount(), 1);
    EXPECT_EQ(run.ui.exitStatus(), c.status);
    const auto at = [&run](const char* call) {
      return std::find(run.journal.begin(), run.journal.end(), call) - run.journal.begin();
    };
    EXPECT_LT(at("Release"), at("ShowMessage"))
        << "the lock goes when the work is done, before the outcome waits for the user";
  }
}

TEST_F(MainWindowTest, AnotherProgramsActionInProgressChangesNothing) {
  window.Form_Load();
  fake.lock.heldElsewhere = true;
  window.ActionButton_Click();
  ExpectOneMessage(kAnotherInstanceMessage, MessageIcon::Error);
  EXPECT_EQ(JournalIndex("ReplaceTextFile"), fake.journal.size());
  EXPECT_EQ(JournalIndex("RegCreateKeyExA"), fake.journal.size());
  EXPECT_EQ(fake.ui.exitStatus(), ExitStatus::Failed);
}

TEST_F(MainWindowTest, ALoadThatCannotTellSaysSoAndEndsWithoutOfferingAnAction) {
  fake.registry.FailNext("RegOpenKeyA", 170);
  window.Form_Load();
  ASSERT_EQ(fake.ui.messages().size(), 1u);
  EXPECT_EQ(fake.ui.messages()[0].icon, MessageIcon::Error);
  EXPECT_EQ(fake.ui.messages()[0].text.rfind(kCannotTellHeadline, 0), 0u);
  EXPECT_EQ(fake.ui.caption(), L"") << "no action offered";
  EXPECT_EQ(fake.ui.endCount(), 1);
  EXPECT_EQ(fake.ui.exitStatus(), ExitStatus::Failed);
}

TEST_F(MainWindowTest, FailedInstallStillEndsTheProgramOnce) {
  window.Form_Load();
  fake.files.FailNext("ReplaceTextFile", FileFailure::Other, 28, L"No space left on device");
  window.ActionButton_Click();
  ASSERT_EQ(fake.ui.messages().size(), 1u);
  EXPECT_EQ(fake.ui.messages()[0].icon, MessageIcon::Error);
  EXPECT_EQ(fake.ui.endCount(), 1);
  EXPECT_EQ(fake.journal.back(), "EndProgram");
}

}  // namespace
}  // namespace ruvo
