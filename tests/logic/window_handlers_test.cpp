#include "window/window_handlers.h"

#include "logic_test_support.h"
#include "platform/text.h"
#include "registration/registration.h"

namespace ruvo {
namespace {

using namespace testing_support;

TEST(MainWindowTest, LoadCaptionsTheButtonFromTheProbeOrEndsWhenItCannotTell) {
  struct Case {
    bool installed;
    RegistryResult openStatus;  // injected into the probe's open; 0: none
    const wchar_t* caption;     // "": no action offered, the program ends
  };
  for (const Case& c :
       {Case{false, 0, L"Install"}, Case{true, 0, L"Uninstall"}, Case{true, 170, L""}}) {
    SCOPED_TRACE(::testing::Message() << "installed " << c.installed << ", open " << c.openStatus);
    fake::FakePlatform run;
    if (c.installed) run.registry.AddKey(kHkeyCurrentUser, kKey);
    if (c.openStatus != 0) run.registry.FailNext("RegOpenKeyA", c.openStatus);
    WindowHandlers(run.services).Form_Load();
    EXPECT_EQ(run.ui.caption(), c.caption);
    const bool ends = *c.caption == L'\0';
    if (!ends) {
      EXPECT_EQ(run.ui.fontName(), L"MS Sans Serif");
    }
    EXPECT_EQ(run.ui.messages().size(), ends ? 1u : 0u);
    for (const fake::ShownMessage& message : run.ui.messages()) {
      EXPECT_EQ(message.icon, MessageIcon::Error);
      EXPECT_EQ(message.text.rfind(kCannotTellHeadline, 0), 0u);
    }
    EXPECT_EQ(run.ui.endCount(), ends ? 1 : 0);
    EXPECT_EQ(run.ui.exitStatus(), ends ? ExitStatus::Failed : ExitStatus::Done);
  }
}

TEST(MainWindowTest, ClickRunsInstallForExactlyTheCaptionInstallAndUninstallForAnyOther) {
  struct Case {
    const wchar_t* caption;  // nullptr: the one Load sets on an empty registry
    std::wstring_view message;
  };
  for (const Case& c : {Case{nullptr, kInstalledMessage}, Case{L"Uninstall", kNotInstalledMessage},
                        Case{L"install", kNotInstalledMessage},
                        Case{L"Install ", kNotInstalledMessage}, Case{L"", kNotInstalledMessage}}) {
    SCOPED_TRACE(c.caption == nullptr ? "from Load" : ToUtf8(c.caption));
    fake::FakePlatform run;
    WindowHandlers window(run.services);
    if (c.caption == nullptr) {
      window.Form_Load();
      // Someone else installs meanwhile: the caption, not the registry, decides.
      run.registry.AddKey(kHkeyCurrentUser, kKey);
    } else {
      run.ui.SetActionButtonCaption(c.caption);
    }
    window.ActionButton_Click();
    EXPECT_EQ(MessageTexts(run), std::vector<Text>{Text(c.message)});
    EXPECT_EQ(run.files.HasFile(kPage) ? run.files.FileBytes(kPage) : "none",
              c.message == kInstalledMessage ? ExpectedPage() : "none");
    EXPECT_EQ(run.ui.endCount(), 1) << "ended exactly once";
    EXPECT_EQ(run.ui.callsAfterEnd(), 0);
    EXPECT_EQ(run.journal.back(), "EndProgram");
  }
}

TEST(MainWindowTest, OnePressOneOutcomeAndTheExitStatusSaysWhich) {
  struct Case {
    const char* name;
    bool pageWriteFails;
    LockResult lock;
    Text message;  // empty: none
    MessageIcon icon;
    ExitStatus status;
  };
  const LockResult held{LockState::Held, {}};
  const Case cases[] = {
      {"success", false, held, Text(kInstalledMessage), MessageIcon::Information, ExitStatus::Done},
      {"failure", true, held,
       L"Ruvo Link Lens could not be installed in your machine.\n\n"
       L"Writing c:\\Program Files\\ruvo\\ruvo.htm failed: full",
       MessageIcon::Error, ExitStatus::Failed},
      {"another program's action",
       false,
       {LockState::Busy, {}},
       Text(kAnotherInstanceMessage),
       MessageIcon::Error,
       ExitStatus::Failed},
      {"the lock refused",
       false,
       {LockState::Failed, L"Opening the lock failed: denied"},
       L"RUVO LinkLens could not make sure that no other RUVO LinkLens is installing or "
       L"uninstalling the extension. Nothing was changed.\n\nOpening the lock failed: denied",
       MessageIcon::Error,
       ExitStatus::Failed},
      {"closed while waiting",
       false,
       {LockState::CloseRequested, {}},
       L"",
       MessageIcon::Error,
       ExitStatus::Failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::FakePlatform run;
    WindowHandlers handlers(run.services);
    handlers.Form_Load();
    if (c.pageWriteFails) run.files.FailNext("ReplaceTextFile", FileFailure::Other, 28, L"full");
    run.lock.next = c.lock;
    handlers.ActionButton_Click();
    const std::size_t calls = run.journal.size();
    handlers.ActionButton_Click();  // a press that arrived while the first one ran
    EXPECT_EQ(run.journal.size(), calls) << "the second press did nothing";
    if (c.message.empty()) {
      EXPECT_TRUE(run.ui.messages().empty());
    } else {
      ExpectOneMessage(run, c.message, c.icon);
    }
    EXPECT_EQ(run.ui.endCount(), 1);
    EXPECT_EQ(run.ui.exitStatus(), c.status);
    EXPECT_EQ(run.journal.back(), "EndProgram");
    const bool held = c.lock.state == LockState::Held;
    EXPECT_EQ(JournalIndex(run, "ReplaceTextFile") < run.journal.size(), held)
        << "no work without the lock";
    // The lock goes when the work is done, before the outcome waits for the user; a
    // lock never had is not let go.
    EXPECT_EQ(JournalIndex(run, "Release") < JournalIndex(run, "ShowMessage"), held);
  }
}

}  // namespace
}  // namespace ruvo
