"""A simulated office for the launcher: a Wine prefix with the share \\\\srv01\\zelkora$, stand-in
applications that log how they were started, and helpers to run the launcher and read results.
Used by the scenarios, the demo and the benchmarks."""

from __future__ import annotations

import shutil
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path

import harness
from harness import Display, Driver, HarnessError, WinePrefix

CAPTION = "Zelkora Application Launcher"
LAUNCHER_KEY = r"HKCU\Software\Zelkora\Launcher"
MACHINE_KEY = r"HKLM\Software\Zelkora\Launcher"
STANDIN_LOG = r"C:\standin.log"
ZONEMAP = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZoneMap"
ATTENTION = "Attention"
INFORMATION = "Information"
FILE_DIALOG = "Select your Velmont or Quenda executable"
# How the critical box begins when neither a server nor the application was found.
NOT_FOUND = "The executable location was not found or is not accessible.\n\r\n\r"
NO_ZONES = {"Domains": {}, "ESCDomains": {}, "Ranges": {}}  # Office.zone_map() without entries


@dataclass
class Office:
    prefix: WinePrefix
    display: Display
    share: Path
    driver: Driver
    server: str = "srv01"
    apps: dict[str, Path] = field(default_factory=dict)

    @property
    def log_path(self) -> Path:
        return self.prefix.drive_c() / "standin.log"

    def unc(self, *parts: str) -> str:
        return "\\\\" + self.server + "\\zelkora$" + "".join("\\" + p for p in parts)

    def add_app(self, relative: str) -> str:
        """Puts the stand-in on the share at a relative path like Velmont/Velmont.exe; returns
        its UNC path."""
        target = self.share / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(harness.bin_path("StandinApp.exe"), target)
        self.apps[relative] = target
        return self.unc(*relative.split("/"))

    def set_user(self, name: str, type_: str, data) -> None:
        self.prefix.reg_add(LAUNCHER_KEY, name, type_, data, view=64)

    def set_machine(self, name: str, type_: str, data) -> None:
        self.prefix.reg_add(MACHINE_KEY, name, type_, data, view=64)

    def prerequisites_in_place(self) -> None:
        """Step 5 then has nothing to offer or warn about, so a run goes straight to the start:
        the machine-wide SkipCR and SkipPC skip the report viewer, barcode, memory and screen
        checks (and leave the user's key untouched), and the braille font, which is checked for
        Velmont whatever the settings say, is there."""
        self.set_machine("SkipCR", "REG_DWORD", 1)
        self.set_machine("SkipPC", "REG_DWORD", 1)
        fonts = self.prefix.drive_c() / "windows" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        (fonts / "BRAILLE.TTF").touch()

    def launcher(self) -> Path:
        """The launcher copied into the prefix, as an admin deploys it to a workstation."""
        target = self.prefix.drive_c() / "Program Files" / "Zelkora" / "ZelkoraLauncher.exe"
        if not target.exists():
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(harness.bin_path("ZelkoraLauncher.exe"), target)
        return target

    def start_launcher(self, *args: str, timeout: float = 120.0,
                       broadcast: bool = False, env: dict[str, str] | None = None) -> subprocess.Popen:
        """broadcast=True: this run may send the discovery broadcast, so it must be inside a
        network namespace of the test's own (netns.py); refused otherwise. env: more variables
        for Wine (WINEDEBUG, say)."""
        exe = r"C:\Program Files\Zelkora\ZelkoraLauncher.exe"
        if broadcast:
            import netns
            netns.require_private_network()
        self.launcher()
        return self.prefix.start([exe, *args], timeout=timeout,
                                 env={"ZELKORA_STANDIN_LOG": STANDIN_LOG, **(env or {})})

    def records(self, timeout: float = 20.0, count: int = 1) -> list[dict]:
        return harness.read_standin_log(self.log_path, timeout=timeout, count=count)

    def no_records(self) -> bool:
        return not self.log_path.exists()

    # -- what the launcher leaves behind
    def zone_map(self) -> dict[str, dict]:
        """The user's zone map as {"Domains": {name: values}, "ESCDomains": {...},
        "Ranges": {"Range1": values}}, values being {value name: data}."""
        tree = self.prefix.reg_tree(ZONEMAP) or {}
        out: dict[str, dict] = {"Domains": {}, "ESCDomains": {}, "Ranges": {}}
        for rel, values in tree.items():
            parts = rel.split("\\", 1)
            if len(parts) == 2 and parts[0] in out:
                out[parts[0]][parts[1]] = {n: d for n, (_, d) in values.items()}
        return out

    def saved_options(self) -> dict[str, object]:
        """Values in the current user's launcher key (64-bit view), {} when it is missing."""
        tree = self.prefix.reg_tree(LAUNCHER_KEY, view=64) or {}
        return {n: d for n, (_, d) in tree.get("", {}).items()}

    def box_text(self, caption: str) -> str:
        """The message of a MessageBox (its Static with id 65535)."""
        for cls, cid, text in self.driver.texts(caption):
            if cls == "Static" and cid == 65535:
                return text
        raise HarnessError(f"no message text in the {caption!r} window")

    def share_root_files(self) -> list[str]:
        return sorted(p.name for p in self.share.iterdir() if p.is_file())

    def add_share(self, server: str) -> Path:
        return self.prefix.make_share(server, "zelkora$")


class office:
    """Context manager: display + prefix + share (+ driver). Reuse one display across several
    offices by passing it in."""

    def __init__(self, name: str, display: Display | None = None, version: str | None = None,
                 share_drive: str | None = None, arch: str = "win64"):
        self.name = name
        self.arch = arch  # "win32": a 32-bit-only Windows (harness.ARCHES)
        self.share_drive = share_drive
        self._display = display
        self._own_display: Display | None = None
        self._prefix: WinePrefix | None = None
        self.version = version

    def __enter__(self) -> Office:
        display = self._display
        if display is None:
            self._own_display = Display()
            display = self._own_display.__enter__()
        self._prefix = WinePrefix(self.name, display, arch=self.arch)
        prefix = self._prefix.__enter__()
        try:
            share = prefix.make_share("srv01", "zelkora$")
            if self.share_drive:
                # Before the first wine call, so the mount manager lists the drive.
                prefix.map_drive(self.share_drive, share)
            # Without a window manager Wine waits 2 s for one at every window shown or hidden;
            # unmanaged windows (Wine draws their frames) skip that wait.
            prefix.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "REG_SZ", "N")
            if self.version:
                prefix.set_windows_version(self.version)
            return Office(prefix=prefix, display=display, share=share, driver=Driver(prefix))
        except BaseException:
            self.__exit__(None, None, None)
            raise

    def __exit__(self, *exc) -> None:
        if self._prefix is not None:
            self._prefix.__exit__(*exc)
        if self._own_display is not None:
            self._own_display.__exit__(*exc)


def wait_exit(proc: subprocess.Popen, timeout: float) -> int:
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise HarnessError(f"the launcher did not end within {timeout:g} s") from None


def pixel(png: Path, x: int, y: int) -> tuple[int, int, int]:
    """The colour of one pixel of a screenshot."""
    out = subprocess.run(["convert", str(png), "-format", f"%[fx:int(255*p{{{x},{y}}}.r)],"
                          f"%[fx:int(255*p{{{x},{y}}}.g)],%[fx:int(255*p{{{x},{y}}}.b)]", "info:"],
                         check=True, capture_output=True, text=True, timeout=30).stdout
    r, g, b = (int(v) for v in out.strip().split(","))
    return r, g, b


def monotonic() -> float:
    return time.monotonic()
