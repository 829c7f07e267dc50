"""The real launcher under Wine: the happy path with its window, the application's command line
and working folder, the port offset and quoted arguments, the end 4.5 s after the start, and a
setting of the wrong type, the admin's trace."""

from __future__ import annotations

import codecs
import re
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
import prereq as pr  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import CAPTION, office, pixel, wait_exit  # noqa: E402

DISPLAY: Display | None = None


def happy_path() -> None:
    with office("happy", DISPLAY) as o:
        app = o.add_app("Velmont/Velmont.exe")
        o.set_user("AppLocation", "REG_SZ", app)
        pr.quiet_prerequisites(o)
        proc = o.start_launcher()
        o.driver.wait(CAPTION, timeout=30)
        (left, top, right, bottom), (cw, ch) = o.driver.rect(CAPTION)
        check((cw, ch) == (450, 250), f"client area {cw} x {ch}, wanted 450 x 250")
        # Centred on the 1024 x 768 screen (the frame adds the same on both sides horizontally).
        check(abs((left + right) / 2 - 512) <= 1, f"not centred horizontally: {left}..{right}")
        shot = o.display.screenshot(harness.ARTIFACTS / "launcher-window.png")
        # Steel blue in the status band between the logo and the progress bar, left edge.
        client_left = left + ((right - left) - cw) // 2
        client_top = bottom - ((right - left) - cw) // 2 - ch
        rgb = pixel(shot, client_left + 10, client_top + 160)
        check(rgb == (0x46, 0x82, 0xB4), f"background {rgb}, wanted steel blue")
        rec = o.records(timeout=30)[0]
        started = time.monotonic()
        # What a screen reader reads while the window stays: the status control's text and the
        # progress control's position.
        shown = {(cls.lower(), cid): text for cls, cid, text in o.driver.texts(CAPTION)}
        eq(shown.get(("static", 1)), "Launching App", "status read from the main window")
        eq(shown.get(("msctls_progress32", 2)), "100", "progress read from the main window")
        # The server comes from the saved location's path; the shell adds one blank before the
        # launcher's parameter text, which begins with one.
        want = "  -OrvexAddress=srv01"
        check(rec["params"] == want, f"parameters {rec['params']!r}, wanted {want!r}")
        check(rec["cwd"].rstrip("\\").lower() == o.unc("Velmont").lower(),
              f"working folder {rec['cwd']!r}")
        check(rec["exe"].lower().endswith("velmont\\velmont.exe"), f"exe {rec['exe']!r}")
        code = wait_exit(proc, 30)
        ended = time.monotonic() - started
        check(code == 0, f"launcher exit code {code}")
        # The window stays 4.5 s after the start, then the program ends. `started` is when the
        # application's record appeared, later than the launcher's start of it by the
        # application's own start-up, which is longer where 32-bit code is emulated.
        low = 3.4 if harness.I386_EMULATED else 4.0
        check(low <= ended <= 7.5, f"ended {ended:.2f} s after the application's start")
        check(len(o.records()) == 1, "the application was started more than once")


def trace_in_the_debug_output_and_the_log_file() -> None:
    # The admin's log file named with a variable; Wine shows OutputDebugStringW on its seh
    # channel. Both carry the same lines, the step times and the start among them.
    with office("trace", DISPLAY) as o:
        o.set_user("AppLocation", "REG_SZ", o.add_app("Velmont/Velmont.exe"))
        o.set_user("LogFile", "REG_EXPAND_SZ", r"%TEMP%\zl-trace.log")
        pr.quiet_prerequisites(o)
        proc = o.start_launcher(env={"WINEDEBUG": "warn+seh"})
        o.records(timeout=30)
        eq(wait_exit(proc, 30), 0, "launcher exit code")
        log = (pr.temp_dir(o) / "zl-trace.log").read_bytes()
        check(not log.startswith(b"\xef\xbb\xbf"), "the log starts with a byte-order mark")
        lines = log.decode("utf-8").split("\r\n")
        eq(lines[-1], "", "the log's last line end")
        lines = lines[:-1]
        check(all(ln.startswith("ZelkoraLauncher: ") and "\n" not in ln for ln in lines),
              f"log lines {lines!r}")
        for want in ("Step 1: Checking Local PC", "Step 6 took ", 'Starting "\\\\srv01'):
            check(any(ln.startswith("ZelkoraLauncher: " + want) for ln in lines),
                  f"no line {want!r} in {lines!r}")
        # Wine writes each as OutputDebugStringA "text\n", with C escapes.
        debug = proc.stderr_path.read_text("utf-8", "replace")  # type: ignore[attr-defined]
        shown = [codecs.decode(m, "unicode_escape")
                 for m in re.findall(r'OutputDebugString\w "(.*)\\n"$', debug, re.M)]
        eq(shown, lines, "the debug output against the log")


def port_offset_and_arguments() -> None:
    with office("arguments", DISPLAY) as o:
        app = o.add_app("Velmont/Velmont.exe")
        o.set_user("AppLocation", "REG_SZ", app)
        o.set_machine("PortOffset", "REG_DWORD", 5)
        o.set_user("PortOffset", "REG_DWORD", 2)
        o.set_machine("OrvexAddress", "REG_SZ", "srv01")
        pr.quiet_prerequisites(o)
        proc = o.start_launcher("-a", "b c")
        rec = o.records(timeout=30)[0]
        # Quoted arguments are not quoted again: "b c" reaches the application as two.
        # The shell puts one blank between the program and the launcher's parameter text, which
        # itself begins with a blank.
        want = "  -PortOffset=2 -OrvexAddress=srv01 -a b c"
        check(rec["params"] == want, f"parameters {rec['params']!r}, wanted {want!r}")
        check(rec["args"][1:] == ["-PortOffset=2", "-OrvexAddress=srv01", "-a", "b", "c"],
              f"arguments {rec['args'][1:]}")
        check(wait_exit(proc, 30) == 0, "launcher failed")


OLD_WINDOWS = ("Your operating system does not meet the requirements for Zelkora programs.  You "
               "must be running a Professional version (not a Home version) of Windows XP or "
               "later.  Zelkora recommends users use Windows 7 Professional or higher.")


def warning_before_the_start() -> None:
    """A warning of step 1 waits for the last report: the application starts only after the
    "Warning" dialog has been closed."""
    with office("warning", DISPLAY, version="win2k") as o:
        app = o.add_app("Velmont/Velmont.exe")
        o.set_user("AppLocation", "REG_SZ", app)
        pr.quiet_prerequisites(o)
        proc = o.start_launcher()
        o.driver.wait("Warning", timeout=60)
        texts = [t for (_, _, t) in o.driver.texts("Warning")]
        check(OLD_WINDOWS in texts, f"Warning dialog texts {texts}")
        check(o.no_records(), "the application started before the warning was answered")
        o.driver.click("Warning", "OK")
        o.records(timeout=30)
        check(wait_exit(proc, 30) == 0, "launcher failed")


def wrong_type_setting() -> None:
    with office("wrongtype", DISPLAY) as o:
        app = o.add_app("Velmont/Velmont.exe")
        o.set_user("AppLocation", "REG_SZ", app)
        o.set_user("SkipCR", "REG_SZ", "1")
        proc = o.start_launcher()
        o.driver.wait(CAPTION, timeout=30)
        texts = [t for (_, _, t) in o.driver.texts(CAPTION)]
        check(any("Invalid data type for 'SkipCR'" in t for t in texts), f"box texts {texts}")
        o.driver.click(CAPTION, "OK")
        check(wait_exit(proc, 30) != 0, "the launcher should end with a failure code")
        check(o.no_records(), "the application must not start")


if __name__ == "__main__":
    harness.main(globals(), [
        happy_path,
        trace_in_the_debug_output_and_the_log_file,
        port_offset_and_arguments,
        warning_before_the_start,
        wrong_type_setting,
    ])
