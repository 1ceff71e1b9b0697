#!/usr/bin/env python3
"""Talks TPKT to the echo harness over loopback, then has tshark decode both byte
streams (turned into captures with text2pcap) and checks that every frame is a
valid TPKT frame with the expected length. Exits 77 (skipped) without tshark."""
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time


def frame(body):
    n = len(body) + 4
    return bytes([3, 0, n >> 8, n & 0xFF]) + body


def main():
    harness = sys.argv[1]
    if not shutil.which("tshark") or not shutil.which("text2pcap"):
        print("SKIPPED: tshark or text2pcap is not installed")
        return 77

    proc = subprocess.Popen([harness], stdout=subprocess.PIPE, text=True)
    try:
        line = proc.stdout.readline().split()
        assert line and line[0] == "port", f"harness said {line!r}"
        port = int(line[1])

        rng = random.Random(4)
        bodies = [b"", b"x", bytes(range(256)), bytes(rng.randrange(256) for _ in range(3000)),
                  b"\x03\x00\x00\x04", bytes(rng.randrange(256) for _ in range(20))]
        client = socket.create_connection(("127.0.0.1", port))
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sent_segments = []
        # One frame cut into one-byte pieces, two frames in one write, the rest whole.
        pieces = [frame(bodies[0]) + frame(bodies[1])]
        pieces += [bytes([b]) for b in frame(bodies[2])[:6]] + [frame(bodies[2])[6:]]
        pieces += [frame(b) for b in bodies[3:]]
        for piece in pieces:
            client.sendall(piece)
            sent_segments.append(piece)
            time.sleep(0.002)
        expected = b"".join(frame(b) for b in bodies)
        received = b""
        received_segments = []
        client.settimeout(10)
        while len(received) < len(expected):
            chunk = client.recv(65536)
            if not chunk:
                break
            received += chunk
            received_segments.append(chunk)
        client.close()
        proc.wait(timeout=10)
    finally:
        if proc.poll() is None:
            proc.kill()

    if received != expected:
        print("echo differs from the frames sent")
        return 1

    client_port = 40000
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, segments, ports in (("to-server", sent_segments, (client_port, port)),
                                      ("to-client", received_segments, (port, client_port))):
            text = os.path.join(tmp, name + ".txt")
            pcap = os.path.join(tmp, name + ".pcap")
            with open(text, "w") as f:
                for seg in segments:
                    for off in range(0, len(seg), 16):
                        row = " ".join(f"{b:02x}" for b in seg[off:off + 16])
                        f.write(f"{off:06x} {row}\n")
            subprocess.run(["text2pcap", "-q", "-T", f"{ports[0]},{ports[1]}", text, pcap], check=True)
            out = subprocess.run(["tshark", "-r", pcap, "-d", f"tcp.port=={port},tpkt", "-T", "fields",
                                  "-E", "occurrence=a", "-E", "aggregator=,",
                                  "-e", "tpkt.version", "-e", "tpkt.reserved", "-e", "tpkt.length"],
                                 check=True, capture_output=True, text=True).stdout
            decoded = []
            for row in out.splitlines():
                cols = row.split("\t")
                if len(cols) < 3 or not cols[0]:
                    continue
                for v, r, n in zip(*(c.split(",") for c in cols[:3])):
                    decoded.append((int(v), int(r), int(n)))
            want = [(3, 0, len(b) + 4) for b in bodies]
            if decoded != want:
                print(f"{name}: tshark decoded {decoded}, expected {want}")
                failures += 1
            else:
                print(f"{name}: {len(decoded)} TPKT frames decoded, all valid")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
