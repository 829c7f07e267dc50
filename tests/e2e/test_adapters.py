"""Discovery on a workstation with two network adapters, under Wine, in namespaces this script
makes: the launcher's namespace has two links, to 192.0.2.0/24 and 198.51.100.0/24, with the
limited broadcast routed into the first, where nobody answers; the stand-in Orvex listens in the
second. The server is found through the directed broadcast on the second adapter."""

from __future__ import annotations

import json
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import harness  # noqa: E402
import netns  # noqa: E402
import prereq as pr  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import office, wait_exit  # noqa: E402

DISPLAY: Display | None = None
STANDIN = HERE.parents[1] / "tools" / "orvex" / "orvex_standin.py"


def listen(peer: netns.PeerNamespace, *replies: str):
    """The stand-in Orvex in the peer's namespace, answering each request with replies (none:
    silent, but every datagram is printed)."""
    args = [sys.executable, "-u", str(STANDIN), "--tcp", "closed"]
    for r in replies:
        args += ["--reply", r]
    proc = peer.run(args, stdout=subprocess.PIPE, text=True)
    ready = json.loads(proc.stdout.readline())
    eq(ready["event"], "ready", "stand-in start")
    return proc


def datagrams(proc) -> list[dict]:
    proc.kill()
    out, _ = proc.communicate(timeout=10)
    return [e for e in map(json.loads, out.splitlines()) if e["event"] == "datagram"]


def found_through_the_second_adapter() -> None:
    with netns.PeerNamespace("za", "192.0.2.10/24", "192.0.2.1/24") as first, \
            netns.PeerNamespace("zb", "198.51.100.10/24", "198.51.100.1/24") as second:
        netns.route_limited_broadcast("za", "192.0.2.10")
        silent = listen(first)
        orvex = listen(second, "srv01,<SecurityID>")
        with office("adapters", DISPLAY) as o:
            o.add_app("Velmont/Velmont.exe")
            o.set_user("SkipPC", "REG_DWORD", 1)
            pr.quiet_prerequisites(o)
            t0 = time.monotonic()
            proc = o.start_launcher(broadcast=True)
            rec = o.records(timeout=60)[0]
            print(f"adapters: application started {time.monotonic() - t0:.2f} s after the launcher")
            eq(rec["args"][1:], ["-OrvexAddress=srv01"], "application arguments")
            eq(wait_exit(proc, 30), 0, "launcher exit code")
        heard = datagrams(silent)
        answered = datagrams(orvex)
        # The first network gets the limited broadcast and its own directed one.
        check([d["from"][0] for d in heard] == ["192.0.2.10"] * 2,
              f"the first network heard {heard}")
        check([d["from"][0] for d in answered] == ["198.51.100.10"],
              f"the second network heard {answered}")
        eq(answered[0]["payload"], "Finding Server", "payload")


if __name__ == "__main__":
    harness.main(globals(), [found_through_the_second_adapter], netns=True)
