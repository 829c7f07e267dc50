#pragma once
// Small text helpers shared by the logic. Letter-case changes touch only ASCII letters, as the
// launcher's path tests do.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace zl {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

std::wstring LowerAscii(std::wstring text);
std::wstring UpperAscii(std::wstring text);
bool Contains(const std::wstring& text, const std::wstring& part);
bool StartsWith(const std::wstring& text, const std::wstring& prefix);

// Replaces each "%s" in order with the next argument, as plain text.
std::wstring FormatS(const std::wstring& pattern, std::initializer_list<std::wstring> args);

// Decimal text of a signed 32-bit value, with a minus sign when negative.
std::wstring IntToText(int32_t value);

}  // namespace zl
