#include "utils/Regex.h"

#include <cwchar>
#include <utility>

#if WCHAR_MAX > 0xFFFF
#define PCRE2_CODE_UNIT_WIDTH 32
#else
#define PCRE2_CODE_UNIT_WIDTH 16
#endif
#include <pcre2.h>

#include "platform/Platform.h"
#include "utils/Text.h"

namespace zl {

static_assert(sizeof(PCRE2_UCHAR) == sizeof(wchar_t), "PCRE2 code units must be wchar_t wide");

namespace {

pcre2_code* Code(void* code) { return static_cast<pcre2_code*>(code); }

PCRE2_SPTR Units(const std::wstring& text) { return reinterpret_cast<PCRE2_SPTR>(text.c_str()); }

std::wstring ErrorText(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
  if (n < 0) return L"error " + IntToText(code);
  return std::wstring(reinterpret_cast<const wchar_t*>(buffer), static_cast<size_t>(n));
}

struct MatchData {
  explicit MatchData(const pcre2_code* code)
      : data(pcre2_match_data_create_from_pattern(code, nullptr)) {
    if (!data) throw LauncherError(L"Out of memory while matching a regular expression.");
  }
  ~MatchData() { pcre2_match_data_free(data); }
  MatchData(const MatchData&) = delete;
  MatchData& operator=(const MatchData&) = delete;
  pcre2_match_data* data;
};

// Returns the pcre2_match result: > 0 on a match, 0 never (the match data fits the pattern),
// PCRE2_ERROR_NOMATCH when absent; other failures (match limits) are raised.
int Run(const pcre2_code* code, const std::wstring& pattern, const std::wstring& subject,
        pcre2_match_data* data) {
  int rc = pcre2_match(code, Units(subject), subject.size(), 0, 0, data, nullptr);
  if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
    throw LauncherError(L"The regular expression \"" + pattern + L"\" failed: " + ErrorText(rc));
  }
  return rc;
}

}  // namespace

Regex::Regex(const std::wstring& pattern, bool caseless) : pattern_(pattern) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  code_ = pcre2_compile(Units(pattern), pattern.size(), caseless ? PCRE2_CASELESS : 0, &error,
                        &offset, nullptr);
  if (!code_) {
    throw LauncherError(L"The regular expression \"" + pattern + L"\" is invalid at offset " +
                        IntToText(static_cast<int32_t>(offset)) + L": " + ErrorText(error));
  }
}

Regex::~Regex() { pcre2_code_free(Code(code_)); }

Regex::Regex(Regex&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)), pattern_(std::move(other.pattern_)) {}

Regex& Regex::operator=(Regex&& other) noexcept {
  if (this != &other) {
    pcre2_code_free(Code(code_));
    code_ = std::exchange(other.code_, nullptr);
    pattern_ = std::move(other.pattern_);
  }
  return *this;
}

bool Regex::Search(const std::wstring& subject) const {
  if (!code_) throw LauncherError(L"A moved-from regular expression was used.");
  MatchData md(Code(code_));
  return Run(Code(code_), pattern_, subject, md.data) > 0;
}

std::optional<std::vector<std::wstring>> Regex::Match(const std::wstring& subject) const {
  if (!code_) throw LauncherError(L"A moved-from regular expression was used.");
  MatchData md(Code(code_));
  if (Run(Code(code_), pattern_, subject, md.data) <= 0) return std::nullopt;

  uint32_t groups = 0;
  pcre2_pattern_info(Code(code_), PCRE2_INFO_CAPTURECOUNT, &groups);
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(md.data);
  std::vector<std::wstring> result;
  result.reserve(groups + 1);
  for (uint32_t i = 0; i <= groups; ++i) {
    PCRE2_SIZE start = ovector[2 * i];
    PCRE2_SIZE end = ovector[2 * i + 1];
    // An unset group carries PCRE2_UNSET in both; \K can even put the end before the start.
    if (start == PCRE2_UNSET || end == PCRE2_UNSET || end < start) {
      result.emplace_back();
    } else {
      result.push_back(subject.substr(start, end - start));
    }
  }
  return result;
}

}  // namespace zl
