// A test-only helper (never shipped) that looks at the running installer from the
// outside, as the end-to-end script's eyes: window texts, styles and rectangles
// cross process boundaries, GDI handles do not.
//
//   window_probe layout [--caption TEXT]   checks the window against the layout table
//   window_probe message [--wait SECONDS]  prints the message box's title, text, icon
//   window_probe focus                     prints the class of the focused control
//   window_probe colours                   prints the client origin and system colours
//
// With two programs running, --other-than HANDLE passes over every window of the
// program that window HANDLE (as a "handle" line gives it) belongs to.
//
// Exit status: 0 done (layout: matches), 1 mismatch, 2 window not found, 3 bad use.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform_services.h"
#include "platform/text.h"
#include "platform/win32/screen_dpi.h"
#include "registration/messages.h"
#include "window/layout.h"

namespace {

using ruvo::Text;

constexpr const wchar_t* kDialogClass = L"#32770";

Text ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

// WM_GETTEXT is marshalled between processes; the timeout keeps a hung target from
// hanging the probe.
Text TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return L"<no answer>";
  }
  std::vector<wchar_t> buffer(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, 2000, &copied);
  return Text(buffer.data(), copied);
}

void Print(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
}
std::string Utf8(const Text& text) {
  return ruvo::ToUtf8(text);
}

// Newlines shown as \n so that one message is one line of output.
std::string Escaped(const Text& text) {
  std::string out;
  for (const char c : Utf8(text)) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string ScreenRectText(const RECT& rect) {
  return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top);
}

std::string HandleText(HWND window) {
  char text[24];
  std::snprintf(text, sizeof text, "%lx",
                static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
  return text;
}

std::string FrameOf(HWND window) {
  RECT frame{};
  ::GetWindowRect(window, &frame);
  return ScreenRectText(frame);
}

struct Search {
  bool dialog;        // the message box, or the main window
  DWORD skipProcess;  // 0, or a program whose windows are passed over
  HWND found = nullptr;
};

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return process;
}

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  if (!::IsWindowVisible(window)) return TRUE;
  if (TextOf(window) != ruvo::kApplicationTitle) return TRUE;
  if ((ClassOf(window) == kDialogClass) != search.dialog) return TRUE;
  if (search.skipProcess != 0 && ProcessOf(window) == search.skipProcess) return TRUE;
  search.found = window;
  return FALSE;
}

HWND FindTopLevel(bool dialog, double waitSeconds, DWORD skipProcess) {
  const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(waitSeconds * 1000);
  for (;;) {
    Search search{dialog, skipProcess};
    ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (static_cast<LONG>(::GetTickCount() - deadline) >= 0) return nullptr;
    ::Sleep(100);
  }
}

std::vector<HWND> ChildrenInZOrder(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

RECT RectInParentClient(HWND child, HWND parent) {
  RECT rect;
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string RectText(const RECT& rect) {
  return "(" + std::to_string(rect.left) + "," + std::to_string(rect.top) + ")-(" +
         std::to_string(rect.right) + "," + std::to_string(rect.bottom) + ")";
}

// Counts mismatches and says what each one is.
class Checker {
 public:
  void Expect(bool ok, const std::string& what) {
    Print(std::string(ok ? "ok   " : "FAIL ") + what);
    if (!ok) ++failures_;
  }
  int failures() const { return failures_; }

 private:
  int failures_ = 0;
};

// What the layout table says a control's window looks like at `dpi`.
struct Expected {
  const ruvo::ControlRecord* record;
  Text windowClass;
  RECT rect;
};

Expected ExpectedFor(const ruvo::ControlRecord& record, int dpi) {
  const ruvo::PixelRect bounds = ruvo::PixelBounds(record, dpi);
  RECT rect{bounds.x, bounds.y, bounds.x + bounds.width, bounds.y + bounds.height};
  Text windowClass;
  switch (record.kind) {
    case ruvo::ControlKind::PictureArea:
      windowClass = L"RuvoPictureArea";
      break;
    case ruvo::ControlKind::PushButton:
      windowClass = L"Button";
      break;
    case ruvo::ControlKind::StraightLine:
      windowClass = L"Static";
      break;
    case ruvo::ControlKind::TextLine:
      windowClass = L"Static";
      break;
  }
  return {&record, windowClass, rect};
}

Text ExpectedText(const ruvo::ControlRecord& record, const Text& buttonCaption) {
  return record.kind == ruvo::ControlKind::PushButton ? buttonCaption : Text(record.text);
}

bool SameText(const Text& a, const Text& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

int CheckLayout(const Text& buttonCaption, DWORD skipProcess) {
  const HWND window = FindTopLevel(false, 10, skipProcess);
  if (window == nullptr) {
    Print("FAIL no window titled RUVO LinkLens");
    return 2;
  }
  const int dpi = ruvo::win32::ScreenDpi();
  Print("dpi " + std::to_string(dpi));
  Checker check;

  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  const LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
  check.Expect((style & WS_CAPTION) == WS_CAPTION, "title bar (WS_CAPTION)");
  check.Expect(style & WS_SYSMENU, "window icon and system menu (WS_SYSMENU)");
  check.Expect(!(style & WS_MINIMIZEBOX), "no minimize box");
  check.Expect(!(style & WS_MAXIMIZEBOX), "no maximize box");
  check.Expect(!(style & WS_THICKFRAME), "not resizable (no WS_THICKFRAME)");
  check.Expect(::GetWindow(window, GW_OWNER) == nullptr && (exStyle & WS_EX_APPWINDOW),
               "own taskbar button (owner-less, WS_EX_APPWINDOW)");
  check.Expect(exStyle & WS_EX_CONTROLPARENT, "Tab moves between controls (WS_EX_CONTROLPARENT)");

  RECT client;
  ::GetClientRect(window, &client);
  const int width = ruvo::TwipsToPixels(ruvo::kMainWindow.clientWidth, dpi);
  const int height = ruvo::TwipsToPixels(ruvo::kMainWindow.clientHeight, dpi);
  check.Expect(client.right == width && client.bottom == height,
               "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
                   ", table " + std::to_string(width) + "x" + std::to_string(height));

  // Every record has exactly one child with its class, text and rectangle.
  const std::vector<HWND> children = ChildrenInZOrder(window);
  check.Expect(children.size() == std::size(ruvo::kControls),
               std::to_string(children.size()) + " controls");
  std::vector<HWND> unmatched = children;
  for (const ruvo::ControlRecord& record : ruvo::kControls) {
    const Expected expected = ExpectedFor(record, dpi);
    const Text text = ExpectedText(record, buttonCaption);
    const auto found = std::find_if(unmatched.begin(), unmatched.end(), [&](HWND child) {
      const RECT rect = RectInParentClient(child, window);
      return SameText(ClassOf(child), expected.windowClass) && TextOf(child) == text &&
             EqualRect(&rect, &expected.rect);
    });
    const bool present = found != unmatched.end();
    check.Expect(present, std::string(record.name) + " " + Utf8(expected.windowClass) + " " +
                              RectText(expected.rect) + " \"" + Utf8(text) + "\"");
    if (!present) continue;
    const LONG childStyle = ::GetWindowLongW(*found, GWL_STYLE);
    check.Expect(
        ((childStyle & WS_TABSTOP) != 0) == record.takesFocus,
        std::string(record.name) + (record.takesFocus ? " is a tab stop" : " is no tab stop"));
    if (record.kind == ruvo::ControlKind::TextLine) {
      check.Expect((childStyle & SS_TYPEMASK) == SS_LEFTNOWORDWRAP,
                   std::string(record.name) + " one line, left-aligned, no wrap");
    }
    unmatched.erase(found);
  }
  for (HWND child : unmatched) {
    check.Expect(false, "unexpected child " + Utf8(ClassOf(child)) + " " +
                            RectText(RectInParentClient(child, window)) + " \"" +
                            Utf8(TextOf(child)) + "\"");
  }

  // Windows moves the focus in z-order among the tab stops: the button, then the picture.
  std::vector<Text> tabOrder;
  for (HWND child : children) {
    if (::GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) tabOrder.push_back(ClassOf(child));
  }
  check.Expect(tabOrder == std::vector<Text>{L"Button", L"RuvoPictureArea"},
               "tab order: the button, then the picture area");

  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread);
  check.Expect(thread.hwndFocus != nullptr && ClassOf(thread.hwndFocus) == L"Button",
               "the button holds the focus");
  return check.failures() == 0 ? 0 : 1;
}

// The icon static of a message box. On Windows its icon is one of the system's
// shared icons, the same handle in every process; Wine keeps icons per process, so
// the script also looks at the icon's pixels (icon-rect).
HWND IconControl(HWND dialog) {
  for (HWND child : ChildrenInZOrder(dialog)) {
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
  }
  return nullptr;
}

std::string IconName(HWND control) {
  if (control == nullptr) return "none";
  const auto icon = reinterpret_cast<HICON>(::SendMessageW(control, STM_GETICON, 0, 0));
  if (icon == ::LoadIconW(nullptr, IDI_INFORMATION)) return "information";
  if (icon == ::LoadIconW(nullptr, IDI_ERROR)) return "error";
  return icon != nullptr ? "unknown" : "none";
}

int DescribeMessage(double waitSeconds, DWORD skipProcess) {
  const HWND dialog = FindTopLevel(true, waitSeconds, skipProcess);
  if (dialog == nullptr) {
    Print("no message box");
    return 2;
  }
  Text text;
  std::string buttons;
  RECT buttonRect{};
  for (HWND child : ChildrenInZOrder(dialog)) {
    const Text name = ClassOf(child);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (!(style & WS_VISIBLE)) continue;
    if (SameText(name, L"Static") && (style & SS_TYPEMASK) != SS_ICON && text.empty()) {
      text = TextOf(child);
    } else if (SameText(name, L"Button")) {
      if (buttons.empty()) ::GetWindowRect(child, &buttonRect);
      buttons += (buttons.empty() ? "" : " ") + Utf8(TextOf(child));
    }
  }
  const HWND owner = ::GetWindow(dialog, GW_OWNER);
  Print("title: " + Utf8(TextOf(dialog)));
  Print("text: " + Escaped(text));
  const HWND icon = IconControl(dialog);
  Print("icon: " + IconName(icon));
  RECT iconRect{};
  if (icon != nullptr) ::GetWindowRect(icon, &iconRect);
  Print("icon-rect " + ScreenRectText(iconRect));
  Print("frame " + FrameOf(dialog));
  Print("handle " + HandleText(dialog));
  Print("buttons: " + buttons);
  Print("button-rect " + ScreenRectText(buttonRect));
  Print(std::string("owner: ") + (owner != nullptr && TextOf(owner) == ruvo::kApplicationTitle
                                      ? "main window"
                                  : owner != nullptr ? Utf8(TextOf(owner))
                                                     : "none"));
  return 0;
}

int DescribeFocus(DWORD skipProcess) {
  const HWND window = FindTopLevel(false, 5, skipProcess);
  if (window == nullptr) return 2;
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread);
  Print("focus: " + (thread.hwndFocus != nullptr ? Utf8(ClassOf(thread.hwndFocus)) : "none"));
  return 0;
}

std::string Hex(COLORREF colour) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x%02x%02x", GetRValue(colour), GetGValue(colour),
                GetBValue(colour));
  return text;
}

int DescribeColours(DWORD skipProcess) {
  const HWND window = FindTopLevel(false, 5, skipProcess);
  if (window == nullptr) return 2;
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  Print("dpi " + std::to_string(ruvo::win32::ScreenDpi()));
  Print("client-origin " + std::to_string(origin.x) + " " + std::to_string(origin.y));
  Print("frame " + FrameOf(window));
  Print("handle " + HandleText(window));
  Print("btnface " + Hex(::GetSysColor(COLOR_BTNFACE)));
  Print("window " + Hex(::GetSysColor(COLOR_WINDOW)));
  Print("activeborder " + Hex(::GetSysColor(COLOR_ACTIVEBORDER)));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<Text> args(argv + 1, argv + argc);
  auto option = [&](std::wstring_view name, const Text& fallback) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
      if (args[i] == name) return args[i + 1];
    }
    return fallback;
  };
  const Text command = args.empty() ? L"" : args[0];
  const Text other = option(L"--other-than", L"");
  const DWORD skipProcess =
      other.empty() ? 0
                    : ProcessOf(reinterpret_cast<HWND>(std::wcstoul(other.c_str(), nullptr, 16)));
  int status = 3;
  if (command == L"layout")
    status = CheckLayout(option(L"--caption", L"Install"), skipProcess);
  else if (command == L"message")
    status = DescribeMessage(std::wcstod(option(L"--wait", L"0").c_str(), nullptr), skipProcess);
  else if (command == L"focus")
    status = DescribeFocus(skipProcess);
  else if (command == L"colours")
    status = DescribeColours(skipProcess);
  else
    Print("use: window_probe layout|message|focus|colours");
  std::fflush(stdout);
  return status;
}
