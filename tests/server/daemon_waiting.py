"""A daemon left waiting as a board is: a controller that came and went, and an SNMP
agent that does not answer. Each lasting condition writes its first line and then,
for the minute that follows, nothing more; the next controller's connect writes the
count of the sends dropped meanwhile."""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from daemon_harness import Checks, Daemon, hold_port, ping, response_of, skip_without_namespace  # noqa: E402

IGNORED = "Control::Service::Send() ignore Send request in Connecting state."
WAIT = 65  # seconds without a controller


def main():
    exe = sys.argv[1]
    skip_without_namespace()
    c = Checks()
    agent = hold_port()  # bound and never listening: every connect to it is refused
    address = "127.0.0.1:%d" % agent.getsockname()[1]
    d = Daemon(exe, config="[snmpagent]\nhost = %s\nname = lemzgw\n" % address)
    try:
        c.check(d.wait_line("Starting server ") is not None, "started")
        a = d.connect()
        a.send(ping(seq=1))
        c.check(response_of(a.response()) == (1, None, "success"), "first controller served")
        a.close()
        c.check(d.wait_line(IGNORED, "err") is not None, "the first dropped send is written")
        time.sleep(WAIT)
        c.check(d.count(IGNORED) == 1, "%d lines of dropped sends in %d s" % (d.count(IGNORED), WAIT))
        c.check(d.count(address) <= 1, "%d lines of the refused agent in %d s" % (d.count(address), WAIT))

        b, answer = d.connect_served(ping(seq=2))
        c.check(response_of(answer) == (2, None, "success"), "next controller served")
        end = d.wait_line(IGNORED + " (ended; ", "err")
        count = re.search(r"\(ended; (\d+) more", end or "")
        # Four trunk status signals a second were dropped.
        c.check(count is not None and int(count.group(1)) >= 4 * (WAIT - 10), "the count follows: %r" % end)
        b.close()
        c.check(d.stop() == 0, "stopped")
        c.check(d.count(address) <= 2, "the agent's condition ends as the daemon stops")
    finally:
        d.cleanup()
        agent.close()
    c.finish()


if __name__ == "__main__":
    main()
