"""Runs the built daemon as a process in a private mount namespace, with temporary
directories mounted over /var/run, /var/log and /usr/local/etc, and talks to it over
loopback TCP."""
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77


def namespace_allowed():
    try:
        r = subprocess.run(["unshare", "-m", "--propagation", "private", "true"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
        return r.returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def skip_without_namespace():
    """Ends the test as skipped where it cannot have a private mount namespace."""
    if not namespace_allowed():
        print("unshare -m is not permitted here: skipped")
        sys.exit(SKIP)


def hold_port():
    """A socket whose port no other bind(0), nor a connect's own port, is given while it is
    open. A port bound and closed again can go to a parallel test before the daemon binds
    it; this one stays bound, with SO_REUSEADDR and never listening, so that the daemon's
    listeners, which set SO_REUSEADDR as well, can still take it."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("0.0.0.0", 0))  # the wildcard address meets a bind to any address
    return s


def tpkt(body):
    return bytes([3, 0]) + struct.pack(">H", len(body) + 4) + body


class Daemon:
    """The daemon in its own mount namespace; `prefix` runs it under another program."""

    def __init__(self, exe, args=(), prefix=(), config=None):
        self.dir = tempfile.mkdtemp(prefix="tmb-daemon-")
        self.run_dir = os.path.join(self.dir, "run")
        self.log_dir = os.path.join(self.dir, "log")
        self.etc_dir = os.path.join(self.dir, "etc")
        for d in (self.run_dir, self.log_dir, self.etc_dir):
            os.mkdir(d)
        if config is not None:
            with open(os.path.join(self.etc_dir, "server.conf"), "w") as f:
                f.write(config)
        # Held until the daemon has exited: the controller's port and the authentication socket's.
        self.held = [hold_port(), hold_port()]
        self.port = self.held[0].getsockname()[1]
        cmd = " ".join(["'%s'" % a for a in list(prefix) + [exe, "--port", str(self.port)] + list(args)])
        script = ("mount --bind '%s' /var/run && mount --bind '%s' /var/log && "
                  "mount --bind '%s' /usr/local/etc && exec %s") % (self.run_dir, self.log_dir, self.etc_dir, cmd)
        # Daemons of parallel tests would all reach for the authentication socket's port.
        env = dict(os.environ, TAMBORIL_AUTH_PORT=str(self.held[1].getsockname()[1]))
        self.proc = subprocess.Popen(["unshare", "-m", "--propagation", "private", "sh", "-c", script],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        self.out = []
        self.err = []
        self.lock = threading.Lock()
        self.readers = [threading.Thread(target=self._read, args=(self.proc.stdout, self.out), daemon=True),
                        threading.Thread(target=self._read, args=(self.proc.stderr, self.err), daemon=True)]
        for t in self.readers:
            t.start()

    def _read(self, stream, lines):
        for line in iter(stream.readline, b""):
            with self.lock:
                lines.append(line.decode(errors="replace").rstrip("\n"))

    def wait_line(self, text, stream="out", timeout=10.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            with self.lock:
                lines = list(self.out if stream == "out" else self.err)
            for line in lines:
                if text in line:
                    return line
            time.sleep(0.02)
        return None

    def count(self, text, stream="err"):
        with self.lock:
            return sum(1 for line in (self.out if stream == "out" else self.err) if text in line)

    def connect(self, timeout=10.0):
        deadline = time.time() + timeout
        while True:
            try:
                return Client(self.port)
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.05)

    def connect_served(self, body, timeout=30.0):
        """A new controller that got an answer to `body`: while the previous one is still
        being released, a connection is refused, so this tries again."""
        deadline = time.time() + timeout
        while True:
            c = self.connect(timeout)
            c.send(body)
            answer = c.response(timeout=max(1.0, deadline - time.time()))
            if answer not in (None, b"EOF") or time.time() > deadline:
                return c, answer
            c.close()
            time.sleep(0.1)

    def signal(self, sig):
        self.proc.send_signal(sig)

    def stop(self, timeout=30):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = self.proc.wait()
        self._release_ports()
        for t in self.readers:
            t.join(timeout=5)
        return code

    def _release_ports(self):
        for s in self.held:
            s.close()

    def cleanup(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._release_ports()
        shutil.rmtree(self.dir, ignore_errors=True)


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.buf = b""
        self.signals = []

    def send(self, body):
        self.sock.sendall(tpkt(body))

    def send_raw(self, data):
        self.sock.sendall(data)

    def recv_frame(self, timeout=3.0):
        """The next TPKT body; None after the time limit; b"EOF" when the peer closed."""
        deadline = time.time() + timeout
        while True:
            if len(self.buf) >= 4:
                length = struct.unpack(">H", self.buf[2:4])[0]
                if len(self.buf) >= length:
                    body, self.buf = self.buf[4:length], self.buf[length:]
                    return body
            left = deadline - time.time()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                return None
            except ConnectionResetError:
                return b"EOF"
            if not data:
                return b"EOF"
            self.buf += data

    def response(self, timeout=3.0):
        """The next response; signals met on the way are kept in `signals`."""
        deadline = time.time() + timeout
        while True:
            body = self.recv_frame(max(0.0, deadline - time.time()))
            if body is None or body == b"EOF":
                return body
            if response_of(body)[2][0] == "signal":
                self.signals.append(body)
                continue
            return body

    def signal(self, index, timeout=3.0):
        """The next signal of that alternative (kept or arriving), or None."""
        deadline = time.time() + timeout
        while True:
            for i, body in enumerate(self.signals):
                if response_of(body)[2] == ("signal", index):
                    return self.signals.pop(i)
            body = self.recv_frame(max(0.0, deadline - time.time()))
            if body is None or body == b"EOF":
                return None
            self.signals.append(body)

    def close(self):
        self.sock.close()


# Aligned-PER messages (no TPKT header).
def ping(seq=None, slot=None):
    return message(seq, slot, bytes([0x18]))


def query(seq=None, slot=None):
    return message(seq, slot, bytes([0x00]))


def message(seq, slot, pdu):
    """`pdu` is the PDU's first octet as it stands after an aligned field."""
    if seq is None and slot is None:
        # Nothing aligned follows the two preamble bits: the PDU's bits come right after.
        return bytes([pdu[0] >> 2, (pdu[0] & 3) << 6]) + pdu[1:]
    pre = (0x80 if seq is not None else 0) | (0x40 if slot is not None else 0)
    out = bytes([pre])
    if seq is not None:
        n = seq.to_bytes(4, "big", signed=True).lstrip(b"\x00") or b"\x00"
        if n[0] & 0x80 and seq >= 0:
            n = b"\x00" + n
        out += bytes([len(n)]) + n
    if slot is not None:
        out += struct.pack(">H", slot)
    return out + pdu


SUCCESS = 0x40  # response success after the preamble


def response_of(body):
    """None for no body; else (seq or None, slot or None, kind) where kind is "success", ("error", cause) or ("signal", index)."""
    if body is None or body == b"EOF" or len(body) == 0:
        return None
    pre = body[0]
    pos = 1
    seq = slot = None
    if pre & 0x80:
        n = body[pos]
        seq = int.from_bytes(body[pos + 1:pos + 1 + n], "big", signed=True)
        pos += 1 + n
    if pre & 0x40:
        slot = struct.unpack(">H", body[pos:pos + 2])[0]
        pos += 2
    if pre & 0xC0:
        b = body[pos]
    else:
        b = ((body[0] << 2) | ((body[1] if len(body) > 1 else 0) >> 6)) & 0xFF
    if b >> 6 == 1:
        if (b >> 5) & 1 == 0:
            return seq, slot, "success"
        return seq, slot, ("error", b & 0x0F)
    if b >> 6 == 2:
        return seq, slot, ("signal", b & 0x1F)
    return seq, slot, ("other", b)


class Checks:
    def __init__(self):
        self.failed = 0
        self.passed = 0

    def check(self, cond, what):
        if cond:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: " + what, flush=True)

    def finish(self):
        print("%d passed, %d failed" % (self.passed, self.failed), flush=True)
        sys.exit(1 if self.failed else 0)
