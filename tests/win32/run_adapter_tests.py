#!/usr/bin/env python3
"""Runs the Win32 adapter tests (win32_tests.exe) under Wine.

A fresh prefix from the shared template and one Xvfb come from the end-to-end harness
(tests/e2e/harness.py). Arguments are passed to the test program (e.g. --gtest_filter=Registry*).
The exit code is the test program's (124 when it overran ZL_ADAPTER_TIMEOUT seconds).

    ZL_WIN32_BIN=build/win32/bin python3 tests/win32/run_adapter_tests.py
"""

from __future__ import annotations

import os
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
        return result.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
