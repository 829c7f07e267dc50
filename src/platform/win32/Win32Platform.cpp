#include "platform/win32/Win32Platform.h"

#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Http.h"
#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32Shell.h"
#include "platform/win32/Win32System.h"

namespace zl::win32 {

Win32UserInterface& Win32Ui() {
  static Win32UserInterface ui;
  return ui;
}

PlatformServices Win32Platform() {
  static Win32Registry registry;
  static Win32FileSystem files;
  static Win32Shell shell;
  static Win32System system;
  static Win32Http http;
  static Win32Network network;
  PlatformServices services;
  services.registry = &registry;
  services.files = &files;
  services.shell = &shell;
  services.system = &system;
  services.ui = &Win32Ui();
  services.http = &http;
  services.network = &network;
  return services;
}

}  // namespace zl::win32
