// The banner, decoded from the JPEG bytes in the program's RCDATA resource by the
// system's own picture loader (OleLoadPicture); no image library is linked in.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include "platform/platform_services.h"
#include "platform/win32/unique_handle.h"

namespace ruvo::win32 {

class BannerPicture {
 public:
  // Loads the RCDATA resource `id`; returns what failed, or an empty text.
  [[nodiscard]] Text Load(HINSTANCE instance, int id);

  // Draws the picture at its natural size with its top-left corner at (0, 0);
  // whatever falls outside the device context's clip region is cut off.
  void Draw(HDC dc) const;
  SIZE PixelSize() const { return size_; }

 private:
  ComPtr<IPicture> picture_;
  HBITMAP bitmap_ = nullptr;  // owned by picture_
  SIZE size_{};
};

}  // namespace ruvo::win32
