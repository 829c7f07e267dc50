"""Runs ZelkoraLauncher.exe on a simulated office with nothing configured: the launcher finds the
server by its broadcast, which a stand-in Orvex answers, checks the share \\\\srv01\\zelkora$,
finds the stand-in Velmont.exe there, offers the missing braille fonts (the demo answers Yes: the
package is downloaded from a loopback server in the "Installer" window and msiexec installs it)
and starts the application. A second launch then offers nothing. Everything runs in a network namespace of its
own (tests/e2e/netns.py), so the broadcast never leaves this machine.

Shows the window on $DISPLAY when that display can be reached from inside the namespace (through
its socket file /tmp/.X11-unix/X<n>), else on a private Xvfb. Prints the server found, the zone
entries written, what the stand-in application received, and saves screenshots of the launcher
window, the "Installer" window while it downloads and, from a third launch where nobody answers,
the "Information" window.
"""

from __future__ import annotations

import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools" / "orvex"))

import netns  # noqa: E402
from harness import Display  # noqa: E402
from office import (ATTENTION, CAPTION, INFORMATION, LAUNCHER_KEY, ZONEMAP, office,  # noqa: E402
                    pixel, wait_exit)
from orvex_standin import Orvex  # noqa: E402
from prereq import (BRAILLE_MSI, INSTALLER, OFFER_BRAILLE, DownloadServer,  # noqa: E402
                    answer_offer, braille_font, download_files, expect_app_start)

SHOT = ROOT / "build" / "demo" / "launcher-window.png"
SHOTS = ("launcher-window.png", "installer-window.png", "information-window.png")
STEEL_BLUE = (0x46, 0x82, 0xB4)
REPLY = b"SRV01,<SecurityID>"


def crop_window(o, full: Path, out: Path, caption: str = CAPTION) -> None:
    (left, top, right, bottom), _ = o.driver.rect(caption)
    subprocess.run(["convert", str(full), "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                    "+repage", str(out)], check=True, timeout=30)


def screenshot_painted(o, display, full: Path, timeout: float = 10.0) -> None:
    """A screenshot once the window has painted its steel-blue band (the first paint can come
    a moment after the window appears, more so where 32-bit code is emulated)."""
    deadline = time.monotonic() + timeout
    while True:
        display.screenshot(full)
        (left, top, right, bottom), (cw, ch) = o.driver.rect(CAPTION)
        border = ((right - left) - cw) // 2
        if pixel(full, left + border + 10, bottom - border - ch + 160) == STEEL_BLUE:
            return
        if time.monotonic() > deadline:
            return
        time.sleep(0.2)


def reg_lines(o, key: str, view: int | None = None) -> list[str]:
    args = ["reg", "query", key, "/s"] + ([f"/reg:{view}"] if view else [])
    r = o.prefix.run(args)
    if r.returncode != 0:
        return ["(no such key)"]
    return [ln.rstrip("\r") for ln in r.stdout.splitlines() if ln.strip()]


def choose_display() -> Display:
    name = os.environ.get("DISPLAY", "")
    if name and netns.display_reachable(name):
        return Display(use_existing=True)
    if name:
        print(f"demo: $DISPLAY {name} cannot be reached from the network namespace "
              "(only its socket file can); using a private Xvfb")
    return Display(use_existing=False)


def main() -> int:
    netns.enter()
    print(f"demo: network namespace of its own, devices {netns.interfaces()}; "
          "/etc/hosts there maps srv01.corp.local/srv01 to 127.0.0.2")
    with choose_display() as display:
        where = f"your display {display.name}" if display.use_existing else f"a private Xvfb {display.name}"
        with office("demo", display) as o, Orvex(replies=[REPLY]) as orvex, \
                DownloadServer(download_files(BRAILLE_MSI), hold=True) as downloads:
            app = o.add_app("Velmont/Velmont.exe")
            # Only the braille offer is shown: the report viewer, barcode, memory and screen
            # checks are skipped machine-wide.
            o.set_machine("SkipCR", "REG_DWORD", 1)
            o.set_machine("SkipPC", "REG_DWORD", 1)
            o.set_machine("DownloadServer", "REG_SZ", downloads.url)
            print(f"demo: office prefix on {where}; share holds {app}")
            print(f"demo: nothing configured for the server or the application "
                  f"({LAUNCHER_KEY}: {o.saved_options() or 'empty'}); machine-wide SkipCR and "
                  f"SkipPC; installers downloaded from {downloads.url}")
            print(f"demo: stand-in Orvex on UDP {orvex.udp_port} answers {REPLY.decode()!r}, "
                  f"TCP {orvex.tcp_port} open")
            t0 = time.time()
            proc = o.start_launcher(broadcast=True)
            o.driver.wait(CAPTION, timeout=60)
            full = SHOT.with_name("screen.png")
            screenshot_painted(o, display, full)
            crop_window(o, full, SHOT)
            answer_offer(o, OFFER_BRAILLE, yes=True, timeout=60)
            print("demo: the launcher offered the braille fonts; answered Yes")
            # The server holds its answer until the Installer window has been photographed.
            downloads.wait_request(timeout=60)
            o.driver.wait(INSTALLER, timeout=30)
            time.sleep(1.0)  # its first paint
            display.screenshot(full)
            crop_window(o, full, SHOT.with_name("installer-window.png"), INSTALLER)
            downloads.release()
            rec = expect_app_start(o, 1, timeout=120)
            req = orvex.wait_request(1.0)
            print(f"demo: broadcast {req.payload.decode()!r} from {req.sender[0]}:{req.sender[1]} "
                  f"received {req.wall - t0:.2f} s after the launcher's start")
            found = [a.split("=", 1)[1] for a in rec["args"][1:] if a.startswith("-OrvexAddress=")]
            print(f"demo: server found: {found[0] if found else '(none)'}")
            print("demo: zone entries written (wine reg query):")
            for sub in ("Domains", "ESCDomains", "Ranges"):
                for line in reg_lines(o, f"{ZONEMAP}\\{sub}"):
                    print(f"    {line}")
            print(f"demo: saved in {LAUNCHER_KEY}: {o.saved_options() or 'nothing'} "
                  "(a server found on the network serves this run only)")
            print(f"demo: downloaded: {downloads.paths()}; braille font installed at "
                  f"{braille_font(o) or 'NOWHERE'}")
            print(f"demo: screenshot of the launcher window: {SHOT}")
            print(f"demo: the application started {rec['time'] - t0:.2f} s after the launcher")
            print(f"demo: application command line:   {rec['cmdline']}")
            print(f"demo: application parameters:     {rec['params']!r}")
            print(f"demo: application working folder: {rec['cwd']}")
            code = wait_exit(proc, 60)
            print(f"demo: launcher ended {time.time() - rec['time']:.2f} s after the application's "
                  f"start, exit code {code}")

            # The second launch: the font is there now, so nothing is offered.
            proc = o.start_launcher(broadcast=True)
            second = expect_app_start(o, 2, timeout=60)
            code2 = wait_exit(proc, 60)
            print(f"demo: second launch: no offer, application started with "
                  f"{second['params']!r}, launcher exit code {code2}")

            # A third launch where nobody answers and nothing is saved: the Information window
            # asks for the application; its close box gives up, and the Attention box says so.
            orvex.replies, orvex.delays = [], []
            o.prefix.reg_delete(LAUNCHER_KEY)
            proc = o.start_launcher(broadcast=True)
            o.driver.wait(INFORMATION, timeout=60)
            time.sleep(1.0)
            display.screenshot(full)
            crop_window(o, full, SHOT.with_name("information-window.png"), INFORMATION)
            o.driver.close(INFORMATION)
            o.driver.wait(ATTENTION, timeout=30)
            o.driver.click(ATTENTION, "OK")
            code3 = wait_exit(proc, 60)
            print(f"demo: third launch, nobody answering: the Information window asked, closed; "
                  f"launcher exit code {code3}")
            print(f"demo: screenshots: {', '.join(str(SHOT.with_name(n)) for n in SHOTS)}")
            ok = code == 0 and code2 == 0 and found and braille_font(o) is not None
            return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
