/* Stand-in for the Crystal Reports XI viewer runtime: the launcher only finds this DLL through
   its COM registration and reads its file version, so it needs no code beyond an entry point.
   C, not C++: every tools/<folder>/<Name>.cpp is built as a program. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
