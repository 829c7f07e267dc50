"""A folder served as if across a slow network: a FUSE pass-through that waits a fixed time in
every operation and counts the operations by kind. Used by bench_share.py to put the office's
share \\\\srv01\\zelkora$ a network away.

Run as a program it serves BACKING on MOUNT (an empty folder) until its standard input closes,
and answers one line per command on standard output:
    delay SECONDS   the wait from now on                        -> ok
    reset           counters and trace to zero                  -> ok
    trace on|off    also keep every operation (kind, path, errno, host time when served) -> ok
    counts          {"ops": {kind: n}, "failed": {kind: n}, "trace": [[kind, path, errno, t], ...]}
It prints "ready" once the kernel has mounted it. By default the kernel keeps the names it has
found (entry timeout `--names`, an hour) but no attributes and no missing names (`--cache`, 0):
each call a program makes on the share then reaches the server about once, as on a network share
where one request names a whole path. `--names 0` makes every call walk its path again, one
request per folder on the way; `--cache SECONDS` lets the kernel answer repeated questions itself
for that long, as a client's cache would.

As a module: SlowShare(backing, mount) starts the server in a process of its own and unmounts
it on exit, whatever happened.
"""

from __future__ import annotations

import argparse
import errno
import importlib
import json
import os
import subprocess
import sys
import types
import threading
import time
from collections import Counter
from pathlib import Path


def load_fusepy():
    """fusepy's module: Debian's python3-fusepy names it `fusepy` (pip's package names it
    `fuse`), and a Python other than Debian's (pyenv, a venv) does not see dist-packages, so
    the single file is loaded from there as a last resort."""
    for name in ("fusepy", "fuse"):
        try:
            mod = importlib.import_module(name)
        except ImportError:
            continue
        if hasattr(mod, "FUSE") and hasattr(mod, "Operations"):
            return mod
    path = Path("/usr/lib/python3/dist-packages/fusepy.py")
    if not path.is_file():
        raise ImportError("fusepy not found: install python3-fusepy (scripts/deps does)")
    mod = types.ModuleType("fusepy")
    mod.__file__ = str(path)
    sys.modules["fusepy"] = mod
    exec(compile(path.read_text(), str(path), "exec"), mod.__dict__)
    return mod


# ---------------------------------------------------------------- the file system

def make_operations(fusepy):
    FuseOSError = fusepy.FuseOSError

    class SlowPassthrough(fusepy.Operations):
        use_ns = True  # utimens and stat times in nanoseconds

        def __init__(self, backing: str, delay: float, on_mounted):
            self.backing = backing
            self.delay = delay
            self.on_mounted = on_mounted
            self.mutex = threading.Lock()
            self.ops: Counter[str] = Counter()
            self.failed: Counter[str] = Counter()
            self.trace: list[tuple[str, str, int, float]] | None = None

        # Every operation passes here: counted, delayed, then served.
        def __call__(self, op, *args):
            if op in ("init", "destroy"):
                return super().__call__(op, *args)
            with self.mutex:
                self.ops[op] += 1
                delay = self.delay
            if delay > 0:
                time.sleep(delay)
            try:
                result = super().__call__(op, *args)
            except OSError as e:
                self._note(op, args, e.errno or errno.EIO)
                raise
            self._note(op, args, 0)
            return result

        def _note(self, op: str, args, err: int) -> None:
            with self.mutex:
                if err:
                    self.failed[op] += 1
                if self.trace is not None:
                    path = args[0] if args and isinstance(args[0], str) else ""
                    self.trace.append((op, path, err, round(time.time(), 4)))

        def snapshot(self) -> dict:
            with self.mutex:
                return {"ops": dict(self.ops), "failed": dict(self.failed),
                        "trace": list(self.trace or [])}

        def reset(self) -> None:
            with self.mutex:
                self.ops.clear()
                self.failed.clear()
                if self.trace is not None:
                    self.trace = []

        def full(self, path: str) -> str:
            return os.path.join(self.backing, path.lstrip("/"))

        def init(self, path):
            self.on_mounted()

        # -- metadata
        def getattr(self, path, fh=None):
            st = os.fstat(fh.fh) if fh else os.lstat(self.full(path))
            attrs = {k: getattr(st, k) for k in ("st_mode", "st_nlink", "st_uid", "st_gid",
                                                 "st_size", "st_ino", "st_dev")}
            attrs.update(st_atime=st.st_atime_ns, st_mtime=st.st_mtime_ns, st_ctime=st.st_ctime_ns)
            return attrs

        def access(self, path, amode):
            if not os.access(self.full(path), amode):
                raise FuseOSError(errno.EACCES)

        def chmod(self, path, mode):
            os.chmod(self.full(path), mode)

        def chown(self, path, uid, gid):
            os.chown(self.full(path), uid, gid, follow_symlinks=False)

        def utimens(self, path, times=None):
            os.utime(self.full(path), ns=times, follow_symlinks=False)

        def readlink(self, path):
            return os.readlink(self.full(path))

        def statfs(self, path):
            sv = os.statvfs(self.full(path))
            return {k: getattr(sv, k) for k in ("f_bavail", "f_bfree", "f_blocks", "f_bsize",
                                                "f_favail", "f_ffree", "f_files", "f_flag",
                                                "f_frsize", "f_namemax")}

        # Wine keeps DOS attributes in the user.DOSATTRIB extended attribute.
        def getxattr(self, path, name, position=0):
            return os.getxattr(self.full(path), name, follow_symlinks=False)

        def listxattr(self, path):
            return os.listxattr(self.full(path), follow_symlinks=False)

        def setxattr(self, path, name, value, options, position=0):
            os.setxattr(self.full(path), name, value, options, follow_symlinks=False)

        def removexattr(self, path, name):
            os.removexattr(self.full(path), name, follow_symlinks=False)

        # -- folders
        def opendir(self, path):
            if not os.path.isdir(self.full(path)):
                raise FuseOSError(errno.ENOTDIR)
            return 0

        def readdir(self, path, fh):
            return [".", "..", *os.listdir(self.full(path))]

        def releasedir(self, path, fh):
            return 0

        def fsyncdir(self, path, datasync, fh):
            return 0

        def mkdir(self, path, mode):
            os.mkdir(self.full(path), mode)

        def rmdir(self, path):
            os.rmdir(self.full(path))

        def mknod(self, path, mode, dev):
            os.mknod(self.full(path), mode, dev)

        def unlink(self, path):
            os.unlink(self.full(path))

        def rename(self, old, new):
            os.rename(self.full(old), self.full(new))

        def link(self, target, source):
            os.link(self.full(source), self.full(target))

        def symlink(self, target, source):
            os.symlink(source, self.full(target))

        # -- files (raw_fi: the flags arrive with the request and the handle goes back in fi.fh)
        def open(self, path, fi):
            fi.fh = os.open(self.full(path), fi.flags)
            return 0

        def create(self, path, mode, fi):
            fi.fh = os.open(self.full(path), fi.flags | os.O_CREAT, mode)
            return 0

        def read(self, path, size, offset, fi):
            return os.pread(fi.fh, size, offset)

        def write(self, path, data, offset, fi):
            return os.pwrite(fi.fh, data, offset)

        def truncate(self, path, length, fi=None):
            if fi:
                os.ftruncate(fi.fh, length)
            else:
                os.truncate(self.full(path), length)

        def flush(self, path, fi):
            return 0

        def fsync(self, path, datasync, fi):
            (os.fdatasync if datasync else os.fsync)(fi.fh)

        def release(self, path, fi):
            os.close(fi.fh)

    return SlowPassthrough


def serve(backing: str, mount: str, delay: float, names: float, cache: float) -> int:
    fusepy = load_fusepy()
    out_lock = threading.Lock()

    def say(line: str) -> None:
        with out_lock:
            sys.stdout.write(line + "\n")
            sys.stdout.flush()

    ops = make_operations(fusepy)(backing, delay, on_mounted=lambda: say("ready"))

    def control() -> None:
        for line in sys.stdin:
            cmd, _, arg = line.strip().partition(" ")
            if cmd == "delay":
                with ops.mutex:
                    ops.delay = float(arg)
                say("ok")
            elif cmd == "reset":
                ops.reset()
                say("ok")
            elif cmd == "trace":
                with ops.mutex:
                    ops.trace = [] if arg == "on" else None
                say("ok")
            elif cmd == "counts":
                say(json.dumps(ops.snapshot()))
            else:
                say(f"error unknown command {cmd!r}")
        # Our user went away: unmount, which ends the FUSE loop below.
        unmount(mount)

    threading.Thread(target=control, daemon=True).start()
    # Many threads (nothreads=False): Wine's processes call in parallel, as on a real share.
    fusepy.FUSE(ops, mount, foreground=True, nothreads=False, raw_fi=True, fsname="slowshare",
                subtype="slowshare", entry_timeout=names, attr_timeout=cache,
                negative_timeout=cache)
    return 0


def unmount(mount: str | Path) -> None:
    """Unmounts a FUSE mount; detaches it lazily if something still holds it."""
    m = str(mount)
    for cmd in (["fusermount3", "-u", m], ["umount", m], ["umount", "-l", m]):
        if not is_mounted(m):
            return
        try:
            subprocess.run(cmd, capture_output=True, timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            continue


def is_mounted(mount: str | Path) -> bool:
    target = str(mount)
    with open("/proc/self/mountinfo") as fh:
        # Field 5 is the mount point, with blanks and backslashes octal-escaped.
        return any(line.split()[4].encode().decode("unicode_escape") == target for line in fh)


# ---------------------------------------------------------------- the client side

class SlowShare:
    """with SlowShare(backing, mount, delay=0.002) as fs: fs.reset(); ...; fs.counts()"""

    def __init__(self, backing: Path, mount: Path, delay: float = 0.0, names: float = 3600.0,
                 cache: float = 0.0, log: Path | None = None):
        self.backing, self.mount = Path(backing), Path(mount)
        self.delay, self.names, self.cache = delay, names, cache
        self.log = log
        self.proc: subprocess.Popen | None = None
        self._lock = threading.Lock()

    def __enter__(self) -> "SlowShare":
        if any(self.mount.iterdir()):
            raise RuntimeError(f"{self.mount} is not empty: a FUSE file system needs an empty folder")
        err = open(self.log, "ab") if self.log else subprocess.DEVNULL
        try:
            self.proc = subprocess.Popen(
                [sys.executable, __file__, str(self.backing), str(self.mount),
                 "--delay", str(self.delay), "--names", str(self.names), "--cache", str(self.cache)],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err, text=True, bufsize=1)
        finally:
            if self.log:
                err.close()
        try:
            line = self._readline(timeout=30)
            if line != "ready":
                raise RuntimeError(f"the FUSE server did not start: {line!r} (see {self.log})")
            # The kernel reports the mount a moment after the server's init.
            end = time.monotonic() + 10
            while not is_mounted(self.mount):
                if time.monotonic() > end:
                    raise RuntimeError(f"{self.mount} not mounted after the server's start")
                time.sleep(0.01)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc) -> None:
        if self.proc is None:
            return
        unmount(self.mount)
        if self.proc.stdin:
            try:
                self.proc.stdin.close()
            except OSError:
                pass
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(timeout=10)
        unmount(self.mount)
        self.proc = None

    def _readline(self, timeout: float) -> str:
        assert self.proc and self.proc.stdout
        result: list[str] = []
        t = threading.Thread(target=lambda: result.append(self.proc.stdout.readline()), daemon=True)
        t.start()
        t.join(timeout)
        if not result:
            raise RuntimeError(f"no answer from the FUSE server within {timeout:g} s")
        return result[0].strip()

    def _ask(self, command: str) -> str:
        with self._lock:
            assert self.proc and self.proc.stdin
            self.proc.stdin.write(command + "\n")
            self.proc.stdin.flush()
            return self._readline(timeout=30)

    def set_delay(self, seconds: float) -> None:
        self.delay = seconds
        self._ask(f"delay {seconds}")

    def reset(self) -> None:
        self._ask("reset")

    def trace(self, on: bool) -> None:
        self._ask("trace on" if on else "trace off")

    def counts(self) -> dict:
        return json.loads(self._ask("counts"))

    def settle(self, quiet: float = 1.0, timeout: float = 60.0) -> dict:
        """Waits until no operation has arrived for `quiet` seconds; returns the counts."""
        end = time.monotonic() + timeout
        last = self.counts()
        still_since = time.monotonic()
        while time.monotonic() < end:
            time.sleep(0.1)
            now = self.counts()
            if now["ops"] != last["ops"]:
                last, still_since = now, time.monotonic()
            elif time.monotonic() - still_since >= quiet:
                return now
        raise RuntimeError(f"the share did not fall quiet within {timeout:g} s")


def main() -> int:
    ap = argparse.ArgumentParser(description="Serve BACKING on MOUNT with a delay per operation.")
    ap.add_argument("backing")
    ap.add_argument("mount")
    ap.add_argument("--delay", type=float, default=0.0, help="seconds per operation")
    ap.add_argument("--names", type=float, default=3600.0, help="kernel's name cache, seconds")
    ap.add_argument("--cache", type=float, default=0.0,
                    help="kernel's cache of attributes and missing names, seconds")
    a = ap.parse_args()
    return serve(a.backing, a.mount, a.delay, a.names, a.cache)


if __name__ == "__main__":
    sys.exit(main())
