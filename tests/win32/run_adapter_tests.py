#!/usr/bin/env python3
"""Runs the Win32 adapter tests (win32_tests.exe) under Wine.

A fresh prefix from the shared template and one Xvfb come from the end-to-end harness
(tests/e2e/harness.py). Arguments are passed to the test program (e.g. --gtest_filter=Registry*).
The exit code is the test program's (124 when it overran ZL_ADAPTER_TIMEOUT seconds).

Tests named *.Isolated* (name lookups that would otherwise ask the host's name server) run a
second time in a network namespace of their own with only loopback up, where no query can leave
the machine; the prefix's wineserver is restarted inside that namespace, since Wine opens sockets
there. Elsewhere they skip themselves.

    ZL_WIN32_BIN=build/win32/bin python3 tests/win32/run_adapter_tests.py
"""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402


def main(argv: list[str]) -> int:
    bin_dir = Path(os.environ.get("ZL_WIN32_BIN") or REPO / "build" / "win32" / "bin")
    exe = bin_dir / "win32_tests.exe"
    if not exe.is_file():
        print(f"run_adapter_tests: {exe} not found; build the win32_tests target "
              "(or set ZL_WIN32_BIN)", file=sys.stderr)
        return 2
    timeout = float(os.environ.get("ZL_ADAPTER_TIMEOUT", "600"))

    with harness.Display() as display, harness.WinePrefix("win32_tests", display) as prefix:
        prefix.warm_up()
        # Without a window manager Wine waits 2 s for one at every show and hide of a managed
        # window (the dialogs); unmanaged windows skip that and look the same to the tests.
        prefix.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "REG_SZ", "N")
        env = dict(prefix.env)
        # The screen size the system tests expect GetSystemMetrics to report.
        if not display.use_existing:
            env["ZL_EXPECT_SCREEN"] = "x".join(display.size.split("x")[:2])
        cmd = ["timeout", "-k", "10", f"{timeout:g}", "wine", str(exe), *argv]
        result = subprocess.run(cmd, env=env)
        if result.returncode != 0 or not wants_isolated(argv):
            return result.returncode
        return run_isolated(exe, env, timeout)


def wants_isolated(argv: list[str]) -> bool:
    filters = [a.split("=", 1)[1] for a in argv if a.startswith("--gtest_filter=")]
    return not filters or "Network" in filters[-1] or "Isolated" in filters[-1]


def run_isolated(exe: Path, env: dict[str, str], timeout: float) -> int:
    if shutil.which("unshare") is None or shutil.which("ip") is None:
        print("run_adapter_tests: unshare or ip missing: isolated tests not run", file=sys.stderr)
        return 1
    # The wineserver started outside would open the sockets on the host's network: end it and
    # let the first wine call inside the namespace start a new one there.
    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    subprocess.run(["wineserver", "-w"], env=env, timeout=30)
    env = dict(env, ZL_NET_ISOLATED="1")
    script = ('ip link set lo up && '
              f'timeout -k 10 {timeout:g} wine "$0" --gtest_filter="*.Isolated*"; rc=$?; '
              'wineserver -k; wineserver -w; exit $rc')
    result = subprocess.run(["unshare", "-n", "sh", "-c", script, str(exe)], env=env)
    return result.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
