"""Benchmarks of server discovery and the share search under Wine, printed as figures. Runs in a
network namespace of its own (tests/e2e/netns.py), like the scenarios.

1. discovery latency: from the stand-in Orvex receiving the broadcast to the launcher's first
   action with the server it found. OrvexAddress itself cannot be watched from outside, so the
   proxy is the share check's GUID test file appearing at the share's root (inotify IN_CREATE),
   the first thing the launcher does on the share; between the two lie parsing the reply, the
   zone registration, step 2's report, the status update of step 3 and the shell's probe of the
   share. The stand-in application's start is printed beside it. Median of --runs.
2. step 2 with a configured server that never answers (TCP SYNs dropped) and no responder: time
   from the launcher's start, and from its window appearing, to the Information window.
3. share search: a generated tree of 50,000 files in 5,000 folders (and one ten times smaller),
   the application only at the deepest level, not at a standard place. The launcher's time to the
   application's start, against the same launch with the application at \\Velmont\\Velmont.exe,
   against `wine cmd /c "pushd \\\\srv01\\zelkora$ && dir /s /b"` of the same share and `find`
   on the Linux folder; and the launcher's peak memory (VmHWM) on both trees.

Trees are generated once under build/bench-trees/ and bind-mounted onto the share.
"""

from __future__ import annotations

import argparse
import ctypes
import os
import select
import shutil
import statistics
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools" / "orvex"))

import harness  # noqa: E402
import netns  # noqa: E402
from harness import Display  # noqa: E402
from office import ATTENTION, CAPTION, INFORMATION, office, wait_exit  # noqa: E402
from orvex_standin import Orvex  # noqa: E402

TREES = ROOT / "build" / "bench-trees"
SRV01 = b"srv01,<SecurityID>"
IN_CREATE = 0x100


# ---------------------------------------------------------------- inotify on the share's root

class CreateWatch:
    """Records time.time() of every file created directly in one folder."""

    def __init__(self, folder: Path):
        self.libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if self.libc.inotify_add_watch(self.fd, str(folder).encode(), IN_CREATE) < 0:
            raise OSError(ctypes.get_errno(), f"inotify_add_watch {folder}")
        self.events: list[tuple[float, str]] = []
        self._cond = threading.Condition()
        self._stop_r, self._stop_w = os.pipe()
        self._thread = threading.Thread(target=self._loop, daemon=True)
        self._thread.start()

    def _loop(self) -> None:
        while True:
            ready, _, _ = select.select([self.fd, self._stop_r], [], [])
            now = time.time()
            if self._stop_r in ready:
                return
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                continue
            pos = 0
            while pos + 16 <= len(data):
                _, _, _, length = struct.unpack_from("iIII", data, pos)
                name = data[pos + 16: pos + 16 + length].rstrip(b"\0").decode("utf-8", "replace")
                pos += 16 + length
                with self._cond:
                    self.events.append((now, name))
                    self._cond.notify_all()

    def first_after(self, t: float, suffix: str, timeout: float) -> float:
        end = time.monotonic() + timeout
        with self._cond:
            while True:
                for when, name in self.events:
                    if when >= t and name.lower().endswith(suffix):
                        return when
                left = end - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"no *{suffix} created within {timeout:g} s")
                self._cond.wait(left)

    def close(self) -> None:
        os.write(self._stop_w, b"x")
        self._thread.join(timeout=5)
        os.close(self.fd)


# ---------------------------------------------------------------- peak memory of one process

def launcher_pid(proc, timeout: float = 10.0) -> int:
    """The Linux process running ZelkoraLauncher.exe below `proc` (timeout -> wine): searched
    among our own descendants, never by name across the machine."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        todo = [proc.pid]
        while todo:
            pid = todo.pop()
            try:
                cmd = Path(f"/proc/{pid}/cmdline").read_bytes()
                kids = Path(f"/proc/{pid}/task/{pid}/children").read_text().split()
            except OSError:
                continue
            if pid != proc.pid and b"ZelkoraLauncher.exe" in cmd:
                return pid
            todo += [int(k) for k in kids]
        time.sleep(0.005)
    raise TimeoutError("launcher process not found")


class PeakMemory:
    def __init__(self, pid: int):
        self.pid = pid
        self.peak_kib = 0
        self._done = threading.Event()
        self._thread = threading.Thread(target=self._poll, daemon=True)
        self._thread.start()

    def _poll(self) -> None:
        while not self._done.is_set():
            try:
                for line in Path(f"/proc/{self.pid}/status").read_text().splitlines():
                    if line.startswith("VmHWM:"):
                        self.peak_kib = max(self.peak_kib, int(line.split()[1]))
            except OSError:
                return
            self._done.wait(0.02)

    def stop(self) -> int:
        self._done.set()
        self._thread.join(timeout=5)
        return self.peak_kib


# ---------------------------------------------------------------- generated share trees

def make_tree(folder: Path, top: int, mid: int, leaf: int, files_per_folder: int) -> tuple[int, int]:
    """top x mid x leaf folders on three levels, each with files_per_folder files (every tenth
    an .exe); the application goes into the last leaf. Made once; a marker names its shape."""
    marker = folder / ".zl-tree"
    shape = f"{top} {mid} {leaf} {files_per_folder}\n"
    if marker.is_file() and marker.read_text() == shape:
        return _count(folder)
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    standin = harness.bin_path("StandinApp.exe").read_bytes()

    def fill(d: Path) -> None:
        d.mkdir()
        for k in range(files_per_folder):
            (d / (f"tool{k}.exe" if k % 10 == 9 else f"data{k}.dat")).touch()

    last = None
    for a in range(top):
        da = folder / f"Area{a:02d}"
        fill(da)
        for b in range(mid):
            db = da / f"Group{b:02d}"
            fill(db)
            for c in range(leaf):
                last = db / f"Item{c:02d}"
                fill(last)
    assert last is not None
    (last / "Velmont.exe").write_bytes(standin)
    marker.write_text(shape)
    return _count(folder)


def _count(folder: Path) -> tuple[int, int]:
    dirs = files = 0
    for _, ds, fs in os.walk(folder):
        dirs += len(ds)
        files += len([f for f in fs if f != ".zl-tree"])
    return dirs, files


# ---------------------------------------------------------------- measurements

def discovery_latency(display: Display, runs: int) -> None:
    with office("bench-discovery", display) as o, Orvex(replies=[SRV01]) as orvex:
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        watch = CreateWatch(o.share)
        to_file, to_app = [], []
        try:
            for i in range(runs + 1):  # the first run warms the prefix up and is not counted
                o.log_path.unlink(missing_ok=True)
                before = len(orvex.requests())
                t0 = time.time()
                proc = o.start_launcher(broadcast=True)
                rec = o.records(timeout=30)[0]
                req = orvex.requests()[before]
                created = watch.first_after(t0, ".txt", timeout=5)
                wait_exit(proc, 30)
                if i:
                    to_file.append(created - req.wall)
                    to_app.append(rec["time"] - req.wall)
        finally:
            watch.close()
    print(f"discovery latency, {runs} runs (median, min..max):")
    print(f"  broadcast received -> share test file created: {ms(to_file)}   target < 100 ms")
    print(f"  broadcast received -> application started:     {ms(to_app)}")


def silent_server(display: Display, runs: int) -> None:
    from_start, from_window, probe = [], [], []
    with office("bench-silent", display) as o:
        o.prerequisites_in_place()
        o.set_user("OrvexAddress", "REG_SZ", "srv01")
        for _ in range(runs):
            with Orvex(replies=[], tcp="silent") as orvex:
                t0 = time.monotonic()
                proc = o.start_launcher(broadcast=True)
                o.driver.wait(CAPTION, timeout=30)
                t_window = time.monotonic()
                o.driver.wait(INFORMATION, timeout=30)
                t_info = time.monotonic()
                probe.append(orvex.wait_request(1.0).mono - t_window)
                from_start.append(t_info - t0)
                from_window.append(t_info - t_window)
                o.driver.close(INFORMATION)
                o.driver.wait(ATTENTION, timeout=15)
                o.driver.click(ATTENTION, "OK")
                wait_exit(proc, 20)
    print(f"configured server silent, no responder, {runs} runs (median, min..max):")
    print(f"  launcher start -> Information window:  {ms(from_start)}")
    print(f"  main window -> Information window:     {ms(from_window)}   target <= 4500 ms")
    print(f"  main window -> broadcast (probe over): {ms(probe)}")


def share_search(display: Display, runs: int) -> None:
    large = TREES / "large"
    small = TREES / "small"
    t = time.monotonic()
    shape_large = make_tree(large, 50, 9, 10, 10)  # 50 + 450 + 4500 = 5,000 folders
    shape_small = make_tree(small, 5, 9, 10, 10)   # 500 folders
    print(f"trees: large {shape_large[0]} folders / {shape_large[1]} files, "
          f"small {shape_small[0]} folders / {shape_small[1]} files "
          f"(ready in {time.monotonic() - t:.1f} s)")
    results: dict[str, dict[str, list[float]]] = {}
    with office("bench-search", display) as o, Orvex(replies=[SRV01]):
        o.prerequisites_in_place()
        o.prefix.warm_up()
        for label, tree in (("large", large), ("small", small)):
            subprocess.run(["mount", "--bind", str(tree), str(o.share)], check=True, timeout=10)
            try:
                r = results[label] = {"launch": [], "peak": [], "dir": [], "find": [], "standard": []}
                for i in range(runs + 1):
                    secs, peak = launch_once(o)
                    if i:  # the first run fills the page cache
                        r["launch"].append(secs)
                        r["peak"].append(peak)
                for _ in range(runs):
                    t0 = time.monotonic()
                    # Wine's dir answers "File not found." for a UNC path; from a UNC current
                    # folder (pushd) it walks the share.
                    d = o.prefix.run(["cmd", "/c", f"pushd {o.unc()} && dir /s /b"], timeout=300)
                    r["dir"].append(time.monotonic() - t0)
                    if "Velmont.exe" not in d.stdout:
                        raise RuntimeError(f"dir /s /b did not list the application: {d.stderr[-300:]}")
                    t0 = time.monotonic()
                    subprocess.run(["find", str(tree)], check=True, stdout=subprocess.DEVNULL, timeout=300)
                    r["find"].append(time.monotonic() - t0)
                if label == "large":
                    std = tree / "Velmont" / "Velmont.exe"
                    std.parent.mkdir()
                    shutil.copyfile(harness.bin_path("StandinApp.exe"), std)
                    try:
                        for _ in range(runs):
                            r["standard"].append(launch_once(o)[0])
                    finally:
                        shutil.rmtree(std.parent)
            finally:
                subprocess.run(["umount", str(o.share)], timeout=30)
    L, S = results["large"], results["small"]
    search = statistics.median(L["launch"]) - statistics.median(L["standard"])
    print(f"share search, {runs} runs each (median, min..max):")
    print(f"  launcher start -> application, large tree (search):         {ms(L['launch'])}")
    print(f"  launcher start -> application, app at \\Velmont\\Velmont.exe: {ms(L['standard'])}")
    print(f"  of which the search (difference of medians):                {search * 1000:7.0f} ms")
    print(f"  wine cmd /c dir /s /b of the share, large tree:             {ms(L['dir'])}")
    print(f"  find on the Linux folder, large tree:                       {ms(L['find'])}")
    print(f"  launcher / dir /s /b (whole launch):                        "
          f"{statistics.median(L['launch']) / statistics.median(L['dir']):7.2f}x   target <= 1.5x")
    print(f"  launcher start -> application, small tree:                  {ms(S['launch'])}")
    print(f"  wine cmd /c dir /s /b, small tree:                          {ms(S['dir'])}")
    print(f"  peak working set (VmHWM), large tree:                       {kib(L['peak'])}")
    print(f"  peak working set (VmHWM), small tree:                       {kib(S['peak'])}")
    print(f"  large minus small:                                          "
          f"{(statistics.median(L['peak']) - statistics.median(S['peak'])) / 1024:7.1f} MiB   target: flat")


def launch_once(o) -> tuple[float, int]:
    o.log_path.unlink(missing_ok=True)
    t0 = time.time()
    proc = o.start_launcher(broadcast=True)
    mem = PeakMemory(launcher_pid(proc))
    rec = o.records(timeout=300)[0]
    wait_exit(proc, 30)
    return rec["time"] - t0, mem.stop()


def ms(values: list[float]) -> str:
    return (f"{statistics.median(values) * 1000:7.0f} ms ({min(values) * 1000:.0f}.."
            f"{max(values) * 1000:.0f})")


def kib(values: list[int]) -> str:
    return f"{statistics.median(values) / 1024:7.1f} MiB ({min(values) / 1024:.1f}..{max(values) / 1024:.1f})"


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only", choices=("discovery", "silent", "search"), action="append")
    args = ap.parse_args()
    netns.enter()
    which = args.only or ["discovery", "silent", "search"]
    with Display() as display:
        if "discovery" in which:
            discovery_latency(display, args.runs)
        if "silent" in which:
            silent_server(display, max(1, min(args.runs, 3)))
        if "search" in which:
            share_search(display, max(1, min(args.runs, 3)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
