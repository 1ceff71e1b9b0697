"""The daemon under valgrind: a session of 10 000 mixed commands, a disconnect and a
SIGTERM, with no memory error and no leak."""
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from daemon_harness import SKIP, Checks, Daemon, message, ping, query, response_of, skip_without_namespace  # noqa: E402

COMMANDS = 10000
BATCH = 100


def mixed(i):
    """(frame body, answered)"""
    kind = i % 8
    if kind == 0:
        return ping(seq=i), True
    if kind == 1:
        return ping(), True
    if kind == 2:
        return ping(seq=i, slot=1024 + i % 60000), True
    if kind == 3:
        return query(seq=i), True
    if kind == 4:
        return query(seq=i, slot=i % 1024), True
    if kind == 5:
        return message(i, 7, bytes([0x85])), True  # a signal from the controller
    if kind == 6:
        return b"\xff" * (1 + i % 5), False  # undecodable
    return message(i, None, bytes([0x40])), True  # a response from the controller


def main():
    exe = sys.argv[1]
    if shutil.which("valgrind") is None:
        print("valgrind is not installed: skipped")
        sys.exit(SKIP)
    skip_without_namespace()
    c = Checks()
    logdir = __import__("tempfile").mkdtemp(prefix="tmb-valgrind-")
    log = os.path.join(logdir, "valgrind.log")
    d = Daemon(exe, prefix=["valgrind", "--leak-check=full", "--show-leak-kinds=definite,indirect",
                            "--errors-for-leak-kinds=definite,indirect", "--error-exitcode=99",
                            "--log-file=" + log])
    try:
        c.check(d.wait_line("Starting server ", timeout=120) is not None, "daemon started under valgrind")
        a = d.connect(timeout=60)
        answered = 0
        wrong = 0
        for start in range(0, COMMANDS, BATCH):
            expected = 0
            for i in range(start, start + BATCH):
                body, answers = mixed(i)
                a.send(body)
                expected += answers
            for _ in range(expected):
                r = response_of(a.response(timeout=60))
                if r is None:
                    wrong += 1
                    break
                answered += 1
        c.check(wrong == 0 and answered == COMMANDS * 7 // 8, "answers: %d, lost %d" % (answered, wrong))
        a.close()
        b, answer = d.connect_served(ping(seq=1), timeout=120)
        c.check(response_of(answer) == (1, None, "success"), "served after the disconnect")
        b.close()
        code = d.stop(timeout=120)
        c.check(code == 0, "exit status under valgrind: %r" % code)
        text = open(log).read() if os.path.exists(log) else ""
        c.check("ERROR SUMMARY: 0 errors" in text, "valgrind errors: %s" % text[-3000:])
        lost = re.findall(r"(definitely|indirectly) lost: ([\d,]+) bytes", text)
        c.check(all(n == "0" for _, n in lost), "valgrind leaks: %r" % lost)
    finally:
        d.cleanup()
        shutil.rmtree(logdir, ignore_errors=True)
    c.finish()


if __name__ == "__main__":
    main()
