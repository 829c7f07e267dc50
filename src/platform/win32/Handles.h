#pragma once
// Ownership of Win32 resources: one move-only template, one traits type per resource kind. Each
// traits type knows its empty value(s) and how to give the resource back; nothing else in the
// adapters calls a Close* function directly.

#include "platform/win32/Win32Api.h"

#include <cstdint>

namespace zl::win32 {

template <typename Traits>
class Unique {
 public:
  using Type = typename Traits::Type;

  Unique() noexcept = default;
  explicit Unique(Type value) noexcept : value_(value) {}
  ~Unique() { Reset(); }

  Unique(Unique&& other) noexcept : value_(other.Release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Type Get() const noexcept { return value_; }
  bool Valid() const noexcept { return Traits::IsValid(value_); }
  explicit operator bool() const noexcept { return Valid(); }

  // Gives up ownership without closing.
  Type Release() noexcept {
    Type value = value_;
    value_ = Traits::Empty();
    return value;
  }
  void Reset(Type value = Traits::Empty()) noexcept {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }
  // Closes now and reports whether the system accepted it (a write handle can fail here).
  bool Close() noexcept {
    bool ok = true;
    if (Traits::IsValid(value_)) ok = Traits::Close(value_);
    value_ = Traits::Empty();
    return ok;
  }
  // For APIs that return the resource through an out parameter; releases any current one first.
  Type* Put() noexcept {
    Reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Empty();
};

// Kernel handles: CreateFileW fails with INVALID_HANDLE_VALUE, most others with NULL, so both
// are empty. GetCurrentProcess()'s pseudo handle equals INVALID_HANDLE_VALUE and is never owned.
struct HandleTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(Type h) noexcept { return ::CloseHandle(h) != FALSE; }
};

struct FindTraits {
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(Type h) noexcept { return ::FindClose(h) != FALSE; }
};

// The predefined roots (HKEY_CLASSES_ROOT ... 0x80000000 and up) belong to the system: closing
// one would break every later open relative to it in this process.
struct KeyTraits {
  using Type = HKEY;
  static Type Empty() noexcept { return nullptr; }
  static bool IsPredefined(Type k) noexcept {
    const auto v = reinterpret_cast<uintptr_t>(k);
    return v >= 0x80000000u && v <= 0x8000000Fu;
  }
  static bool IsValid(Type k) noexcept { return k != nullptr && !IsPredefined(k); }
  static bool Close(Type k) noexcept { return ::RegCloseKey(k) == ERROR_SUCCESS; }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Empty() noexcept { return nullptr; }
  static bool IsValid(Type m) noexcept { return m != nullptr; }
  static bool Close(Type m) noexcept { return ::FreeLibrary(m) != FALSE; }
};

struct SocketTraits {
  using Type = SOCKET;
  static Type Empty() noexcept { return INVALID_SOCKET; }
  static bool IsValid(Type s) noexcept { return s != INVALID_SOCKET; }
  static bool Close(Type s) noexcept { return ::closesocket(s) == 0; }
};

// Stock objects may be handed to DeleteObject harmlessly, but shared icons from LoadIcon must
// never be wrapped: they are not GDI objects and are owned by the system.
template <typename T>
struct GdiTraits {
  using Type = T;
  static Type Empty() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static bool Close(Type h) noexcept { return ::DeleteObject(h) != FALSE; }
};

// DestroyWindow works only on the thread that created the window; destroy it there.
struct WindowTraits {
  using Type = HWND;
  static Type Empty() noexcept { return nullptr; }
  static bool IsValid(Type w) noexcept { return w != nullptr; }
  static bool Close(Type w) noexcept { return ::DestroyWindow(w) != FALSE; }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueModule = Unique<ModuleTraits>;
using UniqueSocket = Unique<SocketTraits>;
template <typename T>
using UniqueGdi = Unique<GdiTraits<T>>;
using UniqueWindow = Unique<WindowTraits>;

// A memory device context from CreateCompatibleDC.
struct MemoryDcTraits {
  using Type = HDC;
  static Type Empty() noexcept { return nullptr; }
  static bool IsValid(Type dc) noexcept { return dc != nullptr; }
  static bool Close(Type dc) noexcept { return ::DeleteDC(dc) != FALSE; }
};
using UniqueMemoryDc = Unique<MemoryDcTraits>;

// CryptoAPI's provider and hash handles.
struct CryptProviderTraits {
  using Type = HCRYPTPROV;
  static Type Empty() noexcept { return 0; }
  static bool IsValid(Type h) noexcept { return h != 0; }
  static bool Close(Type h) noexcept { return ::CryptReleaseContext(h, 0) != FALSE; }
};
struct CryptHashTraits {
  using Type = HCRYPTHASH;
  static Type Empty() noexcept { return 0; }
  static bool IsValid(Type h) noexcept { return h != 0; }
  static bool Close(Type h) noexcept { return ::CryptDestroyHash(h) != FALSE; }
};
using UniqueCryptProvider = Unique<CryptProviderTraits>;
using UniqueCryptHash = Unique<CryptHashTraits>;

// A window's (or the screen's, for nullptr) device context from GetDC: given back with the
// window it came from, so it is not a Unique.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for one scope; the previous one goes back after.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// WSAStartup is counted per process; every successful start needs its own WSACleanup.
class WsaScope {
 public:
  explicit WsaScope(WORD version = MAKEWORD(2, 2)) noexcept {
    WSADATA data;
    result_ = ::WSAStartup(version, &data);
  }
  ~WsaScope() {
    if (result_ == 0) ::WSACleanup();
  }
  WsaScope(const WsaScope&) = delete;
  WsaScope& operator=(const WsaScope&) = delete;

  bool Ok() const noexcept { return result_ == 0; }
  int Error() const noexcept { return result_; }

 private:
  int result_ = WSANOTINITIALISED;
};

}  // namespace zl::win32
