"""The application location dialog under Wine, when no server answers: the Information window,
its close box, the file dialog with a pick on a mapped drive, Cancel, and a file that is not an
application. Runs in a network namespace of its own (the launcher broadcasts before it asks).

Wine's file dialog does not take a UNC path typed into its name box, so S: is mapped to the share
and the picks are S:\\... paths; a pick on a mapped drive names no server.
"""

from __future__ import annotations

import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "orvex"))

import harness  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import (ATTENTION, FILE_DIALOG, INFORMATION, LAUNCHER_KEY, NOT_FOUND, NO_ZONES,  # noqa: E402
                    office, wait_exit)
from orvex_standin import Orvex  # noqa: E402

DISPLAY: Display | None = None
WRONG_PICK = "Selected application must be Velmont.EXE or Quenda.EXE"
LABELS = [
    "Please locate your Velmont or Quenda executable in the following step to continue launching.",
    "Click Next below to continue.",
    "Here is an example of a default location where it might be located:",
    "Example for Quenda: \\\\servername\\Zelkora$\\Quenda\\Quenda.exe",
    "Example for Velmont: \\\\servername\\Zelkora$\\Velmont\\Velmont.exe",
    "For more information on the Zelkora Launcher, please visit this link.",
]
FILE_NAME_BOX = "1148/0/0"  # ComboBoxEx32 > ComboBox > Edit in Wine's open dialog
IDCANCEL = 2


def start_unanswered(o):
    """Starts the launcher with nothing configured and nobody answering; returns at the
    Information window."""
    o.add_app("Velmont/Velmont.exe")
    o.add_app("Tools/Setup.exe")
    o.prerequisites_in_place()
    proc = o.start_launcher(broadcast=True)
    o.driver.wait(INFORMATION, timeout=30)
    return proc


def gives_up(o, proc) -> None:
    """What follows every way of giving up: the critical box, no start, nothing saved."""
    o.driver.wait(ATTENTION, timeout=15)
    text = o.box_text(ATTENTION)
    check(text.startswith(NOT_FOUND), f"Attention text {text!r}")
    check(not any(cap == FILE_DIALOG for _, _, cap in o.driver.list()), "the file dialog is still open")
    o.driver.click(ATTENTION, "OK")
    wait_exit(proc, 20)
    check(o.no_records(), "the application must not start")
    eq(o.saved_options(), {}, f"{LAUNCHER_KEY} after giving up")
    eq(o.zone_map(), NO_ZONES, "zone map")


def pick(o, path: str) -> None:
    o.driver.click(INFORMATION, "Next")
    o.driver.wait(FILE_DIALOG, timeout=15)
    o.driver.settext(FILE_DIALOG, FILE_NAME_BOX, path)
    # By its text: another descendant of Wine's dialog (in its list view) also has id 1.
    o.driver.click(FILE_DIALOG, "Open")


def information_window_and_close_box() -> None:
    # The broadcast went out once and nobody answered, so the user is asked.
    with office("info", DISPLAY) as o, Orvex(replies=[]) as orvex:
        proc = start_unanswered(o)
        eq(len(orvex.requests()), 1, "discovery requests before the window")
        rows = o.driver.texts(INFORMATION)
        statics = [t for c, _, t in rows if c == "Static" and t]
        buttons = [t for c, _, t in rows if c == "Button"]
        for label in LABELS:
            check(label in statics, f"label {label!r} missing from {statics}")
        check(sorted(statics) == sorted(LABELS), f"statics {statics}")
        # The help link is a tab stop: a SysLink, read as its plain text.
        links = [t for c, _, t in rows if c == "SysLink"]
        check(len(links) == 1 and links[0].startswith("https://"), f"help link among {rows}")
        eq(buttons, ["Next"], "buttons")
        _, client = o.driver.rect(INFORMATION)
        eq(client, (470, 211), "client area")
        # The close box gives up without the file dialog.
        o.driver.close(INFORMATION)
        gives_up(o, proc)


def pick_on_mapped_drive() -> None:
    # A configured server that does not resolve is probed in vain and the broadcast finds
    # nobody. The pick names no server: the location is saved, the configured address is
    # cleared, the share check (which needs a server) is skipped and the zone map untouched.
    with office("pick", DISPLAY, share_drive="S") as o:
        o.set_user("OrvexAddress", "REG_SZ", "srv09")
        proc = start_unanswered(o)
        pick(o, r"S:\Velmont\Velmont.exe")
        rec = o.records(timeout=30)[0]
        eq(rec["args"][1:], [], "application arguments (no -OrvexAddress)")
        eq(rec["cwd"].rstrip("\\"), r"S:\Velmont", "working folder")
        eq(o.saved_options(), {"AppLocation": r"S:\Velmont\Velmont.exe"}, f"{LAUNCHER_KEY}")
        eq(o.zone_map(), NO_ZONES, "zone map")
        eq(o.share_root_files(), [], "files at the share's root")
        eq(wait_exit(proc, 20), 0, "launcher exit code")


def cancel_in_file_dialog() -> None:
    with office("cancel", DISPLAY, share_drive="S") as o:
        proc = start_unanswered(o)
        o.driver.click(INFORMATION, "Next")
        o.driver.wait(FILE_DIALOG, timeout=15)
        o.driver.clickid(FILE_DIALOG, IDCANCEL)
        gives_up(o, proc)


def wrong_file_refused() -> None:
    with office("wrongpick", DISPLAY, share_drive="S") as o:
        proc = start_unanswered(o)
        pick(o, r"S:\Tools\Setup.exe")
        o.driver.wait("Error", timeout=15)
        rows = o.driver.texts("Error")
        check(any(t == WRONG_PICK for _, _, t in rows), f"Error dialog texts {rows}")
        eq([t for c, _, t in rows if c == "Button"], ["OK"], "Error dialog buttons")
        o.driver.click("Error", "OK")
        gives_up(o, proc)


if __name__ == "__main__":
    harness.main(globals(), [
        information_window_and_close_box,
        pick_on_mapped_drive,
        cancel_in_file_dialog,
        wrong_file_refused,
    ], netns=True)
