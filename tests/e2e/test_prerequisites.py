"""The real launcher installing prerequisites under Wine: the offers and their answers, the
share's Common copy against the download from a loopback server, failed downloads, and the
database engine settings Quenda needs. The packages are real MSI files (tools/packages) that
Wine's msiexec installs; a second launch shows whether the launcher sees what was installed."""

from __future__ import annotations

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
import prereq as pr  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import Office, office, wait_exit  # noqa: E402

DISPLAY: Display | None = None
BRAILLE_PATH = "/Velmont/Braille%20Fonts.msi"


def velmont(o: Office, server_url: str, skip_cr: bool) -> None:
    """Velmont saved on the share, nothing installed. SkipPC keeps the memory and screen warnings
    out of the way; SkipCR leaves only the braille offer."""
    o.set_user("AppLocation", "REG_SZ", o.add_app("Velmont/Velmont.exe"))
    o.set_user("SkipPC", "REG_DWORD", 1)
    if skip_cr:
        o.set_user("SkipCR", "REG_DWORD", 1)
    o.set_user("DownloadServer", "REG_SZ", server_url)


def finish(o: Office, proc, runs: int) -> None:
    """The application starts (this is run number `runs` of the office) and the launcher ends."""
    pr.expect_app_start(o, runs)
    code = wait_exit(proc, 30)
    check(code == 0, f"launcher exit code {code}")


def installer_window_up(o: Office, srv: pr.DownloadServer, path: str,
                        reading: tuple[str, int] | None = None) -> None:
    """While the server holds the response: the download window is up, then goes once released.
    With `reading` (status, most percent), what a screen reader reads while the download stalls:
    the status, and a progress above 0 and at most what the server sent (reports are spaced, so
    the last one may be of an earlier chunk)."""
    req = srv.wait_request(timeout=30)
    check(req.path == path, f"downloaded {req.path}, wanted {path}")
    o.driver.wait(pr.INSTALLER, timeout=10)
    _, (cw, ch) = o.driver.rect(pr.INSTALLER)
    check((cw, ch) == (294, 51), f"Installer client area {cw} x {ch}, wanted 294 x 51")
    if reading is not None:
        shown: dict = {}
        for _ in harness._deadline_loop(20):
            shown = {(cls.lower(), cid): text for cls, cid, text in o.driver.texts(pr.INSTALLER)}
            if shown.get(("static", 1)):
                break
        eq(shown.get(("static", 1)), reading[0], "status read from the Installer window")
        progress = shown.get(("msctls_progress32", 2), "")
        check(progress.isdigit() and 0 < int(progress) <= reading[1],
              f"progress read from the Installer window: {progress!r}")
    srv.release()
    o.driver.gone(pr.INSTALLER, timeout=30)


def braille_declined_and_failed_downloads() -> None:
    # One workstation through three launches: No, then Yes against a server without the
    # package (404), then Yes against a port that refuses. Each time nothing is installed, a
    # failed download is named, the application starts anyway and the next launch asks again.
    with office("braille-fail", DISPLAY) as o, pr.DownloadServer({}, hold=True) as srv:
        velmont(o, srv.url, skip_cr=True)

        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=False)
        finish(o, proc, 1)
        check(srv.requests() == [], f"declining downloaded {srv.paths()}")
        check(pr.temp_files(o, "tmp*.msi") == [], "declining left a package in the temp folder")

        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        installer_window_up(o, srv, BRAILLE_PATH)
        eq(pr.not_downloaded(o, pr.BRAILLE_MSI), "HTTP 404", "the reason")
        finish(o, proc, 2)
        check([r.status for r in srv.requests()] == [404], f"requests {srv.requests()}")
        check(pr.braille_font(o) is None, "BRAILLE.TTF installed from a 404")

        with pr.refused_url() as refused:
            o.set_user("DownloadServer", "REG_SZ", refused)
            before = set(pr.temp_files(o, "tmp*.msi"))
            proc = o.start_launcher()
            pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
            reason = pr.not_downloaded(o, pr.BRAILLE_MSI)
            check(reason != "", "the refused download gave no reason")
            finish(o, proc, 3)
        # The refused connection ends the download at once, too fast to catch the window; its
        # folder goes at once too, so nothing of it is left.
        new = set(pr.temp_files(o, "tmp*.msi")) - before
        check(not new, f"the refused download left {sorted(new)}")
        check(pr.temp_files(o, "zl*") == [], "an installer folder outlived the download")
        check(pr.braille_font(o) is None, "BRAILLE.TTF installed without a download")
        check(len(srv.requests()) == 1, f"requests after the refused run {srv.requests()}")


def braille_from_common() -> None:
    # The share's Common copy is installed without a download; the next launch does not ask.
    with office("braille-common", DISPLAY) as o, pr.DownloadServer(pr.download_files()) as srv:
        velmont(o, srv.url, skip_cr=True)
        pr.put_in_common(o, pr.BRAILLE_MSI)

        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        finish(o, proc, 1)
        font = pr.braille_font(o)
        check(font is not None, "BRAILLE.TTF is not in the Windows fonts folder")
        check(font.read_bytes() == b"stand-in braille font\r\n", f"{font} is not the package's file")
        check(srv.requests() == [], f"the Common copy was downloaded as well: {srv.paths()}")
        check(pr.temp_files(o, "tmp*.msi") == [], "the temporary copy outlived the install")

        proc = o.start_launcher()
        finish(o, proc, 2)  # an offer would hold the start back
        check(srv.requests() == [], f"the second launch downloaded {srv.paths()}")


def braille_downloaded() -> None:
    # Without a Common copy the package comes from the download server, in the Installer window,
    # and stays in the temp folder; the next launch offers nothing.
    # The package is padded past the downloader's first read (64 KiB), and the server stalls
    # after a third of it, where the window is read.
    padded = harness.ARTIFACTS / "padded" / pr.BRAILLE_MSI
    padded.parent.mkdir(parents=True, exist_ok=True)
    padded.write_bytes(pr.package(pr.BRAILLE_MSI).read_bytes() + bytes(300 * 1024))
    files = {BRAILLE_PATH: padded}
    third = padded.stat().st_size // 3
    with office("braille-download", DISPLAY) as o, \
            pr.DownloadServer(files, hold=True, hold_after=third) as srv:
        velmont(o, srv.url, skip_cr=True)

        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        installer_window_up(o, srv, BRAILLE_PATH, reading=(f"Downloading {pr.BRAILLE_MSI}", 33))
        finish(o, proc, 1)
        check([(r.method, r.path, r.status) for r in srv.requests()] == [("GET", BRAILLE_PATH, 200)],
              f"requests {srv.requests()}")
        check(pr.braille_font(o) is not None, "BRAILLE.TTF is not in the Windows fonts folder")
        # The package ran from a folder of its own, which went with it.
        left = pr.temp_files(o, "tmp*.msi") + pr.temp_files(o, "zl*")
        check(left == [], f"temp folder holds {left} after the install")

        proc = o.start_launcher()
        finish(o, proc, 2)
        check(len(srv.requests()) == 1, f"the second launch downloaded {srv.paths()[1:]}")


def report_viewer_and_barcode_downloaded() -> None:
    # The three offers come in order; the report viewer (found through its 32-bit COM
    # registration and file version) and the barcode fonts (in SysWOW64) are downloaded and then
    # recognised, so the next launch asks only for the declined braille fonts.
    with office("crystal-xi", DISPLAY) as o, pr.DownloadServer(pr.download_files()) as srv:
        velmont(o, srv.url, skip_cr=False)

        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_CRYSTAL_XI, yes=True)
        pr.answer_offer(o, pr.OFFER_BARCODE, yes=True, timeout=60)
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=False, timeout=60)
        finish(o, proc, 1)
        check(srv.paths() == ["/Velmont/Crystal%20Reports%20XI%20Installer.msi",
                              "/Velmont/BarCode%20Fonts%20Installer.msi"], f"requests {srv.paths()}")
        check(pr.syswow64_file(o, "u2ldfont.dll") is not None, "u2ldfont.dll is not in SysWOW64")
        server = o.prefix.reg_query(rf"HKCR\CLSID\{pr.CRYSTAL_CLSID}\InprocServer32", None, view=32)
        check(server is not None and server[1].lower().endswith("\\crystalruntime.dll"),
              f"report viewer registration {server}")

        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=False)
        finish(o, proc, 2)
        check(len(srv.requests()) == 2, f"the second launch downloaded {srv.paths()[2:]}")


ENGINE = r"HKLM\Software\Borland\Database Engine"
PARADOX_INIT = ENGINE + r"\Settings\DRIVERS\PARADOX\INIT"


def engine_values(o: Office) -> tuple:
    return (o.prefix.reg_query(ENGINE, "DLLPATH", view=32),
            o.prefix.reg_query(ENGINE, "ConfigFile01", view=32),
            o.prefix.reg_query(PARADOX_INIT, "NET DIR", view=32))


def quenda_engine_and_report_viewer() -> None:
    # Quenda on Windows 7 with a new prefix's engine settings (no DLLPATH): the settings are
    # rewritten to the share through a .reg file that is deleted afterwards. The report viewer
    # 8.5 comes from the Common folder, then its patch is downloaded and run elevated and the
    # launcher records it. The next launch offers nothing and leaves the settings as they are.
    with office("quenda", DISPLAY, version="win7") as o, pr.DownloadServer(pr.download_files()) as srv:
        check(engine_values(o)[0] is None, "the new prefix already has DLLPATH")
        o.set_user("AppLocation", "REG_SZ", o.add_app("Quenda/Quenda.exe"))
        o.set_user("OrvexAddress", "REG_SZ", "srv01")
        o.set_user("SkipPC", "REG_DWORD", 1)
        o.set_user("DownloadServer", "REG_SZ", srv.url)
        pr.put_in_common(o, pr.CRYSTAL_85_MSI)

        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_CRYSTAL_85, yes=True)
        finish(o, proc, 1)
        root = r"\\srv01\Zelkora$"
        want = (("REG_SZ", root + "\\Common\\BDE\\"), ("REG_SZ", root + "\\Common\\BDE\\idapi32.cfg"),
                ("REG_SZ", root + "\\Common\\"))
        check(engine_values(o) == want, f"engine settings {engine_values(o)}, wanted {want}")
        check(not pr.find_ci(pr.temp_dir(o), "BDE.REG"), "BDE.REG is still in the temp folder")
        check(pr.syswow64_file(o, "crpe32.dll") is not None, "crpe32.dll is not in SysWOW64")
        check(srv.paths() == ["/Quenda/Windows%207%2064bit%20Crystal%20Update.exe"],
              f"requests {srv.paths()}, wanted only the 64-bit patch")
        flag = o.prefix.reg_query(r"HKCU\Software\Zelkora\Launcher", "Crystal85Patched", view=64)
        check(flag == ("REG_DWORD", 1), f"Crystal85Patched is {flag}")
        check(not (pr.user_dir(o) / "CrystalPatched.txt").exists(), "the patch marker was not deleted")
        # While it ran, the patch's own file could not be renamed away: the launcher held it.
        swap = pr.user_dir(o) / "CrystalPatch.log"
        check(swap.exists() and swap.read_text().strip() == "rename refused",
              f"the patch's file while it ran: {swap.read_text().strip() if swap.exists() else 'no log'}")

        # A value the check does not compare: a rewrite would put the template's text back.
        o.prefix.reg_add(PARADOX_INIT, "LANGDRIVER", "REG_SZ", "kept", view=32)
        proc = o.start_launcher()
        finish(o, proc, 2)
        check(o.prefix.reg_query(PARADOX_INIT, "LANGDRIVER", view=32) == ("REG_SZ", "kept"),
              "the second launch rewrote the engine settings")
        check(len(srv.requests()) == 1, f"the second launch downloaded {srv.paths()[1:]}")


if __name__ == "__main__":
    harness.main(globals(), [
        braille_declined_and_failed_downloads,
        braille_from_common,
        braille_downloaded,
        report_viewer_and_barcode_downloaded,
        quenda_engine_and_report_viewer,
    ])
