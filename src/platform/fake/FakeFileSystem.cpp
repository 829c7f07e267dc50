#include "platform/fake/FakeFileSystem.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include "utils/Text.h"

namespace zl {

namespace {

// Win32's own texts, so messages read as the real adapter's would.
const wchar_t kFileNotFound[] = L"The system cannot find the file specified.";
const wchar_t kPathNotFound[] = L"The system cannot find the path specified.";
const wchar_t kAccessDenied[] = L"Access is denied.";
const wchar_t kSharingViolation[] =
    L"The process cannot access the file because it is being used by another process.";
const wchar_t kDiskError[] = L"The request could not be performed because of an I/O device error.";
const wchar_t kEndOfFile[] = L"Reached the end of the file.";
const wchar_t kInvalidDirectory[] = L"The directory name is invalid.";
const wchar_t kFileExists[] = L"The file exists.";
const wchar_t kDiskFull[] = L"There is not enough space on the disk.";

constexpr int kMaxLinkHops = 32;

struct Parsed {
  std::wstring root;  // "C:" or "\\server\share"
  std::vector<std::wstring> parts;

  std::wstring Display(size_t n) const {
    std::wstring out = root;
    for (size_t i = 0; i < n; ++i) out += L"\\" + parts[i];
    return n == 0 ? out + L"\\" : out;
  }
  std::wstring Display() const { return Display(parts.size()); }
};

bool InvalidNameChar(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' ||
         c == L'*';
}

std::optional<Parsed> Parse(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  Parsed p;
  size_t pos = 0;
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
    size_t serverEnd = path.find(L'\\', 2);
    if (serverEnd == std::wstring::npos || serverEnd == 2) return std::nullopt;
    std::wstring server = path.substr(2, serverEnd - 2);
    size_t shareEnd = path.find(L'\\', serverEnd + 1);
    std::wstring share =
        path.substr(serverEnd + 1,
                    shareEnd == std::wstring::npos ? std::wstring::npos : shareEnd - serverEnd - 1);
    // "\\?\" and "\\.\" are device namespaces, not servers.
    if (share.empty() || server == L"?" || server == L".") return std::nullopt;
    for (wchar_t c : server + share)
      if (InvalidNameChar(c)) return std::nullopt;
    p.root = L"\\\\" + server + L"\\" + share;
    pos = shareEnd == std::wstring::npos ? path.size() : shareEnd;
  } else if (path.size() >= 2 && path[1] == L':' &&
             ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    if (path.size() > 2 && path[2] != L'\\') return std::nullopt;  // drive-relative
    p.root = path.substr(0, 2);
    pos = 2;
  } else {
    return std::nullopt;
  }
  while (pos < path.size()) {
    size_t start = pos + 1;
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring part = path.substr(start, end - start);
    pos = end;
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!p.parts.empty()) p.parts.pop_back();
      continue;
    }
    for (wchar_t c : part)
      if (InvalidNameChar(c)) return std::nullopt;
    p.parts.push_back(part);
  }
  return p;
}

struct Node {
  bool dir = false;
  std::wstring name;    // as created; for a root its display form
  std::wstring parent;  // key of the folder holding it; empty for a root
  uint64_t order = 0;
  std::string data;
  bool readOnly = false;
  bool unlistable = false;
  bool reparse = false;
  Parsed target;
  int writers = 0;
  int holders = 0;  // held for a run: readable, but not to be written, replaced or deleted
};

}  // namespace

struct FakeFileSystem::State {
  std::mutex mutex;
  std::map<std::wstring, Node> nodes;  // by lower-case key
  uint64_t nextOrder = 1;
  std::wstring tempPath = L"C:\\Temp\\";
  unsigned tempCounter = 0;
  bool failNextCreateWrite = false;
  std::optional<uint64_t> spaceLeft;
  std::map<std::wstring, int> attributeQueries;  // by lower-case path
  std::function<void(const std::wstring&)> onList;
  std::vector<Change> changes;

  // Counts n bytes against the space left; false when they do not fit.
  bool Take(uint64_t n) {
    if (!spaceLeft) return true;
    if (n > *spaceLeft) return false;
    *spaceLeft -= n;
    return true;
  }

  // Where a path leads: its parent folder (links followed) and its own entry, not followed.
  struct Located {
    std::wstring parentKey;  // empty for a root
    std::wstring name;
    std::wstring key;
    Node* node = nullptr;  // null when missing
    Node* parentNode = nullptr;
  };

  Node* Find(const std::wstring& key) {
    auto it = nodes.find(key);
    return it == nodes.end() ? nullptr : &it->second;
  }

  // The key of the existing folder reached by root + parts[0..n), following links.
  std::optional<std::wstring> ResolveDir(const Parsed& p, size_t n, int& hops) {
    std::wstring key = LowerAscii(p.root);
    Node* node = Find(key);
    if (!node || !node->dir) return std::nullopt;
    for (size_t i = 0; i < n; ++i) {
      key += L"\\" + LowerAscii(p.parts[i]);
      node = Find(key);
      if (!node || !node->dir) return std::nullopt;
      if (node->reparse) {
        if (++hops > kMaxLinkHops) return std::nullopt;
        auto resolved = ResolveDir(node->target, node->target.parts.size(), hops);
        if (!resolved) return std::nullopt;
        key = *resolved;
      }
    }
    return key;
  }
  std::optional<std::wstring> ResolveDir(const Parsed& p) {
    int hops = 0;
    return ResolveDir(p, p.parts.size(), hops);
  }

  std::optional<Located> Locate(const Parsed& p) {
    Located loc;
    if (p.parts.empty()) {
      loc.name = p.root;
      loc.key = LowerAscii(p.root);
    } else {
      int hops = 0;
      auto parent = ResolveDir(p, p.parts.size() - 1, hops);
      if (!parent) return std::nullopt;
      loc.parentKey = *parent;
      loc.parentNode = Find(*parent);
      loc.name = p.parts.back();
      loc.key = *parent + L"\\" + LowerAscii(loc.name);
    }
    loc.node = Find(loc.key);
    return loc;
  }
  std::optional<Located> Locate(const std::wstring& path) {
    auto p = Parse(path);
    if (!p) return std::nullopt;
    return Locate(*p);
  }

  Node& Create(const Located& loc, bool dir) {
    Node& node = nodes[loc.key];
    node.dir = dir;
    node.name = loc.name;
    node.parent = loc.parentKey;
    node.order = nextOrder++;
    return node;
  }

  // Set-up only: creates the root and every missing folder of root + parts[0..n).
  std::wstring EnsureDirs(const Parsed& p, size_t n, int depth = 0) {
    if (depth > kMaxLinkHops) throw std::invalid_argument("link loop while creating folders");
    std::wstring key = LowerAscii(p.root);
    if (!Find(key)) {
      Node& root = nodes[key];
      root.dir = true;
      root.name = p.root;
      root.order = nextOrder++;
    }
    for (size_t i = 0; i < n; ++i) {
      std::wstring child = key + L"\\" + LowerAscii(p.parts[i]);
      Node* node = Find(child);
      if (!node) {
        Located loc;
        loc.parentKey = key;
        loc.name = p.parts[i];
        loc.key = child;
        node = &Create(loc, true);
      }
      if (!node->dir) throw std::invalid_argument("a file stands where a folder is wanted");
      if (node->reparse) {
        Parsed target = node->target;
        child = EnsureDirs(target, target.parts.size(), depth + 1);
      }
      key = child;
    }
    return key;
  }

  void Log(ChangeKind kind, const Parsed& p) { changes.push_back({kind, p.Display()}); }
};

namespace {

using State = FakeFileSystem::State;

class FakeReadStream : public IReadStream {
 public:
  explicit FakeReadStream(std::string data) : data_(std::move(data)) {}
  uint64_t Size() override { return data_.size(); }
  void ReadAt(uint64_t offset, void* buffer, size_t n) override {
    if (offset > data_.size() || n > data_.size() - offset) throw LauncherError(kEndOfFile);
    if (n) data_.copy(static_cast<char*>(buffer), n, static_cast<size_t>(offset));
  }

 private:
  std::string data_;  // the bytes as they were when the file was opened
};

class FakeWriteStream : public IWriteStream {
 public:
  FakeWriteStream(std::shared_ptr<State> state, std::wstring key)
      : state_(std::move(state)), key_(std::move(key)) {}
  ~FakeWriteStream() override { Release(); }
  void Write(const void* data, size_t n) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    Node* node = closed_ ? nullptr : state_->Find(key_);
    if (!node) throw LauncherError(L"The handle is invalid.");
    if (!state_->Take(n)) throw LauncherError(kDiskFull);
    node->data.append(static_cast<const char*>(data), n);
  }
  void Close() override { Release(); }

 private:
  void Release() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (closed_) return;
    closed_ = true;
    if (Node* node = state_->Find(key_)) --node->writers;
  }
  std::shared_ptr<State> state_;
  std::wstring key_;
  bool closed_ = false;
};

}  // namespace

FakeFileSystem::FakeFileSystem() : state_(std::make_shared<State>()) {
  AddDir(L"C:\\");
  AddDir(state_->tempPath);
}

FakeFileSystem::~FakeFileSystem() = default;

FileAttributes FakeFileSystem::GetAttributes(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  ++state_->attributeQueries[LowerAscii(path)];
  auto loc = state_->Locate(path);
  FileAttributes attributes;
  if (loc && loc->node) {
    attributes.exists = true;
    attributes.directory = loc->node->dir;
    attributes.reparsePoint = loc->node->reparse;
  }
  return attributes;
}

bool FakeFileSystem::CreateEmptyFile(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  auto loc = p ? state_->Locate(*p) : std::nullopt;
  if (!loc || !loc->parentNode || loc->parentNode->readOnly) return false;
  if (loc->node) {
    if (loc->node->dir || loc->node->writers > 0 || loc->node->holders > 0) return false;
    loc->node->data.clear();
  } else {
    state_->Create(*loc, false);
  }
  state_->Log(ChangeKind::CreateFile, *p);
  return true;
}

bool FakeFileSystem::DeleteFile(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  auto loc = p ? state_->Locate(*p) : std::nullopt;
  if (!loc || !loc->node || loc->node->dir || loc->node->writers > 0 || loc->node->holders > 0)
    return false;
  if (!loc->parentNode || loc->parentNode->readOnly) return false;
  state_->nodes.erase(loc->key);
  state_->Log(ChangeKind::DeleteFile, *p);
  return true;
}

bool FakeFileSystem::RemoveDirectory(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  auto loc = p ? state_->Locate(*p) : std::nullopt;
  if (!loc || !loc->node || !loc->node->dir) return false;
  if (!loc->parentNode || loc->parentNode->readOnly) return false;
  const std::wstring below = loc->key + L"\\";
  for (const auto& entry : state_->nodes)
    if (entry.first.compare(0, below.size(), below) == 0) return false;
  state_->nodes.erase(loc->key);
  state_->Log(ChangeKind::RemoveDirectory, *p);
  return true;
}

bool FakeFileSystem::CopyFile(const std::wstring& from, const std::wstring& to, bool failIfExists) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto source = state_->Locate(from);
  if (!source || !source->node || source->node->dir || source->node->writers > 0) return false;
  auto p = Parse(to);
  auto target = p ? state_->Locate(*p) : std::nullopt;
  if (!target || !target->parentNode || target->parentNode->readOnly) return false;
  if (target->key == source->key) return false;
  if (!state_->Take(source->node->data.size())) return false;
  if (target->node) {
    if (target->node->dir || failIfExists || target->node->writers > 0 || target->node->holders > 0)
      return false;
    target->node->data = source->node->data;
  } else {
    state_->Create(*target, false).data = source->node->data;  // map nodes stay in place
  }
  state_->Log(ChangeKind::CreateFile, *p);
  return true;
}

bool FakeFileSystem::CreateDirectory(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  auto loc = p ? state_->Locate(*p) : std::nullopt;
  if (!loc) return false;
  if (loc->node) return loc->node->dir;
  if (!loc->parentNode || loc->parentNode->readOnly) return false;  // also a missing root
  state_->Create(*loc, true);
  state_->Log(ChangeKind::CreateDirectory, *p);
  return true;
}

bool FakeFileSystem::CreateNewDirectory(const std::wstring& path) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto p = Parse(path);
    auto loc = p ? state_->Locate(*p) : std::nullopt;
    if (!loc || loc->node) return false;
  }
  return CreateDirectory(path);
}

std::unique_ptr<IReadStream> FakeFileSystem::OpenRead(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto loc = state_->Locate(path);
  if (!loc) throw LauncherError(kPathNotFound);
  if (!loc->node) throw LauncherError(kFileNotFound);
  if (loc->node->dir) throw LauncherError(kAccessDenied);
  if (loc->node->writers > 0) throw LauncherError(kSharingViolation);
  return std::make_unique<FakeReadStream>(loc->node->data);
}

std::unique_ptr<IWriteStream> FakeFileSystem::CreateWrite(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->failNextCreateWrite) {
    state_->failNextCreateWrite = false;
    throw LauncherError(kDiskError);
  }
  auto p = Parse(path);
  auto loc = p ? state_->Locate(*p) : std::nullopt;
  if (!loc || !loc->parentNode) throw LauncherError(kPathNotFound);
  if (loc->parentNode->readOnly) throw LauncherError(kAccessDenied);
  Node* node = loc->node;
  if (node) {
    if (node->dir) throw LauncherError(kAccessDenied);
    if (node->writers > 0 || node->holders > 0) throw LauncherError(kSharingViolation);
    node->data.clear();
  } else {
    node = &state_->Create(*loc, false);
  }
  ++node->writers;
  state_->Log(ChangeKind::CreateFile, *p);
  return std::make_unique<FakeWriteStream>(state_, loc->key);
}

bool FakeFileSystem::ListDirectory(const std::wstring& dir,
                                   const std::function<bool(const DirEntry&)>& visit) {
  std::vector<std::pair<uint64_t, DirEntry>> entries;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto p = Parse(dir);
    if (!p) return false;
    auto loc = state_->Locate(*p);
    if (!loc || !loc->node || loc->node->unlistable) return false;
    auto key = state_->ResolveDir(*p);
    if (!key) return false;
    if (state_->Find(*key)->unlistable) return false;
    for (const auto& [childKey, node] : state_->nodes) {
      if (node.parent != *key) continue;
      DirEntry entry;
      entry.name = node.name;
      entry.attributes = {true, node.dir, node.reparse};
      entries.emplace_back(node.order, entry);
    }
  }
  if (state_->onList) state_->onList(dir);
  // Visited without the lock, so visit may use this file system.
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& entry : entries)
    if (!visit(entry.second)) break;
  return true;
}

bool FakeFileSystem::AppendToFile(const std::wstring& path, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  auto loc = p ? state_->Locate(*p) : std::nullopt;
  if (!loc || !loc->parentNode || loc->parentNode->readOnly) return false;
  if (loc->node && (loc->node->dir || loc->node->writers > 0 || loc->node->holders > 0))
    return false;
  if (!state_->Take(bytes.size())) return false;
  Node& node = loc->node ? *loc->node : state_->Create(*loc, false);
  node.data += bytes;
  return true;
}

std::wstring FakeFileSystem::TempPath() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->tempPath;
}

std::wstring FakeFileSystem::TempFileName(const std::wstring& dir, const std::wstring& prefix) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(dir);
  auto key = p ? state_->ResolveDir(*p) : std::nullopt;
  if (!key) throw LauncherError(kInvalidDirectory);
  if (state_->Find(*key)->readOnly) throw LauncherError(kAccessDenied);
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  for (int attempt = 0; attempt < 0xFFFF; ++attempt) {
    state_->tempCounter = state_->tempCounter % 0xFFFF + 1;  // 1..FFFF, as GetTempFileNameW
    std::wstring name = prefix.substr(0, 3);
    for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(state_->tempCounter >> shift) & 0xF];
    name += L".tmp";
    State::Located loc;
    loc.parentKey = *key;
    loc.name = name;
    loc.key = *key + L"\\" + LowerAscii(name);
    if (state_->Find(loc.key)) continue;
    state_->Create(loc, false);
    std::wstring path = dir;
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += name;
    state_->changes.push_back({ChangeKind::CreateFile, Parse(path)->Display()});
    return path;
  }
  throw LauncherError(kFileExists);
}

void FakeFileSystem::AddFile(const std::wstring& path, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  if (!p || p->parts.empty()) throw std::invalid_argument("not a file path: " + ToUtf8(path));
  State::Located loc;
  loc.parentKey = state_->EnsureDirs(*p, p->parts.size() - 1);
  loc.name = p->parts.back();
  loc.key = loc.parentKey + L"\\" + LowerAscii(loc.name);
  Node* node = state_->Find(loc.key);
  if (node && node->dir) throw std::invalid_argument("a folder exists: " + ToUtf8(path));
  if (!node) node = &state_->Create(loc, false);
  node->data = bytes;
}

void FakeFileSystem::AddDir(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  if (!p) throw std::invalid_argument("not a folder path: " + ToUtf8(path));
  state_->EnsureDirs(*p, p->parts.size());
}

void FakeFileSystem::AddReparseDir(const std::wstring& path, const std::wstring& target) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  auto t = Parse(target);
  if (!p || p->parts.empty() || !t) throw std::invalid_argument("bad link: " + ToUtf8(path));
  State::Located loc;
  loc.parentKey = state_->EnsureDirs(*p, p->parts.size() - 1);
  loc.name = p->parts.back();
  loc.key = loc.parentKey + L"\\" + LowerAscii(loc.name);
  if (state_->Find(loc.key)) throw std::invalid_argument("exists: " + ToUtf8(path));
  Node& node = state_->Create(loc, true);
  node.reparse = true;
  node.target = *t;
}

void FakeFileSystem::SetReadOnlyDir(const std::wstring& path, bool readOnly) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto p = Parse(path);
  auto key = p ? state_->ResolveDir(*p) : std::nullopt;
  if (!key) throw std::invalid_argument("no such folder: " + ToUtf8(path));
  state_->Find(*key)->readOnly = readOnly;
}

void FakeFileSystem::SetUnlistable(const std::wstring& dir, bool unlistable) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto loc = state_->Locate(dir);
  if (!loc || !loc->node || !loc->node->dir)
    throw std::invalid_argument("no such folder: " + ToUtf8(dir));
  loc->node->unlistable = unlistable;
}

void FakeFileSystem::SetTempPath(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->tempPath = path;
}

void FakeFileSystem::SetSpaceLeft(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->spaceLeft = bytes;
}

void FakeFileSystem::SetOnList(std::function<void(const std::wstring& dir)> onList) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->onList = std::move(onList);
}

void FakeFileSystem::FailNextCreateWrite() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->failNextCreateWrite = true;
}

bool FakeFileSystem::Exists(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto loc = state_->Locate(path);
  return loc && loc->node;
}

int FakeFileSystem::AttributeQueries(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto it = state_->attributeQueries.find(LowerAscii(path));
  return it == state_->attributeQueries.end() ? 0 : it->second;
}

namespace {

// SHA-256 (FIPS 180-4), so that tests compare the real digests an admin would enter.
std::wstring Sha256Hex(const std::string& message) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
      0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
      0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
      0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
      0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
      0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
      0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
      0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string data = message;
  const uint64_t bits = static_cast<uint64_t>(message.size()) * 8;
  data += static_cast<char>(0x80);
  while (data.size() % 64 != 56) data += '\0';
  for (int i = 7; i >= 0; --i) data += static_cast<char>((bits >> (i * 8)) & 0xff);
  auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (size_t chunk = 0; chunk < data.size(); chunk += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = 0;
      for (int b = 0; b < 4; ++b)
        w[i] = (w[i] << 8) | static_cast<unsigned char>(data[chunk + i * 4 + b]);
    }
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      uint32_t t1 =
          hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring text;
  for (uint32_t word : h)
    for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(word >> shift) & 15];
  return text;
}

}  // namespace

namespace {

class FakeHeldFile : public IHeldFile {
 public:
  FakeHeldFile(std::shared_ptr<FakeFileSystem::State> state, std::wstring key)
      : state_(std::move(state)), key_(std::move(key)) {}
  ~FakeHeldFile() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (Node* node = state_->Find(key_)) --node->holders;
  }
  std::optional<std::wstring> Sha256() override {
    const std::optional<std::string> data = Contents();
    return data ? std::optional<std::wstring>(Sha256Hex(*data)) : std::nullopt;
  }
  std::optional<std::string> Contents() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    Node* node = state_->Find(key_);
    if (node == nullptr) return std::nullopt;
    return node->data;
  }

 private:
  std::shared_ptr<FakeFileSystem::State> state_;
  std::wstring key_;
};

}  // namespace

void FakeFileSystem::SetOnHold(std::function<void(const std::wstring& path)> onHold) {
  on_hold_ = std::move(onHold);
}

std::unique_ptr<IHeldFile> FakeFileSystem::HoldForRun(const std::wstring& path) {
  if (on_hold_) on_hold_(path);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto loc = state_->Locate(path);
  if (!loc || !loc->node || loc->node->dir || loc->node->writers > 0) return nullptr;
  ++loc->node->holders;
  ++holds_;
  return std::make_unique<FakeHeldFile>(state_, loc->key);
}

std::optional<std::wstring> FakeFileSystem::Sha256(const std::wstring& path) {
  std::string data;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto loc = state_->Locate(path);
    if (!loc || !loc->node || loc->node->dir) return std::nullopt;
    data = loc->node->data;
  }
  return Sha256Hex(data);
}

std::string FakeFileSystem::ReadFileText(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto loc = state_->Locate(path);
  if (!loc || !loc->node || loc->node->dir)
    throw std::invalid_argument("no such file: " + ToUtf8(path));
  return loc->node->data;
}

std::vector<FakeFileSystem::Change> FakeFileSystem::Changes() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->changes;
}

std::ostream& operator<<(std::ostream& out, const FakeFileSystem::Change& change) {
  static const char* const kKinds[] = {"create file", "create folder", "delete file",
                                       "remove folder"};
  return out << kKinds[static_cast<int>(change.kind)] << ' ' << ToUtf8(change.path);
}

void FakeFileSystem::ClearChanges() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->changes.clear();
}

}  // namespace zl
