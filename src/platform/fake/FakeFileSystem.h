#pragma once
// An in-memory IFileSystem with Windows path rules, for the native tests.
//
// Paths: "X:\dir\file" and "\\server\share\dir\file"; '/' is read as '\', empty and "."
// components are dropped and ".." goes up (never above the root), as Win32 normalises. Lookups
// ignore ASCII letter case; listings show names as created. Relative and drive-relative paths
// name nothing. A drive or "\\server\share" root exists only once created (the constructor
// creates C:\ and the temp folder C:\Temp\); "\\server" alone is never a folder.
//
// Sharing: a file open for writing cannot be opened, overwritten, copied or deleted until its
// stream is closed or destroyed, as CreateFileW without sharing behaves. A file held for a run
// can be read and copied, but not overwritten, appended to or deleted until its holder goes.
// Written bytes are visible at once (GetAttributes, ReadFileText) while the stream is still open.
//
// A read-only folder refuses every change to its own entries (new files, new folders, copies
// into it, deletions); its subfolders are not affected.
//
// Reparse folders: AddReparseDir makes a folder entry marked as a link whose contents are the
// target's. Paths through it are followed; a chain deeper than 32 links names nothing.
//
// Streams share the state, so they may outlive the object. All operations are thread-safe.

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zl {

class FakeFileSystem : public IFileSystem {
 public:
  enum class ChangeKind { CreateFile, CreateDirectory, DeleteFile, RemoveDirectory };
  struct Change {
    ChangeKind kind;
    std::wstring path;  // normalised, as the caller spelled it
    bool operator==(const Change& other) const { return kind == other.kind && path == other.path; }
    // Readable failures in the tests.
    friend std::ostream& operator<<(std::ostream& out, const Change& change);
  };

  FakeFileSystem();
  ~FakeFileSystem() override;

  // ---- IFileSystem
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
  // Names "<first three letters of prefix><4 hex digits>.tmp" from a counter, skipping names in
  // use.
  std::wstring TempFileName(const std::wstring& dir, const std::wstring& prefix) override;

  // ---- test set-up and inspection (not recorded as changes; throw std::invalid_argument on
  // a path that cannot name a file)
  // Creates the missing parent folders (and root), replaces an existing file.
  void AddFile(const std::wstring& path, const std::string& bytes);
  void AddDir(const std::wstring& path);
  // A folder entry that is a link to target (which need not exist yet); parents are created.
  void AddReparseDir(const std::wstring& path, const std::wstring& target);
  void SetReadOnlyDir(const std::wstring& path, bool readOnly);
  void SetUnlistable(const std::wstring& dir, bool unlistable = true);
  // Does not create the folder; the default C:\Temp\ exists.
  void SetTempPath(const std::wstring& path);
  // The next CreateWrite throws as a disk error would.
  void FailNextCreateWrite();
  // Bytes that may still be written or copied on every drive; a write that does not fit throws
  // as a full disk does, a copy fails. Deleting gives nothing back.
  void SetSpaceLeft(uint64_t bytes);
  // Called with the folder at each ListDirectory, after its entries were read and before they
  // are visited (a folder that changes while it is walked).
  void SetOnList(std::function<void(const std::wstring& dir)> onList);
  // Called with the path at each HoldForRun, before the file is held (a file changed between
  // its writing and its hold).
  void SetOnHold(std::function<void(const std::wstring& path)> onHold);

  bool Exists(const std::wstring& path);
  // How often GetAttributes was asked about path (spelled in any case).
  int AttributeQueries(const std::wstring& path);
  // The file's bytes; throws std::invalid_argument when there is no such file.
  std::string ReadFileText(const std::wstring& path);
  // Every file created or truncated, folder created and file deleted through IFileSystem, in
  // order.
  std::vector<Change> Changes();
  void ClearChanges();
  // How many files were held for a run.
  int Holds() const { return holds_; }

  struct State;  // internal; shared with the open streams

 private:
  std::shared_ptr<State> state_;
  int holds_ = 0;
  std::function<void(const std::wstring& path)> on_hold_;
};

}  // namespace zl
