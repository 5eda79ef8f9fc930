// One owner per Windows handle: closed exactly once, when its holder goes away.
// Each kind of handle gets a traits record (its type, the value meaning "none" and
// how to close it) and a one-line alias below.
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace ruvo::win32 {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::None(); }

  // Gives the handle up without closing it.
  Type release() {
    const Type value = value_;
    value_ = Traits::None();
    return value;
  }
  void reset(Type value = Traits::None()) {
    if (value_ != Traits::None()) Traits::Close(value_);
    value_ = value;
  }
  // For the out-parameter of a call that opens a new handle.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::None();
};

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type None() { return nullptr; }
  static void Close(Type key) { ::RegCloseKey(key); }
};

struct KernelObjectTraits {
  using Type = HANDLE;
  static Type None() { return nullptr; }
  static void Close(Type object) { ::CloseHandle(object); }
};

struct FileTraits {
  using Type = HANDLE;
  static Type None() { return INVALID_HANDLE_VALUE; }
  static void Close(Type file) { ::CloseHandle(file); }
};

template <typename Object>
struct GdiObjectTraits {
  using Type = Object;
  static Type None() { return nullptr; }
  static void Close(Type object) { ::DeleteObject(object); }
};

struct MemoryDcTraits {
  using Type = HDC;
  static Type None() { return nullptr; }
  static void Close(Type dc) { ::DeleteDC(dc); }
};

struct GlobalMemoryTraits {
  using Type = HGLOBAL;
  static Type None() { return nullptr; }
  static void Close(Type memory) { ::GlobalFree(memory); }
};

struct HookTraits {
  using Type = HHOOK;
  static Type None() { return nullptr; }
  static void Close(Type hook) { ::UnhookWindowsHookEx(hook); }
};

template <typename Interface>
struct ComTraits {
  using Type = Interface*;
  static Type None() { return nullptr; }
  static void Close(Type object) { object->Release(); }
};

using UniqueKey = UniqueHandle<RegistryKeyTraits>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueKernelObject = UniqueHandle<KernelObjectTraits>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueGlobal = UniqueHandle<GlobalMemoryTraits>;
using UniqueHook = UniqueHandle<HookTraits>;
template <typename Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

}  // namespace ruvo::win32
