"""End-to-end harness: Wine prefixes, one Xvfb, the window driver, stand-in logs.

Scenario scripts import this module and end with ``main(globals(), [scenario, ...])``.
Standard library only. See README.md next to this file.
"""

from __future__ import annotations

import contextlib
import fcntl
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback
from pathlib import Path
from typing import Callable, Iterable, Sequence

REPO = Path(__file__).resolve().parents[2]
CACHE_DIR = REPO / ".cache"
TEMPLATE_DIR = CACHE_DIR / "wine-template"
TEMPLATE_LOCK = CACHE_DIR / "wine-template.lock"
TEMPLATE_READY = TEMPLATE_DIR / ".zl-template-ready"
# Prefix architectures: "win64" is a 64-bit Windows with WoW64, as the launcher mostly meets it;
# "win32" a 32-bit-only Windows (no WoW64, no Wow6432Node), where every Wine process, services
# included, is 32-bit code.
ARCHES = ("win64", "win32")
# On a host that cannot execute i386 code, scripts/wine-i386-emulation hands Wine's 32-bit
# processes to qemu-i386: each then starts about 0.4 s later and 32-bit code runs slower.
_I386_ENTRY = Path("/proc/sys/fs/binfmt_misc/wine-i386")
I386_EMULATED = _I386_ENTRY.is_file() and _I386_ENTRY.read_text().startswith("enabled")
WORK_ROOT = REPO / "build" / "e2e-work"
ARTIFACTS = REPO / "build" / "e2e-artifacts"

POLL = 0.02  # seconds between polls of anything we wait for
WINDOWS_VERSIONS = ("winxp", "win2k", "vista", "win7", "win10")


class HarnessError(AssertionError):
    """A harness step failed; an AssertionError so scenarios report it as FAIL."""


def check(cond: bool, what: str) -> None:
    if not cond:
        raise HarnessError(what)


def eq(actual, expected, what: str) -> None:
    if actual != expected:
        raise HarnessError(f"{what}: got {actual!r}, wanted {expected!r}")


def _deadline_loop(timeout: float) -> Iterable[None]:
    """Yields until the deadline; the caller breaks out when its event happened."""
    end = time.monotonic() + timeout
    while True:
        yield None
        if time.monotonic() >= end:
            return
        time.sleep(POLL)


# ---------------------------------------------------------------- build outputs

def bin_dir() -> Path:
    override = os.environ.get("ZL_WIN32_BIN")
    return Path(override) if override else REPO / "build" / "win32" / "bin"


def bin_path(name: str) -> Path:
    p = bin_dir() / name
    if not p.is_file():
        raise HarnessError(f"{p} not found: build the win32 binaries first (or set ZL_WIN32_BIN)")
    return p


# ---------------------------------------------------------------- environment

def _base_env() -> dict[str, str]:
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    # Menu entries and file associations would land in the real home folder.
    env["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d"
    # Wine converts argv with the Unix locale: keep non-ASCII captions intact.
    if "utf-8" not in (env.get("LC_ALL") or env.get("LANG") or "").lower().replace("utf8", "utf-8"):
        env.pop("LC_ALL", None)
        env["LANG"] = "C.UTF-8"
    return env


def _wine_version() -> str:
    out = subprocess.run(["wine", "--version"], capture_output=True, text=True, timeout=30)
    return out.stdout.strip()


# ---------------------------------------------------------------- template prefix

@contextlib.contextmanager
def _file_lock(path: Path, timeout: float):
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "a+") as fh:
        for _ in _deadline_loop(timeout):
            try:
                fcntl.flock(fh, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except BlockingIOError:
                continue
        else:
            raise HarnessError(f"timed out after {timeout:.0f} s waiting for {path}")
        try:
            yield
        finally:
            fcntl.flock(fh, fcntl.LOCK_UN)


def template_paths(arch: str = "win64") -> tuple[Path, Path, Path]:
    """(template folder, lock file, ready marker) of the template for `arch`: the 64-bit one
    at .cache/wine-template, the 32-bit one beside it at .cache/wine-template-win32."""
    if arch not in ARCHES:
        raise ValueError(f"unknown prefix architecture {arch!r}; one of {ARCHES}")
    if arch == "win64":
        return TEMPLATE_DIR, TEMPLATE_LOCK, TEMPLATE_READY
    folder = CACHE_DIR / f"wine-template-{arch}"
    return folder, CACHE_DIR / f"wine-template-{arch}.lock", folder / ".zl-template-ready"


def ensure_template(timeout: float = 300.0, arch: str = "win64") -> Path:
    """Builds the cached template prefix for `arch` once; later calls only check its marker.

    The marker names the Wine version: a Wine upgrade would otherwise make every
    copy rewrite its system folders on first start.
    """
    template, lock, ready = template_paths(arch)
    stamp = f"{_wine_version()} {arch}\n"
    if ready.is_file() and ready.read_text() == stamp:
        return template
    with _file_lock(lock, timeout):
        if ready.is_file() and ready.read_text() == stamp:
            return template  # another test built it while we waited
        if template.exists():
            shutil.rmtree(template)
        env = _base_env()
        env.pop("DISPLAY", None)
        if arch == "win32":
            env["WINEARCH"] = "win32"
        else:
            env.pop("WINEARCH", None)  # win64 (WoW64), as the launcher meets it
        env["WINEPREFIX"] = str(template)
        # No Mono/Gecko: their installers would try to download.
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml=d;winemenubuilder.exe=d"
        t0 = time.monotonic()
        subprocess.run(["wineboot", "-i"], env=env, check=True, timeout=timeout,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, check=True, timeout=120)
        # Debian's wineserver records its socket folder in the prefix; each copy
        # must make its own.
        with contextlib.suppress(FileNotFoundError):
            (template / "wineserver").unlink()
        ready.write_text(stamp)
        print(f"harness: {arch} template prefix built in {time.monotonic() - t0:.1f} s",
              file=sys.stderr)
    return template


# ---------------------------------------------------------------- per-test prefix
#
# A full `cp -a` of the 1.3 GB template takes ~4.2 s here. An overlay mount with
# the template as the read-only lower layer is instant and stays sound: every
# write, including wineserver's registry files, goes to the private upper layer.
# Hard or symbolic links to the template would not be: an installer that
# rewrites a system DLL in place would change the template. Without the right
# to mount (not root) we fall back to the copy. ZL_PREFIX_MODE=copy forces it.

def _mounted(path: Path) -> bool:
    target = str(path)
    with open("/proc/self/mounts") as fh:
        return any(line.split()[1] == target for line in fh if len(line.split()) > 1)


def _umount(path: Path) -> None:
    if not _mounted(path):
        return
    if subprocess.run(["umount", str(path)], capture_output=True, timeout=30).returncode != 0:
        # Something still holds a file open (a wine process we could not kill):
        # detach now, the kernel frees it when the last user goes.
        subprocess.run(["umount", "-l", str(path)], capture_output=True, timeout=30)


def _pid_alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def _sweep_stale_work_dirs() -> None:
    """Removes prefixes left by harness runs that were killed before cleanup."""
    if not WORK_ROOT.is_dir():
        return
    for d in WORK_ROOT.iterdir():
        try:
            pid = int(d.name.split("-")[-2])
        except (ValueError, IndexError):
            continue
        if pid == os.getpid() or _pid_alive(pid):
            continue
        _umount(d / "prefix")
        shutil.rmtree(d, ignore_errors=True)


def _create_prefix(template: Path, work: Path, mode: str) -> tuple[Path, str]:
    prefix = work / "prefix"
    if mode != "copy" and not any(c in str(template) for c in ",:") and os.geteuid() == 0:
        for sub in ("upper", "ovwork", "prefix"):
            (work / sub).mkdir(parents=True)
        opts = f"lowerdir={template},upperdir={work / 'upper'},workdir={work / 'ovwork'}"
        r = subprocess.run(["mount", "-t", "overlay", "overlay", "-o", opts, str(prefix)],
                           capture_output=True, text=True, timeout=30)
        if r.returncode == 0:
            return prefix, "overlay"
        if mode == "overlay":
            raise HarnessError(f"overlay mount failed: {r.stderr.strip()}")
        shutil.rmtree(work)
    work.mkdir(parents=True, exist_ok=True)
    subprocess.run(["cp", "-a", "--reflink=auto", str(template), str(prefix)], check=True, timeout=300)
    return prefix, "copy"


_counter = 0
_counter_lock = threading.Lock()


class WinePrefix:
    """A fresh prefix from the template with a warm wineserver.

    with WinePrefix("name", display) as wp:
        wp.run([...]); wp.reg_add(...); share = wp.make_share("srv01", "zelkora$")
    """

    def __init__(self, name: str = "test", display: "Display | None" = None, arch: str = "win64"):
        global _counter
        with _counter_lock:
            _counter += 1
            n = _counter
        safe = "".join(c if c.isalnum() or c in "_." else "_" for c in name)
        self.name = name
        self.display = display
        self.arch = arch
        self.work = WORK_ROOT / f"{safe}-{os.getpid()}-{n}"
        self.path: Path = self.work / "prefix"
        self.mode = ""
        self.create_seconds = 0.0
        self.env: dict[str, str] = {}
        self._procs: list[subprocess.Popen] = []
        self._warm = False
        self._warm_lock = threading.RLock()

    # -- lifetime
    def __enter__(self) -> "WinePrefix":
        template = ensure_template(arch=self.arch)
        _sweep_stale_work_dirs()
        t0 = time.monotonic()
        self.path, self.mode = _create_prefix(template, self.work, os.environ.get("ZL_PREFIX_MODE", "auto"))
        self.create_seconds = time.monotonic() - t0
        env = _base_env()
        env["WINEPREFIX"] = str(self.path)
        if self.arch == "win32":
            env["WINEARCH"] = "win32"  # Wine refuses a 32-bit prefix when told win64
        if self.display is not None:
            env["DISPLAY"] = self.display.name
        self.env = env
        try:
            subprocess.run(["wineserver", "-p"], env=env, check=True, timeout=60)
        except BaseException:
            self.cleanup()
            raise
        return self

    def __exit__(self, exc_type, exc, tb) -> None:
        # The screenshot must come before cleanup kills the windows.
        if exc_type is not None and issubclass(exc_type, Exception) and self.display is not None:
            fail_with_screenshot(_current_scenario or self.name, str(exc).splitlines()[0] if str(exc) else "",
                                 self.display)
        self.cleanup()

    def cleanup(self) -> None:
        for p in self._procs:
            if p.poll() is None:
                p.kill()
                with contextlib.suppress(subprocess.TimeoutExpired):
                    p.wait(timeout=10)
        self._procs.clear()
        if self.env:
            with contextlib.suppress(subprocess.TimeoutExpired):
                subprocess.run(["wineserver", "-k"], env=self.env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with contextlib.suppress(subprocess.TimeoutExpired):
                subprocess.run(["wineserver", "-w"], env=self.env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if os.environ.get("ZL_KEEP_PREFIX"):
            print(f"harness: kept prefix {self.path}", file=sys.stderr)
            return
        _umount(self.path)
        shutil.rmtree(self.work, ignore_errors=True)

    # -- running programs
    def _env(self, extra: dict[str, str] | None) -> dict[str, str]:
        if not extra:
            return self.env
        env = dict(self.env)
        env.update(extra)
        return env

    def warm_up(self) -> None:
        """One wine call that completes before any others may run in parallel:
        two wine processes starting at once on a fresh wineserver can hang."""
        with self._warm_lock:
            if self._warm:
                return
            self._warm = True
            r = self.run(["cmd", "/c", "exit", "0"], timeout=120)
            if r.returncode != 0:
                self._warm = False
                raise HarnessError(f"wine warm-up failed ({r.returncode}): {r.stderr[-500:]!r}")

    def run(self, args: Sequence[str], timeout: float = 60.0, env: dict[str, str] | None = None,
            cwd: str | Path | None = None, check: bool = False) -> subprocess.CompletedProcess:
        """`wine args...`; stdout/stderr are decoded UTF-8 text."""
        self.warm_up()
        # Files, not pipes: the first wine call starts Wine's services, which
        # inherit its output handles and would keep a pipe open long after the
        # program itself has exited.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            r = subprocess.run(["wine", *map(str, args)], env=self._env(env), cwd=cwd, timeout=timeout,
                               stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            out.seek(0)
            err.seek(0)
            cp = subprocess.CompletedProcess(r.args, r.returncode,
                                             out.read().decode("utf-8", "replace"),
                                             err.read().decode("utf-8", "replace"))
        if check and cp.returncode != 0:
            raise HarnessError(f"wine {' '.join(map(str, args))} exited {cp.returncode}: {cp.stderr.strip()[-500:]}")
        return cp

    def start(self, args: Sequence[str], timeout: float = 120.0, env: dict[str, str] | None = None,
              cwd: str | Path | None = None) -> subprocess.Popen:
        """Starts `wine args...` in the background, killed after `timeout` seconds
        at the latest (and at cleanup)."""
        self.warm_up()
        logs = self.work / "logs"
        logs.mkdir(exist_ok=True)
        base = logs / f"start-{len(self._procs) + 1}"
        # Output goes to files (see run); their paths ride on the Popen object.
        with open(f"{base}.out", "wb") as out, open(f"{base}.err", "wb") as err:
            p = subprocess.Popen(["timeout", "-k", "5", f"{timeout:g}", "wine", *map(str, args)],
                                 env=self._env(env), cwd=cwd,
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        p.stdout_path = Path(f"{base}.out")  # type: ignore[attr-defined]
        p.stderr_path = Path(f"{base}.err")  # type: ignore[attr-defined]
        self._procs.append(p)
        return p

    # -- registry
    @staticmethod
    def _view(view: int | str | None) -> list[str]:
        if view in (None, "", 0):
            return []
        v = str(view).removeprefix("/reg:")
        if v not in ("32", "64"):
            raise ValueError(f"registry view must be 32 or 64, not {view!r}")
        return [f"/reg:{v}"]

    def reg_add(self, key: str, name: str | None, type: str, data: str | int,
                view: int | str | None = None) -> None:
        """`reg add`; name None sets the key's default value."""
        args = ["reg", "add", key] + (["/ve"] if name is None else ["/v", name])
        args += ["/t", type, "/d", str(data), "/f"] + self._view(view)
        self.run(args, check=True)

    def reg_query(self, key: str, name: str | None, view: int | str | None = None):
        """Returns (type, data) or None when the key or value is missing.
        REG_DWORD/REG_QWORD data come back as int."""
        args = ["reg", "query", key] + (["/ve"] if name is None else ["/v", name]) + self._view(view)
        r = self.run(args)
        if r.returncode != 0:
            return None
        want = "(Default)" if name is None else name
        for line in r.stdout.splitlines():
            if not line.startswith("    "):
                continue
            parts = line[4:].split("    ", 2)
            if len(parts) >= 2 and parts[0].lower() == want.lower():
                typ = parts[1]
                data = parts[2] if len(parts) == 3 else ""
                if typ in ("REG_DWORD", "REG_QWORD"):
                    return typ, int(data, 16)
                return typ, data
        return None

    def reg_tree(self, key: str, view: int | str | None = None) -> dict[str, dict[str, tuple]] | None:
        """`reg query key /s` in one wine call: {relative key path: {value name: (type, data)}},
        "" for the key itself; None when the key is missing. Wine lists a key without values
        with an empty "(Default)" line, which is left out here."""
        r = self.run(["reg", "query", key, "/s"] + self._view(view))
        if r.returncode != 0:
            return None
        tree: dict[str, dict[str, tuple]] = {}
        current: dict[str, tuple] | None = None
        full = ""
        for line in r.stdout.splitlines():
            line = line.rstrip("\r")
            if not line.strip():
                continue
            if not line.startswith("    "):
                full = line
                rel = line.split("\\", 1)[1] if "\\" in line else ""
                want = key.split("\\", 1)[1] if "\\" in key else ""
                if rel.lower() == want.lower():
                    rel = ""
                elif rel.lower().startswith(want.lower() + "\\"):
                    rel = rel[len(want) + 1:]
                else:
                    raise HarnessError(f"reg query {key}: unexpected key line {full!r}")
                current = tree.setdefault(rel, {})
                continue
            parts = line[4:].split("    ", 2)
            if current is None or len(parts) < 2:
                continue
            name, typ = parts[0], parts[1]
            data: str | int = parts[2] if len(parts) == 3 else ""
            if name == "(Default)" and typ == "REG_SZ" and data == "":
                continue
            if typ in ("REG_DWORD", "REG_QWORD"):
                data = int(str(data), 16)
            current[name] = (typ, data)
        return tree

    def reg_delete(self, key: str, name: str | None = None, view: int | str | None = None) -> bool:
        args = ["reg", "delete", key] + ([] if name is None else ["/v", name]) + ["/f"] + self._view(view)
        return self.run(args).returncode == 0

    def set_windows_version(self, version: str) -> None:
        if version not in WINDOWS_VERSIONS:
            raise ValueError(f"unknown Windows version {version!r}; one of {WINDOWS_VERSIONS}")
        self.reg_add(r"HKCU\Software\Wine", "Version", "REG_SZ", version)

    # -- files, shares, drives
    def make_share(self, server: str, share: str) -> Path:
        """Linux folder that Windows programs see as \\\\server\\share."""
        p = self.path / "dosdevices" / "unc" / server / share
        p.mkdir(parents=True, exist_ok=True)
        return p

    def map_drive(self, letter: str, linux_target: str | Path) -> None:
        """Maps X: to a Linux folder. Map drives before the first wine call where
        you can: Wine's mount manager starts with the first program and may not
        list later drives (paths on them still resolve)."""
        letter = letter.rstrip(":").lower()
        if len(letter) != 1 or not letter.isalpha() or letter in ("c", "z"):
            raise ValueError(f"bad drive letter {letter!r}")
        link = self.path / "dosdevices" / f"{letter}:"
        if link.is_symlink():
            link.unlink()
        link.symlink_to(Path(linux_target).resolve())

    def winpath(self, linux_path: str | Path) -> str:
        """The path a Windows program uses for a Linux path (C:, shares, else Z:)."""
        p = Path(linux_path).absolute()
        drive_c = self.path / "drive_c"
        unc = self.path / "dosdevices" / "unc"
        for root, prefix in ((drive_c, "C:"), (unc, "\\")):
            try:
                rel = p.relative_to(root)
            except ValueError:
                continue
            return prefix + "\\" + "\\".join(rel.parts) if rel.parts else prefix + "\\"
        return "Z:" + str(p).replace("/", "\\")

    def drive_c(self) -> Path:
        return self.path / "drive_c"


# ---------------------------------------------------------------- display

_current_display: "Display | None" = None
_current_scenario: str | None = None
_screenshots_taken: set[str] = set()


class Display:
    """One Xvfb for the run. ZL_USE_DISPLAY=1 (or use_existing=True) takes $DISPLAY instead."""

    def __init__(self, use_existing: bool | None = None, size: str = "1024x768x24"):
        if use_existing is None:
            use_existing = bool(os.environ.get("ZL_USE_DISPLAY"))
        self.use_existing = use_existing
        self.size = size
        self.name = ""
        self.proc: subprocess.Popen | None = None

    @staticmethod
    def _taken(n: int) -> bool:
        return Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists()

    def _accepts(self, timeout: float) -> bool:
        for _ in _deadline_loop(timeout):
            if self.proc is not None and self.proc.poll() is not None:
                return False
            r = subprocess.run(["xdpyinfo", "-display", self.name], capture_output=True, timeout=10)
            if r.returncode == 0:
                return True
        return False

    def __enter__(self) -> "Display":
        global _current_display
        if self.use_existing:
            self.name = os.environ.get("DISPLAY", "")
            if not self.name:
                raise HarnessError("ZL_USE_DISPLAY set but DISPLAY is empty")
        else:
            for n in range(90, 190):
                if self._taken(n):
                    continue
                self.name = f":{n}"
                self.proc = subprocess.Popen(
                    ["Xvfb", self.name, "-screen", "0", self.size, "-nolisten", "tcp"],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if self._accepts(15.0):
                    break
                # Lost a race for this number with another run, or a failed start.
                self._stop()
            else:
                raise HarnessError("no free X display number between :90 and :189")
        _current_display = self
        return self

    def _stop(self) -> None:
        if self.proc is not None:
            if self.proc.poll() is None:
                self.proc.terminate()
                try:
                    self.proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    self.proc.kill()
                    self.proc.wait(timeout=10)
            self.proc = None

    def __exit__(self, *exc) -> None:
        global _current_display
        self._stop()
        if _current_display is self:
            _current_display = None

    def screenshot(self, path: str | Path) -> Path:
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-display", self.name, "-window", "root", str(path)],
                       check=True, timeout=30, capture_output=True)
        return path


# ---------------------------------------------------------------- window driver

def _unescape(s: str) -> str:
    out = []
    i = 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}.get(s[i + 1], "\\" + s[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


class Driver:
    """winctl.exe run in the prefix. Every failure raises HarnessError."""

    def __init__(self, prefix: WinePrefix):
        self.prefix = prefix
        self.exe = str(bin_path("winctl.exe"))

    def _call(self, args: Sequence[str], timeout: float = 30.0) -> list[str]:
        r = self.prefix.run([self.exe, *args], timeout=timeout)
        if r.returncode != 0:
            raise HarnessError(f"winctl {' '.join(args)}: exit {r.returncode}: {r.stderr.strip()}")
        return [ln.rstrip("\r") for ln in r.stdout.split("\n") if ln.rstrip("\r")]

    def wait(self, caption: str, timeout: float = 10.0) -> int:
        out = self._call(["wait", caption, str(int(timeout * 1000))], timeout=timeout + 30)
        return int(out[0], 16)

    def gone(self, caption: str, timeout: float = 10.0) -> None:
        self._call(["gone", caption, str(int(timeout * 1000))], timeout=timeout + 30)

    def texts(self, caption: str) -> list[tuple[str, int, str]]:
        """(class, id, text) of every visible control, caption line left out."""
        rows = []
        for line in self._call(["texts", caption])[1:]:
            cls, cid, text = (line.split("\t", 2) + ["", ""])[:3]
            rows.append((_unescape(cls), int(cid), _unescape(text)))
        return rows

    def click(self, caption: str, text: str) -> None:
        self._call(["click", caption, text])

    def clickid(self, caption: str, control_id: int) -> None:
        self._call(["clickid", caption, str(control_id)])

    def close(self, caption: str) -> None:
        self._call(["close", caption])

    def settext(self, caption: str, id_path: str, text: str) -> None:
        self._call(["settext", caption, id_path, text])

    def rect(self, caption: str) -> tuple[tuple[int, int, int, int], tuple[int, int]]:
        out = self._call(["rect", caption])
        l, t, r, b = map(int, out[0].split())
        w, h = map(int, out[1].split())
        return (l, t, r, b), (w, h)

    def list(self) -> list[tuple[int, str, str]]:
        rows = []
        for line in self._call(["list"]):
            hwnd, cls, cap = (line.split("\t", 2) + ["", ""])[:3]
            rows.append((int(hwnd, 16), _unescape(cls), _unescape(cap)))
        return rows


# ---------------------------------------------------------------- stand-in log

def read_standin_log(path: str | Path, timeout: float = 10.0, count: int = 1) -> list[dict]:
    """Waits until the log holds at least `count` complete records; returns all of them.
    A trailing line without its newline is a record still being written."""
    path = Path(path)
    records: list[dict] = []
    for _ in _deadline_loop(timeout):
        try:
            data = path.read_bytes()
        except FileNotFoundError:
            continue
        complete = data[: data.rfind(b"\n") + 1]
        records = [json.loads(ln) for ln in complete.decode("utf-8").splitlines() if ln.strip()]
        if len(records) >= count:
            return records
    raise HarnessError(f"{path}: {len(records)} record(s) after {timeout:g} s, wanted {count}")


# ---------------------------------------------------------------- reporting

def fail_with_screenshot(test_name: str, reason: str = "", display: Display | None = None) -> Path | None:
    """Saves build/e2e-artifacts/<test name>.png of the display and prints its path."""
    display = display or _current_display
    if display is None:
        print(f"harness: no display to screenshot for {test_name}", file=sys.stderr)
        return None
    safe = "".join(c if c.isalnum() or c in "-_." else "_" for c in test_name)
    path = ARTIFACTS / f"{safe}.png"
    _screenshots_taken.add(test_name)
    try:
        display.screenshot(path)
    except (subprocess.SubprocessError, OSError) as e:
        print(f"harness: screenshot for {test_name} failed: {e}", file=sys.stderr)
        return None
    print(f"screenshot: {path}" + (f" ({reason})" if reason else ""))
    return path


def run_scenarios(scenarios: dict[str, Callable[[], None]]) -> None:
    """Runs each scenario, prints PASS/FAIL lines, exits 1 if any failed."""
    global _current_scenario
    failed = 0
    for name, fn in scenarios.items():
        t0 = time.monotonic()
        _current_scenario = name
        try:
            fn()
        except Exception as e:  # a scenario's failure must not stop the others
            failed += 1
            reason = f"{type(e).__name__}: {e}".strip()
            print(f"FAIL {name}: {reason}")
            traceback.print_exc(file=sys.stderr)
            if name not in _screenshots_taken:
                fail_with_screenshot(name, reason.splitlines()[0] if reason else "")
        else:
            print(f"PASS {name} ({time.monotonic() - t0:.1f} s)")
        finally:
            _current_scenario = None
        sys.stdout.flush()
    print(f"{len(scenarios) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


def main(script_globals: dict, scenarios: Sequence[Callable[[], None]], netns: bool = False) -> None:
    """A scenario script's whole run: with netns, first into network and mount namespaces of its
    own (the script is re-executed there, see netns.enter); then one display, set as the
    script's global DISPLAY for its scenarios, and the scenarios in order, each named after its
    function (the names given on the command line only, when some are). Exits 1 if any
    failed."""
    wanted = set(sys.argv[1:])
    unknown = wanted - {fn.__name__ for fn in scenarios}
    if unknown:
        raise SystemExit(f"no such scenario: {', '.join(sorted(unknown))}")
    scenarios = [fn for fn in scenarios if not wanted or fn.__name__ in wanted]
    if netns:
        import netns as namespaces  # only for the scripts that broadcast

        namespaces.enter()
    with Display() as d:
        script_globals["DISPLAY"] = d
        run_scenarios({fn.__name__: fn for fn in scenarios})


def _on_sigterm(signum, frame):  # noqa: ARG001
    # Turn a CI kill into an exception so context managers unmount and kill wine.
    raise SystemExit(128 + signum)


signal.signal(signal.SIGTERM, _on_sigterm)
