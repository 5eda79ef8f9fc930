#include "platform/win32/main_frame.h"

#include <algorithm>
#include <cwchar>

#include "platform/win32/resource_ids.h"
#include "platform/win32/screen_dpi.h"
#include "platform/win32/system_text.h"
#include "registration/messages.h"

namespace ruvo::win32 {
namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

// How long a message box ignores the keyboard and the mouse once it shows, as browsers'
// own prompts do: the second tap of a quick double press would close it unread.
constexpr LONG kBoxIgnoresInputMs = 400;
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

LOGFONTW LogicalFont(const FontRecord& font, int dpi) {
  LOGFONTW logical{};
  logical.lfHeight = -FontPixelHeight(font, dpi);
  logical.lfWeight = font.weight;
  logical.lfItalic = font.italic;
  logical.lfUnderline = font.underline;
  logical.lfStrikeOut = font.strikeout;
  logical.lfCharSet = static_cast<BYTE>(font.charset);
  const std::size_t length = std::min(font.face.size(), std::size(logical.lfFaceName) - 1);
  std::wmemcpy(logical.lfFaceName, font.face.data(), length);
  return logical;
}

HICON PackageIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(RUVO_IDI_PACKAGE), IMAGE_ICON,
                                         ::GetSystemMetrics(widthMetric),
                                         ::GetSystemMetrics(heightMetric), LR_SHARED));
}

bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

HWND CreateChild(const wchar_t* windowClass, const std::wstring_view& text, DWORD style,
                 const RECT& bounds, HWND parent, int id) {
  return ::CreateWindowExW(0, windowClass, Text(text).c_str(), style, bounds.left, bounds.top,
                           bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                           nullptr);
}

}  // namespace

MainFrame::MainFrame(HINSTANCE instance)
    : instance_(instance),
      dpi_(ScreenDpi()),
      picture_(banner_, kControls[kPictureAreaIndex].background) {}

MainFrame::~MainFrame() {
  DestroyOwnWindow();
}

void MainFrame::RegisterClasses() const {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = PackageIcon(instance_, SM_CXICON, SM_CYICON);
  windowClass.hIconSm = PackageIcon(instance_, SM_CXSMICON, SM_CYSMICON);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground =
      reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(static_cast<int>(kMainWindow.background) + 1));
  windowClass.lpszClassName = kClassName;
  ::RegisterClassExW(&windowClass);
  PictureArea::Register(instance_);
}

Text MainFrame::Open(WindowHandlers& handlers, int showCommand) {
  if (Text failure = banner_.Load(instance_, RUVO_IDR_BANNER, dpi_); !failure.empty()) {
    return failure;
  }
  handlers_ = &handlers;
  RegisterClasses();
  RECT frame{0, 0, TwipsToPixels(kMainWindow.clientWidth, dpi_),
             TwipsToPixels(kMainWindow.clientHeight, dpi_)};
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  const HWND window =
      ::CreateWindowExW(kWindowExStyle, kClassName, Text(kMainWindow.caption).c_str(), kWindowStyle,
                        CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, instance_, this);
  if (window == nullptr) return L"Creating the window failed: " + SystemMessage(::GetLastError());
  RunHandler([&handlers] { handlers.Form_Load(); });
  if (Window() == nullptr) return {};  // the load handler told the user and ended
  ::ShowWindow(window, showCommand);
  ::UpdateWindow(window);
  ::SetFocus(button_);
  return {};
}

bool MainFrame::OnCreate() {
  for (std::size_t index = 0; index < std::size(kControls); ++index) {
    controls_[index] = CreateControl(kControls[index], kFirstControlId + static_cast<int>(index));
    if (controls_[index] == nullptr) return false;
  }
  button_ = controls_[kActionButtonIndex];
  ApplyTabOrder();
  return true;
}

RECT MainFrame::ControlRect(const ControlRecord& record) const {
  const PixelRect bounds = PixelBounds(record, dpi_);
  return {bounds.x, bounds.y, bounds.x + bounds.width, bounds.y + bounds.height};
}

HWND MainFrame::CreateControl(const ControlRecord& record, int id) {
  const RECT bounds = ControlRect(record);
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  if (record.takesFocus) style |= WS_TABSTOP;

  HWND control = nullptr;
  switch (record.kind) {
    case ControlKind::PictureArea:
      control = picture_.Create(Window(), bounds, style, id, Text(record.text).c_str());
      break;
    case ControlKind::PushButton:
      control = CreateChild(L"BUTTON", record.text, style | BS_PUSHBUTTON, bounds, Window(), id);
      break;
    case ControlKind::StraightLine:
      // An empty static filled with the line's colour (WM_CTLCOLORSTATIC).
      control = CreateChild(L"STATIC", L"", style | SS_LEFT, bounds, Window(), id);
      break;
    case ControlKind::TextLine:
      control = CreateChild(L"STATIC", record.text, style | SS_LEFTNOWORDWRAP | SS_NOPREFIX, bounds,
                            Window(), id);
      break;
  }
  if (control != nullptr && record.kind != ControlKind::StraightLine) {
    const HFONT font = FontFor(record.font != nullptr ? *record.font : *kMainWindow.font);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  return control;
}

void MainFrame::ApplyTabOrder() const {
  std::array<std::size_t, std::size(kControls)> order{};
  for (std::size_t index = 0; index < order.size(); ++index) order[index] = index;
  // Controls without a tab index go last, in creation order.
  std::stable_sort(order.begin(), order.end(), [](std::size_t a, std::size_t b) {
    const int left = kControls[a].tabIndex, right = kControls[b].tabIndex;
    if (left == kNoTabIndex || right == kNoTabIndex) return right == kNoTabIndex && left != right;
    return left < right;
  });
  HWND previous = HWND_TOP;
  for (const std::size_t index : order) {
    ::SetWindowPos(controls_[index], previous, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    previous = controls_[index];
  }
}

HFONT MainFrame::FontFor(const FontRecord& font) {
  for (const auto& [record, created] : fonts_) {
    if (record == &font) return created.get();
  }
  const LOGFONTW logical = LogicalFont(font, dpi_);
  fonts_.emplace_back(&font, UniqueFont(::CreateFontIndirectW(&logical)));
  return fonts_.back().second.get();
}

LRESULT MainFrame::OnControlColour(UINT message, HDC dc, HWND control) {
  const auto found = std::find(controls_.begin(), controls_.end(), control);
  if (found == controls_.end()) {
    return DefaultHandling(message, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(control));
  }
  const ControlRecord& record = kControls[found - controls_.begin()];
  ::SetTextColor(dc, ::GetSysColor(static_cast<int>(record.foreground)));
  ::SetBkColor(dc, ::GetSysColor(static_cast<int>(record.background)));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(static_cast<int>(record.background)));
}

void MainFrame::OnCommand(int id, int code) {
  const bool clicked = id == ::GetDlgCtrlID(button_) && code == BN_CLICKED;
  // IsDialogMessage turns Enter into IDOK; it presses the button only when the
  // button has the focus.
  const bool enterOnButton = id == IDOK && ::GetFocus() == button_;
  if (clicked || enterOnButton) PressActionButton();
}

void MainFrame::PressActionButton() {
  // The work itself reads no messages, and the box disables the frame while its filter
  // drops what was queued for it: clicks and keys given meanwhile never reach the
  // button. A press while the action waits for the lock finds a handler running.
  // Disabling the button would only repaint it and move the focus before the work
  // could start.
  if (handlerRunning_) return;
  RunHandler([this] { handlers_->ActionButton_Click(); });
}

template <typename Handler>
void MainFrame::RunHandler(Handler handler) {
  handlerRunning_ = true;
  closeRequested_ = false;
  handler();
  handlerRunning_ = false;
}

void MainFrame::OnClose() {
  // A handler runs only as long as its work and its one message: a close request
  // then (taskkill without /F, a session ending) closes the message, or ends the wait
  // for the lock, and the handler ends the program with its outcome's status.
  // Destroying the window here would end it with "done" after a failure.
  if (!handlerRunning_) {
    ::DestroyWindow(Window());
    return;
  }
  if (const HWND box = ::GetWindow(Window(), GW_ENABLEDPOPUP); box != nullptr) {
    ::PostMessageW(box, WM_CLOSE, 0, 0);
  } else {
    closeRequested_ = true;
  }
}

MainFrame::Wait MainFrame::WaitAnswering(HANDLE object, DWORD milliseconds, DWORD& error) {
  const DWORD started = ::GetTickCount();
  for (;;) {
    if (closeRequested_) return Wait::CloseRequested;
    const DWORD waited = ::GetTickCount() - started;
    const DWORD result =
        ::MsgWaitForMultipleObjectsEx(1, &object, waited < milliseconds ? milliseconds - waited : 0,
                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    switch (result) {
      case WAIT_OBJECT_0:
        return Wait::Signalled;
      case WAIT_ABANDONED_0:
        return Wait::Abandoned;
      case WAIT_TIMEOUT:
        return Wait::TimedOut;
      case WAIT_OBJECT_0 + 1:
        break;  // messages to run
      default:
        error = ::GetLastError();
        return Wait::Failed;
    }
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));  // for the message loop
        return Wait::CloseRequested;
      }
      if (Window() != nullptr && ::IsDialogMessageW(Window(), &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

LRESULT MainFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnControlColour(message, reinterpret_cast<HDC>(wParam),
                             reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_ACTIVATE:
      // Give the focus back to the control that had it when the window was left.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(Window(), focus)) lastFocus_ = focus;
      }
      return DefaultHandling(message, wParam, lParam);
    case WM_SETFOCUS:
      ::SetFocus(lastFocus_ != nullptr ? lastFocus_ : button_);
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(static_cast<int>(exitStatus_));
      return 0;
    default:
      return DefaultHandling(message, wParam, lParam);
  }
}

void MainFrame::ShowMessage(const Text& text, MessageIcon icon) {
  // The filter drops what was queued before the box showed and, by its time, what was
  // typed or clicked in its first moment, also when it reaches the program only later
  // (under Wine, keys arrive when it next asks for messages), so that the user reads
  // the outcome first.
  boxSeenShown_ = false;
  const UniqueHook filter(
      ::SetWindowsHookExW(WH_MSGFILTER, FilterMessageBoxInput, nullptr, ::GetCurrentThreadId()));
  ::MessageBoxW(Window(), text.c_str(), Text(kApplicationTitle).c_str(),
                MB_OK | static_cast<UINT>(icon));
}

LRESULT CALLBACK MainFrame::FilterMessageBoxInput(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_DIALOGBOX) {
    const MSG& message = *reinterpret_cast<const MSG*>(lParam);
    const HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
    // The frame is disabled while the box is up: input for it was queued before.
    if (FrameOf(root) != nullptr) {
      if (IsUserInput(message.message)) return TRUE;  // dropped
    } else if (MainFrame* frame = FrameOf(root != nullptr ? ::GetWindow(root, GW_OWNER) : nullptr);
               frame != nullptr && frame->IsTooEarlyForTheBox(root, message)) {
      return TRUE;  // dropped
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The frame `window` is, if it is one: only the frame's own window procedure says its
// window carries a frame (the box keeps its own data there).
MainFrame* MainFrame::FrameOf(HWND window) {
  if (window == nullptr || reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)) !=
                               &MainFrame::WindowProc) {
    return nullptr;
  }
  auto* frame = reinterpret_cast<MainFrame*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return frame != nullptr && frame->Window() == window ? frame : nullptr;
}

bool MainFrame::IsTooEarlyForTheBox(HWND box, const MSG& input) {
  if (!::IsWindowVisible(box)) return IsUserInput(input.message);
  // The box's loop passes a message here as soon as it runs once the box is shown
  // (its first paint, if nothing else): that moment stands for when it was shown.
  if (!boxSeenShown_) {
    boxSeenShown_ = true;
    boxShownAt_ = ::GetTickCount();
  }
  return IsUserInput(input.message) &&
         static_cast<LONG>(input.time - boxShownAt_) < kBoxIgnoresInputMs;
}

Text MainFrame::ActionButtonCaption() {
  const int length = ::GetWindowTextLengthW(button_);
  Text caption(static_cast<std::size_t>(length) + 1, L'\0');
  caption.resize(static_cast<std::size_t>(
      ::GetWindowTextW(button_, caption.data(), static_cast<int>(caption.size()))));
  return caption;
}

void MainFrame::SetActionButtonCaption(const Text& caption) {
  ::SetWindowTextW(button_, caption.c_str());
}

void MainFrame::SetActionButtonFontName(const Text& face) {
  // Size and weight stay those of the button's current font; only the face changes.
  LOGFONTW logical{};
  const auto current = reinterpret_cast<HFONT>(::SendMessageW(button_, WM_GETFONT, 0, 0));
  ::GetObjectW(current, sizeof logical, &logical);
  std::fill(std::begin(logical.lfFaceName), std::end(logical.lfFaceName), L'\0');
  face.copy(logical.lfFaceName, std::size(logical.lfFaceName) - 1);
  UniqueFont font(::CreateFontIndirectW(&logical));
  ::SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  buttonFont_ = std::move(font);
}

void MainFrame::EndProgram(ExitStatus status) {
  exitStatus_ = status;
  if (Window() != nullptr) ::DestroyWindow(Window());
}

}  // namespace ruvo::win32
