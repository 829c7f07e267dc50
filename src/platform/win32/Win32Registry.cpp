#include "platform/win32/Win32Registry.h"

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

#include <cstring>
#include <vector>

namespace zl::win32 {

namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine:
      break;
  }
  return HKEY_LOCAL_MACHINE;
}

// 32-bit XP and 2000 ignore the WOW64 bits; 64-bit Windows redirects HKLM\Software for a
// 32-bit process unless one is given.
REGSAM ViewFlag(RegView view) {
  switch (view) {
    case RegView::Reg32:
      return KEY_WOW64_32KEY;
    case RegView::Reg64:
      return KEY_WOW64_64KEY;
    case RegView::Default:
      break;
  }
  return 0;
}

LONG Open(RegRoot root, const std::wstring& key, REGSAM access, RegView view, UniqueKey& out) {
  return ::RegOpenKeyExW(RootKey(root), key.c_str(), 0, access | ViewFlag(view), out.Put());
}

// Registry strings need not be terminated, and may carry their terminator in the data: the text
// ends at the first NUL or at the end of the data, whichever comes first.
std::wstring TextOf(const std::vector<BYTE>& data, DWORD size) {
  const size_t units = size / sizeof(wchar_t);
  std::wstring text(units, L'\0');
  if (units != 0) memcpy(&text[0], data.data(), units * sizeof(wchar_t));
  const size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return text;
}

// REG_MULTI_SZ: strings one after the other, each ending in NUL, the list ending in an empty
// one. Data written by hand may lack the final terminators; the size decides then.
std::vector<std::wstring> StringsOf(const std::vector<BYTE>& data, DWORD size) {
  const size_t units = size / sizeof(wchar_t);
  std::wstring all(units, L'\0');
  if (units != 0) memcpy(&all[0], data.data(), units * sizeof(wchar_t));
  std::vector<std::wstring> strings;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find(L'\0', start);
    if (end == std::wstring::npos) end = all.size();
    // An empty string inside the data is skipped, not taken for the list's end: a list the admin
    // wrote with a blank line must not lose the names after it.
    if (end != start) strings.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}

}  // namespace

bool Win32Registry::KeyExists(RegRoot root, const std::wstring& key, RegView view) {
  UniqueKey k;
  return Open(root, key, KEY_READ, view, k) == ERROR_SUCCESS;
}

RegValue Win32Registry::ReadValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                                  RegView view) {
  RegValue value;
  UniqueKey k;
  // A key that cannot be opened is as good as missing: KeyExists says the same.
  if (Open(root, key, KEY_QUERY_VALUE, view, k) != ERROR_SUCCESS) return value;

  DWORD type = 0;
  DWORD size = 0;
  LONG rc = ::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) return value;
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
    value.kind = RegKind::Unreadable;
    return value;
  }
  // The value may grow between the two calls; a few rounds settle it.
  std::vector<BYTE> data;
  for (int attempt = 0; attempt < 4; ++attempt) {
    data.assign(size + sizeof(wchar_t), 0);
    DWORD got = size;
    rc = ::RegQueryValueExW(k.Get(), name.c_str(), nullptr, &type, data.data(), &got);
    size = got;
    if (rc != ERROR_MORE_DATA) break;
  }
  if (rc == ERROR_FILE_NOT_FOUND) return value;
  if (rc != ERROR_SUCCESS) {
    value.kind = RegKind::Unreadable;
    return value;
  }
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      value.kind = type == REG_SZ ? RegKind::String : RegKind::ExpandString;
      value.text = TextOf(data, size);
      break;
    case REG_DWORD:
      if (size != sizeof(DWORD)) {
        value.kind = RegKind::Unreadable;
        break;
      }
      value.kind = RegKind::Dword;
      memcpy(&value.dword, data.data(), sizeof(DWORD));
      break;
    case REG_MULTI_SZ:
      value.kind = RegKind::MultiString;
      value.strings = StringsOf(data, size);
      break;
    default:
      value.kind = RegKind::Other;
      break;
  }
  return value;
}

bool Win32Registry::CreateKey(RegRoot root, const std::wstring& key, RegView view) {
  UniqueKey k;
  DWORD disposition = 0;
  return ::RegCreateKeyExW(RootKey(root), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE | ViewFlag(view), nullptr, k.Put(),
                           &disposition) == ERROR_SUCCESS;
}

bool Win32Registry::WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                                const std::wstring& value, RegView view) {
  UniqueKey k;
  if (Open(root, key, KEY_SET_VALUE, view, k) != ERROR_SUCCESS) return false;
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(k.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

bool Win32Registry::WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name,
                               uint32_t value, RegView view) {
  UniqueKey k;
  if (Open(root, key, KEY_SET_VALUE, view, k) != ERROR_SUCCESS) return false;
  const DWORD data = value;
  return ::RegSetValueExW(k.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof data) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                                RegView view) {
  UniqueKey k;
  const LONG open = Open(root, key, KEY_SET_VALUE, view, k);
  if (open == ERROR_FILE_NOT_FOUND) return true;
  if (open != ERROR_SUCCESS) return false;
  const LONG rc = ::RegDeleteValueW(k.Get(), name.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

std::vector<std::wstring> Win32Registry::SubKeys(RegRoot root, const std::wstring& key,
                                                 RegView view) {
  std::vector<std::wstring> names;
  UniqueKey k;
  if (Open(root, key, KEY_ENUMERATE_SUB_KEYS, view, k) != ERROR_SUCCESS) return names;
  // Key names are limited to 255 characters; the larger buffer is only a guard.
  std::vector<wchar_t> buffer(256);
  for (DWORD index = 0;;) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG rc =
        ::RegEnumKeyExW(k.Get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA && buffer.size() < 32768) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), length);
    ++index;
  }
  return names;
}

bool Win32Registry::DeleteKey(RegRoot root, const std::wstring& key, RegView view) {
  // RegDeleteKeyExW arrived with XP x64 and Vista; 32-bit XP has only RegDeleteKeyW, which on
  // 64-bit XP cannot choose a view. Acceptable: there the view of a key we created is the default.
  using RegDeleteKeyExWFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  static const auto deleteKeyEx =
      LookUp<RegDeleteKeyExWFn>(::GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW");
  if (deleteKeyEx != nullptr)
    return deleteKeyEx(RootKey(root), key.c_str(), ViewFlag(view), 0) == ERROR_SUCCESS;
  return ::RegDeleteKeyW(RootKey(root), key.c_str()) == ERROR_SUCCESS;
}

}  // namespace zl::win32
