// The main window inside the test's own process, where what no other process can
// see is readable: the fonts of its controls and the colours they paint in. Needs a
// display, so run-wine-tests.sh runs it (on its Xvfb) rather than CTest directly.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "fake_platform.h"
#include "platform/win32/main_frame.h"
#include "platform/win32/screen_dpi.h"
#include "registration/record.h"
#include "window/layout.h"
#include "window/window_handlers.h"

namespace {

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  const auto handle = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  ::GetObjectW(handle, sizeof font, &font);
  return font;
}

class MainFrameTest : public ::testing::Test {
 protected:
  void Open() { ASSERT_EQ(frame_.Open(handlers_, SW_SHOWNOACTIVATE), L""); }

  void TearDown() override {
    frame_.EndProgram(ruvo::ExitStatus::Done);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }

  HWND Child(const wchar_t* windowClass, std::wstring_view text) {
    return ::FindWindowExW(frame_.Window(), nullptr, windowClass, std::wstring(text).c_str());
  }

  std::vector<std::string> journal_;
  ruvo::fake::FakeRegistry registry_{journal_};
  ruvo::fake::FakeFileSystem files_{journal_};
  ruvo::fake::FakeInstanceLock lock_{journal_};
  ruvo::win32::MainFrame frame_{::GetModuleHandleW(nullptr)};
  ruvo::PlatformServices platform_{registry_, files_, frame_, lock_};
  ruvo::WindowHandlers handlers_{platform_};
};

TEST_F(MainFrameTest, TextLinesAndTheLoadedButtonShowMsSansSerifAt825Points) {
  Open();
  std::vector<std::pair<std::string, HWND>> controls = {
      {"ActionButton", Child(L"Button", L"Install")}};
  for (const ruvo::ControlRecord& record : ruvo::kControls) {
    if (record.kind != ruvo::ControlKind::TextLine) continue;
    controls.emplace_back(std::string(record.name), Child(L"Static", record.text));
  }
  ASSERT_EQ(controls.size(), 6u);
  for (const auto& [name, control] : controls) {
    SCOPED_TRACE(name);
    ASSERT_NE(control, nullptr);
    const LOGFONTW font = FontOf(control);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -::MulDiv(825, ruvo::win32::ScreenDpi(), 7200));  // 8.25 pt, not 8
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
    EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
  }
}

TEST_F(MainFrameTest, SwitchingTheButtonsFaceKeepsItsSize) {
  Open();
  const HWND button = Child(L"Button", L"Install");
  ASSERT_NE(button, nullptr);
  const LONG height = FontOf(button).lfHeight;
  // The face the window itself carries, as the button had it before the load handler.
  frame_.SetActionButtonFontName(L"Comic Sans MS");
  EXPECT_EQ(std::wstring(FontOf(button).lfFaceName), L"Comic Sans MS");
  EXPECT_EQ(FontOf(button).lfHeight, height);
}

TEST_F(MainFrameTest, TheCaptionFollowsTheProbe) {
  registry_.AddKey(ruvo::kExtensionRoot, ruvo::Text(ruvo::kExtensionKeyPath));
  Open();
  EXPECT_NE(Child(L"Button", L"Uninstall"), nullptr);
  EXPECT_EQ(frame_.ActionButtonCaption(), L"Uninstall");
}

TEST_F(MainFrameTest, TextLinesAreOpaqueButtonFaceWithButtonTextAndTheRuleActiveBorder) {
  Open();
  const HDC dc = ::CreateCompatibleDC(nullptr);
  // What a control paints with: the brush, text and background colours the window
  // answers WM_CTLCOLORSTATIC with.
  auto paintOf = [&](HWND control) {
    const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(frame_.Window(), WM_CTLCOLORSTATIC,
                                                               reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(control)));
    return std::make_tuple(brush, ::GetTextColor(dc), ::GetBkColor(dc));
  };
  for (const ruvo::ControlRecord& record : ruvo::kControls) {
    if (record.kind != ruvo::ControlKind::TextLine) continue;
    SCOPED_TRACE(std::string(record.name));
    const HWND label = Child(L"Static", record.text);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(paintOf(label),
              std::make_tuple(::GetSysColorBrush(COLOR_BTNFACE), ::GetSysColor(COLOR_BTNTEXT),
                              ::GetSysColor(COLOR_BTNFACE)));
  }
  const HWND rule = Child(L"Static", L"");
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(std::get<0>(paintOf(rule)), ::GetSysColorBrush(COLOR_ACTIVEBORDER));
  ::DeleteDC(dc);
}

}  // namespace
