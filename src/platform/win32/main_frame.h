// The main window, built from the layout table, and the user-interface half of the
// seam: message boxes, the button's caption and font, ending the program.
#pragma once

#include <windows.h>

#include <array>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/platform_services.h"
#include "platform/win32/banner_picture.h"
#include "platform/win32/base_window.h"
#include "platform/win32/picture_area.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_instance_lock.h"
#include "window/layout.h"
#include "window/window_handlers.h"

namespace ruvo::win32 {

class MainFrame : public BaseWindow<MainFrame>, public UserInterface, public Waiter {
 public:
  static constexpr const wchar_t* kClassName = L"RuvoLinkLensWindow";

  explicit MainFrame(HINSTANCE instance);
  ~MainFrame();
  MainFrame(const MainFrame&) = delete;
  MainFrame& operator=(const MainFrame&) = delete;

  // Loads the banner, creates the window and its controls, runs the load handler,
  // then, unless that ended the program, shows the window with the button holding
  // the focus. Returns what failed (the program's resources are damaged, or the
  // system refused the window), or an empty text.
  [[nodiscard]] Text Open(WindowHandlers& handlers, int showCommand);

  void ShowMessage(const Text& text, MessageIcon icon) override;
  Text ActionButtonCaption() override;
  void SetActionButtonCaption(const Text& caption) override;
  void SetActionButtonFontName(const Text& face) override;
  void EndProgram(ExitStatus status) override;

  // Runs the window's messages while it waits, as the message loop does: the window
  // stays movable and a close request (the close box, Alt+F4, taskkill) ends the wait.
  Wait WaitAnswering(HANDLE object, DWORD milliseconds, DWORD& error) override;

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static constexpr int kFirstControlId = 100;  // + the control's place in the table

  void RegisterClasses() const;
  bool OnCreate();
  // The one place where a record of the layout table becomes a control.
  HWND CreateControl(const ControlRecord& record, int id);
  // Windows moves the focus in z-order: put the controls in their tab order.
  void ApplyTabOrder() const;
  HFONT FontFor(const FontRecord& font);
  RECT ControlRect(const ControlRecord& record) const;
  // The colours of the table's record for `control`; the system's for anything else.
  LRESULT OnControlColour(UINT message, HDC dc, HWND control);
  void OnCommand(int id, int code);
  void PressActionButton();
  // Runs one of the two handlers; a close request meanwhile closes only its message.
  template <typename Handler>
  void RunHandler(Handler handler);
  void OnClose();

  // The message boxes' filter for input (MSGF_DIALOGBOX): keys and clicks given before
  // a box was shown were meant for the window, and those of its first moment were
  // typed before it could be read; neither reaches the box.
  static LRESULT CALLBACK FilterMessageBoxInput(int code, WPARAM wParam, LPARAM lParam);
  static MainFrame* FrameOf(HWND window);
  bool IsTooEarlyForTheBox(HWND box, const MSG& input);

  HINSTANCE instance_;
  int dpi_;
  BannerPicture banner_;
  PictureArea picture_;
  std::vector<std::pair<const FontRecord*, UniqueFont>> fonts_;
  UniqueFont buttonFont_;  // the face the load handler chose
  std::array<HWND, std::size(kControls)> controls_{};
  HWND button_ = nullptr;
  HWND lastFocus_ = nullptr;
  WindowHandlers* handlers_ = nullptr;
  bool handlerRunning_ = false;
  bool closeRequested_ = false;  // while a handler ran, before any message box
  ExitStatus exitStatus_ = ExitStatus::Done;
  // When the message box now up was first seen shown (GetTickCount), if it was.
  bool boxSeenShown_ = false;
  DWORD boxShownAt_ = 0;
};

}  // namespace ruvo::win32
