"""Runs ZelkoraLauncher.exe on a simulated office: a Wine prefix whose share \\\\srv01\\zelkora$
holds a stand-in Velmont.exe, with the application's location saved in the current user's key.
Shows the window on $DISPLAY when there is one (else on a private Xvfb), saves a screenshot of
the launcher window and prints what the stand-in application received."""

from __future__ import annotations

import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402
from harness import Display  # noqa: E402
from office import CAPTION, office, wait_exit  # noqa: E402

SHOT = ROOT / "build" / "demo" / "launcher-window.png"


def crop_window(o, full: Path, out: Path) -> None:
    (left, top, right, bottom), _ = o.driver.rect(CAPTION)
    subprocess.run(["convert", str(full), "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                    "+repage", str(out)], check=True, timeout=30)


def main() -> int:
    use_existing = bool(os.environ.get("DISPLAY"))
    with Display(use_existing=use_existing) as display:
        where = f"your display {display.name}" if use_existing else f"a private Xvfb {display.name}"
        print(f"demo: office prefix with \\\\srv01\\zelkora$ on {where}")
        with office("demo", display) as o:
            app = o.add_app("Velmont/Velmont.exe")
            o.set_user("AppLocation", "REG_SZ", app)
            print(f"demo: saved AppLocation = {app}")
            t0 = time.monotonic()
            proc = o.start_launcher()
            o.driver.wait(CAPTION, timeout=60)
            full = SHOT.with_name("screen.png")
            display.screenshot(full)
            crop_window(o, full, SHOT)
            print(f"demo: screenshot of the launcher window: {SHOT}")
            rec = o.records(timeout=60)[0]
            started = time.monotonic() - t0
            print(f"demo: the application started {started:.2f} s after the launcher")
            print(f"demo: application command line: {rec['cmdline']}")
            print(f"demo: application parameters:   {rec['params']!r}")
            print(f"demo: application working folder: {rec['cwd']}")
            code = wait_exit(proc, 60)
            print(f"demo: launcher ended {time.monotonic() - t0 - started:.2f} s after the start, "
                  f"exit code {code}")
            return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
