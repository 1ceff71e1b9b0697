"""A daemon left with three SNMP agents that take its connections and never keep
working: one closes each connection at once (a port forwarder with nothing behind it),
one holds it and never answers, one answers the first frame and closes (it dies on
what it was sent and is restarted at once). The link retries every 10 s, and times a
silent agent out after 35 s; the log keeps the first session's lines and counts the
rest. A fourth agent hangs in its first session and is restarted: its next session
keeps working, and its connection is written once it does."""
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from daemon_harness import Checks, Daemon, skip_without_namespace, tpkt  # noqa: E402

WAIT = 95  # seconds
PING_RESPONSE = tpkt(bytes([0x58]))  # MON: response ping success, aligned PER


def frames(link):
    """Each TPKT frame received, until the peer closes the link."""
    received = b""
    while True:
        data = link.recv(4096)
        if not data:
            return
        received += data
        while len(received) >= 4:
            length = max(4, int.from_bytes(received[2:4], "big"))
            if len(received) < length:
                break
            received = received[length:]
            yield


class Agent:
    """Takes every connection on a loopback port; closes it at once, answers the first
    frame and closes it, or reads until the daemon closes it, answering every frame
    after its first session when it hangs only in that one."""

    def __init__(self, close_at_once, answer_once=False, hangs_first=False):
        self.close_at_once = close_at_once
        self.answer_once = answer_once
        self.hangs_first = hangs_first
        self.sessions = 0
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.address = "127.0.0.1:%d" % self.listener.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                link, _ = self.listener.accept()
            except OSError:
                return  # closed
            self.sessions += 1
            answering = self.answer_once or (self.hangs_first and self.sessions > 1)
            if not self.close_at_once:
                try:
                    for _ in frames(link):
                        if answering:
                            link.sendall(PING_RESPONSE)
                        if self.answer_once:
                            break
                except OSError:
                    pass
            link.close()

    def close(self):
        self.listener.close()


def main():
    exe = sys.argv[1]
    skip_without_namespace()
    c = Checks()
    closing = Agent(close_at_once=True)
    silent = Agent(close_at_once=False)
    dying = Agent(close_at_once=False, answer_once=True)
    hung = Agent(close_at_once=False, hangs_first=True)
    agents = (closing, silent, dying, hung)
    config = "".join("[snmpagent]\nhost = %s\nname = %s\n" % (a.address, name)
                     for a, name in zip(agents, ("lemzgw", "vaku", "lemzgw.mb", "lemzgw")))
    d = Daemon(exe, config=config)
    try:
        c.check(d.wait_line("Starting server ") is not None, "started")
        # The hung agent times out at about 35 s; its restart keeps working 30 s after
        # its first answer, 10 s later.
        hung_closed = "control connection %s closed." % hung.address
        hung_connected = "connected to %s." % hung.address
        closed_at = connected_at = None
        deadline = time.time() + WAIT
        while time.time() < deadline or (closed_at and not connected_at and time.time() < closed_at + 65):
            if closed_at is None and d.count(hung_closed, "err"):
                closed_at = time.time()
            if connected_at is None and d.count(hung_connected, "out") == 2:
                connected_at = time.time()
            time.sleep(0.1)
        c.check(closed_at is not None and connected_at is not None and connected_at - closed_at <= 60,
                "the restarted agent's connection %s s after its closed line"
                % (round(connected_at - closed_at, 1) if closed_at and connected_at else None))
        c.check(closing.sessions >= 5, "%d sessions of the closing agent" % closing.sessions)
        c.check(silent.sessions >= 2, "%d sessions of the silent agent" % silent.sessions)
        c.check(dying.sessions >= 5, "%d sessions of the dying agent" % dying.sessions)
        for agent in agents:
            lines = d.count(agent.address, "out") + d.count(agent.address, "err")
            c.check(lines <= 4, "%d lines name %s in %d s" % (lines, agent.address, WAIT))
        c.check(d.count("ping timeout", "err") == 2, "one ping time-out written for each agent that hung")
        # The dying agent's answer is no working session: only its first is written.
        connected = d.count("connected to %s." % dying.address, "out")
        c.check(connected == 1, "%d connected lines of the dying agent" % connected)
        c.check(d.stop() == 0, "stopped")
    finally:
        d.cleanup()
        for agent in agents:
            agent.close()
    c.finish()


if __name__ == "__main__":
    main()
