#include "platform/DryRun.h"

#include "utils/Text.h"

namespace zl {

namespace {

// Keeps what is written in memory; the file is never made.
class KeepingStream : public IWriteStream {
 public:
  explicit KeepingStream(std::string& bytes) : bytes_(bytes) {}
  void Write(const void* data, size_t n) override {
    bytes_.append(static_cast<const char*>(data), n);
  }
  void Close() override {}

 private:
  std::string& bytes_;
};

// A file the dry run only pretended to write, held: its bytes are what was written; its hash is
// not computed here.
class KeptFile : public IHeldFile {
 public:
  explicit KeptFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::optional<std::wstring> Sha256() override { return std::nullopt; }
  std::optional<std::string> Contents() override { return bytes_; }

 private:
  std::string bytes_;
};

// Paths compare without regard to ASCII letter case, as Windows' do.
std::wstring PathKey(const std::wstring& path) { return LowerAscii(path); }

}  // namespace

std::wstring Change::Text() const {
  switch (kind) {
    case ChangeKind::CreateKey:
      return L"create " + target;
    case ChangeKind::WriteString:
      return L"write " + target + L" \"" + name + L"\" = \"" + value + L"\"";
    case ChangeKind::WriteDword:
      return L"write " + target + L" \"" + name + L"\" = " + value;
    case ChangeKind::DeleteValue:
      return L"delete " + target + L" \"" + name + L"\"";
    case ChangeKind::DeleteKey:
      return L"delete " + target;
    case ChangeKind::CreateFile:
      return L"create file " + target;
    case ChangeKind::DeleteFile:
      return L"delete file " + target;
    case ChangeKind::RemoveFolder:
      return L"remove folder " + target;
    case ChangeKind::CopyFile:
      return L"copy " + target + L" to " + value;
    case ChangeKind::CreateFolder:
      return L"create folder " + target;
    case ChangeKind::WriteFile:
      return L"write file " + target;
    case ChangeKind::AppendToFile:
      return L"append to " + target;
    case ChangeKind::Start:
      return L"start " + target + (value.empty() ? L"" : L" " + value);
  }
  return target;
}

std::vector<std::wstring> ChangeLog::Lines() const {
  std::vector<std::wstring> lines;
  for (const Change& change : changes_) lines.push_back(change.Text());
  return lines;
}

std::wstring RegistryPath(RegRoot root, const std::wstring& key, RegView view) {
  const wchar_t* const roots[] = {L"HKCR", L"HKCU", L"HKLM"};
  std::wstring path = std::wstring(roots[static_cast<int>(root)]) + L"\\" + key;
  if (view == RegView::Reg64) path += L" (64-bit view)";
  if (view == RegView::Reg32) path += L" (32-bit view)";
  return path;
}

bool DryRunRegistry::CreateKey(RegRoot root, const std::wstring& key, RegView view) {
  if (!inner_.KeyExists(root, key, view))
    log_.Add({ChangeKind::CreateKey, RegistryPath(root, key, view), L"", L""});
  return true;
}

bool DryRunRegistry::WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                                 const std::wstring& value, RegView view) {
  const RegValue now = inner_.ReadValue(root, key, name, view);
  if (now.kind == RegKind::String && now.text == value) return true;  // no change
  log_.Add({ChangeKind::WriteString, RegistryPath(root, key, view), name, value});
  return true;
}

bool DryRunRegistry::WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name,
                                uint32_t value, RegView view) {
  const RegValue now = inner_.ReadValue(root, key, name, view);
  if (now.kind == RegKind::Dword && now.dword == value) return true;  // no change
  log_.Add({ChangeKind::WriteDword, RegistryPath(root, key, view), name, std::to_wstring(value)});
  return true;
}

bool DryRunRegistry::DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                                 RegView view) {
  if (inner_.ReadValue(root, key, name, view).kind != RegKind::Missing)
    log_.Add({ChangeKind::DeleteValue, RegistryPath(root, key, view), name, L""});
  return true;
}

bool DryRunRegistry::DeleteKey(RegRoot root, const std::wstring& key, RegView view) {
  log_.Add({ChangeKind::DeleteKey, RegistryPath(root, key, view), L"", L""});
  return true;
}

bool DryRunFileSystem::CreateEmptyFile(const std::wstring& path) {
  log_.Add({ChangeKind::CreateFile, path, L"", L""});
  return true;
}

std::unique_ptr<IHeldFile> DryRunFileSystem::HoldForRun(const std::wstring& path) {
  const auto kept = kept_.find(PathKey(path));
  if (kept != kept_.end()) return std::make_unique<KeptFile>(kept->second);
  return inner_.HoldForRun(path);
}

bool DryRunFileSystem::DeleteFile(const std::wstring& path) {
  kept_.erase(PathKey(path));
  log_.Add({ChangeKind::DeleteFile, path, L"", L""});
  return true;
}

bool DryRunFileSystem::RemoveDirectory(const std::wstring& path) {
  log_.Add({ChangeKind::RemoveFolder, path, L"", L""});
  return true;
}

bool DryRunFileSystem::CopyFile(const std::wstring& from, const std::wstring& to, bool) {
  log_.Add({ChangeKind::CopyFile, from, L"", to});
  return true;
}

bool DryRunFileSystem::CreateDirectory(const std::wstring& path) {
  log_.Add({ChangeKind::CreateFolder, path, L"", L""});
  return true;
}

bool DryRunFileSystem::CreateNewDirectory(const std::wstring& path) {
  if (inner_.GetAttributes(path).exists) return false;
  log_.Add({ChangeKind::CreateFolder, path, L"", L""});
  return true;
}

std::unique_ptr<IWriteStream> DryRunFileSystem::CreateWrite(const std::wstring& path) {
  log_.Add({ChangeKind::WriteFile, path, L"", L""});
  std::string& bytes = kept_[PathKey(path)];
  bytes.clear();
  return std::make_unique<KeepingStream>(bytes);
}

bool DryRunFileSystem::AppendToFile(const std::wstring& path, const std::string&) {
  log_.Add({ChangeKind::AppendToFile, path, L"", L""});
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
  log_.Add({ChangeKind::Start, request.file, L"", request.parameters});
  return ShellStart{};
}

void DryRunShell::ShellExecute(const std::wstring&, const std::wstring& file,
                               const std::wstring& parameters, const std::wstring&, int) {
  log_.Add({ChangeKind::Start, file, L"", parameters});
}

std::vector<std::wstring> SendNotingNetwork::SendBroadcasts(
    uint16_t port, const std::string& payload, const std::vector<uint32_t>& destinations) {
  const std::vector<std::wstring> errors = inner_.SendBroadcasts(port, payload, destinations);
  for (size_t i = 0; i < destinations.size() && i < errors.size(); ++i)
    sends_.push_back({destinations[i], port, errors[i]});
  return errors;
}

std::vector<DiscoverySend> SendNotingNetwork::TakeSends() { return std::exchange(sends_, {}); }

int DryRunUserInterface::MessageBox(const std::wstring& text, const std::wstring&, uint32_t) {
  asked_.push_back(text);
  return 1;  // IDOK
}

int DryRunUserInterface::ShowMessageDialog(const MessageDialogSpec& content) {
  asked_.push_back(content.text);
  return content.closeResult;
}

bool DryRunUserInterface::ShowLocateProgramForm(const LocateProgramFormContent& content) {
  std::wstring text = L"The \"" + content.caption + L"\" window asks for the application:";
  for (const std::wstring& label : content.labels)
    if (!label.empty()) text += L"\r\n" + label;
  asked_.push_back(text);
  return false;  // as the close box: nobody picks a file
}

std::optional<std::wstring> DryRunUserInterface::ShowOpenFileDialog(
    const OpenFileDialogRequest& request) {
  asked_.push_back(request.title);
  return std::nullopt;
}

DryRun::DryRun(const PlatformServices& real)
    : registry(*real.registry, log),
      files(*real.files, log),
      shell(log),
      network(*real.network),
      services_(real) {
  services_.registry = &registry;
  services_.files = &files;
  services_.shell = &shell;
  services_.network = &network;
  services_.ui = &ui;
}

}  // namespace zl
