#!/usr/bin/env python3
"""Stand-in Orvex: the discovery responder and the TCP listener the launcher looks for.

UDP: listens on 0.0.0.0:(2868 + offset). Every datagram is logged with its receive time; each
"Finding Server" request is answered with the caller's reply datagrams (none: silent), each
after its own delay, sent back to the sender's address and port.

TCP on (2879 + offset), one of three modes:
  open    accepts each connection and closes it at once (logged);
  closed  no listener: a connect is refused at once;
  silent  a listener whose accept queue is kept full, so the kernel drops every further SYN
          and a connect runs into the client's timeout. Needs nothing but the loopback device
          (no packet filter), and nothing is ever sent anywhere.

As a module:
    with Orvex(replies=[b"srv01,<SecurityID>"]) as orvex:
        ...; req = orvex.wait_request(5.0)
From the command line (runs until interrupted, prints one JSON line per event):
    python3 tools/orvex/orvex_standin.py --reply 'srv01,<SecurityID>' --offset 2 --tcp open

Bind to 0.0.0.0 only inside a network namespace of the test's own (tests/e2e/netns.py): it is
the launcher's broadcast that must never reach a real network, and that is the namespace's job.
"""

from __future__ import annotations

import argparse
import errno
import json
import select
import signal
import socket
import sys
import threading
import time
from dataclasses import dataclass, field

REQUEST = b"Finding Server"
UDP_BASE = 2868
TCP_BASE = 2879
TCP_MODES = ("open", "closed", "silent")


@dataclass
class Datagram:
    wall: float  # time.time() at receipt, comparable with the stand-in application's record
    mono: float  # time.monotonic() at receipt
    sender: tuple[str, int]
    payload: bytes
    replies_sent: list[float] = field(default_factory=list)  # time.monotonic() of each reply

    @property
    def is_request(self) -> bool:
        return self.payload == REQUEST


@dataclass
class Connection:
    wall: float
    mono: float
    peer: tuple[str, int]


class Orvex:
    """One stand-in server. `replies` are sent in order for each request; `delays` (seconds,
    one per reply, or a single number for all) count from the request's receipt."""

    def __init__(self, replies: list[bytes] | None = None, delays: list[float] | float = 0.0,
                 offset: int = 0, tcp: str = "open", udp: bool = True, host: str = "0.0.0.0"):
        if tcp not in TCP_MODES:
            raise ValueError(f"tcp mode must be one of {TCP_MODES}, not {tcp!r}")
        self.replies = [bytes(r) for r in (replies or [])]
        if isinstance(delays, (int, float)):
            delays = [float(delays)] * len(self.replies)
        if len(delays) != len(self.replies):
            raise ValueError("one delay per reply")
        self.delays = [float(d) for d in delays]
        self.offset = offset
        self.udp_port = UDP_BASE + offset
        self.tcp_port = TCP_BASE + offset
        self.tcp_mode = tcp
        self.udp_enabled = udp
        self.host = host
        self.datagrams: list[Datagram] = []
        self.connections: list[Connection] = []
        self._cond = threading.Condition()
        self._stop_r, self._stop_w = socket.socketpair()
        self._threads: list[threading.Thread] = []
        self._timers: list[threading.Timer] = []
        self._udp: socket.socket | None = None
        self._tcp: socket.socket | None = None
        self._fillers: list[socket.socket] = []
        self.on_event = None  # optional callable(kind, record), called on the worker threads

    # -- lifetime
    def start(self) -> "Orvex":
        try:
            if self.udp_enabled:
                self._udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                # Several stand-ins may share the port: Linux hands a broadcast to every
                # socket bound to it with SO_REUSEADDR.
                self._udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                self._udp.bind((self.host, self.udp_port))
                self._spawn(self._udp_loop, "orvex-udp")
            if self.tcp_mode in ("open", "silent"):
                self._tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                self._tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                self._tcp.bind((self.host, self.tcp_port))
                if self.tcp_mode == "open":
                    self._tcp.listen(16)
                    self._spawn(self._tcp_loop, "orvex-tcp")
                else:
                    self._fill_accept_queue()
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self) -> None:
        with self._cond:
            timers, self._timers = self._timers, []
        for t in timers:
            t.cancel()
        try:
            self._stop_w.send(b"x")
        except OSError:
            pass
        for t in self._threads:
            t.join(timeout=5)
        self._threads.clear()
        for s in [self._udp, self._tcp, *self._fillers]:
            if s is not None:
                s.close()
        self._udp = self._tcp = None
        self._fillers.clear()

    def __enter__(self) -> "Orvex":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    def _spawn(self, target, name: str) -> None:
        t = threading.Thread(target=target, name=name, daemon=True)
        t.start()
        self._threads.append(t)

    # -- UDP
    def _udp_loop(self) -> None:
        assert self._udp is not None
        while True:
            ready, _, _ = select.select([self._udp, self._stop_r], [], [])
            if self._stop_r in ready:
                return
            try:
                payload, sender = self._udp.recvfrom(65535)
            except OSError:
                continue
            d = Datagram(time.time(), time.monotonic(), sender, payload)
            with self._cond:
                self.datagrams.append(d)
                self._cond.notify_all()
            self._emit("datagram", d)
            if d.is_request:
                for reply, delay in zip(self.replies, self.delays):
                    self._send_later(d, reply, delay)

    def _send_later(self, d: Datagram, reply: bytes, delay: float) -> None:
        def send() -> None:
            sock = self._udp
            if sock is None:
                return
            try:
                sock.sendto(reply, d.sender)
            except OSError as e:  # the launcher may be gone already
                if e.errno not in (errno.ECONNREFUSED, errno.EBADF):
                    raise
                return
            with self._cond:
                d.replies_sent.append(time.monotonic())
                self._cond.notify_all()

        wait = d.mono + delay - time.monotonic()
        if wait <= 0:
            send()
            return
        t = threading.Timer(wait, send)
        t.daemon = True
        with self._cond:
            self._timers.append(t)
        t.start()

    # -- TCP
    def _tcp_loop(self) -> None:
        assert self._tcp is not None
        while True:
            ready, _, _ = select.select([self._tcp, self._stop_r], [], [])
            if self._stop_r in ready:
                return
            try:
                conn, peer = self._tcp.accept()
            except OSError:
                continue
            c = Connection(time.time(), time.monotonic(), peer)
            conn.close()
            with self._cond:
                self.connections.append(c)
                self._cond.notify_all()
            self._emit("connection", c)

    def _fill_accept_queue(self) -> None:
        """Listens with a backlog of 0 and fills the queue with a connection of our own that is
        never accepted: Linux then drops every later SYN to this port, so connects time out."""
        assert self._tcp is not None
        self._tcp.listen(0)
        target = ("127.0.0.1" if self.host in ("0.0.0.0", "") else self.host, self.tcp_port)
        filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._fillers.append(filler)
        filler.settimeout(5.0)
        filler.connect(target)  # completes: the queue had room for this one
        # A second connect must now hang: proof that the port is silent before anyone relies on it.
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._fillers.append(probe)
        probe.setblocking(False)
        if probe.connect_ex(target) not in (errno.EINPROGRESS, errno.EAGAIN):
            raise RuntimeError("silent TCP port answered a connect")
        _, writable, _ = select.select([], [probe], [], 0.1)
        if writable and probe.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0:
            raise RuntimeError("silent TCP port accepted a second connection")

    # -- queries
    def requests(self) -> list[Datagram]:
        with self._cond:
            return [d for d in self.datagrams if d.is_request]

    def wait_request(self, timeout: float) -> Datagram:
        """The first "Finding Server" request, waiting up to `timeout` seconds for it."""
        end = time.monotonic() + timeout
        with self._cond:
            while True:
                for d in self.datagrams:
                    if d.is_request:
                        return d
                left = end - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"no discovery request on UDP {self.udp_port} within {timeout:g} s")
                self._cond.wait(left)

    def wait_connection(self, timeout: float) -> Connection:
        end = time.monotonic() + timeout
        with self._cond:
            while not self.connections:
                left = end - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"no connection on TCP {self.tcp_port} within {timeout:g} s")
                self._cond.wait(left)
            return self.connections[0]

    def _emit(self, kind: str, record) -> None:
        if self.on_event is not None:
            self.on_event(kind, record)


def _parse_reply(text: str) -> bytes:
    """Command-line replies: \\xNN, \\n, \\r and \\\\ escapes, so any byte can be sent."""
    return text.encode("latin-1").decode("unicode_escape").encode("latin-1")


def main(argv: list[str]) -> int:
    ap = argparse.ArgumentParser(description="Stand-in Orvex: discovery responder and TCP listener.")
    ap.add_argument("--reply", action="append", default=[],
                    help="reply datagram for each request (repeat for several; escapes \\xNN); "
                         "none: silent")
    ap.add_argument("--delay", type=float, action="append", default=[],
                    help="seconds before the matching reply (one for all, or one per reply)")
    ap.add_argument("--offset", type=int, default=0, help="PortOffset: UDP 2868+N, TCP 2879+N")
    ap.add_argument("--tcp", choices=TCP_MODES, default="open")
    ap.add_argument("--no-udp", action="store_true", help="no discovery responder at all")
    ap.add_argument("--host", default="0.0.0.0", help="address to bind (default 0.0.0.0)")
    args = ap.parse_args(argv)
    replies = [_parse_reply(r) for r in args.reply]
    delays: list[float] | float = args.delay if len(args.delay) > 1 else (args.delay[0] if args.delay else 0.0)
    orvex = Orvex(replies=replies, delays=delays, offset=args.offset, tcp=args.tcp,
                  udp=not args.no_udp, host=args.host)

    def show(kind: str, rec) -> None:
        if kind == "datagram":
            line = {"event": kind, "time": rec.wall, "from": list(rec.sender),
                    "payload": rec.payload.decode("latin-1"), "request": rec.is_request}
        else:
            line = {"event": kind, "time": rec.wall, "from": list(rec.peer)}
        print(json.dumps(line), flush=True)

    orvex.on_event = show
    # `timeout` and service managers stop with SIGTERM: close the sockets all the same.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    orvex.start()
    print(json.dumps({"event": "ready", "udp": orvex.udp_port if orvex.udp_enabled else None,
                      "tcp": orvex.tcp_port, "tcp_mode": orvex.tcp_mode}), flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass
    finally:
        orvex.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
