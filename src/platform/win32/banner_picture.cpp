#include "platform/win32/banner_picture.h"

#include <cstring>

#include "platform/win32/system_text.h"

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

}  // namespace

Text BannerPicture::Load(HINSTANCE instance, int id) {
  ComPtr<IStream> stream;
  if (Text failure = StreamOnResource(instance, id, stream); !failure.empty()) return failure;
  const HRESULT result = ::OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture,
                                          reinterpret_cast<void**>(picture_.put()));
  if (FAILED(result)) return LoadFailure(L"Decoding the banner", static_cast<DWORD>(result));

  OLE_HANDLE handle = 0;
  SHORT type = PICTYPE_UNINITIALIZED;
  picture_.get()->get_Type(&type);
  picture_.get()->get_Handle(&handle);
  BITMAP info{};
  if (type != PICTYPE_BITMAP ||
      ::GetObjectW(reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(handle)), sizeof info, &info) ==
          0) {
    return LoadFailure(L"Decoding the banner", ERROR_INVALID_DATA);
  }
  bitmap_ = reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(handle));
  size_ = {info.bmWidth, info.bmHeight};
  return {};
}

void BannerPicture::Draw(HDC dc) const {
  if (bitmap_ == nullptr) return;
  const UniqueMemoryDc source(::CreateCompatibleDC(dc));
  if (!source) return;
  const HGDIOBJ previous = ::SelectObject(source.get(), bitmap_);
  ::BitBlt(dc, 0, 0, size_.cx, size_.cy, source.get(), 0, 0, SRCCOPY);
  ::SelectObject(source.get(), previous);
}

}  // namespace ruvo::win32
