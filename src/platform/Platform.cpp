#include "platform/Platform.h"

#include "utils/Text.h"

namespace zl {

LauncherError::LauncherError(std::wstring message)
    : message_(std::move(message)), narrow_(ToUtf8(message_)) {}

namespace {
PlatformServices g_platform;
}

PlatformServices& Platform() { return g_platform; }

void InstallPlatform(const PlatformServices& services) { g_platform = services; }

}  // namespace zl
