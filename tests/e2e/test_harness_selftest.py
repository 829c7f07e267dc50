"""Proves the e2e harness, the window driver and the stand-in application under
real Wine + Xvfb. Needs winctl.exe and StandinApp.exe in the win32 bin folder.

    python3 tests/e2e/test_harness_selftest.py
"""

import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness as h  # noqa: E402

SERVER, SHARE = "srv01", "zelkora$"
UNC_VELMONT = rf"\\{SERVER}\{SHARE}\Velmont"


def check(cond, what):
    if not cond:
        raise AssertionError(what)


def eq(actual, expected, what):
    if actual != expected:
        raise AssertionError(f"{what}: expected {expected!r}, got {actual!r}")


def velmont_share(wp):
    share = wp.make_share(SERVER, SHARE)
    folder = share / "Velmont"
    folder.mkdir(exist_ok=True)
    shutil.copy(h.bin_path("StandinApp.exe"), folder / "Velmont.exe")
    return share, folder


def scenario_standin_records_direct_launch(display):
    """Quoted arguments through `wine` reach the stand-in exactly, and the
    record escapes quotes, backslashes and non-ASCII text."""
    with h.WinePrefix("standin_direct", display) as wp:
        exe_dir = wp.drive_c() / "apps" / "Quenda"
        exe_dir.mkdir(parents=True)
        shutil.copy(h.bin_path("StandinApp.exe"), exe_dir / "Quenda.exe")
        work = wp.drive_c() / "work dir"
        work.mkdir()
        log = wp.drive_c() / "logs" / "quenda.jsonl"
        log.parent.mkdir()
        args = ["two words", 'say "hi"', "ends\\", "Zürich ✓"]
        r = wp.run([r"C:\apps\Quenda\Quenda.exe", *args], cwd=work,
                   env={"ZELKORA_STANDIN_LOG": wp.winpath(log)})
        eq(r.returncode, 0, "stand-in exit code")
        rec = h.read_standin_log(log)[0]
        eq(rec["args"][1:], args, "argv split")
        eq(rec["exe"], r"C:\apps\Quenda\Quenda.exe", "module path")
        eq(rec["cwd"], r"C:\work dir", "working folder (Unix cwd mapped into the prefix)")
        # The raw tail keeps its leading blank and the quoting as received.
        check(rec["params"].startswith(' "two words" '), f"params tail: {rec['params']!r}")
        check(rec["cmdline"].endswith(rec["params"]), "params is the tail of cmdline")
        eq(rec["cmdline"][: -len(rec["params"])].strip('"'), r"C:\apps\Quenda\Quenda.exe", "argv[0] token")

        # A second start appends a second line instead of replacing the first.
        wp.run([r"C:\apps\Quenda\Quenda.exe"], env={"ZELKORA_STANDIN_LOG": wp.winpath(log)})
        recs = h.read_standin_log(log, count=2)
        eq(len(recs), 2, "records after two starts")
        eq(recs[1]["params"], "", "params of a start without arguments")
        eq(recs[1]["args"], [r"C:\apps\Quenda\Quenda.exe"], "argv without arguments")


def scenario_standin_start_working_folder(display):
    """`wine start /d <folder>` gives the stand-in that working folder and the
    parameters as typed, on a mapped share drive (/unix) and on the UNC path."""
    with h.WinePrefix("standin_start", display) as wp:
        share, folder = velmont_share(wp)
        wp.map_drive("s", share)
        log = wp.drive_c() / "start.jsonl"
        env = {"ZELKORA_STANDIN_LOG": wp.winpath(log)}

        r = wp.run(["start", "/d", r"S:\Velmont", "/unix", folder / "Velmont.exe", "p q", "-x"], env=env)
        eq(r.returncode, 0, "start exit code")
        rec = h.read_standin_log(log)[0]
        eq(rec["cwd"], r"S:\Velmont", "working folder via drive")
        eq(rec["exe"], r"S:\Velmont\Velmont.exe", "exe via /unix on the mapped drive")
        eq(rec["params"], ' "p q" -x', "raw params")
        eq(rec["args"][1:], ["p q", "-x"], "argv")

        # Wine fails to enter a UNC working folder when the program is named by
        # its full UNC path; a name relative to /d works.
        r = wp.run(["start", "/d", UNC_VELMONT, "Velmont.exe", "a b"], env=env)
        eq(r.returncode, 0, "start exit code")
        rec = h.read_standin_log(log, count=2)[1]
        eq(rec["cwd"], UNC_VELMONT, "UNC working folder")
        eq(rec["params"], ' "a b"', "raw params")


def scenario_share_visible_as_unc(display):
    """make_share's folder is \\\\srv01\\zelkora$ for Windows programs; with no
    log variable the stand-in writes next to itself, on the share."""
    with h.WinePrefix("share_unc", display) as wp:
        _, folder = velmont_share(wp)
        r = wp.run([UNC_VELMONT + r"\Velmont.exe", "--from-share"])
        eq(r.returncode, 0, "stand-in exit code")
        rec = h.read_standin_log(folder / "standin.log")[0]
        # Wine reports the module as "UNC\srv01\..." (leading backslashes dropped).
        exe = rec["exe"]
        if exe.startswith("UNC\\"):
            exe = "\\" + exe[3:]
        eq(exe.lower(), (UNC_VELMONT + r"\Velmont.exe").lower(), "exe path on the share")
        eq(rec["args"][1:], ["--from-share"], "argv")
        eq(wp.winpath(folder / "Velmont.exe"), UNC_VELMONT + r"\Velmont.exe", "winpath of a share file")


def scenario_registry_views_and_version(display):
    """reg_add/reg_query keep the 32- and 64-bit views apart, report a missing
    value as None, round-trip awkward data; the Windows version switch is seen."""
    with h.WinePrefix("registry", display) as wp:
        key = r"HKLM\Software\ZelkoraHarnessTest"
        wp.reg_add(key, "Where", "REG_SZ", "view 32", view=32)
        wp.reg_add(key, "Where", "REG_SZ", "view 64", view=64)
        eq(wp.reg_query(key, "Where", view=32), ("REG_SZ", "view 32"), "32-bit view")
        eq(wp.reg_query(key, "Where", view=64), ("REG_SZ", "view 64"), "64-bit view")
        eq(wp.reg_query(r"HKLM\Software\Wow6432Node\ZelkoraHarnessTest", "Where", view=64),
           ("REG_SZ", "view 32"), "32-bit view lands under Wow6432Node")
        eq(wp.reg_query(key, "Missing", view=32), None, "missing value")
        eq(wp.reg_query(key + r"\NoSuchKey", "Where"), None, "missing key")
        awkward = r'C:\Program Files\Velmont\ "x"  y\ '
        wp.reg_add(key, "Path", "REG_SZ", awkward, view=32)
        eq(wp.reg_query(key, "Path", view=32), ("REG_SZ", awkward), "awkward data round trip")
        wp.reg_add(key, "Count", "REG_DWORD", 4660, view=32)
        eq(wp.reg_query(key, "Count", view=32), ("REG_DWORD", 4660), "dword")
        wp.reg_add(key, None, "REG_SZ", "default", view=32)
        eq(wp.reg_query(key, None, view=32), ("REG_SZ", "default"), "default value")

        for version, shown in (("winxp", "5.1.2600"), ("win7", "6.1.7601")):
            wp.set_windows_version(version)
            out = wp.run(["cmd", "/c", "ver"], check=True).stdout
            check(shown in out, f"{version}: 'ver' printed {out.strip()!r}")


def scenario_driver_reads_and_drives_windows(display):
    """The driver answers a message box, waits for a window by a non-ASCII
    caption, reads and sets control texts, closes it and sees it go."""
    with h.WinePrefix("driver", display) as wp:
        drv = h.Driver(wp)
        doc = wp.drive_c() / "Zürich notes.txt"
        # Opening a missing file makes notepad ask first, in a message box.
        app = wp.start(["notepad", r"C:\Zürich notes.txt"], timeout=60)
        drv.wait("ERROR", timeout=15)
        rows = drv.texts("ERROR")
        message = [t for c, i, t in rows if c == "Static" and i == 65535]
        check(len(message) == 1 and "File 'C:\\Zürich notes.txt' does not exist.\n\n" in message[0],
              f"message box text: {rows}")
        eq(sorted(t for c, _, t in rows if c == "Button"), ["&No", "&Yes", "Cancel"], "message box buttons")
        try:
            drv.click("ERROR", "No such button")
        except h.HarnessError:
            pass
        else:
            raise AssertionError("click on a missing button succeeded")
        drv.click("ERROR", "Yes")  # matched without its mnemonic
        drv.gone("ERROR", timeout=10)

        caption = "Zürich notes.txt - Notepad"
        check(drv.wait(caption, timeout=10) != 0, "window handle")
        check(any(cap == caption for _, _, cap in drv.list()), "list shows the window")
        (left, top, right, bottom), (cw, ch) = drv.rect(caption)
        check(0 < cw <= right - left and 0 < ch <= bottom - top,
              f"rect {left, top, right, bottom} client {cw, ch}")

        eq([c for c, _, _ in drv.texts(caption)][:1], ["Edit"], "first control")
        text = "line one\r\nC:\\path\\two\tend"
        drv.settext(caption, "0", text)
        eq([t for c, _, t in drv.texts(caption) if c == "Edit"], [text], "edit text read back (escapes undone)")

        try:
            drv.wait("No such window ✗", timeout=0.2)
        except h.HarnessError:
            pass
        else:
            raise AssertionError("wait for a missing window succeeded")

        # WM_SETTEXT leaves the document unmodified, so it closes without asking.
        drv.close(caption)
        drv.gone(caption, timeout=10)
        eq(app.wait(timeout=10), 0, "notepad exit code")
        check(doc.is_file() and doc.read_bytes() == b"", "the answered box created the empty file")


def scenario_screenshot(display):
    """A failure screenshot is a real PNG of the display."""
    path = h.fail_with_screenshot("selftest_screenshot_probe", "probe", display)
    check(path is not None and path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n", f"png at {path}")
    path.unlink()


if __name__ == "__main__":
    with h.Display() as disp:
        h.run_scenarios({
            name: (lambda fn=fn: fn(disp))
            for name, fn in (
                ("standin_records_direct_launch", scenario_standin_records_direct_launch),
                ("standin_start_working_folder", scenario_standin_start_working_folder),
                ("share_visible_as_unc", scenario_share_visible_as_unc),
                ("registry_views_and_version", scenario_registry_views_and_version),
                ("driver_reads_and_drives_windows", scenario_driver_reads_and_drives_windows),
                ("screenshot", scenario_screenshot),
            )
        })
