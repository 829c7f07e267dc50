#include "launcher/ErrorUtils.h"

#include <algorithm>

namespace zl {

void TLaunchErrorList::AddError(std::shared_ptr<TLaunchError> err) {
  bool critical = err->FSeverity == esCritical;
  items_.push_back(std::move(err));
  if (critical) FIsFatal = true;
}

void TLaunchErrorList::Add(std::shared_ptr<TLaunchError> err) { items_.push_back(std::move(err)); }

void TLaunchErrorList::Remove(const TLaunchError* err) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [err](const std::shared_ptr<TLaunchError>& p) { return p.get() == err; });
  if (it != items_.end()) items_.erase(it);
}

void AddFinding(TLaunchErrorList& list, const std::wstring& message, TErrorSeverity severity) {
  list.AddError(std::make_unique<TLaunchError>(message, severity));
}

}  // namespace zl
