#include "utils/RegistryValues.h"

#include "utils/Text.h"

namespace zl {

namespace {

RegValue Read(IRegistry& reg, RegRoot root, const std::wstring& key, const std::wstring& name,
              RegView view) {
  RegValue v = reg.ReadValue(root, key, name, view);
  if (v.kind == RegKind::Unreadable)
    throw LauncherError(FormatS(L"Failed to get data for '%s'", {name}));
  return v;
}

[[noreturn]] void WrongType(const std::wstring& name) {
  throw LauncherError(FormatS(L"Invalid data type for '%s'", {name}));
}

}  // namespace

std::optional<std::wstring> ReadStringValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                                            const std::wstring& name, RegView view) {
  RegValue v = Read(reg, root, key, name, view);
  if (v.kind == RegKind::Missing) return std::nullopt;
  if (v.kind != RegKind::String && v.kind != RegKind::ExpandString) WrongType(name);
  return v.text;
}

std::optional<std::vector<std::wstring>> ReadMultiStringValue(IRegistry& reg, RegRoot root,
                                                              const std::wstring& key,
                                                              const std::wstring& name,
                                                              RegView view) {
  RegValue v = Read(reg, root, key, name, view);
  if (v.kind == RegKind::Missing) return std::nullopt;
  if (v.kind != RegKind::MultiString) WrongType(name);
  return v.strings;
}

std::optional<uint32_t> ReadDwordValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                                       const std::wstring& name, RegView view) {
  RegValue v = Read(reg, root, key, name, view);
  if (v.kind == RegKind::Missing) return std::nullopt;
  if (v.kind != RegKind::Dword) WrongType(name);
  return v.dword;
}

void WriteStringValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                      const std::wstring& name, const std::wstring& value, RegView view) {
  if (!reg.WriteString(root, key, name, value, view))
    throw LauncherError(FormatS(L"Failed to set data for '%s'", {name}));
}

void WriteDwordValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                     const std::wstring& name, uint32_t value, RegView view) {
  if (!reg.WriteDword(root, key, name, value, view))
    throw LauncherError(FormatS(L"Failed to set data for '%s'", {name}));
}

bool DeleteKeyTree(IRegistry& reg, RegRoot root, const std::wstring& key, RegView view) {
  std::vector<std::wstring> subs = reg.SubKeys(root, key, view);
  for (auto it = subs.rbegin(); it != subs.rend(); ++it)
    DeleteKeyTree(reg, root, key + L"\\" + *it, view);
  return reg.DeleteKey(root, key, view);
}

}  // namespace zl
