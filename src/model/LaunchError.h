#pragma once
// The findings of one run: each check adds what it found; the launch sequence's report reads them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zl {

enum class ErrorSeverity : uint8_t { Warning, Critical, Crystal, Barcode, Braille };

class LaunchError {
 public:
  LaunchError(std::wstring msg, ErrorSeverity severe)
      : message_(std::move(msg)), severity_(severe) {}
  const std::wstring& Message() const { return message_; }
  ErrorSeverity Severity() const { return severity_; }

 private:
  std::wstring message_;
  ErrorSeverity severity_;
};

class LaunchErrorList {
 public:
  bool IsFatal() const { return is_fatal_; }
  void SetFatal(bool fatal) { is_fatal_ = fatal; }

  // Appends the finding; a critical one makes the run fatal for good.
  void AddError(std::shared_ptr<LaunchError> err);
  // The plain add of the list: leaves the fatal flag alone.
  void Add(std::shared_ptr<LaunchError> err);
  int Count() const { return static_cast<int>(items_.size()); }
  LaunchError* Items(int i) const { return items_.at(static_cast<size_t>(i)).get(); }
  // Removes the first occurrence of err, searched from the front; nothing when absent.
  void Remove(const LaunchError* err);

 private:
  bool is_fatal_ = false;
  std::vector<std::shared_ptr<LaunchError>> items_;
};

// Helpers the checks use to add a finding in one line.
void AddFinding(LaunchErrorList& list, const std::wstring& message, ErrorSeverity severity);

}  // namespace zl
