// The ZIP reader on arbitrary archives: it may refuse one only with LauncherError, and whatever
// it writes must stay inside the target folder.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/fake/FakeFileSystem.h"
#include "utils/Text.h"
#include "utils/ZipArchive.h"

namespace {

const std::wstring kArchive = L"C:\\dl\\pkg.zip";
const std::wstring kTarget = L"C:\\out";

bool InsideTarget(const std::wstring& path) {
  const std::wstring lower = zl::LowerAscii(path);
  return lower == L"c:\\out" || lower.compare(0, 7, L"c:\\out\\") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zl::FakeFileSystem fs;
  fs.AddFile(kArchive, std::string(reinterpret_cast<const char*>(data), size));
  fs.ClearChanges();
  try {
    zl::ExtractZip(fs, kArchive, kTarget);
  } catch (const zl::LauncherError& e) {
    if (e.Message().find(kArchive) == std::wstring::npos) __builtin_trap();
  }
  for (const auto& change : fs.Changes())
    if (!InsideTarget(change.path)) __builtin_trap();
  return 0;
}
