#!/usr/bin/env python3
"""Discovery on a workstation with two adapters against one: the launcher's start to the
server's receipt of the datagram it answers, and to the application's start, when the limited
broadcast goes into a network where nobody answers and the server sits behind the second
adapter, against a single adapter where the limited broadcast reaches the server. As root: it
runs in network namespaces of its own (tests/e2e/netns.py), documentation-range subnets only.

    python3 scripts/bench_adapters.py [--runs 5]
"""

from __future__ import annotations

import argparse
import json
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "scripts"))

import harness  # noqa: E402
import netns  # noqa: E402
import prereq as pr  # noqa: E402
from bench import time_to_app  # noqa: E402
from office import office  # noqa: E402
from test_adapters import listen  # noqa: E402

REPLY = "srv01,<SecurityID>"


def measure(display, runs: int, two: bool) -> tuple[list[float], list[float]]:
    first = netns.PeerNamespace("za", "192.0.2.10/24", "192.0.2.1/24")
    second = netns.PeerNamespace("zb", "198.51.100.10/24", "198.51.100.1/24") if two else None
    with first:
        if second:
            second.__enter__()
        try:
            netns.route_limited_broadcast("za", "192.0.2.10")
            server = listen(second, REPLY) if second else listen(first, REPLY)
            with office("bench-adapters", display) as o:
                o.add_app("Velmont/Velmont.exe")
                o.set_user("SkipPC", "REG_DWORD", 1)
                pr.quiet_prerequisites(o)
                starts, apps = [], []
                for i in range(runs + 1):  # the first warms the prefix up
                    o.prefix.reg_delete(r"HKCU\Software\Zelkora\Launcher")
                    o.set_user("SkipPC", "REG_DWORD", 1)
                    o.set_user("SkipCR", "REG_DWORD", 1)
                    t0 = time.time()
                    app = time_to_app(o, lambda: o.start_launcher(broadcast=True))
                    if i:
                        starts.append(t0)
                        apps.append(app)
            server.kill()
            out, _ = server.communicate(timeout=10)
            received = [e["time"] for e in map(json.loads, out.splitlines())
                        if e["event"] == "datagram"]
            found = [min(t for t in received if t >= t0) - t0 for t0 in starts]
            return found, apps
        finally:
            if second:
                second.__exit__(None, None, None)


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    netns.enter()
    with harness.Display() as display:
        rows = {"two adapters, server behind the second": measure(display, args.runs, True),
                "one adapter, limited broadcast reaches the server": measure(display, args.runs, False)}

    def ms(values: list[float]) -> str:
        return (f"{statistics.median(values) * 1000:6.0f} ms "
                f"({min(values) * 1000:.0f}..{max(values) * 1000:.0f})")

    print(f"{args.runs} runs each, medians (min..max)")
    for name, (found, apps) in rows.items():
        print(f"  {name}:")
        print(f"    launcher start -> the server receives the datagram it answers  {ms(found)}")
        print(f"    launcher start -> application start                            {ms(apps)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
