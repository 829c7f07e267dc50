#!/usr/bin/env python3
"""Checksum benchmark: the time the admin's checksum policy adds before an installer runs, the
SHA-256 of a file through the launcher's own file system adapter (CryptoAPI) under Wine
(win32_tests.exe, FileSystemTest.BenchSha256, which writes the file and then times only the
hashing), against Linux's sha256sum over a file of the same size as the baseline. Several
runs each, medians printed.

    python3 scripts/bench_hash.py [--runs 5] [--mb 200]
"""

from __future__ import annotations

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402


def launcher_ms(prefix, exe: Path, mb: int) -> float:
    env = dict(prefix.env)
    env["ZL_BENCH_HASH_MB"] = str(mb)
    out = subprocess.run(["wine", str(exe), "--gtest_filter=FileSystemTest.BenchSha256"], env=env,
                         capture_output=True, text=True, timeout=1800).stdout
    m = re.search(r"bench-hash: \d+ MB in (\d+) ms", out)
    if not m:
        raise SystemExit(f"bench_hash: no figure in the adapter's output:\n{out[-2000:]}")
    return float(m.group(1))


def baseline_ms(mb: int) -> float:
    with tempfile.NamedTemporaryFile(dir=ROOT / "build") as f:
        chunk = b"z" * (1 << 20)
        for _ in range(mb):
            f.write(chunk)
        f.flush()
        start = time.monotonic()
        subprocess.run(["sha256sum", f.name], check=True, capture_output=True)
        return (time.monotonic() - start) * 1000


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--mb", type=int, default=200)
    args = parser.parse_args()
    exe = Path(os.environ.get("ZL_WIN32_BIN", ROOT / "build" / "win32" / "bin")) / "win32_tests.exe"
    ours, base = [], []
    with harness.Display() as display, harness.WinePrefix("bench-hash", display) as prefix:
        prefix.warm_up()
        for _ in range(args.runs):
            ours.append(launcher_ms(prefix, exe, args.mb))
            base.append(baseline_ms(args.mb))
    emulated = " (32-bit code emulated by qemu-i386 on this host)" if harness.I386_EMULATED else ""
    print(f"SHA-256 of a {args.mb} MB installer, median of {args.runs}:")
    print(f"  launcher (CryptoAPI under Wine{emulated}): {statistics.median(ours):.0f} ms "
          f"({args.mb / statistics.median(ours) * 1000:.0f} MB/s)")
    print(f"  baseline (sha256sum on Linux):             {statistics.median(base):.0f} ms "
          f"({args.mb / statistics.median(base) * 1000:.0f} MB/s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
