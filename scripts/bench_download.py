#!/usr/bin/env python3
"""Download benchmark: a 200 MB file from a loopback `python3 -m http.server` (127.0.0.1, a port
the system chooses, serving a folder under build/), fetched

- by curl, the baseline, writing to a file beside the served one;
- by the launcher's own download path under Wine (win32_tests.exe, DownloadBench.*): the
  installer window's logic starts the background downloader, which fetches through WinINet and
  reports to the main thread (at most one every 50 ms), where the installer window paints it. Timed from
  showing the window to its end (window, thread and file set-up included), and from the request
  to the last report; and Win32Http alone into a file, without window or reports;

alternately, several runs each, and prints the medians. While the launcher downloads, a probe
thread sends a message to the installer window every 10 ms; the longest round trip is how long
the main thread was ever unresponsive, from the window's creation on (the warm-up window that
stands in for the launcher's main window is not probed).

    python3 scripts/bench_download.py [--runs 5] [--mb 200]
"""

from __future__ import annotations

import argparse
import os
import re
import statistics
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402

WORK = ROOT / "build" / "bench-download"


def make_file(path: Path, size: int) -> None:
    if path.is_file() and path.stat().st_size == size:
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    block = os.urandom(8 << 20)
    with path.open("wb") as f:
        left = size
        while left > 0:
            f.write(block[:min(left, len(block))])
            left -= len(block)


def start_server(folder: Path) -> tuple[subprocess.Popen, int]:
    proc = subprocess.Popen(
        [sys.executable, "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
         str(folder)],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()  # "Serving HTTP on 127.0.0.1 port N (http://127.0.0.1:N/) ..."
    m = re.search(r"port (\d+)", line)
    if not m:
        proc.kill()
        raise SystemExit(f"bench_download: the HTTP server did not start: {line!r}")
    return proc, int(m.group(1))


def curl_run(url: str, out: Path) -> float:
    r = subprocess.run(["curl", "-s", "-o", str(out), "-w", "%{size_download} %{time_total}", url],
                       capture_output=True, text=True, check=True, timeout=300)
    size, seconds = r.stdout.split()
    out.unlink(missing_ok=True)
    return float(size) / float(seconds) / 1e6


def launcher_run(prefix: harness.WinePrefix, exe: Path, url: str) -> dict[str, float]:
    env = dict(prefix.env, ZL_BENCH_URL=url)
    r = subprocess.run(["timeout", "-k", "10", "300", "wine", str(exe),
                        "--gtest_filter=DownloadBench.*"],
                       env=env, capture_output=True, text=True)
    figures = dict((k, float(v)) for k, v in re.findall(r"^BENCH (\w+) ([\d.]+)", r.stdout, re.M))
    if r.returncode != 0 or "mb_per_s" not in figures:
        raise SystemExit(f"bench_download: win32_tests.exe failed ({r.returncode}):\n"
                         f"{r.stdout[-3000:]}\n{r.stderr[-2000:]}")
    return figures


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--mb", type=int, default=200)
    args = ap.parse_args()

    bin_dir = Path(os.environ.get("ZL_WIN32_BIN") or ROOT / "build" / "win32" / "bin")
    exe = bin_dir / "win32_tests.exe"
    if not exe.is_file():
        print(f"bench_download: {exe} not found; build first (or set ZL_WIN32_BIN)", file=sys.stderr)
        return 2
    www = WORK / "www"
    size = args.mb * 1000 * 1000
    make_file(www / "payload.bin", size)
    server, port = start_server(www)
    url = f"http://127.0.0.1:{port}/payload.bin"
    curl_speeds: list[float] = []
    ours: list[dict[str, float]] = []
    try:
        with harness.Display() as display, harness.WinePrefix("bench_download", display) as prefix:
            prefix.warm_up()
            # Without a window manager Wine waits 2 s for one at every show of a managed window.
            prefix.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "REG_SZ", "N")
            for _ in range(args.runs):
                curl_speeds.append(curl_run(url, WORK / "curl.out"))
                ours.append(launcher_run(prefix, exe, url))
    finally:
        server.kill()
        server.wait(timeout=10)

    for f in ours:
        if int(f["bytes"]) != size:
            print(f"bench_download: the launcher wrote {int(f['bytes'])} bytes, not {size}",
                  file=sys.stderr)
            return 1
    curl_med = statistics.median(curl_speeds)
    our_speeds = [f["mb_per_s"] for f in ours]
    ours_med = statistics.median(our_speeds)
    trips = [f["longest_round_trip_ms"] for f in ours]
    print(f"download of {args.mb} MB from 127.0.0.1, {args.runs} runs each, medians")
    print(f"  curl                                   {curl_med:8.1f} MB/s   "
          f"(runs: {', '.join(f'{s:.0f}' for s in curl_speeds)})")
    print(f"  launcher (installer window, WinINet)   {ours_med:8.1f} MB/s   "
          f"(runs: {', '.join(f'{s:.0f}' for s in our_speeds)})")
    transfer = statistics.median(f["transfer_mb_per_s"] for f in ours)
    adapter = statistics.median(f["adapter_mb_per_s"] for f in ours)
    print(f"  launcher / curl                        {ours_med / curl_med:8.2f}       target >= 0.80")
    print(f"  launcher, request to last report only  {transfer:8.1f} MB/s   "
          f"({transfer / curl_med:.2f} of curl)")
    print(f"  Win32Http alone into a file            {adapter:8.1f} MB/s   "
          f"({adapter / curl_med:.2f} of curl)")
    setup = statistics.median(f["setup_ms"] for f in ours)
    teardown = statistics.median(f["teardown_ms"] for f in ours)
    print(f"  window shown to request, last byte to window closed   {setup:.1f} ms, {teardown:.1f} ms")
    print(f"  longest main-thread round trip         {statistics.median(trips):8.1f} ms     "
          f"(worst run {max(trips):.1f} ms; target < 100 ms)")
    print(f"  probes per run                         {statistics.median(f['probes'] for f in ours):8.0f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
