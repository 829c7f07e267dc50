"""The check-only doctor under Wine, in a network namespace of this script's own: on a
workstation where the launcher would start the application it exits 0 and leaves the registry,
the share and the zone map as they were; with the server's share missing it exits 2 with the
launcher's own message."""

from __future__ import annotations

import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
import prereq as pr  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import LAUNCHER_KEY, ZONEMAP, Office, office  # noqa: E402

DISPLAY: Display | None = None


def doctor(o: Office, *args: str) -> tuple[int, dict]:
    r = o.prefix.run([harness.bin_path("ZelkoraDoctor.exe"), "--json", *args], timeout=120)
    try:
        return r.returncode, json.loads(r.stdout)
    except ValueError:
        raise harness.HarnessError(f"the doctor printed {r.stdout!r} (exit {r.returncode}); "
                                   f"{r.stderr[-500:]}") from None


def state(o: Office) -> tuple:
    """What the doctor must not change: the launcher's keys, the zone map, the share's files."""
    files = sorted(str(p.relative_to(o.share)) for p in o.share.rglob("*"))
    return (o.prefix.reg_tree(LAUNCHER_KEY), o.prefix.reg_tree(ZONEMAP), files)


def changes_nothing_where_the_launcher_would_start() -> None:
    with office("doctor-happy", DISPLAY) as o:
        app = o.add_app("Velmont/Velmont.exe")
        o.set_user("AppLocation", "REG_SZ", app)
        o.set_user("SkipPC", "REG_DWORD", 1)
        pr.quiet_prerequisites(o)
        before = state(o)
        code, report = doctor(o, "--", "-Company=A B")
        eq(code, 0, "exit code")
        eq(report["exitCode"], 0, "reported exit code")
        eq([(c["step"], c["status"]) for c in report["checks"]],
           [(1, "OK"), (2, "OK"), (3, "SKIPPED"), (4, "OK"), (5, "OK")], "checks")
        eq(report["commandLine"], f'"{app}" -OrvexAddress=srv01 -Company=A B', "command line")
        check(any("ZoneMap\\Domains\\srv01" in c for c in report["changes"]),
              f"the zone entry the launcher would add is not listed: {report['changes']}")
        eq(state(o), before, "the registry, zone map and share after the doctor")
        check(o.no_records(), "the doctor started the application")


def a_missing_share_is_critical() -> None:
    # The saved application lies on srv02's share "apps"; srv02 has no zelkora$ share.
    with office("doctor-noshare", DISPLAY) as o:
        other = o.prefix.make_share("srv02", "apps")
        (other / "Velmont").mkdir(parents=True, exist_ok=True)
        (other / "Velmont" / "Velmont.exe").write_bytes(b"MZ")
        o.set_user("AppLocation", "REG_SZ", r"\\srv02\apps\Velmont\Velmont.exe")
        code, report = doctor(o)
        eq(code, 2, "exit code")
        eq([(c["step"], c["status"]) for c in report["checks"]],
           [(1, "OK"), (2, "OK"), (3, "CRITICAL")], "checks")
        eq(report["checks"][2]["message"],
           "Zelkora Launcher has detected a Orvex running on the computer srv02 (127.0.0.3).\r\n\r\n"
           "The network share \\\\srv02\\zelkora$ does not appear to be valid.  Please check that "
           "this network share exists and try again.", "message")
        eq(report["commandLine"], "", "command line")


if __name__ == "__main__":
    harness.main(globals(), [
        changes_nothing_where_the_launcher_would_start,
        a_missing_share_is_critical,
    ], netns=True)
