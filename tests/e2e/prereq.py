"""Prerequisite installs for the end-to-end scenarios: the stand-in packages built by
tools/packages/build-packages.sh, a loopback HTTP download server that logs what it was asked
for, the offer dialogs, and where the installed files land in a prefix.

    with DownloadServer(download_files()) as srv:      # 127.0.0.1, a free port
        o.set_user("DownloadServer", "REG_SZ", srv.url)
        ...
        srv.paths()                                     # every request path, in order

`demo_prerequisites()` at the end shows the whole install flow on a display (for scripts/demo).
Standard library only."""

from __future__ import annotations

import contextlib
import http.server
import os
import shutil
import socket
import struct
import threading
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Iterator

import harness
from harness import HarnessError
from office import CAPTION, Office, office, wait_exit

# Wine's WinINet falls back to these variables for its proxy: downloads must stay on loopback.
for _var in [v for v in os.environ if v.lower() in ("http_proxy", "https_proxy", "all_proxy")]:
    del os.environ[_var]

CONFIRM = "Confirm"
ERROR = "Error"
INSTALLER = "Installer"
LOOPBACK = "127.0.0.1"

BRAILLE_MSI = "Braille Fonts.msi"
BARCODE_MSI = "BarCode Fonts Installer.msi"
CRYSTAL_XI_MSI = "Crystal Reports XI.msi"
CRYSTAL_85_MSI = "Crystal 8.5.msi"
PATCH_64_EXE = "Windows 7 64bit Crystal Update.exe"
PATCH_32_EXE = "Windows 7 32bit Crystal Update.exe"

# Download path on the server -> the file the launcher names it by (its Common folder name).
DOWNLOAD_PATHS = {
    "/Velmont/Crystal%20Reports%20XI%20Installer.msi": CRYSTAL_XI_MSI,
    "/Velmont/BarCode%20Fonts%20Installer.msi": BARCODE_MSI,
    "/Velmont/Braille%20Fonts.msi": BRAILLE_MSI,
    "/Quenda/Crystal%208.5.msi": CRYSTAL_85_MSI,
    "/Quenda/Windows%207%2064bit%20Crystal%20Update.exe": PATCH_64_EXE,
    "/Quenda/Windows%207%2032bit%20Crystal%20Update.exe": PATCH_32_EXE,
}

# The offer texts, exactly as the launcher asks them.
_TAIL = "\r\n\r\nDo you want to download and install the "
OFFER_CRYSTAL_XI = (
    "The Crystal Reports XI viewer does not appear to be installed on this computer.  Though "
    "Velmont will run, you will receive errors if you attempt to preview or print any invoice, "
    "estimate, or other report." + _TAIL + "Crystal drivers now?")
OFFER_BARCODE = (
    "Barcode Fonts does not appear to be installed on this computer.  Though Velmont will run, "
    "barcodes on reports will not print correctly." + _TAIL + "Barcode fonts now?")
OFFER_BRAILLE = (
    "Braille Fonts does not appear to be installed on this computer.  Though Velmont will run, "
    "braille on certain components and reports will not print correctly." + _TAIL
    + "braille fonts now?")
OFFER_CRYSTAL_85 = (
    "The Crystal Reports 8.5 viewer does not appear to be installed on this computer.  Though "
    "Quenda will run, you will receive errors if you attempt to preview or print any invoice, "
    "estimate, or other report" + _TAIL + "Crystal drivers now?")

CRYSTAL_PROGID = "CrystalRuntime.Report.11"
CRYSTAL_CLSID = "{5E3C8B1A-2F47-4C9D-9B6E-0D1A7F3C2B95}"  # as in tools/packages/CrystalReportsXI.wxs


# ---------------------------------------------------------------- packages

def packages_dir() -> Path:
    """build/win32/packages, next to the win32 bin folder (ZL_WIN32_BIN moves both)."""
    return harness.bin_dir().parent / "packages"


def package(name: str) -> Path:
    """The stand-in installer that the launcher knows as `name` (an .msi or a patch .exe)."""
    if name in (PATCH_64_EXE, PATCH_32_EXE):
        return harness.bin_path("CrystalPatch.exe")
    p = packages_dir() / name
    if not p.is_file():
        raise HarnessError(f"{p} not found: run tools/packages/build-packages.sh (scripts/build does)")
    return p


def download_files(*names: str) -> dict[str, Path]:
    """Server path -> local file for the named installers (all six when none is named)."""
    wanted = set(names) if names else set(DOWNLOAD_PATHS.values())
    return {path: package(name) for path, name in DOWNLOAD_PATHS.items() if name in wanted}


def put_in_common(o: Office, *names: str) -> None:
    """Copies installers into the share's Common folder, where the launcher looks first."""
    common = o.share / "Common"
    common.mkdir(parents=True, exist_ok=True)
    for name in names:
        shutil.copyfile(package(name), common / name)


# ---------------------------------------------------------------- download server

@dataclass(frozen=True)
class Request:
    method: str
    path: str
    status: int


class DownloadServer:
    """HTTP on 127.0.0.1 (a free port) serving exactly `files` (server path -> local file),
    404 for anything else. Every request is logged. With `hold`, a response waits until
    `release()`, so a test can look at the launcher's Installer window while it downloads;
    with `hold_after` too, a file's headers and that many bytes of its body go first.
    With `reset_after`, a file's body is cut after that many bytes by a TCP reset."""

    def __init__(self, files: dict[str, Path], hold: bool = False, hold_bound: float = 60.0,
                 redirects: dict[str, str] | None = None, reset_after: int | None = None,
                 hold_after: int | None = None):
        self.files = dict(files)
        self.hold_after = hold_after
        self.redirects = dict(redirects or {})  # server path -> Location of a 302
        self.reset_after = reset_after
        self._requests: list[Request] = []
        self._arrived = threading.Condition()
        self._gate = threading.Event()
        if not hold:
            self._gate.set()
        self._hold_bound = hold_bound
        self._httpd: http.server.ThreadingHTTPServer | None = None
        self._thread: threading.Thread | None = None

    @property
    def port(self) -> int:
        assert self._httpd is not None
        return self._httpd.server_address[1]

    @property
    def url(self) -> str:
        return f"http://{LOOPBACK}:{self.port}"

    def requests(self) -> list[Request]:
        with self._arrived:
            return list(self._requests)

    def paths(self) -> list[str]:
        return [r.path for r in self.requests()]

    def wait_request(self, timeout: float = 30.0) -> Request:
        """Waits for the first request (held ones included)."""
        with self._arrived:
            if not self._arrived.wait_for(lambda: self._requests, timeout=timeout):
                raise HarnessError(f"no download request within {timeout:g} s")
            return self._requests[0]

    def release(self) -> None:
        self._gate.set()

    def _log(self, method: str, path: str, status: int) -> None:
        with self._arrived:
            self._requests.append(Request(method, path, status))
            self._arrived.notify_all()

    def _handler(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def _respond(self, body: bool) -> None:
                if self.path in server.redirects:
                    server._log(self.command, self.path, 302)
                    self.send_response(302)
                    self.send_header("Location", server.redirects[self.path])
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                local = server.files.get(self.path)
                status = 200 if local is not None else 404
                server._log(self.command, self.path, status)
                partly = body and local is not None and server.hold_after is not None
                if not partly:
                    server._gate.wait(server._hold_bound)
                data = local.read_bytes() if local is not None else b"not found\r\n"
                self.send_response(status)
                self.send_header("Content-Type",
                                 "application/octet-stream" if local is not None else "text/plain")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                if body and local is not None and server.reset_after is not None:
                    self.wfile.write(data[:server.reset_after])
                    self.wfile.flush()
                    # Closing with a zero linger sends RST instead of FIN.
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                               struct.pack("ii", 1, 0))
                    self.connection.close()
                    self.close_connection = True
                elif partly:
                    self.wfile.write(data[:server.hold_after])
                    self.wfile.flush()
                    server._gate.wait(server._hold_bound)
                    self.wfile.write(data[server.hold_after:])
                elif body:
                    self.wfile.write(data)

            def finish(self) -> None:
                try:
                    super().finish()
                except OSError:
                    pass  # the connection was reset on purpose

            def do_GET(self) -> None:  # noqa: N802
                self._respond(body=True)

            def do_HEAD(self) -> None:  # noqa: N802
                self._respond(body=False)

            def log_message(self, format, *args) -> None:  # noqa: A002
                pass  # the request list is the log

        return Handler

    def __enter__(self) -> "DownloadServer":
        self._httpd = http.server.ThreadingHTTPServer((LOOPBACK, 0), self._handler())
        self._httpd.daemon_threads = True
        self._thread = threading.Thread(target=self._httpd.serve_forever, name="download-server",
                                        daemon=True)
        self._thread.start()
        return self

    def __exit__(self, *exc) -> None:
        self._gate.set()  # a held handler must not outlive the test
        if self._httpd is not None:
            self._httpd.shutdown()
            self._httpd.server_close()
        if self._thread is not None:
            self._thread.join(timeout=10)


@contextlib.contextmanager
def refused_url() -> Iterator[str]:
    """A loopback URL whose port refuses connections: bound but not listening, and held for the
    block so nobody else takes it."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((LOOPBACK, 0))
        yield f"http://{LOOPBACK}:{s.getsockname()[1]}"


# ---------------------------------------------------------------- the launcher's dialogs

# Offer dialogs already answered, by prefix and window handle (each prefix has its own server).
_answered: set[tuple[str, int]] = set()


def answer_offer(o: Office, message: str, yes: bool, timeout: float = 30.0) -> None:
    """Waits for the offer "Confirm" dialog, checks that it asks exactly `message` with the
    buttons Yes and No, and answers it."""
    texts: list[str] = []
    # Offers follow each other at once after a No: until the new dialog is up, the one just
    # answered may still be found, or vanish between two calls. Any other dialog asks the
    # wrong question.
    end = time.monotonic() + timeout
    for _ in harness._deadline_loop(timeout):
        try:
            hwnd = o.driver.wait(CONFIRM, timeout=max(end - time.monotonic(), 0.1))
            rows = o.driver.texts(CONFIRM)
        except HarnessError:
            continue
        texts = [t for (_, _, t) in rows]
        if message in texts:
            break
        if (str(o.prefix.path), hwnd) not in _answered:
            raise HarnessError(f"the Confirm dialog asks {texts!r}, wanted {message!r}")
    else:
        raise HarnessError(f"no Confirm dialog asking {message!r} within {timeout:g} s; "
                           f"last seen {texts!r}")
    buttons = [t for (cls, _, t) in rows if cls.lower() == "button"]
    if sorted(buttons) != ["&No", "&Yes"]:
        raise HarnessError(f"the Confirm dialog has the buttons {buttons!r}, wanted &Yes and &No")
    o.driver.click(CONFIRM, "&Yes" if yes else "&No")
    _answered.add((str(o.prefix.path), hwnd))


def answer_error(o: Office, timeout: float = 60.0) -> str:
    """Waits for the "Error" dialog, presses its OK and returns its message."""
    o.driver.wait(ERROR, timeout=timeout)
    texts = [t for (cls, _, t) in o.driver.texts(ERROR) if cls.lower() == "static" and t]
    o.driver.click(ERROR, "OK")
    return max(texts, key=len) if texts else ""


def not_downloaded(o: Office, name: str) -> str:
    """The error that a download failed: names the file and says it was not run; returns the
    reason given below."""
    head = f'The file "{name}" could not be downloaded. It was not run.\r\n\r\n'
    text = answer_error(o)
    if not text.startswith(head):
        raise HarnessError(f"the Error dialog says {text!r}, wanted it to start with {head!r}")
    return text[len(head):]


def expect_app_start(o: Office, count: int, timeout: float = 40.0) -> dict:
    """Waits until the application has been started `count` times in all; a dialog still up
    instead (an offer nobody expected, a warning) is named in the failure."""
    try:
        return o.records(timeout=timeout, count=count)[-1]
    except HarnessError as e:
        shown = [cap for (_, _, cap) in o.driver.list() if cap and cap != CAPTION]
        raise HarnessError(f"{e}; windows up: {shown}") from None


# ---------------------------------------------------------------- where installs land

def windows_dir(o: Office) -> Path:
    return o.prefix.drive_c() / "windows"


def find_ci(folder: Path, *names: str) -> Path | None:
    """The file under `folder` reached by `names`, each matched without regard to case as
    Windows does (Wine keeps C:\\windows\\Fonts capitalised)."""
    here = folder
    for name in names:
        if not here.is_dir():
            return None
        match = [c for c in here.iterdir() if c.name.lower() == name.lower()]
        if not match:
            return None
        here = match[0]
    return here


def braille_font(o: Office) -> Path | None:
    return find_ci(windows_dir(o), "fonts", "BRAILLE.TTF")


def syswow64_file(o: Office, name: str) -> Path | None:
    """A file in the folder a 32-bit program sees as its system folder on 64-bit Windows."""
    return find_ci(windows_dir(o), "syswow64", name)


def user_dir(o: Office) -> Path:
    """C:\\users\\<user>: Wine names it after the Unix user."""
    users = [d for d in (o.prefix.drive_c() / "users").iterdir()
             if d.is_dir() and d.name.lower() != "public"]
    if len(users) != 1:
        raise HarnessError(f"expected one user folder, found {[d.name for d in users]}")
    return users[0]


def temp_dir(o: Office) -> Path:
    t = find_ci(user_dir(o), "Temp")
    if t is None:
        raise HarnessError(f"no Temp folder in {user_dir(o)}")
    return t


def temp_files(o: Office, pattern: str) -> list[Path]:
    return sorted(temp_dir(o).glob(pattern))


def quiet_prerequisites(o) -> None:
    """Nothing for step 5 to offer: the report viewer and barcode checks skipped, the braille
    font present (Xvfb's 1024 x 768 screen and the host's memory pass)."""
    o.set_user("SkipCR", "REG_DWORD", 1)
    fonts = windows_dir(o) / "Fonts"
    fonts.mkdir(parents=True, exist_ok=True)
    (fonts / "BRAILLE.TTF").write_bytes(b"stand-in font")


# ---------------------------------------------------------------- demo

def demo_prerequisites(display: harness.Display | None = None) -> int:
    """For scripts/demo: Velmont on a workstation without its prerequisites. The launcher offers
    the report viewer, the barcode fonts and the braille fonts; the demo answers Yes to each.
    The braille package lies in the share's Common folder and installs without a window; the
    other two are downloaded from a loopback server while the "Installer" window shows. Prints
    what happened and returns 0 when everything was installed and the application started."""
    own = display is None
    if own:
        display = harness.Display().__enter__()
    try:
        with office("demo-prereq", display) as o, DownloadServer(download_files()) as srv:
            app = o.add_app("Velmont/Velmont.exe")
            o.set_user("AppLocation", "REG_SZ", app)
            o.set_user("SkipPC", "REG_DWORD", 1)
            o.set_user("DownloadServer", "REG_SZ", srv.url)
            put_in_common(o, BRAILLE_MSI)
            print(f"demo: download server {srv.url}; {BRAILLE_MSI} in {o.unc('Common')}")
            proc = o.start_launcher()
            for what, message in (("report viewer", OFFER_CRYSTAL_XI), ("barcode fonts", OFFER_BARCODE),
                                  ("braille fonts", OFFER_BRAILLE)):
                answer_offer(o, message, yes=True, timeout=60)
                print(f"demo: offered the {what}: answered Yes")
            expect_app_start(o, 1, timeout=120)
            code = wait_exit(proc, 60)
            runtime = find_ci(o.prefix.drive_c(), "Program Files (x86)", "Common Files",
                              "Crystal Runtime XI", "CrystalRuntime.dll")
            got = {
                "report viewer runtime": runtime,
                "barcode fonts": syswow64_file(o, "u2ldfont.dll"),
                "braille fonts": braille_font(o),
            }
            for what, path in got.items():
                print(f"demo: {what}: {path if path else 'NOT installed'}")
            print(f"demo: downloads: {srv.paths()}")
            print(f"demo: launcher exit code {code}")
            return 0 if code == 0 and all(got.values()) else 1
    finally:
        if own:
            display.__exit__(None, None, None)
