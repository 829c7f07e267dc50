"""The office's share across a slow network, printed as figures. Runs in network and mount
namespaces of its own (tests/e2e/netns.py), like the scenarios.

The share \\\\srv01\\zelkora$ is served through a FUSE pass-through (slowfs.py) that waits a fixed
time in every operation and counts the operations by kind. The kernel keeps the names it has
found but no attributes and no missing names, so each call Wine makes on the share is about one
round trip, as on a share where one request names a whole path (--walk-paths: one more for each
folder on the way; --cache: the kernel answers repeated questions itself). For each delay:

- the launcher's happy path with a saved AppLocation (\\\\srv01\\zelkora$\\Velmont\\Velmont.exe) and
  nothing to offer (SkipCR, SkipPC, the braille font in place): from starting the launcher to the
  stand-in application's start (it records the host clock as its first action), and the share
  operations of the whole run (launcher and stand-in, until the share falls quiet);
- the floor: the stand-in started directly, `wine \\\\srv01\\zelkora$\\Velmont\\Velmont.exe`,
  measured the same way.
Direct and launched starts alternate; one warm-up pair per delay is not counted. First, as the
baseline, both starts with the same folder bind-mounted on the share: no FUSE, no delay.

--search: the share operations of a share search instead (no saved location, OrvexAddress srv01
answered by the stand-in Orvex on loopback, the application in a small generated tree).
"""

from __future__ import annotations

import argparse
import contextlib
import re
import shutil
import statistics
import subprocess
import sys
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools" / "orvex"))

import harness  # noqa: E402
import netns  # noqa: E402
from bench import start_direct, time_to_app  # noqa: E402
from bench_discovery import make_tree, ms  # noqa: E402
from harness import Display  # noqa: E402
from office import office  # noqa: E402
from orvex_standin import Orvex  # noqa: E402
from slowfs import SlowShare, unmount  # noqa: E402

GUID = r"\{?[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}?"
PROBE = re.compile(GUID + r"\.exe$", re.I)
# The names operations on the share are about, from their paths.
NAMES = (
    ("probes ({GUID}.exe)", PROBE),
    ("the share's test file ({GUID}.txt)", re.compile(GUID + r"\.txt$", re.I)),
    ("Velmont.exe", re.compile(r"^/Velmont/Velmont\.exe$", re.I)),
    ("DLL names looked up in \\Velmont", re.compile(r"^/Velmont/[^/]+\.dll$", re.I)),
)
# Operations on a folder itself, and Wine's check whether a folder is case-insensitive.
FOLDER = re.compile(r"^/$|^/Velmont$|/\.ciopfs$", re.I)


def by_name(trace: list) -> Counter:
    """Operations by the name they served. An operation on a folder counts with the name looked
    up last before it: when a name is missing, Wine lists its folder to look for it in another
    case. (A folder's own look-up on the way to the next name is counted with the previous one,
    so the split is close, not exact.)"""
    out: Counter[str] = Counter()
    current = "folders, before any name"
    for _, path, *_ in trace:
        for label, pattern in NAMES:
            if pattern.search(path):
                current = label
                break
        else:
            if not FOLDER.search(path):
                current = "other names"
        out[current] += 1
    return out


class Run:
    """One start: its time to the application and the share's operations."""

    def __init__(self, seconds: float, counts: dict, app_start: float):
        self.seconds = seconds
        self.ops = Counter(counts["ops"])
        self.failed = sum(counts["failed"].values())
        self.trace = counts["trace"]
        self.names = by_name(self.trace)
        self.before_start = sum(1 for *_, t in self.trace if t <= app_start)
        self.probes = len({path.lower() for _, path, *_ in self.trace if PROBE.search(path)})
        self.probe_lookups = sum(1 for op, path, err, _ in self.trace
                                 if op == "getattr" and err and PROBE.search(path))

    @property
    def total(self) -> int:
        return sum(self.ops.values())


@contextlib.contextmanager
def slow_share(o, backing: Path, args):
    """The office's share served through slowfs from `backing`. On the way out the prefix's Wine
    processes go first, so nothing holds the mount when it goes."""
    with SlowShare(backing, o.share, names=0.0 if args.walk_paths else 3600.0, cache=args.cache,
                   log=o.prefix.work / "slowfs.log") as fs:
        fs.trace(True)
        try:
            yield fs
        finally:
            for flag in ("-k", "-w"):
                subprocess.run(["wineserver", flag], env=o.prefix.env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def describe(args) -> str:
    names = "no names (every folder on a path asked again)" if args.walk_paths else "names"
    return (f"the kernel keeps {names}; attributes and missing names "
            + (f"for {args.cache:g} s" if args.cache else "not at all"))


def measured(o, fs, start) -> Run:
    """Counters to zero, one start to the application, then every share operation until the
    share has been quiet for a second (the launcher and the stand-in have ended by then)."""
    fs.reset()
    seconds = time_to_app(o, start)
    return Run(seconds, fs.settle(quiet=1.0), o.records()[0]["time"])


def alternated(runs: int, first, second) -> tuple[list, list]:
    """One warm-up of each, not counted, then `runs` of each, alternated so both see the same
    load on the machine."""
    first(), second()
    a, b = [], []
    for _ in range(runs):
        a.append(first())
        b.append(second())
    return a, b


def launch_runs(display: Display, args) -> None:
    delays, runs = args.delays, args.runs
    with office("bench-share", display) as o:
        o.prerequisites_in_place()
        app = o.unc("Velmont", "Velmont.exe")
        o.set_user("AppLocation", "REG_SZ", app)
        o.launcher()
        backing = o.prefix.work / "share-backing"
        (backing / "Velmont").mkdir(parents=True)
        shutil.copyfile(harness.bin_path("StandinApp.exe"), backing / "Velmont" / "Velmont.exe")
        launcher = o.start_launcher
        direct = lambda: start_direct(o, app)  # noqa: E731

        # The baseline: the same folder bind-mounted, no FUSE and no delay.
        subprocess.run(["mount", "--bind", str(backing), str(o.share)], check=True, timeout=10)
        try:
            plain_d, plain_l = alternated(runs, lambda: time_to_app(o, direct),
                                          lambda: time_to_app(o, launcher))
        finally:
            unmount(o.share)
        print(f"share as a plain folder (no FUSE), {runs} runs each (median, min..max):")
        print(f"  launcher start -> application start: {ms(plain_l)}")
        print(f"  direct start -> application start:   {ms(plain_d)}")

        results = []
        print(f"\nthrough FUSE: {describe(args)}")
        with slow_share(o, backing, args) as fs:
            for delay in delays:
                fs.set_delay(delay / 1000)
                d_runs, l_runs = alternated(runs, lambda: measured(o, fs, direct),
                                            lambda: measured(o, fs, launcher))
                results.append((delay, l_runs, d_runs))
                report(delay, l_runs, d_runs)
                if args.trace:
                    print_trace("launcher", l_runs[-1])
                    print_trace("direct start", d_runs[-1])
    summary(plain_l, plain_d, results)


def report(delay: float, l_runs: list[Run], d_runs: list[Run]) -> None:
    n = len(l_runs)
    print(f"\n{delay:g} ms per share operation, {n} runs each (median, min..max):")
    print(f"  launcher start -> application start: {ms([r.seconds for r in l_runs])}")
    print(f"  direct start -> application start:   {ms([r.seconds for r in d_runs])}")
    print(f"  share operations per start              launcher          direct")
    kinds = sorted(set().union(*(r.ops for r in l_runs + d_runs)),
                   key=lambda k: -median_of(l_runs, lambda r: r.ops[k]))
    for k in kinds:
        print(f"    {k:<36}{cell([r.ops[k] for r in l_runs])}{cell([r.ops[k] for r in d_runs])}")
    print(f"    {'total':<36}{cell([r.total for r in l_runs])}{cell([r.total for r in d_runs])}")
    print(f"    {'of which failed (errno)':<36}{cell([r.failed for r in l_runs])}"
          f"{cell([r.failed for r in d_runs])}")
    print(f"    {'of which before the app started':<36}{cell([r.before_start for r in l_runs])}"
          f"{cell([r.before_start for r in d_runs])}")
    print(f"    {'shell probes (distinct names)':<36}{cell([r.probes for r in l_runs])}"
          f"{cell([r.probes for r in d_runs])}")
    print(f"    {'failed look-ups of probe names':<36}{cell([r.probe_lookups for r in l_runs])}"
          f"{cell([r.probe_lookups for r in d_runs])}")
    print("  operations by the name they served (folder operations with the name before them)")
    names = sorted(set().union(*(r.names for r in l_runs + d_runs)),
                   key=lambda k: -median_of(l_runs, lambda r: r.names[k]))
    for t in names:
        print(f"    {t:<36}{cell([r.names[t] for r in l_runs])}{cell([r.names[t] for r in d_runs])}")


def summary(plain_l: list[float], plain_d: list[float], results) -> None:
    print("\nsummary (medians):")
    print("  delay        launcher    ops      direct    ops   launcher - direct")
    lt, dt = statistics.median(plain_l), statistics.median(plain_d)
    print(f"  no FUSE   {lt * 1000:7.0f} ms      -  {dt * 1000:7.0f} ms      -  {(lt - dt) * 1000:7.0f} ms")
    for delay, l_runs, d_runs in results:
        lt = statistics.median(r.seconds for r in l_runs)
        dt = statistics.median(r.seconds for r in d_runs)
        lo = statistics.median(r.total for r in l_runs)
        do = statistics.median(r.total for r in d_runs)
        print(f"  {delay:3g} ms    {lt * 1000:7.0f} ms {lo:6g}  {dt * 1000:7.0f} ms {do:6g}"
              f"  {(lt - dt) * 1000:7.0f} ms")


def median_of(runs: list[Run], f) -> float:
    return statistics.median(f(r) for r in runs) if runs else 0


def cell(values: list[int]) -> str:
    med = statistics.median(values)
    text = f"{med:g}" if min(values) == max(values) else f"{med:g} ({min(values)}..{max(values)})"
    return f"{text:<18}"


def print_trace(label: str, run: Run) -> None:
    print(f"  every operation of the last {label} run ({run.total}): kind path [errno]")
    for op, path, err, _ in run.trace:
        print(f"    {op:<11} {path}" + (f"  [{err}]" if err else ""))


# ---------------------------------------------------------------- the share search

def search_runs(display: Display, args) -> None:
    delays, runs = args.delays, args.runs
    with office("bench-share-search", display) as o, Orvex(replies=[], udp=False):
        o.prerequisites_in_place()
        o.set_user("OrvexAddress", "REG_SZ", "srv01")  # found by its TCP port: no broadcast
        o.launcher()
        backing = o.prefix.work / "share-backing"
        folders, files = make_tree(backing, 2, 3, 4, 5)
        print(f"share search over {folders} folders and {files} files, the application only in "
              f"the last folder of the deepest level; {describe(args)}")
        launcher = lambda: o.start_launcher(broadcast=True)  # noqa: E731
        with slow_share(o, backing, args) as fs:
            for delay in delays:
                fs.set_delay(delay / 1000)
                measured(o, fs, launcher)  # warm-up, not counted
                l_runs = [measured(o, fs, launcher) for _ in range(runs)]
                print(f"\n{delay:g} ms per share operation, {runs} runs (median, min..max):")
                print(f"  launcher start -> application start: {ms([r.seconds for r in l_runs])}")
                print("  share operations per launch")
                for k in sorted(set().union(*(r.ops for r in l_runs)),
                                key=lambda k: -median_of(l_runs, lambda r: r.ops[k])):
                    print(f"    {k:<36}{cell([r.ops[k] for r in l_runs])}")
                print(f"    {'total':<36}{cell([r.total for r in l_runs])}")
                print(f"    {'of which failed (errno)':<36}{cell([r.failed for r in l_runs])}")
                print(f"    {'of which before the app started':<36}"
                      f"{cell([r.before_start for r in l_runs])}")
                if args.trace:
                    print_trace("search", l_runs[-1])


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--delays", default="0,2,10", help="milliseconds per share operation")
    ap.add_argument("--search", action="store_true", help="a share search instead of a saved location")
    ap.add_argument("--cache", type=float, default=0.0,
                    help="seconds the kernel may keep attributes and missing names (default 0)")
    ap.add_argument("--walk-paths", action="store_true",
                    help="keep no names either: each call looks up every folder on its path")
    ap.add_argument("--trace", action="store_true", help="also print every operation of one run")
    args = ap.parse_args()
    args.delays = [float(d) for d in args.delays.split(",") if d.strip()]
    netns.enter()
    with Display() as display:
        if args.search:
            search_runs(display, args)
        else:
            launch_runs(display, args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
