#pragma once
// Typed registry reads and writes with the launcher's error texts. A value stored with another
// type than expected is an error that names the value; a missing value is not.

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zl {

// REG_SZ, or REG_EXPAND_SZ read without expansion.
std::optional<std::wstring> ReadStringValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                                            const std::wstring& name, RegView view);
// REG_MULTI_SZ.
std::optional<std::vector<std::wstring>> ReadMultiStringValue(IRegistry& reg, RegRoot root,
                                                              const std::wstring& key,
                                                              const std::wstring& name,
                                                              RegView view);
std::optional<uint32_t> ReadDwordValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                                       const std::wstring& name, RegView view);
void WriteStringValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                      const std::wstring& name, const std::wstring& value, RegView view);
void WriteDwordValue(IRegistry& reg, RegRoot root, const std::wstring& key,
                     const std::wstring& name, uint32_t value, RegView view);

// Deletes the key with everything below it: subkeys first, depth first, last to first.
// Failures are ignored; returns whether the key is gone.
bool DeleteKeyTree(IRegistry& reg, RegRoot root, const std::wstring& key, RegView view);

}  // namespace zl
