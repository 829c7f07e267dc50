#include "platform/fake/FakePlatform.h"

#include <algorithm>
#include <cstdio>

#include "utils/Text.h"

namespace zl::fake {

// ---------------------------------------------------------------- registry
std::wstring FakeRegistry::Id(RegRoot root, const std::wstring& key, RegView view) const {
  std::wstring path = LowerAscii(key);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  while (!path.empty() && path.front() == L'\\') path.erase(0, 1);
  // Only HKLM\SOFTWARE is split between the views here; HKCU is shared by all views.
  bool split = wow64 && root == RegRoot::LocalMachine &&
               (path == L"software" || StartsWith(path, L"software\\"));
  wchar_t viewTag = L'-';
  if (split) viewTag = view == RegView::Reg64 ? L'6' : L'3';
  return std::wstring(1, static_cast<wchar_t>(L'0' + static_cast<int>(root))) + viewTag + L"|" +
         path;
}

FakeRegistry::Key* FakeRegistry::Find(RegRoot root, const std::wstring& key, RegView view) {
  auto it = keys_.find(Id(root, key, view));
  return it == keys_.end() ? nullptr : &it->second;
}

FakeRegistry::Key& FakeRegistry::Make(RegRoot root, const std::wstring& key, RegView view) {
  // Parents exist whenever a child does, as in the real registry.
  std::wstring trimmed = key;
  while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
  size_t slash = trimmed.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 0) Make(root, trimmed.substr(0, slash), view);
  std::wstring id = Id(root, trimmed, view);
  auto it = keys_.find(id);
  if (it != keys_.end()) return it->second;
  Key& k = keys_[id];
  k.path = trimmed;
  k.order = ++counter_;
  return k;
}

bool FakeRegistry::KeyExists(RegRoot root, const std::wstring& key, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return Find(root, key, view) != nullptr && !denyRead_.count(Id(root, key, view));
}

RegValue FakeRegistry::ReadValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                                 RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!KeyExists(root, key, view)) return {};
  Key* k = Find(root, key, view);
  auto it = k->values.find(LowerAscii(name));
  return it == k->values.end() ? RegValue{} : it->second.second;
}

bool FakeRegistry::CreateKey(RegRoot root, const std::wstring& key, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (denyWrite_.count(Id(root, key, view))) return false;
  Make(root, key, view);
  return true;
}

bool FakeRegistry::WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                               const std::wstring& value, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (failValueWrites || denyWrite_.count(Id(root, key, view)) || !Find(root, key, view))
    return false;
  ++writes;
  Set(root, key, name, RegValue{RegKind::String, value, 0}, view);
  return true;
}

bool FakeRegistry::WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name,
                              uint32_t value, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (failValueWrites || denyWrite_.count(Id(root, key, view)) || !Find(root, key, view))
    return false;
  ++writes;
  Set(root, key, name, RegValue{RegKind::Dword, L"", value}, view);
  return true;
}

bool FakeRegistry::DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                               RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Key* k = Find(root, key, view);
  if (!k) return true;
  if (denyWrite_.count(Id(root, key, view))) return false;
  k->values.erase(LowerAscii(name));
  return true;
}

std::vector<std::wstring> FakeRegistry::SubKeys(RegRoot root, const std::wstring& key,
                                                RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<std::pair<long, std::wstring>> found;
  Key* parent = Find(root, key, view);
  if (!parent) return {};
  std::wstring prefix = LowerAscii(parent->path) + L"\\";
  for (auto& [id, k] : keys_) {
    if (Id(root, k.path, view) != id) continue;  // another root or view
    std::wstring lower = LowerAscii(k.path);
    if (StartsWith(lower, prefix) && lower.find(L'\\', prefix.size()) == std::wstring::npos)
      found.push_back({k.order, k.path.substr(prefix.size())});
  }
  std::sort(found.begin(), found.end());
  std::vector<std::wstring> names;
  for (auto& f : found) names.push_back(f.second);
  return names;
}

bool FakeRegistry::DeleteKey(RegRoot root, const std::wstring& key, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Find(root, key, view) || denyWrite_.count(Id(root, key, view))) return false;
  if (!SubKeys(root, key, view).empty()) return false;
  keys_.erase(Id(root, key, view));
  return true;
}

void FakeRegistry::Set(RegRoot root, const std::wstring& key, const std::wstring& name,
                       RegValue value, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Make(root, key, view).values[LowerAscii(name)] = {name, std::move(value)};
}

void FakeRegistry::SetString(RegRoot root, const std::wstring& key, const std::wstring& name,
                             const std::wstring& value, RegView view) {
  Set(root, key, name, RegValue{RegKind::String, value, 0}, view);
}

void FakeRegistry::SetDword(RegRoot root, const std::wstring& key, const std::wstring& name,
                            uint32_t value, RegView view) {
  Set(root, key, name, RegValue{RegKind::Dword, L"", value}, view);
}

RegValue FakeRegistry::Get(RegRoot root, const std::wstring& key, const std::wstring& name,
                           RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Key* k = Find(root, key, view);
  if (!k) return {};
  auto it = k->values.find(LowerAscii(name));
  return it == k->values.end() ? RegValue{} : it->second.second;
}

bool FakeRegistry::HasKey(RegRoot root, const std::wstring& key, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return Find(root, key, view) != nullptr;
}

void FakeRegistry::DenyWrite(RegRoot root, const std::wstring& key, RegView view) {
  denyWrite_[Id(root, key, view)] = true;
}

void FakeRegistry::DenyRead(RegRoot root, const std::wstring& key, RegView view) {
  denyRead_[Id(root, key, view)] = true;
}

std::vector<std::wstring> FakeRegistry::AllKeys(RegRoot root, RegView view) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<std::wstring> out;
  for (auto& [id, k] : keys_)
    if (Id(root, k.path, view) == id) out.push_back(k.path);
  return out;
}

// ---------------------------------------------------------------- shell
ShellStart FakeShell::ShellExecuteEx(const ShellExecuteRequest& request) {
  executed.push_back(request);
  if (onExecuteEx) return onExecuteEx(request);
  return {};
}

void FakeShell::ShellExecute(const std::wstring& verb, const std::wstring& file,
                             const std::wstring& parameters, const std::wstring& directory,
                             int show) {
  opened.push_back({verb, file, parameters, directory, show});
}

// ---------------------------------------------------------------- system
std::wstring FakeSystem::Environment(const std::wstring& name) {
  auto it = environment.find(name);
  return it == environment.end() ? std::wstring() : it->second;
}

std::wstring FakeSystem::ExpandEnvironment(const std::wstring& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(L'%', i);
    const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    out += text.substr(i, open - i);
    auto it = environment.find(text.substr(open + 1, close - open - 1));
    out += it != environment.end() ? it->second : text.substr(open, close - open + 1);
    i = close + 1;
  }
  return out + text.substr(std::min(i, text.size()));
}

std::wstring FakeSystem::NewGuidText() {
  if (guidFails) throw LauncherError(L"No GUID");
  ++guidsMade;
  wchar_t buf[40];
  std::swprintf(buf, 40, L"{%08X-0000-4000-8000-%012X}", guidsMade, guidsMade);
  return buf;
}

bool FakeSystem::RandomBytes(void* buffer, size_t n) {
  ++randomCalls;
  if (randomFails) return false;
  auto* out = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(nextRandom >> (8 * (i % 8)));
  ++nextRandom;
  return true;
}

std::optional<std::string> FakeSystem::AnsiText(const std::wstring& text) {
  // Latin-1 stands for the code page.
  std::string out;
  for (wchar_t c : text) {
    if (static_cast<uint32_t>(c) >= 256) return std::nullopt;
    out += static_cast<char>(c);
  }
  return out;
}

std::optional<FileVersion> FakeSystem::FileVersionOf(const std::wstring& path) {
  auto it = fileVersions.find(LowerAscii(path));
  if (it == fileVersions.end()) return std::nullopt;
  return it->second;
}

// ---------------------------------------------------------------- network
bool FakeNetwork::ProbeTcp(const std::wstring& host, uint16_t port, uint32_t timeoutMs) {
  probes.push_back({host, port, timeoutMs});
  std::wstring target = host + L":" + std::to_wstring(port);
  return std::find(accepting.begin(), accepting.end(), target) != accepting.end();
}

std::vector<std::wstring> FakeNetwork::SendBroadcasts(uint16_t port, const std::string& payload,
                                                      const std::vector<uint32_t>& targets) {
  std::vector<std::wstring> errors;
  for (uint32_t target : targets) {
    if (sendFails || unreachable.count(target) != 0) {
      errors.push_back(sendFails ? L"Socket Error # 10051" : L"Socket Error # 10065");
      continue;
    }
    broadcasts.push_back({port, payload});
    destinations.push_back(target);
    errors.push_back(std::wstring());
  }
  return errors;
}

std::optional<std::string> FakeNetwork::ReceiveDatagram(uint32_t timeoutMs, size_t maxBytes) {
  if (receiveFails) throw LauncherError(L"Socket Error # 10054");
  receiveTimeouts.push_back(timeoutMs);
  lastMaxBytes = maxBytes;
  if (replies.empty()) {
    if (clock) clock->ticks += timeoutMs;
    return std::nullopt;
  }
  std::string reply = replies.front().substr(0, maxBytes);
  replies.pop_front();
  return reply;
}

std::optional<std::wstring> FakeNetwork::HostNameOf(const std::wstring& address) {
  lookups.push_back(L"addr:" + address);
  auto it = hostNames.find(address);
  if (it == hostNames.end()) return std::nullopt;
  return it->second;
}

std::optional<std::wstring> FakeNetwork::AddressOf(const std::wstring& name) {
  lookups.push_back(L"name:" + name);
  auto it = addresses.find(name);
  if (it == addresses.end()) return std::nullopt;
  return it->second;
}

// ---------------------------------------------------------------- HTTP
HttpResponse FakeHttp::Get(const std::wstring& url, IWriteStream& target,
                           const HttpCallbacks& callbacks) {
  requested.push_back(url);
  auto it = replies.find(url);
  if (it == replies.end()) throw LauncherError(L"Connection refused");
  const Reply& r = it->second;
  if (r.failBeforeData) throw LauncherError(*r.failBeforeData);
  HttpResponse response;
  response.status = r.status;
  if (r.announceLength)
    response.contentLength = r.contentLength ? *r.contentLength : int64_t(r.body.size());
  if (callbacks.workBegin) callbacks.workBegin(response.contentLength.value_or(0));
  size_t sent = 0;
  while (sent < r.body.size()) {
    size_t n = std::min(r.chunk, r.body.size() - sent);
    if (clock) clock->ticks += r.msPerChunk;
    target.Write(r.body.data() + sent, n);
    sent += n;
    response.received = static_cast<int64_t>(sent);
    if (callbacks.work) callbacks.work(response.received);
    if (r.failAfterBytes) throw LauncherError(*r.failAfterBytes);
  }
  if (r.reportWorkEnd && !r.body.empty() && callbacks.workEnd) callbacks.workEnd();
  return response;
}

// ---------------------------------------------------------------- user interface
int FakeUserInterface::MessageBox(const std::wstring& text, const std::wstring& caption,
                                  uint32_t flags) {
  boxes.push_back({text, caption, flags, onMain_});
  log.push_back(L"box:" + caption);
  return 1;
}

int FakeUserInterface::ShowMessageDialog(const MessageDialogSpec& content) {
  dialogs.push_back({content, onMain_});
  log.push_back(L"dialog:" + content.title);
  if (onDialog) onDialog(content);
  if (answers.empty()) return content.defaultResult;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakeUserInterface::Terminate() {
  (onMain_ ? terminateOnMain : terminateOffMain)++;
  log.push_back(onMain_ ? L"terminate:main" : L"terminate:worker");
}

void FakeUserInterface::RunOnMainThread(const std::function<void()>& routine) {
  bool was = onMain_;
  onMain_ = true;
  try {
    routine();
  } catch (...) {
    onMain_ = was;
    throw;
  }
  onMain_ = was;
}

void FakeUserInterface::StartThread(std::function<void()> body, const std::wstring& name) {
  ++threadsStarted;
  threadNames.push_back(name);
  bool was = onMain_;
  onMain_ = false;
  body();
  onMain_ = was;
}

bool FakeUserInterface::ShowLocateProgramForm(const LocateProgramFormContent& content) {
  forms.push_back(content);
  log.push_back(L"form:" + content.caption);
  if (!onMain_) formOnMainThread = false;
  if (onForm) onForm(content);
  if (formAnswers.empty()) return false;
  bool next = formAnswers.front();
  formAnswers.pop_front();
  return next;
}

std::optional<std::wstring> FakeUserInterface::ShowOpenFileDialog(
    const OpenFileDialogRequest& request) {
  fileDialogs.push_back(request);
  log.push_back(L"file:" + request.title);
  if (!onMain_) formOnMainThread = false;
  if (fileAnswers.empty()) return std::nullopt;
  auto answer = fileAnswers.front();
  fileAnswers.pop_front();
  return answer;
}

void FakeUserInterface::ShowInstallerWindow(
    const std::function<void(IInstallerWindow&)>& onActivate) {
  auto window = std::make_shared<FakeInstallerWindow>();
  installerWindows.push_back(window);
  log.push_back(L"installer");
  for (int i = 0; i < installerActivations && !window->closed; ++i) onActivate(*window);
}

// ---------------------------------------------------------------- the whole platform
FakePlatform::FakePlatform() { http.clock = &system; }

}  // namespace zl::fake
