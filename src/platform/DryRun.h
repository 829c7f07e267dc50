#pragma once
// Dry-run adapters for the check-only doctor: reads go to the real adapter, every change is
// recorded as one line of text instead of being made, and reported as done, so the logic goes on
// as it would after a successful write. A value written as it already is, is no change. Nothing
// is started: every shell request is recorded.

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zl {

// What the dry-run adapters would have changed, in order ("write HKCU\...\Name", ...).
class ChangeLog {
 public:
  void Add(std::wstring change) { changes_.push_back(std::move(change)); }
  const std::vector<std::wstring>& Changes() const { return changes_; }

 private:
  std::vector<std::wstring> changes_;
};

// "HKCU\key" (with " (64-bit view)" or " (32-bit view)" where a view is asked for).
std::wstring RegistryPath(RegRoot root, const std::wstring& key, RegView view);

class DryRunRegistry : public IRegistry {
 public:
  DryRunRegistry(IRegistry& inner, ChangeLog& log) : inner_(inner), log_(log) {}
  bool KeyExists(RegRoot root, const std::wstring& key, RegView view) override {
    return inner_.KeyExists(root, key, view);
  }
  RegValue ReadValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                     RegView view) override {
    return inner_.ReadValue(root, key, name, view);
  }
  std::vector<std::wstring> SubKeys(RegRoot root, const std::wstring& key, RegView view) override {
    return inner_.SubKeys(root, key, view);
  }
  bool CreateKey(RegRoot root, const std::wstring& key, RegView view) override;
  bool WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                   const std::wstring& value, RegView view) override;
  bool WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name, uint32_t value,
                  RegView view) override;
  bool DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                   RegView view) override;
  bool DeleteKey(RegRoot root, const std::wstring& key, RegView view) override;

 private:
  IRegistry& inner_;
  ChangeLog& log_;
};

class DryRunFileSystem : public IFileSystem {
 public:
  DryRunFileSystem(IFileSystem& inner, ChangeLog& log) : inner_(inner), log_(log) {}
  FileAttributes GetAttributes(const std::wstring& path) override {
    return inner_.GetAttributes(path);
  }
  std::unique_ptr<IReadStream> OpenRead(const std::wstring& path) override {
    return inner_.OpenRead(path);
  }
  bool ListDirectory(const std::wstring& dir,
                     const std::function<bool(const DirEntry&)>& visit) override {
    return inner_.ListDirectory(dir, visit);
  }
  std::optional<std::wstring> Sha256(const std::wstring& path) override {
    return inner_.Sha256(path);
  }
  std::wstring TempPath() override { return inner_.TempPath(); }
  bool CreateEmptyFile(const std::wstring& path) override;
  bool DeleteFile(const std::wstring& path) override;
  bool RemoveDirectory(const std::wstring& path) override;
  bool CopyFile(const std::wstring& from, const std::wstring& to, bool failIfExists) override;
  bool CreateDirectory(const std::wstring& path) override;
  std::unique_ptr<IWriteStream> CreateWrite(const std::wstring& path) override;
  bool AppendToFile(const std::wstring& path, const std::string& bytes) override;
  // A name in dir that is not created: the real call would make the file.
  std::wstring TempFileName(const std::wstring& dir, const std::wstring& prefix) override;

 private:
  IFileSystem& inner_;
  ChangeLog& log_;
  unsigned next_name_ = 0;
};

class DryRunShell : public IShell {
 public:
  explicit DryRunShell(ChangeLog& log) : log_(log) {}
  // Recorded, except folder probes; answered as a start that failed, as for a file that is
  // not there.
  ShellStart ShellExecuteEx(const ShellExecuteRequest& request) override;
  void ShellExecute(const std::wstring& verb, const std::wstring& file,
                    const std::wstring& parameters, const std::wstring& directory,
                    int show) override;

 private:
  ChangeLog& log_;
};

}  // namespace zl
