#include "model/LaunchError.h"

#include <algorithm>

#include "model/Trace.h"

namespace zl {

void LaunchErrorList::AddError(std::shared_ptr<LaunchError> err) {
  bool critical = err->Severity() == ErrorSeverity::Critical;
  items_.push_back(std::move(err));
  if (critical) is_fatal_ = true;
}

void LaunchErrorList::Add(std::shared_ptr<LaunchError> err) { items_.push_back(std::move(err)); }

void LaunchErrorList::Remove(const LaunchError* err) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [err](const std::shared_ptr<LaunchError>& p) { return p.get() == err; });
  if (it != items_.end()) items_.erase(it);
}

void AddFinding(LaunchErrorList& list, const std::wstring& message, ErrorSeverity severity) {
  static const wchar_t* const kKinds[] = {L"warning", L"critical", L"offer (report viewer)",
                                          L"offer (barcode fonts)", L"offer (braille fonts)"};
  Trace::Line(std::wstring(L"Finding, ") + kKinds[static_cast<int>(severity)] + L": " + message);
  list.AddError(std::make_unique<LaunchError>(message, severity));
}

}  // namespace zl
