#include "checks/ProgramLocatorDef.h"

namespace zl {

// The application locator arrives with its own change; until then step 4 keeps the configured
// location as it is.
void TProgramLocator::Locate(TLaunchErrorList&) {}

}  // namespace zl
