"""The admin's machine-wide policy under Wine, in a network namespace of this script's own:
installers run only with the checksum the admin set (or required), discovery takes only the
servers the admin listed, and the machine's download server wins over the user's. A download
cut by a reset or by a full temporary drive is named to the user, and nothing of it is run or
left behind."""

from __future__ import annotations

import hashlib
import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "orvex"))

import harness  # noqa: E402
import prereq as pr  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import MACHINE_KEY, Office, office, wait_exit  # noqa: E402
from orvex_standin import Orvex  # noqa: E402

DISPLAY: Display | None = None
BRAILLE_PATH = "/Velmont/Braille%20Fonts.msi"
HASHES_KEY = MACHINE_KEY + r"\InstallerHashes"
MISMATCH = ('The file "Braille Fonts.msi" does not match the checksum set by your administrator. '
            "It was not run.")
NO_CHECKSUM = 'The file "Braille Fonts.msi" has no checksum set by your administrator. It was not run.'


def braille_office(o: Office, server_url: str) -> None:
    """Velmont on the share with only the braille offer left, downloads from server_url."""
    o.set_user("AppLocation", "REG_SZ", o.add_app("Velmont/Velmont.exe"))
    o.set_machine("SkipPC", "REG_DWORD", 1)
    o.set_machine("SkipCR", "REG_DWORD", 1)
    o.set_machine("DownloadServer", "REG_SZ", server_url)


def refused_with(o: Office, message: str) -> None:
    """The error dialog names the file; OK, and nothing more happens to it."""
    eq(pr.answer_error(o), message, "the Error dialog")


def checksums_decide_what_runs() -> None:
    # One workstation, three launches against the same download: a wrong checksum (refused,
    # the download deleted), a missing one while checksums are required (refused), the right
    # one in capitals (installed).
    package = pr.package(pr.BRAILLE_MSI)
    right = hashlib.sha256(package.read_bytes()).hexdigest()
    with office("checksums", DISPLAY) as o, pr.DownloadServer(pr.download_files(pr.BRAILLE_MSI)) as srv:
        braille_office(o, srv.url)

        o.prefix.reg_add(HASHES_KEY, pr.BRAILLE_MSI, "REG_SZ", "0" * 64, view=64)
        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        refused_with(o, MISMATCH)
        pr.expect_app_start(o, 1)
        eq(wait_exit(proc, 30), 0, "launcher exit code")
        eq(srv.paths(), [BRAILLE_PATH], "downloads")
        check(pr.braille_font(o) is None, "a mismatching package was installed")
        check(pr.temp_files(o, "tmp*.msi") + pr.temp_files(o, "zl*") == [],
              "the refused download was kept")

        o.prefix.run(["reg", "delete", HASHES_KEY, "/v", pr.BRAILLE_MSI, "/f", "/reg:64"], check=True)
        o.set_machine("RequireInstallerHashes", "REG_DWORD", 1)
        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        refused_with(o, NO_CHECKSUM)
        pr.expect_app_start(o, 2)
        eq(wait_exit(proc, 30), 0, "launcher exit code")
        check(pr.braille_font(o) is None, "a package without checksum was installed")

        o.prefix.reg_add(HASHES_KEY, pr.BRAILLE_MSI, "REG_SZ", right.upper(), view=64)
        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        pr.expect_app_start(o, 3)
        eq(wait_exit(proc, 30), 0, "launcher exit code")
        check(pr.braille_font(o) is not None, "the package with the right checksum was not installed")


def machine_download_server_wins() -> None:
    # The user's value points at a port that refuses; the machine's names the real server.
    with office("dlserver", DISPLAY) as o, pr.DownloadServer(pr.download_files(pr.BRAILLE_MSI)) as srv, \
            pr.refused_url() as refused:
        braille_office(o, srv.url)
        o.set_user("DownloadServer", "REG_SZ", refused)
        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        pr.expect_app_start(o, 1)
        eq(wait_exit(proc, 30), 0, "launcher exit code")
        eq(srv.paths(), [BRAILLE_PATH], "downloads from the machine's server")
        check(pr.braille_font(o) is not None, "BRAILLE.TTF is not installed")


def a_redirect_is_not_followed() -> None:
    # The download server answers 302 to a path it also serves: nothing is fetched from there,
    # nothing installed, and the application starts as after any failed download.
    moved = "/elsewhere/Braille%20Fonts.msi"
    files = {moved: pr.package(pr.BRAILLE_MSI)}
    with office("redirect", DISPLAY) as o, \
            pr.DownloadServer(files, redirects={BRAILLE_PATH: moved}) as srv:
        braille_office(o, srv.url)
        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        eq(pr.not_downloaded(o, pr.BRAILLE_MSI), "HTTP 302", "the reason")
        pr.expect_app_start(o, 1)
        eq(wait_exit(proc, 30), 0, "launcher exit code")
        eq([(r.path, r.status) for r in srv.requests()], [(BRAILLE_PATH, 302)], "requests")
        check(pr.braille_font(o) is None, "a redirected package was installed")


def nothing_left(o: Office) -> None:
    check(pr.temp_files(o, "zl*") + pr.temp_files(o, "tmp*") == [],
          f"the failed download left {pr.temp_files(o, '*')}")
    check(pr.braille_font(o) is None, "a failed download was installed")


def a_reset_in_the_body_fails_the_download() -> None:
    # The server announces the whole package, sends a third of it and resets the connection.
    package = pr.package(pr.BRAILLE_MSI)
    files = pr.download_files(pr.BRAILLE_MSI)
    with office("reset", DISPLAY) as o, \
            pr.DownloadServer(files, reset_after=package.stat().st_size // 3) as srv:
        braille_office(o, srv.url)
        proc = o.start_launcher()
        pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
        reason = pr.not_downloaded(o, pr.BRAILLE_MSI)
        print(f"reset: {reason!r}")
        pr.expect_app_start(o, 1)
        eq(wait_exit(proc, 30), 0, "launcher exit code")
        eq(srv.paths(), [BRAILLE_PATH], "downloads")
        nothing_left(o)


def a_full_temporary_drive_fails_the_download() -> None:
    # The temporary folder is a 1 MiB file system; the server sends 4 MiB under the package's
    # name.
    with office("tmpfull", DISPLAY) as o:
        big = o.prefix.work / "big-download.bin"
        big.write_bytes(os.urandom(4 << 20))
        with pr.DownloadServer({BRAILLE_PATH: big}) as srv:
            braille_office(o, srv.url)
            temp = pr.temp_dir(o)
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "zl-temp-full", str(temp)],
                           check=True, timeout=30)
            try:
                proc = o.start_launcher()
                pr.answer_offer(o, pr.OFFER_BRAILLE, yes=True)
                reason = pr.not_downloaded(o, pr.BRAILLE_MSI)
                # ERROR_DISK_FULL: Wine words it "Disk full.", Windows "There is not enough
                # space on the disk."
                check("Disk full" in reason or "not enough space" in reason,
                      f"the reason given is {reason!r}")
                pr.expect_app_start(o, 1)
                eq(wait_exit(proc, 30), 0, "launcher exit code")
                nothing_left(o)
            finally:
                subprocess.run(["umount", "-l", str(temp)], check=False, timeout=30)


def allowed_servers_skip_a_rogue_reply() -> None:
    # A rogue machine answers first; the listed server's reply comes later within the same wait.
    rogue = Orvex(replies=[b"srv02,<SecurityID>"], delays=0.0, tcp="closed")
    listed = Orvex(replies=[b"srv01,<SecurityID>"], delays=0.6)
    with office("allowed", DISPLAY) as o, rogue, listed:
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        o.prefix.reg_add(MACHINE_KEY, "AllowedServers", "REG_MULTI_SZ", r"SRV01\0other", view=64)
        o.start_launcher(broadcast=True)
        rec = o.records(timeout=30)[0]
        eq(rec["args"][1:], ["-OrvexAddress=srv01"], "application arguments")
        eq(sorted(o.zone_map()["Domains"]), ["srv01"], "ZoneMap\\Domains")


if __name__ == "__main__":
    harness.main(globals(), [
        checksums_decide_what_runs,
        machine_download_server_wins,
        a_redirect_is_not_followed,
        a_reset_in_the_body_fails_the_download,
        a_full_temporary_drive_fails_the_download,
        allowed_servers_skip_a_rogue_reply,
    ], netns=True)
