"""The compatibility matrix: the real launcher under Wine reporting Windows 2000, XP, Vista, 7 and
10, in a 64-bit (WoW64) prefix and in a 32-bit-only one. In every cell the happy path (the
application starts with its command line and folder, the launcher ends with 0) and one critical
path (the saved location's server has no zelkora$ share: the Attention box, nothing starts).
Windows 2000 adds step 1's version warning, in the Attention box or before the start.

One prefix per architecture; the versions follow one another in it, each switched by Wine's
Version setting, with 2000 between two later versions so that a switch that did not take would
show (the warning missing, or left over). Per prefix one Quenda start: BDE.REG's key lines name
Wow6432Node on the 64-bit Windows only, and the engine settings land where the 32-bit database
engine reads them. In the 32-bit prefix the check-only doctor runs as well. Each cell's time is
printed.

Runs in a network namespace of its own (netns.py): srv02 is looked up for the critical message.
"""

from __future__ import annotations

import json
import re
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harness  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import ATTENTION, LAUNCHER_KEY, Office, office, wait_exit  # noqa: E402

DISPLAY: Display | None = None

# The versions of each prefix, in the order they run. Windows 2000 sits between two others.
MATRIX = {
    "win64": ("win10", "win2k", "vista"),
    "win32": ("win7", "win2k", "winxp"),
}

OLD_WINDOWS = ("Your operating system does not meet the requirements for Zelkora programs.  You "
               "must be running a Professional version (not a Home version) of Windows XP or "
               "later.  Zelkora recommends users use Windows 7 Professional or higher.")
NO_SHARE = ("Zelkora Launcher has detected a Orvex running on the computer srv02 (127.0.0.3)."
            "\r\n\r\nThe network share \\\\srv02\\zelkora$ does not appear to be valid.  Please "
            "check that this network share exists and try again.")
ELSEWHERE = r"\\srv02\apps\Velmont\Velmont.exe"  # srv02 shares "apps" but no zelkora$

ENGINE = r"HKLM\Software\Borland\Database Engine"
# The keys BDE.REG names, below HKLM\SOFTWARE and the branch of the 32-bit view when there is one.
BDE_KEYS = ["Borland"] + ["Borland\\Database Engine" + sub for sub in (
    "", "\\Settings", "\\Settings\\DRIVERS", "\\Settings\\DRIVERS\\PARADOX",
    "\\Settings\\DRIVERS\\PARADOX\\INIT", "\\Settings\\DRIVERS\\PARADOX\\TABLE CREATE",
    "\\Settings\\SYSTEM", "\\Settings\\SYSTEM\\INIT")]
WANT_ENGINE = {"": {"dllpath": "\\\\srv01\\Zelkora$\\Common\\BDE\\",
                    "configfile01": "\\\\srv01\\Zelkora$\\Common\\BDE\\idapi32.cfg"},
               "settings\\drivers\\paradox\\init": {"net dir": "\\\\srv01\\Zelkora$\\Common\\"}}
# Under Wine the registry editor a 32-bit program starts on 64-bit Windows puts a file's keys in the
# 32-bit view whether their lines name Wow6432Node or not: only the key lines tell. Wine's +reg
# channel names each key a process creates, as the editor does for every key line it imports; the
# launcher itself creates none of these.
CREATED_KEY = re.compile(r'trace:reg:NtCreateKey \([^,]*,L"((?:[^"\\]|\\.)*)"')


def _reg_text(data) -> str:
    if data is None:
        return "-"
    if isinstance(data, int):
        return f"dword:{data:08x}"
    return '"' + str(data).replace("\\", "\\\\").replace('"', '\\"') + '"'


def set_user_values(o: Office, values: dict[str, dict[str, object]]) -> None:
    """Current-user values ({key: {name: str, int (a DWORD) or None to delete}}) in one wine
    call: each `reg add` costs about a second where Wine's 32-bit half is emulated. The current
    user's branch is the same in both registry views."""
    lines = ["REGEDIT4", ""]
    for key, named in values.items():
        lines.append(f"[{key.replace('HKCU', 'HKEY_CURRENT_USER', 1)}]")
        lines += [f'"{name}"={_reg_text(data)}' for name, data in named.items()]
        lines.append("")
    reg = o.prefix.work / "settings.reg"
    reg.write_text("\r\n".join(lines) + "\r\n", encoding="ascii")
    o.prefix.run(["reg", "import", o.prefix.winpath(reg)], check=True)


def use(o: Office, version: str, app: str, **launcher: object) -> None:
    """The Windows version Wine reports and the launcher's user settings for the next start:
    `app` saved as the application's location, no server configured unless given. Step 5 has
    nothing to offer: the report viewer checks are skipped and the braille font is in place
    (run_matrix); the memory and screen checks run and pass (the host's memory, Xvfb's screen)."""
    settings = {"AppLocation": app, "OrvexAddress": None, "SkipCR": 1, **launcher}
    set_user_values(o, {r"HKCU\Software\Wine": {"Version": version}, LAUNCHER_KEY: settings})


def starts(o: Office) -> int:
    """How often the application has started in this office so far."""
    return len(o.records(timeout=0, count=0)) if o.log_path.exists() else 0


def critical(o: Office, version: str) -> None:
    """The saved location lies on srv02, which has no zelkora$ share: the launch stops there."""
    use(o, version, ELSEWHERE)
    before = starts(o)
    proc = o.start_launcher(broadcast=True)
    o.driver.wait(ATTENTION, timeout=60)
    want = NO_SHARE
    if version == "win2k":
        # The stop lists step 1's warning after the critical finding, each item followed by an
        # empty line.
        want += ("\r\n\r\nAdditionally, the following warnings were thrown:\r\n" + OLD_WINDOWS
                 + "\r\n\r\n")
    eq(o.box_text(ATTENTION), want, f"Attention text on {version}")
    o.driver.click(ATTENTION, "OK")
    wait_exit(proc, 30)
    eq(starts(o), before, f"starts of the application after the stop on {version}")


def happy(o: Office, version: str, app: str, runs: int, env: dict[str, str] | None = None,
          **launcher: object):
    """`app` starts from its folder on the share with the server's name; the launcher ends with 0.
    `runs` counts the starts of the application in this office, this one included. Returns the
    launcher's process (its output files ride on it)."""
    use(o, version, o.unc(*app.split("/")), **launcher)
    proc = o.start_launcher(broadcast=True, env=env)
    if version == "win2k":
        o.driver.wait("Warning", timeout=60)
        texts = [t for (_, _, t) in o.driver.texts("Warning")]
        check(OLD_WINDOWS in texts, f"Warning dialog texts {texts}")
        eq(starts(o), runs - 1, "starts before the warning was answered")
        o.driver.click("Warning", "OK")
    rec = o.records(timeout=60, count=runs)[-1]
    eq(rec["params"], "  -OrvexAddress=srv01", f"parameters on {version}")
    eq(rec["cwd"].rstrip("\\").lower(), o.unc(app.split("/")[0]).lower(),
       f"working folder on {version}")
    check(rec["exe"].lower().endswith(app.replace("/", "\\").lower()), f"exe {rec['exe']!r}")
    eq(wait_exit(proc, 30), 0, f"launcher exit code on {version}")
    eq(len(o.records(count=runs)), runs, f"starts of the application after {version}")
    return proc


def engine_settings(o: Office, view: int | None) -> dict[str, dict[str, str]]:
    """The values of WANT_ENGINE as the registry holds them in `view`, names in lower case."""
    tree = {k.lower(): {n.lower(): d for n, (_, d) in vals.items()}
            for k, vals in (o.prefix.reg_tree(ENGINE, view=view) or {}).items()}
    return {k: {n: tree.get(k, {}).get(n) for n in names} for k, names in WANT_ENGINE.items()}


def bde_keys_created(proc) -> list[str]:
    """The key paths created during the launcher's run (Wine's +reg trace on its output)."""
    trace = proc.stderr_path.read_text("utf-8", "replace")
    paths = [m.group(1).replace("\\\\", "\\") for m in CREATED_KEY.finditer(trace)]
    return [p for p in paths if "borland" in p.lower()]


def quenda(o: Office, version: str, runs: int) -> None:
    """Quenda on a new prefix's engine settings (no DLLPATH): BDE.REG rewrites them. Its key
    lines name Wow6432Node exactly when Windows is 64-bit, and the values land in the view the
    32-bit database engine reads."""
    proc = happy(o, version, "Quenda/Quenda.exe", runs, env={"WINEDEBUG": "+reg"},
                 OrvexAddress="srv01")
    branch = "SOFTWARE\\Wow6432Node\\" if o.prefix.arch == "win64" else "SOFTWARE\\"
    eq(bde_keys_created(proc), [branch + k for k in BDE_KEYS], f"keys of BDE.REG ({o.prefix.arch})")
    eq(engine_settings(o, 32 if o.prefix.arch == "win64" else None), WANT_ENGINE, "engine settings")


def doctor(o: Office) -> None:
    """The check-only doctor on the workstation where the launcher just started Velmont."""
    r = o.prefix.run([harness.bin_path("ZelkoraDoctor.exe"), "--json"], timeout=120)
    eq(r.returncode, 0, f"doctor exit code ({r.stderr[-300:]!r})")
    report = json.loads(r.stdout)
    eq([(c["step"], c["status"]) for c in report["checks"]],
       [(1, "OK"), (2, "OK"), (3, "SKIPPED"), (4, "OK"), (5, "OK")], "the doctor's checks")
    eq(report["commandLine"], f'"{o.unc("Velmont", "Velmont.exe")}" -OrvexAddress=srv01',
       "the doctor's command line")


def run_matrix(arch: str) -> None:
    with office(f"compat-{arch}", DISPLAY, arch=arch) as o:
        o.add_app("Velmont/Velmont.exe")
        o.add_app("Quenda/Quenda.exe")
        elsewhere = o.prefix.make_share("srv02", "apps") / "Velmont"
        elsewhere.mkdir(parents=True)
        (elsewhere / "Velmont.exe").write_bytes(b"MZ")
        fonts = o.prefix.drive_c() / "windows" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        (fonts / "BRAILLE.TTF").write_bytes(b"stand-in font")

        runs = 0
        for version in MATRIX[arch]:
            t0 = time.monotonic()
            critical(o, version)
            t1 = time.monotonic()
            runs += 1
            happy(o, version, "Velmont/Velmont.exe", runs)
            t2 = time.monotonic()
            print(f"  {arch} {version}: critical path {t1 - t0:.1f} s, happy path {t2 - t1:.1f} s",
                  flush=True)
            if arch == "win32" and version == "winxp":
                doctor(o)
                print(f"  {arch} {version}: doctor {time.monotonic() - t2:.1f} s", flush=True)

        version = MATRIX[arch][-1]
        t0 = time.monotonic()
        quenda(o, version, runs + 1)
        print(f"  {arch} {version}: Quenda and BDE.REG {time.monotonic() - t0:.1f} s", flush=True)


def wow64_prefix() -> None:
    run_matrix("win64")


def win32_prefix() -> None:
    run_matrix("win32")


if __name__ == "__main__":
    harness.main(globals(), [wow64_prefix, win32_prefix], netns=True)
