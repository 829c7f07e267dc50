"""The share check and the search for the application under Wine, with the server found by
broadcast (nothing configured): a server without the share, a share the user cannot write, an
application only the recursive search finds, and linked folders the search must not enter.
Runs in network and mount namespaces of its own (netns.py): the read-only share is a read-only
bind mount, the only way to refuse root a write.
"""

from __future__ import annotations

import os
import pwd
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "orvex"))

import harness  # noqa: E402
import netns  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import ATTENTION, LAUNCHER_KEY, office, wait_exit  # noqa: E402
from orvex_standin import Orvex  # noqa: E402

DISPLAY: Display | None = None
SRV01 = b"srv01,<SecurityID>"


def stops_with(o, proc, message: str, within: float = 30.0) -> None:
    """The launch stops with exactly this message in the Attention box; nothing starts."""
    o.driver.wait(ATTENTION, timeout=within)
    eq(o.box_text(ATTENTION), message, "Attention text")
    o.driver.click(ATTENTION, "OK")
    wait_exit(proc, 20)
    check(o.no_records(), "the application must not start")


def missing_share() -> None:
    # srv02 answers but shares nothing; its address in the message comes from /etc/hosts.
    with office("noshare", DISPLAY) as o, Orvex(replies=[b"srv02,<SecurityID>"]):
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        proc = o.start_launcher(broadcast=True)
        stops_with(o, proc,
                   "Zelkora Launcher has detected a Orvex running on the computer srv02 (127.0.0.3)."
                   "\r\n\r\nThe network share \\\\srv02\\zelkora$ does not appear to be valid.  "
                   "Please check that this network share exists and try again.")


def read_only_share() -> None:
    user = pwd.getpwuid(os.geteuid()).pw_name  # Wine's user name is the Unix one
    with office("roshare", DISPLAY) as o, Orvex(replies=[SRV01]):
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        netns.bind_readonly(o.share)
        try:
            proc = o.start_launcher(broadcast=True)
            stops_with(o, proc,
                       "The Zelkora Launcher is unable to connect to the shared folder "
                       f"\\\\srv01\\zelkora$ on the Orvex computer with the current user {user}.  "
                       "Check that the folder is shared and this user has R/W permission on the "
                       "shared folder.")
        finally:
            netns.unmount(o.share)


def found_by_search() -> None:
    # Neither standard place exists; the search passes over an executable of another name and
    # a file that only mentions the name.
    with office("search", DISPLAY) as o, Orvex(replies=[SRV01]):
        o.add_app("Apps/Old/Velmont.exe")
        o.add_app("Tools/Setup.exe")
        (o.share / "Docs").mkdir()
        (o.share / "Docs" / "Velmont.exe.txt").write_text("notes")
        o.prerequisites_in_place()
        o.start_launcher(broadcast=True)
        rec = o.records(timeout=30)[0]
        eq(rec["exe"].lower().lstrip("\\").removeprefix("unc\\"),
           o.unc("Apps", "Old", "Velmont.exe").lower().lstrip("\\"), "started executable")
        eq(rec["cwd"].rstrip("\\").lower(), o.unc("Apps", "Old").lower(), "working folder")
        eq(rec["args"][1:], ["-OrvexAddress=srv01"], "application arguments")
        # What step 4 finds is used for this run only.
        eq(o.saved_options(), {}, f"{LAUNCHER_KEY} after the run")


def linked_folders_not_entered() -> None:
    # Loop -> the share itself would make the walk endless; Linked -> a folder outside the
    # share holds the only Velmont.exe. Wine reports both links as reparse points (attribute
    # 0x400 on a directory), so the search skips them, ends, and finds nothing.
    with office("links", DISPLAY) as o, Orvex(replies=[SRV01]):
        outside = o.prefix.work / "elsewhere"
        outside.mkdir()
        o.add_app("Tools/Setup.exe")
        (outside / "Velmont.exe").write_bytes((o.share / "Tools" / "Setup.exe").read_bytes())
        (o.share / "Loop").mkdir()
        os.symlink("..", o.share / "Loop" / "back")
        os.symlink(outside, o.share / "Linked")
        o.prerequisites_in_place()
        proc = o.start_launcher(broadcast=True)
        stops_with(o, proc,
                   "The Zelkora Launcher is unable to connect to find Velmont or Quenda on the "
                   "shared folder \\\\srv01\\zelkora$ on the Orvex computer. Check that the Velmont "
                   "or Quenda program exists inside the shared folder.", within=30)


if __name__ == "__main__":
    harness.main(globals(), [
        missing_share,
        read_only_share,
        found_by_search,
        linked_folders_not_entered,
    ], netns=True)
