"""Benchmarks of the launcher under Wine, printed as figures (medians of several runs against a
baseline measured in the same run):

- overhead: from starting the launcher to the stand-in application's start, against starting the
  stand-in directly, in the same prefix;
- memory: the launcher's peak working set during a run (Wine's process, so Wine's own share is in
  it: a minimal Win32 program measured the same way is printed beside it), and the exe's size.
"""

from __future__ import annotations

import argparse
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402
from harness import Display  # noqa: E402
from office import STANDIN_LOG, office, wait_exit  # noqa: E402


def hwm_now(pattern: str) -> int:
    """The largest VmHWM (peak resident set, KiB) among the processes matching pattern."""
    peak = 0
    pids = subprocess.run(["pgrep", "-f", pattern], capture_output=True, text=True).stdout.split()
    for pid in pids:
        try:
            for line in Path(f"/proc/{pid}/status").read_text().splitlines():
                if line.startswith("VmHWM:"):
                    peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
    return peak


def peak_rss_kib(pattern: str, proc: subprocess.Popen) -> int:
    """Largest VmHWM seen of the Linux process running the Windows program, polled until it ends."""
    peak = 0
    while proc.poll() is None:
        peak = max(peak, hwm_now(pattern))
        time.sleep(0.05)
    return peak


def time_to_app(o, start, during=None, timeout: float = 60.0) -> float:
    """Seconds from just before start() (which starts a wine process) to the stand-in
    application's start, which the stand-in records with the host clock as its first action.
    Returns once the started process has ended; during(proc), if given, runs meanwhile."""
    o.log_path.unlink(missing_ok=True)
    t0 = time.time()
    proc = start()
    if during is not None:
        during(proc)
    rec = o.records(timeout=timeout)[0]
    wait_exit(proc, timeout)
    return rec["time"] - t0


def start_direct(o, app_unc: str) -> subprocess.Popen:
    """`wine \\\\srv01\\...\\Velmont.exe`: the stand-in started without the launcher."""
    return o.prefix.start([app_unc], env={"ZELKORA_STANDIN_LOG": STANDIN_LOG})


def run_launcher(o, runs: int) -> tuple[list[float], list[int]]:
    delays, peaks = [], []
    for _ in range(runs):
        delays.append(time_to_app(
            o, o.start_launcher,
            during=lambda proc: peaks.append(peak_rss_kib("ZelkoraLauncher.exe", proc))))
    return delays, peaks


def run_direct(o, app_unc: str, runs: int) -> list[float]:
    return [time_to_app(o, lambda: start_direct(o, app_unc), timeout=30) for _ in range(runs)]


def notepad_peak(o) -> int:
    """Wine's own notepad, a small Win32 program with a window, measured like the launcher: what
    any windowed program costs under Wine."""
    proc = o.prefix.start(["notepad"], timeout=60)
    o.driver.wait("Untitled - Notepad", timeout=30)
    time.sleep(1.0)  # a running program's peak is what we want; the window is up and idle
    peak = hwm_now("notepad")
    o.driver.close("Untitled - Notepad")
    wait_exit(proc, 30)
    return peak


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    exe = harness.bin_path("ZelkoraLauncher.exe")
    with Display() as display, office("bench", display) as o:
        app = o.add_app("Velmont/Velmont.exe")
        o.set_user("AppLocation", "REG_SZ", app)
        o.prerequisites_in_place()  # no offer waits for an answer
        # One warm-up of each so both measurements see a warm wineserver and page cache.
        run_direct(o, app, 1)
        run_launcher(o, 1)
        # Alternated, so both see the same load on the machine.
        direct, launched, launcher_peaks = [], [], []
        for _ in range(args.runs):
            direct += run_direct(o, app, 1)
            d, p = run_launcher(o, 1)
            launched += d
            launcher_peaks += p
        base_peaks = [notepad_peak(o) for _ in range(3)]
    d, l = statistics.median(direct), statistics.median(launched)
    print(f"runs: {args.runs} each, medians")
    print(f"start of the stand-in directly:           {d * 1000:7.0f} ms")
    print(f"start of the stand-in through the launcher:{l * 1000:7.0f} ms")
    pairs = statistics.median(b - a for a, b in zip(direct, launched))
    print(f"launcher overhead:                        {(l - d) * 1000:7.0f} ms (target <= 300 ms)")
    print(f"launcher overhead, median of the pairs:   {pairs * 1000:7.0f} ms")
    print(f"peak working set, launcher run:           {statistics.median(launcher_peaks) / 1024:7.1f} MiB")
    print(f"peak working set, Wine's notepad:         {statistics.median(base_peaks) / 1024:7.1f} MiB"
          " (what a windowed program costs under Wine)")
    print(f"launcher above that baseline:             "
          f"{(statistics.median(launcher_peaks) - statistics.median(base_peaks)) / 1024:7.1f} MiB"
          " (target: whole launcher < 12 MB on Windows)")
    print(f"exe size:                                 {exe.stat().st_size / 1024:7.0f} KiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
