#pragma once
// Path operations on Windows paths (backslashes, drive colons, UNC shares). Text only: nothing
// here touches the file system.

#include <string>

namespace zl {

// The folder part with its final backslash: "\\srv\share\Velmont\" of
// "\\srv\share\Velmont\Velmont.exe"; a trailing backslash of the path itself is ignored. Empty
// for a bare name.
std::wstring GetDir(const std::wstring& filePath);
// The last component, without a trailing backslash; the path itself when it has no folder.
std::wstring GetFile(const std::wstring& filePath);
// The folder part of a path with its final backslash (or drive colon); empty without one.
std::wstring ExtractFilePath(const std::wstring& path);
// The extension of a path's last component, from its last dot, dot included; empty without one.
std::wstring ExtractFileExt(const std::wstring& path);
// The path with the text after its extension's dot replaced by ext; a name without a dot gets
// one first.
std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& ext);
// dir and name with one backslash between them.
std::wstring JoinPath(const std::wstring& dir, const std::wstring& name);
// The server part of a UNC path ("srv01" of "\\srv01\zelkora$\..."); empty for other paths.
std::wstring GetShareServerName(const std::wstring& filePath);

}  // namespace zl
