// The banner, decoded from the JPEG bytes in the program's RCDATA resource by the
// system's own picture loader (OleLoadPicture); no image library is linked in. It is
// kept at the size it has on the screen: its natural 377 x 41 pixels at 96 dots per
// inch, and as many more as the screen's DPI asks for, smoothly scaled.
#pragma once

#include <windows.h>

#include "platform/platform_services.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {

class BannerPicture {
 public:
  // Loads the RCDATA resource `id` and scales it for `dpi`; returns what failed, or an
  // empty text.
  [[nodiscard]] Text Load(HINSTANCE instance, int id, int dpi);

  // Draws the picture with its top-left corner at (0, 0); whatever falls outside the
  // device context's clip region is cut off.
  void Draw(HDC dc) const;

 private:
  UniqueBitmap bitmap_;
  SIZE size_{};
};

}  // namespace ruvo::win32
