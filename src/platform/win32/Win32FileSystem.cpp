#include "platform/win32/Win32FileSystem.h"

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Util.h"

#include <atomic>
#include <functional>
#include <vector>

namespace zl::win32 {

namespace {

FileAttributes FromAttributes(DWORD a) {
  FileAttributes result;
  if (a == INVALID_FILE_ATTRIBUTES) return result;
  result.exists = true;
  result.directory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  result.reparsePoint = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return result;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\"."; }

class ReadStream : public IReadStream {
 public:
  ReadStream(UniqueHandle file, std::wstring path)
      : file_(std::move(file)), path_(std::move(path)) {}

  uint64_t Size() override {
    DWORD high = 0;
    const DWORD low = ::GetFileSize(file_.Get(), &high);
    if (low == INVALID_FILE_SIZE) {
      const DWORD error = ::GetLastError();
      if (error != NO_ERROR) ThrowWithSystemMessage(L"Cannot read file " + Quoted(path_), error);
    }
    return (static_cast<uint64_t>(high) << 32) | low;
  }

  void ReadAt(uint64_t offset, void* buffer, size_t n) override {
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD low =
        ::SetFilePointer(file_.Get(), static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER) {
      const DWORD error = ::GetLastError();
      if (error != NO_ERROR) ThrowWithSystemMessage(L"Cannot read file " + Quoted(path_), error);
    }
    auto* out = static_cast<BYTE*>(buffer);
    // ReadFile may return fewer bytes than asked (pipes, network files); zero means the end.
    while (n > 0) {
      const DWORD chunk = n > 0x10000000u ? 0x10000000u : static_cast<DWORD>(n);
      DWORD got = 0;
      if (!::ReadFile(file_.Get(), out, chunk, &got, nullptr))
        ThrowWithSystemMessage(L"Cannot read file " + Quoted(path_), ::GetLastError());
      if (got == 0) ThrowWithSystemMessage(L"Cannot read file " + Quoted(path_), ERROR_HANDLE_EOF);
      out += got;
      n -= got;
    }
  }

 private:
  UniqueHandle file_;
  std::wstring path_;
};

class WriteStream : public IWriteStream {
 public:
  WriteStream(UniqueHandle file, std::wstring path)
      : file_(std::move(file)), path_(std::move(path)) {}

  void Write(const void* data, size_t n) override {
    if (!file_) ThrowWithSystemMessage(L"Cannot write file " + Quoted(path_), ERROR_INVALID_HANDLE);
    const auto* in = static_cast<const BYTE*>(data);
    while (n > 0) {
      const DWORD chunk = n > 0x10000000u ? 0x10000000u : static_cast<DWORD>(n);
      DWORD put = 0;
      if (!::WriteFile(file_.Get(), in, chunk, &put, nullptr))
        ThrowWithSystemMessage(L"Cannot write file " + Quoted(path_), ::GetLastError());
      if (put == 0)
        ThrowWithSystemMessage(L"Cannot write file " + Quoted(path_), ERROR_WRITE_FAULT);
      in += put;
      n -= put;
    }
  }

  void Close() override {
    if (!file_) return;
    // A network or full disk may refuse the data only when the handle is closed.
    if (!file_.Close())
      ThrowWithSystemMessage(L"Cannot write file " + Quoted(path_), ::GetLastError());
  }

 private:
  UniqueHandle file_;
  std::wstring path_;
};

// Windows 6.1 and later fill larger batches per round trip on a share (and skip the 8.3 name
// nobody here reads); earlier versions refuse both with ERROR_INVALID_PARAMETER, and from then on
// the plain call is made.
HANDLE FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
  static std::atomic<bool> plain{false};
  if (!plain.load(std::memory_order_relaxed)) {
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_INVALID_PARAMETER) return find;
    plain.store(true, std::memory_order_relaxed);
  }
  return ::FindFirstFileW(pattern.c_str(), &data);
}

bool EndsWithSeparator(const std::wstring& path) {
  return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

}  // namespace

FileAttributes Win32FileSystem::GetAttributes(const std::wstring& path) {
  return FromAttributes(::GetFileAttributesW(path.c_str()));
}

bool Win32FileSystem::CreateEmptyFile(const std::wstring& path) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid();
}

bool Win32FileSystem::DeleteFile(const std::wstring& path) {
  return ::DeleteFileW(path.c_str()) != FALSE;
}

bool Win32FileSystem::RemoveDirectory(const std::wstring& path) {
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

bool Win32FileSystem::CopyFile(const std::wstring& from, const std::wstring& to,
                               bool failIfExists) {
  return ::CopyFileW(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool Win32FileSystem::CreateNewDirectory(const std::wstring& path) {
  return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool Win32FileSystem::CreateDirectory(const std::wstring& path) {
  ::CreateDirectoryW(path.c_str(), nullptr);
  const FileAttributes a = GetAttributes(path);
  return a.exists && a.directory;
}

std::unique_ptr<IReadStream> Win32FileSystem::OpenRead(const std::wstring& path) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowWithSystemMessage(L"Cannot open file " + Quoted(path), ::GetLastError());
  return std::make_unique<ReadStream>(std::move(file), path);
}

std::unique_ptr<IWriteStream> Win32FileSystem::CreateWrite(const std::wstring& path) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowWithSystemMessage(L"Cannot create file " + Quoted(path), ::GetLastError());
  return std::make_unique<WriteStream>(std::move(file), path);
}

bool Win32FileSystem::ListDirectory(const std::wstring& dir,
                                    const std::function<bool(const DirEntry&)>& visit) {
  const std::wstring pattern = dir + (EndsWithSeparator(dir) ? L"*" : L"\\*");
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirst(pattern, data));
  if (!find) {
    // A drive's root has no "." or "..", so an empty one reports "not found" yet lists fine.
    const DWORD error = ::GetLastError();
    const FileAttributes a = GetAttributes(dir);
    return error == ERROR_FILE_NOT_FOUND && a.exists && a.directory;
  }
  for (;;) {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") {
      DirEntry entry;
      entry.name = name;
      entry.attributes = FromAttributes(data.dwFileAttributes);
      if (!visit(entry)) return true;
    }
    // Only "no more files" ends a listing: any other error (the share went away, the folder was
    // removed meanwhile) leaves it incomplete.
    if (!::FindNextFileW(find.Get(), &data)) return ::GetLastError() == ERROR_NO_MORE_FILES;
  }
}

bool Win32FileSystem::AppendToFile(const std::wstring& path, const std::string& bytes) {
  // FILE_APPEND_DATA alone: every write lands at the end, also beside other writers.
  UniqueHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD put = 0;
  return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size();
}

std::wstring Win32FileSystem::TempPath() {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  std::wstring path;
  for (;;) {
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return std::wstring();
    if (n < buffer.size()) {
      path.assign(buffer.data(), n);
      break;
    }
    buffer.resize(n + 1);
  }
  // TMP often holds an 8.3 form (C:\DOCUME~1\...): the long form is what reaches installers'
  // command lines. A path that cannot be expanded (a missing folder) stays as it is.
  for (;;) {
    const DWORD n =
        ::GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return path;
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

namespace {

// Reads the whole file from its start through handle, handing each chunk to take; false when a
// read fails or take refuses.
bool ReadWhole(HANDLE file, const std::function<bool(const BYTE*, DWORD)>& take) {
  if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      ::GetLastError() != NO_ERROR)
    return false;
  std::vector<BYTE> buffer(1 << 20);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      return false;
    if (got == 0) return true;
    if (!take(buffer.data(), got)) return false;
  }
}

// SHA-256 of the file from its start through handle, which must allow reading.
std::optional<std::wstring> HashOf(HANDLE file) {
  // PROV_RSA_AES has SHA-256 from XP SP3 on, where the provider's name differs from later
  // versions: no name, the type's default provider.
  UniqueCryptProvider provider;
  if (!::CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    return std::nullopt;
  UniqueCryptHash hash;
  // CALG_SHA_256: declared for XP SP3 targets and later only; ours is plain XP.
  constexpr ALG_ID kCalgSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;
  if (!::CryptCreateHash(provider.Get(), kCalgSha256, 0, 0, hash.Put())) return std::nullopt;
  if (!ReadWhole(file, [&](const BYTE* data, DWORD n) {
        return ::CryptHashData(hash.Get(), data, n, 0) != FALSE;
      }))
    return std::nullopt;
  BYTE digest[32];
  DWORD size = sizeof digest;
  if (!::CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &size, 0) || size != sizeof digest)
    return std::nullopt;
  static const wchar_t kHex[] = L"0123456789abcdef";
  std::wstring text;
  for (BYTE b : digest) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

class HeldFile : public IHeldFile {
 public:
  explicit HeldFile(UniqueHandle file) : file_(std::move(file)) {}
  std::optional<std::wstring> Sha256() override { return HashOf(file_.Get()); }
  std::optional<std::string> Contents() override {
    std::string bytes;
    if (!ReadWhole(file_.Get(), [&](const BYTE* data, DWORD n) {
          bytes.append(reinterpret_cast<const char*>(data), n);
          return true;
        }))
      return std::nullopt;
    return bytes;
  }

 private:
  UniqueHandle file_;
};

}  // namespace

// Opened as for a run: the read sharing the hash needs is the same.
std::optional<std::wstring> Win32FileSystem::Sha256(const std::wstring& path) {
  const std::unique_ptr<IHeldFile> held = HoldForRun(path);
  return held ? held->Sha256() : std::nullopt;
}

std::unique_ptr<IHeldFile> Win32FileSystem::HoldForRun(const std::wstring& path) {
  // Read sharing only: a writer, a rename or a delete by anyone else fails until the handle
  // goes, while msiexec and the loader, which only read, still open the file.
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  return std::make_unique<HeldFile>(std::move(file));
}

std::wstring Win32FileSystem::TempFileName(const std::wstring& dir, const std::wstring& prefix) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(dir.c_str(), prefix.c_str(), 0, buffer) == 0)
    ThrowWithSystemMessage(L"Cannot create a temporary file in " + Quoted(dir), ::GetLastError());
  return buffer;
}

}  // namespace zl::win32
