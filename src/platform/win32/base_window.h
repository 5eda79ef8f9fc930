// A window's instance data lives on the window: the object passed to CreateWindowEx
// is stored at WM_NCCREATE, and every later message goes to its HandleMessage. The
// object owns its window: when the object goes, the window goes first, and no
// message reaches the object after that. Nothing here throws (the program is built
// without exceptions), so no exception can meet the system's frames.
#pragma once

#include <windows.h>

namespace ruvo::win32 {

template <typename Derived>
class BaseWindow {
 public:
  HWND Window() const { return window_; }

 protected:
  BaseWindow() = default;
  ~BaseWindow() { DestroyOwnWindow(); }
  BaseWindow(const BaseWindow&) = delete;
  BaseWindow& operator=(const BaseWindow&) = delete;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      self = static_cast<Derived*>(create->lpCreateParams);
      self->window_ = window;
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);

    const LRESULT result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->window_ = nullptr;
    }
    return result;
  }

  LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window_, message, wParam, lParam);
  }

  // Detaches the window from this object, then destroys it and its children. A
  // derived class calls it first thing in its destructor, while its members are
  // still whole for the children's last messages.
  void DestroyOwnWindow() {
    const HWND window = window_;
    if (window == nullptr) return;
    window_ = nullptr;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
  }

 private:
  HWND window_ = nullptr;
};

}  // namespace ruvo::win32
