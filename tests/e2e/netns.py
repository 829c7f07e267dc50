"""Runs a scenario script inside a network namespace (and a mount namespace) of its own.

The launcher broadcasts "Finding Server" to 255.255.255.255. Under Wine every socket is opened
by the prefix's wineserver, so the whole script - Xvfb, `wineserver -p`, every wine command and
the stand-in Orvex - must run in a namespace that has nothing but the loopback device. Call
`enter()` first thing in a scenario script's main(): it re-executes the script under
`unshare --net --mount` and then, inside, brings up lo, routes the limited broadcast to lo
(no default route: unknown names then fail at once instead of waiting for a DNS server) and
bind-mounts a private /etc/hosts so the office's server names resolve to loopback addresses.

The private mount namespace also takes the harness's overlay prefixes and any read-only bind
mount a scenario makes; all of them vanish with the namespace, even when the script is killed.
"""

from __future__ import annotations

import os
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

_MARK = "ZL_NETNS_PID"

# The office's names: srv01 is the server a scenario expects (its long name tests that a
# reverse lookup keeps only the first label), srv02 a second server without a share.
OFFICE_HOSTS: dict[str, list[str]] = {
    "127.0.0.1": ["localhost", socket.gethostname()],
    "127.0.0.2": ["srv01.corp.local", "srv01"],
    "127.0.0.3": ["srv02"],
}


class NetnsError(RuntimeError):
    pass


def interfaces() -> list[str]:
    """Network devices of this process's network namespace (/proc/self/net is per namespace,
    unlike /sys/class/net, which shows the namespace that mounted sysfs)."""
    names = []
    with open("/proc/self/net/dev") as fh:
        for line in fh.readlines()[2:]:
            names.append(line.split(":", 1)[0].strip())
    return sorted(names)


def _routes() -> list[str]:
    r = subprocess.run(["ip", "-4", "route", "show", "table", "all"], capture_output=True,
                       text=True, timeout=10, check=True)
    return [ln for ln in r.stdout.splitlines() if ln.strip()]


# Ends of veth pairs whose other ends live in namespaces this script made (PeerNamespace).
_OWN_LINKS: set[str] = set()


def is_private() -> bool:
    return [d for d in interfaces() if d not in _OWN_LINKS] == ["lo"]


def require_private_network() -> None:
    """Refuses to go on unless this process sits in a namespace whose only devices are lo and
    links to namespaces of its own, and which has no default route: then nothing sent here can
    reach another machine."""
    found = [d for d in interfaces() if d not in _OWN_LINKS]
    if found != ["lo"]:
        raise NetnsError(f"refusing to broadcast: network devices {found} (want only lo); "
                         "run the scenario through netns.enter()")
    if any(ln.split()[0] == "default" for ln in _routes()):
        raise NetnsError("refusing to broadcast: this namespace has a default route")


def inside() -> bool:
    """True in the process that enter() re-executed (children do not count: they may have
    been started elsewhere with the same environment)."""
    return os.environ.get(_MARK) == str(os.getpid())


def enter(hosts: dict[str, list[str]] | None = None) -> None:
    """Re-executes the running script in new network and mount namespaces (the process keeps
    its pid: unshare execs in place, so a CTest timeout still signals the script), then sets
    them up. Returns only inside."""
    if not inside():
        if os.geteuid() != 0:
            raise NetnsError("network namespaces need root (unshare --net)")
        env = dict(os.environ)
        env[_MARK] = str(os.getpid())
        script = os.path.abspath(sys.argv[0])
        os.execvpe("unshare", ["unshare", "--net", "--mount", "--propagation", "private", "--",
                               sys.executable, script, *sys.argv[1:]], env)
    require_private_network()
    _ip("link", "set", "lo", "up")
    _ip("route", "add", "255.255.255.255/32", "dev", "lo", "src", "127.0.0.1")
    _private_hosts(OFFICE_HOSTS if hosts is None else hosts)
    require_private_network()


def _ip(*args: str) -> None:
    r = subprocess.run(["ip", *args], capture_output=True, text=True, timeout=10)
    if r.returncode != 0 and "File exists" not in r.stderr:
        raise NetnsError(f"ip {' '.join(args)}: {r.stderr.strip()}")


def _private_hosts(hosts: dict[str, list[str]]) -> None:
    text = "".join(f"{addr}\t{' '.join(names)}\n" for addr, names in hosts.items())
    fd, path = tempfile.mkstemp(prefix="zl-hosts-")
    with os.fdopen(fd, "w") as fh:
        fh.write(text)
    os.chmod(path, 0o644)
    try:
        subprocess.run(["mount", "--bind", path, "/etc/hosts"], check=True, timeout=10,
                       capture_output=True)
    finally:
        os.unlink(path)  # the mount keeps the file alive


def bind_readonly(path: str | Path) -> None:
    """Makes a folder read-only for everyone, root included (root ignores file modes)."""
    p = str(path)
    if not inside():
        raise NetnsError("read-only bind mounts only inside the scenario's mount namespace")
    subprocess.run(["mount", "--bind", p, p], check=True, timeout=10, capture_output=True)
    subprocess.run(["mount", "-o", "remount,ro,bind", p], check=True, timeout=10, capture_output=True)


def unmount(path: str | Path) -> None:
    subprocess.run(["umount", str(path)], timeout=30, capture_output=True)


def sockets_of(pid_name: str, udp: bool = True) -> list[str]:
    """`ss -uap` (or -tap) lines whose process is `pid_name`: shows which process holds a socket
    in this namespace (the check that the wineserver opened the launcher's socket here)."""
    r = subprocess.run(["ss", "-uap" if udp else "-tap"], capture_output=True, text=True, timeout=10)
    return [ln for ln in r.stdout.splitlines() if f'(("{pid_name}' in ln or f'),("{pid_name}' in ln]


def display_reachable(name: str) -> bool:
    """An X display outside the namespace is reachable through its socket file
    /tmp/.X11-unix/X<n>, not through its abstract socket nor TCP."""
    if not name:
        return False
    r = subprocess.run(["xdpyinfo", "-display", name], capture_output=True, timeout=15)
    return r.returncode == 0


class PeerNamespace:
    """Another network namespace of this script's own, joined to this one by a veth pair: `link`
    here with the address `here`, its peer there with `there` (CIDR text, documentation ranges
    only). It lives as long as the block; processes started with run() live in it.

        with PeerNamespace("za", "192.0.2.10/24", "192.0.2.1/24") as peer:
            peer.run([...])
    """

    def __init__(self, link: str, here: str, there: str):
        self.link, self.here, self.there = link, here, there
        self._holder: subprocess.Popen | None = None
        self._procs: list[subprocess.Popen] = []

    def __enter__(self) -> "PeerNamespace":
        if not inside():
            raise NetnsError("peer namespaces only from inside the scenario's own namespace")
        self._holder = subprocess.Popen(["unshare", "--net", "sleep", "infinity"])
        pid = str(self._holder.pid)
        for _ in range(100):  # until unshare has moved it
            if os.readlink(f"/proc/{pid}/ns/net") != os.readlink("/proc/self/ns/net"):
                break
            time.sleep(0.02)
        peer = self.link + "p"
        _OWN_LINKS.add(self.link)
        _ip("link", "add", self.link, "type", "veth", "peer", "name", peer)
        _ip("link", "set", peer, "netns", pid)
        _ip("addr", "add", self.here, "dev", self.link)
        _ip("link", "set", self.link, "up")
        for args in (["link", "set", "lo", "up"], ["addr", "add", self.there, "dev", peer],
                     ["link", "set", peer, "up"]):
            subprocess.run(["nsenter", "-t", pid, "-n", "ip", *args], check=True, timeout=10,
                           capture_output=True)
        return self

    def run(self, args: list[str], **popen) -> subprocess.Popen:
        assert self._holder is not None
        p = subprocess.Popen(["nsenter", "-t", str(self._holder.pid), "-n", *args], **popen)
        self._procs.append(p)
        return p

    def __exit__(self, *exc) -> None:
        for p in self._procs + ([self._holder] if self._holder else []):
            p.kill()
            p.wait(timeout=10)
        # The pair goes with the peer's namespace; this end may take a moment.
        subprocess.run(["ip", "link", "del", self.link], capture_output=True, timeout=10)
        _OWN_LINKS.discard(self.link)


def route_limited_broadcast(link: str, source: str) -> None:
    """Sends 255.255.255.255 out of `link` (a PeerNamespace's) from `source`."""
    _ip("route", "replace", "255.255.255.255/32", "dev", link, "src", source)
