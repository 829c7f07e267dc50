#pragma once
// The registry through advapi32, in the view the caller names.

#include "platform/win32/Win32Api.h"
#include "platform/Platform.h"

namespace zl::win32 {

class Win32Registry : public IRegistry {
 public:
  bool KeyExists(RegRoot root, const std::wstring& key, RegView view) override;
  RegValue ReadValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                     RegView view) override;
  bool CreateKey(RegRoot root, const std::wstring& key, RegView view) override;
  bool WriteString(RegRoot root, const std::wstring& key, const std::wstring& name,
                   const std::wstring& value, RegView view) override;
  bool WriteDword(RegRoot root, const std::wstring& key, const std::wstring& name, uint32_t value,
                  RegView view) override;
  bool DeleteValue(RegRoot root, const std::wstring& key, const std::wstring& name,
                   RegView view) override;
  std::vector<std::wstring> SubKeys(RegRoot root, const std::wstring& key, RegView view) override;
  bool DeleteKey(RegRoot root, const std::wstring& key, RegView view) override;
};

}  // namespace zl::win32
