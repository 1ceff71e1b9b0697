"""The simulation build with trunk ports: a program outside the daemon exchanges
frames with an HDLC channel on time slot 16 of trunk 0 (the build's echo far
end), and the tap on that time slot records both directions."""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server"))
from daemon_harness import SKIP, Checks, Daemon, namespace_allowed  # noqa: E402

FRAMES = 200


def read_capture(path):
    """(link type, [bytes]) of a pcapng file, in the byte order its section header declares."""
    data = open(path, "rb").read()
    if len(data) < 12:
        return None, []
    order = "<" if struct.unpack_from("<I", data, 8)[0] == 0x1A2B3C4D else ">"
    link, frames, at = None, [], 0
    while at + 12 <= len(data):
        kind, length = struct.unpack_from(order + "II", data, at)
        if length < 12 or at + length > len(data):
            break
        if kind == 1:
            link = struct.unpack_from(order + "H", data, at + 8)[0]
        elif kind == 6:
            captured = struct.unpack_from(order + "I", data, at + 20)[0]
            frames.append(data[at + 28:at + 28 + captured])
        at += length
    return link, frames


def main():
    exe = sys.argv[1]
    if not namespace_allowed():
        print("no private mount namespace here")
        return SKIP
    work = tempfile.mkdtemp(prefix="tmb-trunks-")
    tap = os.path.join(work, "ts16.pcapng")
    os.environ["TAMBORIL_TRUNK_DIR"] = work
    os.environ["TAMBORIL_SIM_ECHO"] = "e1-0-16"
    os.environ["TAMBORIL_TRUNK_TAP"] = "e1-0-16=lapd:" + tap
    c = Checks()
    d = Daemon(exe)
    try:
        c.check(d.wait_line("Starting server") is not None, "start line")
        c.check(d.wait_line("sim: echo on e1-0-16", stream="err") is not None, "echo line")
        c.check(d.wait_line("sim: 12 trunk ports in " + work, stream="err") is not None, "ports line")
        s = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        s.settimeout(5)
        s.connect(os.path.join(work, "e1-0-16"))
        sent = [bytes([0x02, 0x01, i & 0xFE, i >> 1]) + bytes(i % 7) for i in range(FRAMES)]
        got = []
        for frame in sent:
            s.send(frame)
            try:
                got.append(s.recv(4096))
            except socket.timeout:
                break
        c.check(got == sent, "echoed frames in order: %d of %d" % (len(got), FRAMES))
        s.close()
        c.check(d.stop() == 0, "exit status")
        link, frames = read_capture(tap)
        c.check(link == 203, "LAPD link type: %r" % link)
        both = [f for pair in zip(sent, sent) for f in pair]
        c.check(frames == both, "tap holds each frame in and out: %d" % len(frames))
        if shutil.which("tshark"):
            r = subprocess.run(["tshark", "-r", tap, "-T", "fields", "-e", "lapd.sapi"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
            sapis = r.stdout.decode().split()
            c.check(r.returncode == 0 and len(sapis) == 2 * FRAMES and set(sapis) == {"0"},
                    "tshark reads the tap: %d %r" % (r.returncode, sapis[:4]))
    finally:
        d.cleanup()
        shutil.rmtree(work, ignore_errors=True)
    if c.failed:
        print("stderr:", "\n".join(d.err[-20:]))
        print("stdout:", "\n".join(d.out[-20:]))
    print("%d passed, %d failed" % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
