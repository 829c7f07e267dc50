#pragma once
// Extraction of ZIP archives (stored and deflated members) through the platform's file system.

#include <string>

#include "platform/Platform.h"

namespace zl {

// Extracts every member of archivePath into targetDir, in central-directory order, creating
// targetDir and the members' folders as needed and overwriting existing files. The whole
// directory is checked first (unsafe paths, encryption, methods other than stored and deflate,
// ZIP64): if any member fails, nothing is written. Damaged data, a size or CRC-32 mismatch
// found while extracting stop there and leave the earlier members in place; the failing file is
// removed. Every failure raises LauncherError naming the archive and, where one is at fault,
// the member.
void ExtractZip(IFileSystem& fs, const std::wstring& archivePath, const std::wstring& targetDir);

}  // namespace zl
