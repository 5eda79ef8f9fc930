// `RuvoImage`: a child that shows the banner at its natural size from its top-left
// corner on the system window colour, clipped to its own rectangle. It takes the
// keyboard focus in the tab order but draws no focus mark and handles no input.
#pragma once

#include <windows.h>

#include "platform/win32/banner_picture.h"
#include "platform/win32/base_window.h"
#include "window/layout.h"

namespace ruvo::win32 {

class PictureArea : public BaseWindow<PictureArea> {
 public:
  static constexpr const wchar_t* kClassName = L"RuvoPictureArea";

  // Registers the window class; the frame does so each time it opens its window, and
  // a class already registered stays as it is.
  static void Register(HINSTANCE instance);

  PictureArea(const BannerPicture& banner, SystemColour background)
      : banner_(banner), background_(background) {}

  // Creates the child; `style` carries WS_CHILD and the tab stop, `name` is its window
  // text, which assistive technology reads and the area never draws.
  HWND Create(HWND parent, const RECT& bounds, DWORD style, int id, const wchar_t* name);

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void OnPaint();
  void PaintContent(HDC dc, const RECT& client) const;

  const BannerPicture& banner_;
  SystemColour background_;
};

}  // namespace ruvo::win32
