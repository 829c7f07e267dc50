#include "platform/DryRun.h"

namespace zl {

namespace {

// Discards what is written; the file is never made.
class DiscardStream : public IWriteStream {
 public:
  void Write(const void*, size_t) override {}
  void Close() override {}
};

}  // namespace

std::wstring RegistryPath(RegRoot root, const std::wstring& key, RegView view) {
  const wchar_t* const roots[] = {L"HKCR", L"HKCU", L"HKLM"};
  std::wstring path = std::wstring(roots[static_cast<int>(root)]) + L"\\" + key;
  if (view == RegView::Reg64) path += L" (64-bit view)";
  if (view == RegView::Reg32) path += L" (32-bit view)";
  return path;
}

bool DryRunRegistry::CreateKey(RegRoot root, const std::wstring& key, RegView view) {
  if (!inner_.KeyExists(root, key, view)) log_.Add(L"create " + RegistryPath(root, key, view));
  return true;
}

bool DryRunRegistry::WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                                 const std::wstring& value, RegView view) {
  const RegValue now = inner_.ReadValue(root, key, name, view);
  if (now.kind == RegKind::String && now.text == value) return true;  // no change
  log_.Add(L"write " + RegistryPath(root, key, view) + L" \"" + name + L"\" = \"" + value + L"\"");
  return true;
}

bool DryRunRegistry::WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name,
                                uint32_t value, RegView view) {
  const RegValue now = inner_.ReadValue(root, key, name, view);
  if (now.kind == RegKind::Dword && now.dword == value) return true;  // no change
  log_.Add(L"write " + RegistryPath(root, key, view) + L" \"" + name + L"\" = " +
           std::to_wstring(value));
  return true;
}

bool DryRunRegistry::DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                                 RegView view) {
  if (inner_.ReadValue(root, key, name, view).kind != RegKind::Missing)
    log_.Add(L"delete " + RegistryPath(root, key, view) + L" \"" + name + L"\"");
  return true;
}

bool DryRunRegistry::DeleteKey(RegRoot root, const std::wstring& key, RegView view) {
  log_.Add(L"delete " + RegistryPath(root, key, view));
  return true;
}

bool DryRunFileSystem::CreateEmptyFile(const std::wstring& path) {
  log_.Add(L"create file " + path);
  return true;
}

bool DryRunFileSystem::DeleteFile(const std::wstring& path) {
  log_.Add(L"delete file " + path);
  return true;
}

bool DryRunFileSystem::RemoveDirectory(const std::wstring& path) {
  log_.Add(L"remove folder " + path);
  return true;
}

bool DryRunFileSystem::CopyFile(const std::wstring& from, const std::wstring& to, bool) {
  log_.Add(L"copy " + from + L" to " + to);
  return true;
}

bool DryRunFileSystem::CreateDirectory(const std::wstring& path) {
  log_.Add(L"create folder " + path);
  return true;
}

std::unique_ptr<IWriteStream> DryRunFileSystem::CreateWrite(const std::wstring& path) {
  log_.Add(L"write file " + path);
  return std::make_unique<DiscardStream>();
}

bool DryRunFileSystem::AppendToFile(const std::wstring& path, const std::string&) {
  log_.Add(L"append to " + path);
  return true;
}

std::wstring DryRunFileSystem::TempFileName(const std::wstring& dir, const std::wstring& prefix) {
  std::wstring name = dir;
  if (!name.empty() && name.back() != L'\\') name += L'\\';
  return name + prefix.substr(0, 3) + L"dry" + std::to_wstring(++next_name_) + L".tmp";
}

ShellStart DryRunShell::ShellExecuteEx(const ShellExecuteRequest& request) {
  // A folder probe (a made-up program started without error messages) changes nothing.
  if (request.mask & see::FlagNoUi) return ShellStart{};
  log_.Add(L"start " + request.file +
           (request.parameters.empty() ? L"" : L" " + request.parameters));
  return ShellStart{};
}

void DryRunShell::ShellExecute(const std::wstring&, const std::wstring& file,
                               const std::wstring& parameters, const std::wstring&, int) {
  log_.Add(L"start " + file + (parameters.empty() ? L"" : L" " + parameters));
}

}  // namespace zl
