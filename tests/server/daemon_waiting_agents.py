"""A daemon left with two SNMP agents that take its connections and never work: one
closes each connection at once (a port forwarder with nothing behind it), the other
holds it and never answers. The link retries every 10 s, and times a silent agent out
after 35 s; the log keeps the first session's lines and counts the rest."""
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from daemon_harness import Checks, Daemon, skip_without_namespace  # noqa: E402

WAIT = 95  # seconds


class Agent:
    """Takes every connection on a loopback port; closes it at once, or reads until the
    daemon closes it."""

    def __init__(self, close_at_once):
        self.close_at_once = close_at_once
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
                    while link.recv(4096):
                        pass
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
    config = "".join("[snmpagent]\nhost = %s\nname = %s\n" % (a.address, name)
                     for a, name in ((closing, "lemzgw"), (silent, "vaku")))
    d = Daemon(exe, config=config)
    try:
        c.check(d.wait_line("Starting server ") is not None, "started")
        time.sleep(WAIT)
        c.check(closing.sessions >= 5, "%d sessions of the closing agent" % closing.sessions)
        c.check(silent.sessions >= 2, "%d sessions of the silent agent" % silent.sessions)
        for agent in (closing, silent):
            lines = d.count(agent.address, "out") + d.count(agent.address, "err")
            c.check(lines <= 4, "%d lines name %s in %d s" % (lines, agent.address, WAIT))
        c.check(d.count("ping timeout", "err") == 1, "one ping time-out written")
        c.check(d.stop() == 0, "stopped")
    finally:
        d.cleanup()
        closing.close()
        silent.close()
    c.finish()


if __name__ == "__main__":
    main()
