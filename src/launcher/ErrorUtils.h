#pragma once
// The findings of one run: each check adds what it found; the launch sequence's report reads them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zl {

enum TErrorSeverity : uint8_t { esWarning, esCritical, esCrystal, esBarcode, esBraille };

class TLaunchError {
 public:
  TLaunchError(std::wstring msg, TErrorSeverity severe)
      : FMessage(std::move(msg)), FSeverity(severe) {}
  const std::wstring FMessage;
  const TErrorSeverity FSeverity;
};

class TLaunchErrorList {
 public:
  bool FIsFatal = false;

  // Appends the finding; a critical one makes the run fatal for good.
  void AddError(std::shared_ptr<TLaunchError> err);
  // The plain add of the list: leaves FIsFatal alone.
  void Add(std::shared_ptr<TLaunchError> err);
  int Count() const { return static_cast<int>(items_.size()); }
  TLaunchError* Items(int i) const { return items_.at(static_cast<size_t>(i)).get(); }
  // Removes the first occurrence of err, searched from the front; nothing when absent.
  void Remove(const TLaunchError* err);

 private:
  std::vector<std::shared_ptr<TLaunchError>> items_;
};

// Helpers the checks use to add a finding in one line.
void AddFinding(TLaunchErrorList& list, const std::wstring& message, TErrorSeverity severity);

}  // namespace zl
