"""A daemon left with three SNMP agents that take its connections and never keep
working: one closes each connection at once (a port forwarder with nothing behind it),
one holds it and never answers, one answers the first frame and closes (it dies on
what it was sent and is restarted at once). The link retries every 10 s, and times a
silent agent out after 35 s; the log keeps the first session's lines, the connection
of the session after it when that one answers, and counts the rest."""
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from daemon_harness import Checks, Daemon, skip_without_namespace, tpkt  # noqa: E402

WAIT = 95  # seconds
PING_RESPONSE = tpkt(bytes([0x58]))  # MON: response ping success, aligned PER


class Agent:
    """Takes every connection on a loopback port; closes it at once, answers the first
    frame and closes it, or reads until the daemon closes it."""

    def __init__(self, close_at_once, answer_once=False):
        self.close_at_once = close_at_once
        self.answer_once = answer_once
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
            if not self.close_at_once:
                try:
                    received = b""
                    while True:
                        data = link.recv(4096)
                        if not data:
                            break
                        received += data
                        if self.answer_once and len(received) >= 4 and \
                                len(received) >= int.from_bytes(received[2:4], "big"):
                            link.sendall(PING_RESPONSE)
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
    agents = (closing, silent, dying)
    config = "".join("[snmpagent]\nhost = %s\nname = %s\n" % (a.address, name)
                     for a, name in zip(agents, ("lemzgw", "vaku", "lemzgw.mb")))
    d = Daemon(exe, config=config)
    try:
        c.check(d.wait_line("Starting server ") is not None, "started")
        time.sleep(WAIT)
        c.check(closing.sessions >= 5, "%d sessions of the closing agent" % closing.sessions)
        c.check(silent.sessions >= 2, "%d sessions of the silent agent" % silent.sessions)
        c.check(dying.sessions >= 5, "%d sessions of the dying agent" % dying.sessions)
        for agent in agents:
            lines = d.count(agent.address, "out") + d.count(agent.address, "err")
            c.check(lines <= 4, "%d lines name %s in %d s" % (lines, agent.address, WAIT))
        c.check(d.count("ping timeout", "err") == 1, "one ping time-out written")
        # The dying agent's answer is an answer: the session after its first end writes
        # its connection.
        connected = d.count("connected to %s." % dying.address, "out")
        c.check(connected == 2, "%d connected lines of the dying agent" % connected)
        c.check(d.stop() == 0, "stopped")
    finally:
        d.cleanup()
        for agent in agents:
            agent.close()
    c.finish()


if __name__ == "__main__":
    main()
