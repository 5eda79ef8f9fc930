#include "platform/win32/banner_picture.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/system_text.h"
#include "window/layout.h"

namespace ruvo::win32 {
namespace {

Text LoadFailure(const wchar_t* what, DWORD code) {
  return Text(what) + L": " + SystemMessage(code);
}

// A stream over a movable copy of the resource bytes; the stream frees the copy.
// Returns what failed, or an empty text.
Text StreamOnResource(HINSTANCE instance, int id, ComPtr<IStream>& stream) {
  const HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (found == nullptr) return LoadFailure(L"Finding the banner resource", ::GetLastError());
  const DWORD size = ::SizeofResource(instance, found);
  const HGLOBAL loaded = ::LoadResource(instance, found);  // not to be freed
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0) {
    return LoadFailure(L"Loading the banner resource", ::GetLastError());
  }

  UniqueGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, size));
  if (!copy) return LoadFailure(L"Copying the banner", ::GetLastError());
  void* target = ::GlobalLock(copy.get());
  if (target == nullptr) return LoadFailure(L"Copying the banner", ::GetLastError());
  std::memcpy(target, bytes, size);
  ::GlobalUnlock(copy.get());

  const HRESULT result = ::CreateStreamOnHGlobal(copy.get(), TRUE, stream.put());
  if (FAILED(result)) return LoadFailure(L"Opening the banner", static_cast<DWORD>(result));
  copy.release();  // the stream owns it now
  return {};
}

// 32-bit pixels, top row first, as a DIB section holds them.
using Pixels = std::vector<std::uint32_t>;

BITMAPINFO TopDownInfo(SIZE size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

bool ReadPixels(HBITMAP bitmap, SIZE size, Pixels& pixels) {
  pixels.assign(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy), 0);
  BITMAPINFO info = TopDownInfo(size);
  const HDC screen = ::GetDC(nullptr);
  const int rows = ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(size.cy), pixels.data(), &info,
                               DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  return rows == size.cy;
}

// Where the centre of target pixel `at` falls among the source pixels: the two
// neighbours and the weight of the second, in 256ths.
struct Tap {
  int first;
  int second;
  int weight;
};

Tap TapFor(int at, int from, int to) {
  const double position = (at + 0.5) * from / to - 0.5;
  const double clamped = std::clamp(position, 0.0, static_cast<double>(from - 1));
  const int first = static_cast<int>(clamped);
  return {first, std::min(first + 1, from - 1), static_cast<int>((clamped - first) * 256 + 0.5)};
}

std::uint32_t Blend(std::uint32_t a, std::uint32_t b, int weight) {
  std::uint32_t blended = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int x = static_cast<int>((a >> shift) & 0xFF), y = static_cast<int>((b >> shift) & 0xFF);
    blended |= static_cast<std::uint32_t>((x * (256 - weight) + y * weight + 128) >> 8) << shift;
  }
  return blended;
}

// The picture at `to`, each pixel blended from its four nearest source pixels: at the
// same size, the same pixels.
Pixels Scaled(const Pixels& from, SIZE fromSize, SIZE to) {
  Pixels scaled(static_cast<std::size_t>(to.cx) * static_cast<std::size_t>(to.cy));
  for (int y = 0; y < to.cy; ++y) {
    const Tap row = TapFor(y, fromSize.cy, to.cy);
    for (int x = 0; x < to.cx; ++x) {
      const Tap column = TapFor(x, fromSize.cx, to.cx);
      auto at = [&](int r, int c) { return from[static_cast<std::size_t>(r) * fromSize.cx + c]; };
      scaled[static_cast<std::size_t>(y) * to.cx + x] =
          Blend(Blend(at(row.first, column.first), at(row.first, column.second), column.weight),
                Blend(at(row.second, column.first), at(row.second, column.second), column.weight),
                row.weight);
    }
  }
  return scaled;
}

}  // namespace

Text BannerPicture::Load(HINSTANCE instance, int id, int dpi) {
  ComPtr<IStream> stream;
  if (Text failure = StreamOnResource(instance, id, stream); !failure.empty()) return failure;
  ComPtr<IPicture> picture;
  const HRESULT result = ::OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture,
                                          reinterpret_cast<void**>(picture.put()));
  if (FAILED(result)) return LoadFailure(L"Decoding the banner", static_cast<DWORD>(result));

  OLE_HANDLE handle = 0;
  SHORT type = PICTYPE_UNINITIALIZED;
  picture.get()->get_Type(&type);
  picture.get()->get_Handle(&handle);
  const auto decoded = reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(handle));
  BITMAP info{};
  Pixels pixels;
  if (type != PICTYPE_BITMAP || ::GetObjectW(decoded, sizeof info, &info) == 0 ||
      !ReadPixels(decoded, {info.bmWidth, info.bmHeight}, pixels)) {
    return LoadFailure(L"Decoding the banner", ERROR_INVALID_DATA);
  }

  const SIZE natural{info.bmWidth, info.bmHeight};
  size_ = {MulDivRounded(natural.cx, dpi, kDesignDpi), MulDivRounded(natural.cy, dpi, kDesignDpi)};
  const Pixels shown = Scaled(pixels, natural, size_);
  const BITMAPINFO target = TopDownInfo(size_);
  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_) return LoadFailure(L"Scaling the banner", ::GetLastError());
  std::memcpy(bits, shown.data(), shown.size() * sizeof shown[0]);
  return {};
}

void BannerPicture::Draw(HDC dc) const {
  if (!bitmap_) return;
  const UniqueMemoryDc source(::CreateCompatibleDC(dc));
  if (!source) return;
  const HGDIOBJ previous = ::SelectObject(source.get(), bitmap_.get());
  ::BitBlt(dc, 0, 0, size_.cx, size_.cy, source.get(), 0, 0, SRCCOPY);
  ::SelectObject(source.get(), previous);
}

}  // namespace ruvo::win32
