#include "platform/win32/picture_area.h"

namespace ruvo::win32 {

void PictureArea::Register(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;  // no background brush: painting covers it all
  ::RegisterClassExW(&windowClass);
}

HWND PictureArea::Create(HWND parent, const RECT& bounds, DWORD style, int id,
                         const wchar_t* name) {
  return ::CreateWindowExW(
      0, kClassName, name, style, bounds.left, bounds.top, bounds.right - bounds.left,
      bounds.bottom - bounds.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), this);
}

LRESULT PictureArea::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills every pixel
    case WM_PAINT:
      OnPaint();
      return 0;
    default:
      return DefaultHandling(message, wParam, lParam);
  }
}

void PictureArea::OnPaint() {
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(Window(), &paint);
  RECT client;
  ::GetClientRect(Window(), &client);
  PaintContent(dc, client);
  ::EndPaint(Window(), &paint);
}

void PictureArea::PaintContent(HDC dc, const RECT& client) const {
  ::FillRect(dc, &client, ::GetSysColorBrush(static_cast<int>(background_)));
  banner_.Draw(dc);
}

}  // namespace ruvo::win32
