#pragma once
// Files and folders through kernel32, with wide paths.

#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

namespace zl::win32 {

class Win32FileSystem : public IFileSystem {
 public:
  FileAttributes GetAttributes(const std::wstring& path) override;
  bool CreateEmptyFile(const std::wstring& path) override;
  bool DeleteFile(const std::wstring& path) override;
  bool RemoveDirectory(const std::wstring& path) override;
  bool CopyFile(const std::wstring& from, const std::wstring& to, bool failIfExists) override;
  bool CreateDirectory(const std::wstring& path) override;
  bool CreateNewDirectory(const std::wstring& path) override;
  std::unique_ptr<IReadStream> OpenRead(const std::wstring& path) override;
  std::unique_ptr<IWriteStream> CreateWrite(const std::wstring& path) override;
  bool ListDirectory(const std::wstring& dir,
                     const std::function<bool(const DirEntry&)>& visit) override;
  std::optional<std::wstring> Sha256(const std::wstring& path) override;
  std::unique_ptr<IHeldFile> HoldForRun(const std::wstring& path) override;
  bool AppendToFile(const std::wstring& path, const std::string& bytes) override;
  std::wstring TempPath() override;
  std::wstring TempFileName(const std::wstring& dir, const std::wstring& prefix) override;
};

}  // namespace zl::win32
