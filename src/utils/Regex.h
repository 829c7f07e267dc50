#pragma once
// A compiled PCRE2 pattern over std::wstring. The code-unit width follows wchar_t (16 bits on
// Windows, 32 natively), so text goes in without conversion. Code units are matched as
// characters (no UTF mode): a lone surrogate in a file name must not turn a match into an error.

#include <optional>
#include <string>
#include <vector>

namespace zl {

class Regex {
 public:
  // Throws LauncherError with PCRE2's message when the pattern does not compile.
  explicit Regex(const std::wstring& pattern, bool caseless = false);
  ~Regex();
  Regex(Regex&& other) noexcept;
  Regex& operator=(Regex&& other) noexcept;
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // The pattern occurs anywhere in subject (anchored only where the pattern anchors).
  bool Search(const std::wstring& subject) const;
  // Groups 0..n of the leftmost match; a group that took no part reads as empty text.
  std::optional<std::vector<std::wstring>> Match(const std::wstring& subject) const;

 private:
  // The pcre2_code of wchar_t's width; opaque so that users need not include pcre2.h. Shared
  // read-only between threads, each call brings its own match data.
  void* code_ = nullptr;
  std::wstring pattern_;
};

}  // namespace zl
