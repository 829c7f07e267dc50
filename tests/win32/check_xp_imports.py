#!/usr/bin/env python3
"""Fails when a Windows program imports something Windows XP SP3 does not have.

Wine exports every function, so a program that would not even start on XP still runs
under Wine: this reads the import table instead (`i686-w64-mingw32-objdump -p`), prints
every import, and fails on
  - a DLL that current Windows does not load from its KnownDLLs list (comctl32 excepted, see
    below): the loader looks for any other DLL in the program's own folder first, and the
    launcher runs from shares where anyone can put a DLL beside it. Such DLLs are loaded at run
    time from the system folder instead. This also keeps out libstdc++, libgcc, libwinpthread,
    zlib and PCRE2 DLLs: the program must be self-contained; and
  - a function on the deny-list of well-known post-XP functions that slip in through
    mingw's runtime, libstdc++, or our own code (anything newer is looked up at run time).
We have no XP DLLs to build a full allow-list of exports from, so the deny-list is the check.

    check_xp_imports.py [program.exe ...]   default: $ZL_WIN32_BIN/ZelkoraLauncher.exe
    check_xp_imports.py --self-check        proves the check can fail, on programs built here
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
OBJDUMP = os.environ.get("ZL_OBJDUMP", "i686-w64-mingw32-objdump")

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on Windows 10 and 11: these
# come from the system's own section objects whatever lies beside the exe. (XP's list was different,
# but a DLL taken from the system folder by full path is safe on every version.)
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
    "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll",
}
# Not a KnownDLL, yet imported by name on purpose: only a load by name lets the manifest's
# side-by-side redirection give the program comctl32 version 6.
KNOWN_DLL_EXCEPTIONS = {"comctl32.dll"}

# Functions XP SP3 lacks (Vista or later unless noted), by the DLL that exports them today.
POST_XP = {
    "kernel32.dll": """
        GetTickCount64 InitializeCriticalSectionEx
        InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete InitOnceInitialize
        InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive
        ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
        InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
        WakeConditionVariable WakeAllConditionVariable
        FlsAlloc FlsGetValue FlsSetValue FlsFree
        GetFileInformationByHandleEx SetFileInformationByHandle GetFinalPathNameByHandleW
        GetFinalPathNameByHandleA CreateSymbolicLinkW CreateSymbolicLinkA CreateFile2 CopyFile2
        GetLocaleInfoEx LCMapStringEx CompareStringEx CompareStringOrdinal GetUserDefaultLocaleName
        GetSystemDefaultLocaleName LocaleNameToLCID LCIDToLocaleName ResolveLocaleName
        GetSystemTimePreciseAsFileTime IsWow64Process2
        CreateEventExW CreateEventExA CreateMutexExW CreateMutexExA CreateSemaphoreExW
        CreateSemaphoreExA CreateWaitableTimerExW
        GetThreadId GetErrorMode SetThreadErrorMode GetThreadErrorMode QueryFullProcessImageNameW
        QueryFullProcessImageNameA GetProductInfo GetCurrentProcessorNumberEx
        CancelIoEx CancelSynchronousIo GetQueuedCompletionStatusEx
        SetFileCompletionNotificationModes GetOverlappedResultEx
        InitializeProcThreadAttributeList UpdateProcThreadAttribute DeleteProcThreadAttributeList
        GetDynamicTimeZoneInformation GetTimeZoneInformationForYear
        SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory
        CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork TrySubmitThreadpoolCallback
        CreateThreadpoolTimer SetThreadpoolTimer CloseThreadpoolTimer CreateThreadpoolWait
        SetThreadpoolWait CloseThreadpoolWait WaitForThreadpoolWorkCallbacks
        FlushProcessWriteBuffers GetLogicalProcessorInformationEx RegisterApplicationRestart
        WaitOnAddress WakeByAddressSingle WakeByAddressAll
        K32GetModuleFileNameExW K32EnumProcesses K32EnumProcessModules K32GetProcessMemoryInfo
        """,
    "advapi32.dll": """
        RegGetValueW RegGetValueA RegDeleteKeyExW RegDeleteKeyExA RegDeleteTreeW RegDeleteTreeA
        RegSetKeyValueW RegSetKeyValueA RegDeleteKeyValueW RegDeleteKeyValueA RegCopyTreeW
        RegLoadMUIStringW RegOpenKeyTransactedW RegCreateKeyTransactedW RegDisablePredefinedCacheEx
        EventRegister EventUnregister EventWrite
        """,
    "comctl32.dll": "TaskDialogIndirect TaskDialog LoadIconMetric LoadIconWithScaleDown",
    "user32.dll": """
        SetProcessDPIAware IsProcessDPIAware ChangeWindowMessageFilter ChangeWindowMessageFilterEx
        GetDpiForWindow GetDpiForSystem SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext
        AdjustWindowRectExForDpi GetSystemMetricsForDpi SystemParametersInfoForDpi
        EnableNonClientDpiScaling RegisterPowerSettingNotification ShutdownBlockReasonCreate
        AddClipboardFormatListener
        """,
    "shell32.dll": """
        SHGetKnownFolderPath SHCreateItemFromParsingName SHGetStockIconInfo
        SHQueryUserNotificationState
        """,
    "uxtheme.dll": "DrawThemeTextEx BeginBufferedPaint EndBufferedPaint BufferedPaintInit",
    # GetAddrInfoW and FreeAddrInfoW came with XP SP2; XP before it lacks them, so they stay out.
    "ws2_32.dll": """
        inet_pton inet_ntop InetPtonW InetNtopW GetAddrInfoW FreeAddrInfoW GetAddrInfoExW WSAPoll
        WSAConnectByNameW WSASendMsg GetNameInfoW
        """,
    # XP's msvcrt.dll (7.0) has none of the secure (_s) functions, no *_l locale variants, and
    # none of these; mingw's runtime reaches them only when a header maps a call onto them.
    "msvcrt.dll": """
        _set_invalid_parameter_handler _get_invalid_parameter_handler _configthreadlocale
        _get_errno _set_errno _lock_file _unlock_file _ftelli64 _fseeki64 strnlen wcsnlen
        _create_locale _free_locale _get_current_locale _set_abort_behavior
        """,
}
POST_XP = {dll: set(names.split()) for dll, names in POST_XP.items()}
MSVCRT_PATTERNS = [re.compile(r".+_s$"), re.compile(r".+_l$")]


def read_imports(exe: Path) -> dict[str, list[str]]:
    """DLL name (lower case) -> imported names, in table order; '#<n>' for ordinals."""
    out = subprocess.run([OBJDUMP, "-p", str(exe)], capture_output=True, text=True, check=True).stdout
    imports: dict[str, list[str]] = {}
    current: list[str] | None = None
    in_imports = False
    for line in out.splitlines():
        if line.startswith("The Import Tables") or line.startswith("The Delay Import Tables"):
            in_imports = True
            continue
        if in_imports and line and not line[0].isspace():
            in_imports = line.startswith("The Delay Import Tables")
            current = None
            continue
        if not in_imports:
            continue
        m = re.match(r"\s+DLL Name: (\S+)", line)
        if m:
            current = imports.setdefault(m.group(1).lower(), [])
            continue
        if current is None:
            continue
        # "\t1ea980\t 1364  GetUserNameW" or, by ordinal, "\t80000010\t   16 <none>".
        m = re.match(r"\s+[0-9a-fA-F]+\s+(\d+)\s+(\S+)?\s*$", line)
        if m:
            name = m.group(2)
            current.append(name if name and name != "<none>" else f"#{m.group(1)}")
    return imports


def problems(imports: dict[str, list[str]]) -> list[str]:
    found = []
    for dll, names in sorted(imports.items()):
        if dll not in KNOWN_DLLS and dll not in KNOWN_DLL_EXCEPTIONS:
            found.append(f"{dll}: imported, but not a KnownDLL: Windows would look for it beside "
                         "the exe first (DLL planting); load it at run time from the system "
                         "folder (LoadSystemLibrary in Win32Util), or link it statically")
        denied = POST_XP.get(dll, set())
        for name in names:
            late = name in denied or (dll == "msvcrt.dll" and any(p.match(name) for p in MSVCRT_PATTERNS))
            if late:
                found.append(f"{dll}!{name}: not in Windows XP SP3")
    return found


def check(exe: Path, quiet: bool = False) -> list[str]:
    imports = read_imports(exe)
    if not imports:
        return [f"{exe}: no import table found"]
    if not quiet:
        print(f"{exe}:")
        for dll, names in sorted(imports.items()):
            print(f"  {dll} ({len(names)})")
            for name in names:
                print(f"    {name}")
    return problems(imports)


# ---------------------------------------------------------------- self-check

SELF_CHECK_PROGRAMS = {
    # name: (source, language, compiler flags, expected offending entries)
    "clean.exe": ("#include <windows.h>\nint main(void){return (int)GetTickCount() & 1;}\n",
                  "c", [], []),
    "tick64.exe": ("#include <windows.h>\nint main(void){return (int)GetTickCount64() & 1;}\n",
                   "c", ["-D_WIN32_WINNT=0x0600"], ["kernel32.dll!GetTickCount64"]),
    "regget.exe": ("#include <windows.h>\nint main(void){DWORD n=0;"
                   "return (int)RegGetValueW(HKEY_CURRENT_USER,L\"x\",L\"y\",RRF_RT_ANY,0,0,&n);}\n",
                   "c", ["-D_WIN32_WINNT=0x0600"], ["advapi32.dll!RegGetValueW"]),
    "version.exe": ("#include <windows.h>\nint main(void){DWORD h=0;"
                    "return (int)GetFileVersionInfoSizeW(L\"x\",&h);}\n",
                    "c", ["-lversion"], ["version.dll"]),
    "comctl.exe": ("#include <windows.h>\n#include <commctrl.h>\nint main(void){"
                   "InitCommonControls();return 0;}\n", "c", ["-lcomctl32"], []),
    "shared-runtime.exe": ("#include <string>\nint main(){std::string s(\"x\");return (int)s.size()-1;}\n",
                           "c++", ["-shared-libgcc"], ["libstdc++-6.dll"]),
}


def self_check() -> int:
    failures = 0
    with tempfile.TemporaryDirectory(prefix="zl-xp-imports-") as tmp:
        for exe_name, (source, language, flags, expected) in SELF_CHECK_PROGRAMS.items():
            compiler = "i686-w64-mingw32-gcc" if language == "c" else "i686-w64-mingw32-g++"
            src = Path(tmp) / (exe_name + (".c" if language == "c" else ".cpp"))
            src.write_text(source)
            exe = Path(tmp) / exe_name
            # Flags after the source, so that -l libraries resolve its calls.
            subprocess.run([compiler, "-O1", "-o", str(exe), str(src), *flags], check=True)
            found = check(exe, quiet=True)
            missing = [e for e in expected if not any(p.startswith(e) for p in found)]
            ok = not missing if expected else not found
            print(f"self-check {exe_name}: {'ok' if ok else 'WRONG'} -> {found or 'no problems'}")
            if not ok:
                failures += 1
    print("self-check " + ("passed" if failures == 0 else f"FAILED ({failures})"))
    return 0 if failures == 0 else 1


def main(argv: list[str]) -> int:
    if shutil.which(OBJDUMP) is None:
        print(f"check_xp_imports: {OBJDUMP} not found", file=sys.stderr)
        return 2
    if argv == ["--self-check"]:
        return self_check()
    bin_dir = Path(os.environ.get("ZL_WIN32_BIN") or REPO / "build" / "win32" / "bin")
    targets = [Path(a) for a in argv] or [bin_dir / "ZelkoraLauncher.exe"]
    status = 0
    for exe in targets:
        if not exe.is_file():
            print(f"check_xp_imports: {exe} not found", file=sys.stderr)
            status = 2
            continue
        found = check(exe)
        if found:
            print(f"FAIL {exe}: {len(found)} import(s) Windows XP SP3 lacks or a planted DLL "
                  "could answer:")
            for p in found:
                print(f"  {p}")
            status = max(status, 1)
        else:
            print(f"OK {exe}: every DLL imported is a KnownDLL (or comctl32), every function "
                  "exists in Windows XP SP3 (as far as the deny-list knows)")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
