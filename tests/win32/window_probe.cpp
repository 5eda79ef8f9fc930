// A test-only helper (never shipped) that looks at the running installer from the
// outside, as the end-to-end script's eyes: window texts, styles and rectangles
// cross process boundaries, GDI handles do not.
//
//   window_probe layout [--caption TEXT]   checks the window against the layout table
//   window_probe message [--wait SECONDS]  prints the message box's text, buttons, owner
//   window_probe focus                     prints the class of the focused control
//   window_probe colours                   prints the client origin and system colours
//   window_probe names                     prints the name assistive technology reads
//                                          (IAccessible::get_accName) of the window,
//                                          each control, and the message box and its
//                                          controls when one is up
//
// With two programs running, --other-than HANDLE passes over every window of the
// program that window HANDLE (as a "handle" line gives it) belongs to.
//
// Exit status: 0 done (layout: matches), 1 mismatch, 2 window not found, 3 bad use.
#include <windows.h>

#include <oleacc.h>

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
using ruvo::ToUtf8;

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
  std::puts(line.c_str());
}

// Newlines shown as \n so that one message is one line of output.
std::string Escaped(const Text& text) {
  std::string out;
  for (const char c : ToUtf8(text)) {
    out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  }
  return out;
}

// "X Y WIDTH HEIGHT", as the script reads rectangles.
std::string RectText(const RECT& rect) {
  return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top);
}

// A window's rectangle in the client coordinates of `parent` (HWND_DESKTOP: on the
// screen); an empty one for no window.
RECT RectIn(HWND parent, HWND window) {
  RECT rect{};
  if (window != nullptr) ::GetWindowRect(window, &rect);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return process;
}

// The first visible top-level window titled RUVO LinkLens, the message box or the main
// window, of a program other than skipProcess; none after waitSeconds. FindWindowEx
// ignores case, and the script trusts the probe for the exact title.
HWND FindTopLevel(bool dialog, double waitSeconds, DWORD skipProcess) {
  const Text title(ruvo::kApplicationTitle);
  const DWORD deadline = ::GetTickCount() + static_cast<DWORD>(waitSeconds * 1000);
  for (;;) {
    for (HWND window = nullptr;
         (window = ::FindWindowExW(nullptr, window, nullptr, title.c_str())) != nullptr;) {
      if (::IsWindowVisible(window) && TextOf(window) == title &&
          (ClassOf(window) == kDialogClass) == dialog &&
          (skipProcess == 0 || ProcessOf(window) != skipProcess)) {
        return window;
      }
    }
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

HWND FocusOf(HWND window) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread);
  return thread.hwndFocus;
}

const wchar_t* WindowClassFor(ruvo::ControlKind kind) {
  if (kind == ruvo::ControlKind::PictureArea) return L"RuvoPictureArea";
  return kind == ruvo::ControlKind::PushButton ? L"Button" : L"Static";
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
  int failures = 0;
  auto expect = [&failures](bool ok, const std::string& what) {
    Print((ok ? "ok   " : "FAIL ") + what);
    if (!ok) ++failures;
  };

  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  const LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
  expect((style & WS_CAPTION) == WS_CAPTION, "title bar (WS_CAPTION)");
  expect(style & WS_SYSMENU, "window icon and system menu (WS_SYSMENU)");
  expect(!(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)), "no minimize or maximize box");
  expect(!(style & WS_THICKFRAME), "not resizable (no WS_THICKFRAME)");
  expect(::GetWindow(window, GW_OWNER) == nullptr && (exStyle & WS_EX_APPWINDOW),
         "own taskbar button (owner-less, WS_EX_APPWINDOW)");
  expect(exStyle & WS_EX_CONTROLPARENT, "Tab moves between controls (WS_EX_CONTROLPARENT)");

  RECT client;
  ::GetClientRect(window, &client);
  const int width = ruvo::TwipsToPixels(ruvo::kMainWindow.clientWidth, dpi);
  const int height = ruvo::TwipsToPixels(ruvo::kMainWindow.clientHeight, dpi);
  expect(client.right == width && client.bottom == height,
         "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
             ", table " + std::to_string(width) + "x" + std::to_string(height));

  // Every record has exactly one child with its class, text and rectangle.
  const std::vector<HWND> children = ChildrenInZOrder(window);
  expect(children.size() == std::size(ruvo::kControls),
         std::to_string(children.size()) + " controls");
  std::vector<HWND> unmatched = children;
  for (const ruvo::ControlRecord& record : ruvo::kControls) {
    const ruvo::PixelRect bounds = ruvo::PixelBounds(record, dpi);
    const RECT rect{bounds.x, bounds.y, bounds.x + bounds.width, bounds.y + bounds.height};
    const Text windowClass = WindowClassFor(record.kind);
    const Text text =
        record.kind == ruvo::ControlKind::PushButton ? buttonCaption : Text(record.text);
    const auto found = std::find_if(unmatched.begin(), unmatched.end(), [&](HWND child) {
      const RECT childRect = RectIn(window, child);
      return SameText(ClassOf(child), windowClass) && TextOf(child) == text &&
             EqualRect(&childRect, &rect);
    });
    const std::string name(record.name);
    const bool present = found != unmatched.end();
    expect(present,
           name + " " + ToUtf8(windowClass) + " " + RectText(rect) + " \"" + ToUtf8(text) + "\"");
    if (!present) continue;
    const LONG childStyle = ::GetWindowLongW(*found, GWL_STYLE);
    expect(((childStyle & WS_TABSTOP) != 0) == record.takesFocus,
           name + (record.takesFocus ? " is a tab stop" : " is no tab stop"));
    if (record.kind == ruvo::ControlKind::TextLine) {
      expect((childStyle & SS_TYPEMASK) == SS_LEFTNOWORDWRAP,
             name + " one line, left-aligned, no wrap");
    }
    unmatched.erase(found);
  }
  for (HWND child : unmatched) {
    expect(false, "unexpected child " + ToUtf8(ClassOf(child)) + " " +
                      RectText(RectIn(window, child)) + " \"" + ToUtf8(TextOf(child)) + "\"");
  }

  // Windows moves the focus in z-order among the tab stops: the button, then the picture.
  std::vector<Text> tabOrder;
  for (HWND child : children) {
    if (::GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) tabOrder.push_back(ClassOf(child));
  }
  expect(tabOrder == std::vector<Text>{L"Button", L"RuvoPictureArea"},
         "tab order: the button, then the picture area");
  const HWND focus = FocusOf(window);
  expect(focus != nullptr && ClassOf(focus) == L"Button", "the button holds the focus");
  return failures == 0 ? 0 : 1;
}

// The first visible text and the buttons, and where the icon and the first button
// are: on Windows the icon is one of the system's shared icons, the same handle in
// every process; Wine keeps icons per process, so the script reads the icon's pixels.
int DescribeMessage(double waitSeconds, DWORD skipProcess) {
  const HWND dialog = FindTopLevel(true, waitSeconds, skipProcess);
  if (dialog == nullptr) {
    Print("no message box");
    return 2;
  }
  Text text;
  std::string buttons;
  HWND firstButton = nullptr, icon = nullptr;
  for (HWND child : ChildrenInZOrder(dialog)) {
    const Text name = ClassOf(child);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (SameText(name, L"Static") && (style & SS_TYPEMASK) == SS_ICON) {
      if (icon == nullptr) icon = child;
    } else if (!(style & WS_VISIBLE)) {
      continue;
    } else if (SameText(name, L"Static") && text.empty()) {
      text = TextOf(child);
    } else if (SameText(name, L"Button")) {
      if (firstButton == nullptr) firstButton = child;
      buttons += (buttons.empty() ? "" : " ") + ToUtf8(TextOf(child));
    }
  }
  const HWND owner = ::GetWindow(dialog, GW_OWNER);
  Print("text: " + Escaped(text));
  Print("icon-rect " + RectText(RectIn(HWND_DESKTOP, icon)));
  Print("frame " + RectText(RectIn(HWND_DESKTOP, dialog)));
  Print("buttons: " + buttons);
  Print("button-rect " + RectText(RectIn(HWND_DESKTOP, firstButton)));
  Print("owner: " + (owner == nullptr                           ? std::string("none")
                     : TextOf(owner) == ruvo::kApplicationTitle ? std::string("main window")
                                                                : ToUtf8(TextOf(owner))));
  return 0;
}

int DescribeFocus(DWORD skipProcess) {
  const HWND window = FindTopLevel(false, 5, skipProcess);
  if (window == nullptr) return 2;
  const HWND focus = FocusOf(window);
  Print("focus: " + (focus != nullptr ? ToUtf8(ClassOf(focus)) : "none"));
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
  char handle[24];
  std::snprintf(handle, sizeof handle, "%lx",
                static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
  Print("dpi " + std::to_string(ruvo::win32::ScreenDpi()));
  Print("client-origin " + std::to_string(origin.x) + " " + std::to_string(origin.y));
  Print("frame " + RectText(RectIn(HWND_DESKTOP, window)));
  Print(std::string("handle ") + handle);
  Print("btnface " + Hex(::GetSysColor(COLOR_BTNFACE)));
  Print("activeborder " + Hex(::GetSysColor(COLOR_ACTIVEBORDER)));
  return 0;
}

// The name a screen reader says for `window`, from its client object (a top-level
// window's is its title); "<none>" when there is none.
std::string AccessibleName(HWND window, LONG object) {
  IAccessible* accessible = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(window, static_cast<DWORD>(object), IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible)))) {
    return "<no accessible object>";
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  const HRESULT result = accessible->get_accName(self, &name);
  accessible->Release();
  const std::string text =
      result == S_OK && name != nullptr && *name != L'\0' ? Escaped(name) : "<none>";
  ::SysFreeString(name);
  return text;
}

int DescribeNames(DWORD skipProcess) {
  if (FAILED(::CoInitialize(nullptr))) return 3;
  for (const bool dialog : {false, true}) {
    const HWND window = FindTopLevel(dialog, dialog ? 0 : 5, skipProcess);
    if (window == nullptr) {
      if (!dialog) return 2;
      continue;
    }
    Print((dialog ? "box: " : "window: ") + AccessibleName(window, OBJID_CLIENT));
    for (HWND child : ChildrenInZOrder(window)) {
      if (!(::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) continue;
      Print("  " + ToUtf8(ClassOf(child)) + ": " + AccessibleName(child, OBJID_CLIENT));
    }
  }
  ::CoUninitialize();
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
  else if (command == L"names")
    status = DescribeNames(skipProcess);
  else
    Print("use: window_probe layout|message|focus|colours|names");
  std::fflush(stdout);
  return status;
}
