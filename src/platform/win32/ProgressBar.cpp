#include "platform/win32/ProgressBar.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"
#include "platform/win32/WindowKit.h"

namespace zl::win32 {

namespace {

// {618736E0-3C3D-11CF-810C-00AA00389B71}
const IID kIidAccessible = {
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// What a bar keeps beside the control's own state.
struct BarState {
  WNDPROC original = nullptr;
  BarColours colours;
  double percent = 0;  // what the fill shows; PBM_GETPOS answers it rounded
};

int Position(const BarState& state) { return static_cast<int>(std::lround(state.percent)); }
constexpr wchar_t kBarProperty[] = L"ZelkoraBar";

BarState* BarOf(HWND bar) { return static_cast<BarState*>(::GetPropW(bar, kBarProperty)); }

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// oleacc is no KnownDLL: loaded from the system folder when a screen reader first asks, and kept;
// oleaut32 (a KnownDLL) with it, for the value's text, rather than imported into every start.
struct Oleacc {
  using CreateStdFn = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
  using LresultFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  using AllocStringFn = BSTR(WINAPI*)(const OLECHAR*);
  UniqueModule dll = LoadSystemLibrary(L"oleacc.dll");
  UniqueModule oleaut = UniqueModule(::LoadLibraryW(L"oleaut32.dll"));
  CreateStdFn createStandard = LookUp<CreateStdFn>(dll.Get(), "CreateStdAccessibleObject");
  LresultFn lresultFromObject = LookUp<LresultFn>(dll.Get(), "LresultFromObject");
  AllocStringFn allocString = LookUp<AllocStringFn>(oleaut.Get(), "SysAllocString");
};

const Oleacc& OleaccApi() {
  static const Oleacc api;
  return api;
}

// The bar's accessible object: role and value are the bar's, everything else the standard
// object's for the window.
class BarAccessible final : public IAccessible {
 public:
  BarAccessible(HWND bar, IAccessible* standard) : bar_(bar), standard_(standard) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(::InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return standard_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, lcid, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    return standard_->GetIDsOfNames(iid, names, count, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* error, UINT* argument) override {
    return standard_->Invoke(id, iid, lcid, flags, params, result, error, argument);
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child)) return standard_->get_accRole(child, role);
    if (role == nullptr) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_PROGRESSBAR;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (!IsSelf(child)) return standard_->get_accValue(child, value);
    if (value == nullptr) return E_INVALIDARG;
    const int position = static_cast<int>(::SendMessageW(bar_, PBM_GETPOS, 0, 0));
    *value = OleaccApi().allocString((std::to_wstring(position) + L"%").c_str());
    return *value != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return standard_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return standard_->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return standard_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return standard_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
    return standard_->get_accHelp(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
    return standard_->get_accKeyboardShortcut(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    return standard_->get_accFocus(child);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return standard_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
    return standard_->get_accDefaultAction(child, text);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return standard_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
    return standard_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return standard_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~BarAccessible() { standard_->Release(); }
  LONG references_ = 1;
  HWND bar_;
  IAccessible* standard_;
};

// The answer to WM_GETOBJECT for the client object; 0 (the control's own answer follows) when
// it cannot be made.
LRESULT AccessibleAnswer(HWND bar, WPARAM flags) {
  const Oleacc& oleacc = OleaccApi();
  if (oleacc.createStandard == nullptr || oleacc.lresultFromObject == nullptr ||
      oleacc.allocString == nullptr)
    return 0;
  IAccessible* standard = nullptr;
  if (FAILED(oleacc.createStandard(bar, OBJID_CLIENT, kIidAccessible,
                                   reinterpret_cast<void**>(&standard))) ||
      standard == nullptr)
    return 0;
  auto* object = new BarAccessible(bar, standard);
  const LRESULT answer = oleacc.lresultFromObject(kIidAccessible, flags, object);
  object->Release();
  return answer > 0 ? answer : 0;
}

void PaintBar(HWND bar, HDC dc, const BarState& state) {
  RECT client;
  ::GetClientRect(bar, &client);
  PaintProgressBar(dc, client, state.percent, state.colours);
}

LRESULT CALLBACK BarProc(HWND bar, UINT msg, WPARAM wp, LPARAM lp) {
  BarState* state = BarOf(bar);
  if (state == nullptr) return ::DefWindowProcW(bar, msg, wp, lp);
  switch (msg) {
    case PBM_GETPOS:
      return Position(*state);
    case PBM_GETRANGE:
      if (lp != 0) *reinterpret_cast<PBRANGE*>(lp) = PBRANGE{0, 100};
      return wp ? 0 : 100;
    case WM_GETOBJECT:
      if (static_cast<LONG>(lp) == OBJID_CLIENT) {
        if (const LRESULT answer = AccessibleAnswer(bar, wp)) return answer;
      }
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(bar, &ps);
      PaintBar(bar, dc, *state);
      ::EndPaint(bar, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintBar(bar, reinterpret_cast<HDC>(wp), *state);
      return 0;
    case WM_NCDESTROY: {
      const WNDPROC original = state->original;
      ::RemovePropW(bar, kBarProperty);
      ::SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      delete state;
      return ::CallWindowProcW(original, bar, msg, wp, lp);
    }
    default:
      break;
  }
  return ::CallWindowProcW(state->original, bar, msg, wp, lp);
}

}  // namespace

HWND AddProgressBar(HWND parent, int id, const RECT& place, const BarColours& colours) {
  InitCommonControlClasses(ICC_PROGRESS_CLASS);
  HWND bar = AddControl(parent, PROGRESS_CLASSW, L"", 0, id, place, nullptr);
  if (bar == nullptr) return nullptr;
  // Without a theme the control runs no animation timer for a bar it does not paint. uxtheme is
  // kept once loaded: comctl32 6 holds it anyway, and each window would load it again.
  using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  static const UniqueModule uxtheme = LoadSystemLibrary(L"uxtheme.dll");
  if (const auto setTheme = LookUp<SetWindowThemeFn>(uxtheme.Get(), "SetWindowTheme"))
    setTheme(bar, L"", L"");
  auto* state = new BarState;
  state->colours = colours;
  ::SetPropW(bar, kBarProperty, state);
  state->original = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BarProc)));
  return bar;
}

void SetBarProgress(HWND bar, double percent) {
  BarState* state = BarOf(bar);
  if (state == nullptr) return;
  percent = std::clamp(percent, 0.0, 100.0);
  if (percent == state->percent) return;
  const int before = Position(*state);
  state->percent = percent;
  ::InvalidateRect(bar, nullptr, FALSE);
  if (Position(*state) == before) return;
  ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, bar, OBJID_CLIENT, CHILDID_SELF);
}

void SetBarColours(HWND bar, const BarColours& colours) {
  BarState* state = BarOf(bar);
  if (state == nullptr) return;
  state->colours = colours;
  ::InvalidateRect(bar, nullptr, FALSE);
}

}  // namespace zl::win32
