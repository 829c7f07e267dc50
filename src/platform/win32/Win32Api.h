#pragma once
// The Win32 headers the adapters use, included in one order, and without the A/W macros that
// collide with the platform's method names (MessageBox, DeleteFile, CopyFile, CreateDirectory,
// ShellExecute, ShellExecuteEx). Include this before platform/Platform.h in every translation unit
// that sees both, or the interfaces would be declared under different names in different units.

#include <winsock2.h>  // before windows.h would pull in the old winsock.h
#include <windows.h>
#include <wincrypt.h>  // left out by WIN32_LEAN_AND_MEAN
#include <shellapi.h>
#include <iphlpapi.h>  // types only: the functions are looked up at run time
#include <wininet.h>   // never together with winhttp.h: the two cannot share a translation unit

#include "platform/NoWin32NameMacros.h"
