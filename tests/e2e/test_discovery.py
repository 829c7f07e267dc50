"""Finding the Orvex under Wine, in a network namespace of this script's own: the broadcast with
nothing configured, the TCP probe of a configured address, the port offset, two servers
answering, and replies that must never be used.

The stand-in Orvex (tools/orvex/orvex_standin.py) answers on loopback; /etc/hosts inside the
namespace maps srv01.corp.local/srv01 to 127.0.0.2 and srv02 to 127.0.0.3 (netns.OFFICE_HOSTS).
"""

from __future__ import annotations

import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "orvex"))

import harness  # noqa: E402
from harness import Display, check, eq  # noqa: E402
from office import (ATTENTION, INFORMATION, LAUNCHER_KEY, NOT_FOUND, NO_ZONES, office,  # noqa: E402
                    wait_exit)
from orvex_standin import Orvex  # noqa: E402

DISPLAY: Display | None = None


def only_server_in_zone_map(o, name: str) -> None:
    """A host name is entered under Domains and ESCDomains with file=1, never as a range."""
    zones = o.zone_map()
    eq(zones["Domains"], {name: {"file": 1}}, "ZoneMap\\Domains")
    eq(zones["ESCDomains"], {name: {"file": 1}}, "ZoneMap\\ESCDomains")
    eq(zones["Ranges"], {}, "ZoneMap\\Ranges")


def broadcast_with_nothing_configured() -> None:
    with office("bcast", DISPLAY) as o, Orvex(replies=[b"srv01,<SecurityID>"]) as orvex:
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        o.start_launcher(broadcast=True)
        rec = o.records(timeout=30)[0]
        req = orvex.requests()
        eq(len(req), 1, "discovery requests (one try, no repetition)")
        check(req[0].sender[0] == "127.0.0.1", f"request from {req[0].sender}")
        eq(rec["args"][1:], ["-OrvexAddress=srv01"], "application arguments")
        eq(rec["cwd"].rstrip("\\").lower(), o.unc("Velmont").lower(), "working folder")
        check(rec["time"] > req[0].wall, "the application started before the broadcast")
        only_server_in_zone_map(o, "srv01")
        # A server found by broadcast serves this run only.
        eq(o.saved_options(), {}, f"{LAUNCHER_KEY} after the run")
        # The share check's test file is created and deleted again.
        eq(o.share_root_files(), [], "files left at the share's root")


def probe_of_configured_address() -> None:
    # 127.0.0.2 reverse-resolves to srv01.corp.local: the launcher probes srv01 (short name)
    # and the broadcast must not follow a probe that connected.
    with office("probe", DISPLAY) as o, Orvex(replies=[], tcp="open") as orvex:
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        o.set_user("OrvexAddress", "REG_SZ", "127.0.0.2")
        o.start_launcher(broadcast=True)
        rec = o.records(timeout=30)[0]
        conn = orvex.wait_connection(1.0)
        check(conn.peer[0] in ("127.0.0.1", "127.0.0.2"), f"probe from {conn.peer}")
        eq(rec["args"][1:], ["-OrvexAddress=srv01"], "application arguments")
        eq(len(orvex.datagrams), 0, "datagrams after a successful probe")
        only_server_in_zone_map(o, "srv01")
        # The configured value stays as it was: the resolved name is not saved.
        eq(o.saved_options(), {"OrvexAddress": "127.0.0.2"}, f"{LAUNCHER_KEY} after the run")


def port_offset() -> None:
    # The reply's capitals reach the command line; the zone keys are lower case. A silent
    # stand-in on the base ports proves that nothing is sent there.
    with office("offset", DISPLAY) as o, \
            Orvex(replies=[b"SRV01,<SecurityID>"], offset=7) as orvex, \
            Orvex(replies=[], tcp="open") as base:
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        o.set_user("PortOffset", "REG_DWORD", 7)
        o.start_launcher(broadcast=True)
        rec = o.records(timeout=30)[0]
        eq(rec["args"][1:], ["-PortOffset=7", "-OrvexAddress=SRV01"], "application arguments")
        eq(len(orvex.requests()), 1, "requests on UDP 2875")
        eq((len(base.datagrams), len(base.connections)), (0, 0), "traffic on the base ports")
        only_server_in_zone_map(o, "srv01")


def first_valid_reply_wins() -> None:
    # First a reply that is no host name, then 127.0.0.2 (reverse-resolved to srv01), then a
    # second server, later. The launcher skips the first, takes the second, never the third.
    first = Orvex(replies=[b",<SecurityID>", b"127.0.0.2,<SecurityID>"], delays=[0.0, 0.2])
    second = Orvex(replies=[b"srv02,<SecurityID>"], delays=0.6, tcp="closed")
    with office("twoservers", DISPLAY) as o, first, second:
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        o.start_launcher(broadcast=True)
        rec = o.records(timeout=30)[0]
        eq(rec["args"][1:], ["-OrvexAddress=srv01"], "application arguments")
        eq((len(first.requests()), len(second.requests())), (1, 1), "requests seen by each server")
        only_server_in_zone_map(o, "srv01")


HOSTILE = [
    b"",                                   # empty
    b'"\\\\evil\\x",<SecurityID>',           # a quote before the comma: empty name
    b"\\\\evil\\share\\x.exe",            # no comma, so the whole text would be the name
    b"a" * 8192,                           # fills the receive buffer; no host name is that long
    b"a" * 300 + b",<SecurityID>",         # name characters only, but longer than 253
    b",<SecurityID>",                      # comma first: empty name
    b'srv"01 -x',                          # would put a quote and a blank on the command line
]


def hostile_replies_are_ignored() -> None:
    # Every reply arrives within the 2 s wait and none is usable; a valid one comes too late.
    replies = HOSTILE + [b"srv01,<SecurityID>"]
    delays = [0.0] * len(HOSTILE) + [3.5]
    with office("hostile", DISPLAY) as o, Orvex(replies=replies, delays=delays) as orvex:
        o.add_app("Velmont/Velmont.exe")
        o.prerequisites_in_place()
        proc = o.start_launcher(broadcast=True)
        o.driver.wait(INFORMATION, timeout=30)
        eq(len(orvex.requests()), 1, "discovery requests")
        zones = o.zone_map()
        eq(zones, NO_ZONES, "zone map")
        o.driver.close(INFORMATION)
        o.driver.wait(ATTENTION, timeout=15)
        text = o.box_text(ATTENTION)
        check(text.startswith(NOT_FOUND), f"Attention text {text!r}")
        o.driver.click(ATTENTION, "OK")
        wait_exit(proc, 20)
        check(o.no_records(), "the application must not start")
        eq(o.zone_map(), NO_ZONES, "zone map at the end")
        eq(o.saved_options(), {}, f"{LAUNCHER_KEY} after the run")


if __name__ == "__main__":
    harness.main(globals(), [
        broadcast_with_nothing_configured,
        probe_of_configured_address,
        port_offset,
        first_valid_reply_wins,
        hostile_replies_are_ignored,
    ], netns=True)
