#pragma once
// What a screen reader learns of a control: its text and position through the control's own
// messages, its role, name and value through Active Accessibility (Wine's oleacc serves the
// standard controls), and the name- and value-change events it is told of. And what the eye
// sees: the client area as the window and its controls paint it.

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Api.h"
#include "MessagePump.h"

#include <commctrl.h>
#include <oleacc.h>

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace zl::win32::testing {

inline std::wstring TextOf(HWND w) {
  wchar_t buffer[1024];
  const int n = ::GetWindowTextW(w, buffer, 1024);
  return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

inline int PositionOf(HWND bar) { return static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0)); }

struct Accessible {
  long role = 0;
  std::wstring name, value;
};

// The control's accessible object as AccessibleObjectFromWindow gives it; nullopt when none.
inline std::optional<Accessible> ReadAccessible(HWND control) {
  using FromWindowFn = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
  const UniqueModule oleacc(::LoadLibraryW(L"oleacc.dll"));
  const auto fromWindow = reinterpret_cast<FromWindowFn>(
      reinterpret_cast<void*>(::GetProcAddress(oleacc.Get(), "AccessibleObjectFromWindow")));
  // {618736E0-3C3D-11CF-810C-00AA00389B71}
  const IID iidAccessible = {
      0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  IAccessible* object = nullptr;
  if (fromWindow == nullptr ||
      FAILED(fromWindow(control, static_cast<DWORD>(OBJID_CLIENT), iidAccessible,
                        reinterpret_cast<void**>(&object))) ||
      object == nullptr)
    return std::nullopt;
  Accessible read;
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT role;
  ::VariantInit(&role);
  if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) read.role = role.lVal;
  BSTR text = nullptr;
  if (SUCCEEDED(object->get_accName(self, &text)) && text != nullptr) read.name = text;
  ::SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(object->get_accValue(self, &text)) && text != nullptr) read.value = text;
  ::SysFreeString(text);
  object->Release();
  return read;
}

// Counts the name- and value-change events raised for the windows of this process while it
// lives; they arrive while this thread pumps.
class ChangeEvents {
 public:
  ChangeEvents()
      : hook_(::SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                &ChangeEvents::Note, ::GetCurrentProcessId(), 0,
                                WINEVENT_OUTOFCONTEXT)) {
    counts_.clear();
  }
  ~ChangeEvents() {
    if (hook_ != nullptr) ::UnhookWinEvent(hook_);
  }
  ChangeEvents(const ChangeEvents&) = delete;
  ChangeEvents& operator=(const ChangeEvents&) = delete;
  bool Hooked() const { return hook_ != nullptr; }
  // Events of the kind for the window so far, after serving what is pending.
  int Count(HWND window, DWORD event) const {
    PumpPending();
    const auto it = counts_.find({window, event});
    return it == counts_.end() ? 0 : it->second;
  }

 private:
  static void CALLBACK Note(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                            DWORD) {
    if (object == OBJID_CLIENT || object == OBJID_WINDOW) {
      if (child == CHILDID_SELF) ++counts_[{window, event}];
    }
  }
  static inline std::map<std::pair<HWND, DWORD>, int> counts_;
  HWINEVENTHOOK hook_;
};

// The client area as the window and its controls paint it, through WM_PRINTCLIENT.
class ClientImage {
 public:
  explicit ClientImage(HWND window) {
    RECT r;
    ::GetClientRect(window, &r);
    HDC screen = ::GetDC(nullptr);
    dc_ = ::CreateCompatibleDC(screen);
    bitmap_.Reset(::CreateCompatibleBitmap(screen, r.right, r.bottom));
    ::ReleaseDC(nullptr, screen);
    old_ = ::SelectObject(dc_, bitmap_.Get());
    ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_), PRF_CLIENT);
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (!::IsWindowVisible(child)) continue;
      RECT place;
      ::GetWindowRect(child, &place);
      ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
      POINT before;
      ::SetViewportOrgEx(dc_, place.left, place.top, &before);
      ::SendMessageW(child, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_), PRF_CLIENT);
      ::SetViewportOrgEx(dc_, before.x, before.y, nullptr);
    }
  }
  ~ClientImage() {
    ::SelectObject(dc_, old_);
    ::DeleteDC(dc_);
  }
  ClientImage(const ClientImage&) = delete;
  ClientImage& operator=(const ClientImage&) = delete;
  COLORREF At(int x, int y) const { return ::GetPixel(dc_, x, y); }
  // Every pixel of the rectangle has the colour of the background at (1, 1).
  bool Blank(const RECT& r) const {
    const COLORREF background = At(1, 1);
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (At(x, y) != background) return false;
    return true;
  }

 private:
  HDC dc_;
  UniqueGdi<HBITMAP> bitmap_;
  HGDIOBJ old_;
};

}  // namespace zl::win32::testing
