// windows.h and shellapi.h define these names as macros (MessageBoxW ...). In a translation unit
// that included them, the platform's methods of the same names would otherwise be declared under
// the W names, and the Win32 adapters' overrides would no longer match. Call the W functions by
// their W names. No include guard: each header that may follow windows.h includes this again.
#undef MessageBox
#undef DeleteFile
#undef CopyFile
#undef CreateDirectory
#undef RemoveDirectory
#undef ShellExecute
#undef ShellExecuteEx
