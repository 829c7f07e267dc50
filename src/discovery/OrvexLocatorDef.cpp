#include "discovery/OrvexLocatorDef.h"

namespace zl {

// The server locator arrives with its own change; until then step 2 keeps the configured
// address as it is.
void TOrvexLocator::Locate(TLaunchErrorList&) {}

}  // namespace zl
