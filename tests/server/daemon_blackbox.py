"""Black-box checks of the built daemon: start line, pid file, answers over TCP,
framing time-out, one controller at a time, signals and the command line."""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from daemon_harness import (SKIP, Checks, Daemon, message, namespace_allowed, ping, query,  # noqa: E402
                            response_of)

TAG = "T230208-1648"
INVALID_PARAMS, INVALID_SLOT, UNEXPECTED, UNSUPPORTED = 0, 2, 4, 6
TRUNK_STATUS, CAS = 11, 14
# Aligned-PER bodies, seq 20 to 25: testBpc {bus 1, seed 7, write/read, 10, 3} and
# {bus 15, seed 7, write, 120, 10}; clockCfg {external, enabled, 2}; trunkCfg {2, slave};
# ioctl cas {path 1, time slot 3, open 5}.
BPC_WRITE = bytes.fromhex("800114022001074503")
BPC_READ = bytes.fromhex("800115022001070503")
BPC_PAST_THE_BUS = bytes.fromhex("80011603E001077C0A")
CLOCK_F2 = bytes.fromhex("80011716000102")
TRUNK_SLAVE = bytes.fromhex("80011814010200")
CAS_OPEN = bytes.fromhex("800119123C01010103000105")
USAGE_FIRST = "Usage:"
USAGE_PORT = "  -p --port                        use this port"


def command_line(exe, c):
    def run(*args):
        r = subprocess.run([exe] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=20)
        return r.returncode, r.stdout.decode(), r.stderr.decode()

    code, out, _ = run("--version")
    c.check(code == 2 and out == "server version: %s\n" % TAG, "--version: %d %r" % (code, out))
    for opt in ("--help", "-h"):
        code, out, _ = run(opt)
        c.check(code == 0 and out.startswith(USAGE_FIRST + "\n") and USAGE_PORT in out and out.endswith("\n\n"),
                "%s: %d %r" % (opt, code, out))
    code, out, err = run("-p", "30000")
    c.check(code == 2 and out.startswith(USAGE_FIRST), "-p: %d %r" % (code, out))
    c.check("invalid option" in err, "-p: getopt's message: %r" % err)
    for bad in ("0", "65536", "abc", "12x", "-5", ""):
        code, out, _ = run("--port", bad)
        c.check(code == 2 and out.startswith(USAGE_FIRST), "--port %r: %d" % (bad, code))
    code, out, _ = run("--port")
    c.check(code == 2 and out.startswith(USAGE_FIRST), "--port without value: %d" % code)
    code, out, _ = run("--help", "--version")
    c.check(code == 0 and out.startswith(USAGE_FIRST), "--help --version: %d" % code)
    code, out, _ = run("--version", "--bogus")
    c.check(code == 2 and out.startswith(USAGE_FIRST), "--version --bogus: %d" % code)


def session(exe, c):
    d = Daemon(exe, args=["--disable-clock"], config="[traces]\nsignalling.events = 1\n")
    try:
        line = d.wait_line("Starting server ")
        c.check(line == "Starting server [%s], port=%d" % (TAG, d.port), "start line: %r" % line)
        pid_file = os.path.join(d.run_dir, "server.pid")
        with open(pid_file) as f:
            c.check(f.read() == str(d.proc.pid), "pid file holds the decimal pid")

        a = d.connect()
        a.send(ping(seq=7))
        c.check(response_of(a.response()) == (7, None, "success"), "ping with seq")
        a.send(ping())
        c.check(response_of(a.response()) == (None, None, "success"), "ping without seq")
        a.send(ping(seq=8, slot=1024))
        c.check(response_of(a.response()) == (8, None, ("error", INVALID_SLOT)), "slot 1024")
        a.send(ping(seq=9, slot=65535))
        c.check(response_of(a.response()) == (9, None, ("error", INVALID_SLOT)), "slot 65535")
        a.send(message(10, 5, bytes([0x85])))  # signal activated from the controller
        c.check(response_of(a.response()) == (10, None, ("error", UNEXPECTED)), "signal pdu")
        a.send(message(11, None, bytes([0x40])))  # response success from the controller
        c.check(response_of(a.response()) == (11, None, ("error", UNEXPECTED)), "response pdu")
        a.send(query(seq=12, slot=3))  # query with a slot number is claimed by nobody
        c.check(response_of(a.response()) == (12, 3, ("error", UNEXPECTED)), "query with a slot")

        board_services(a, c)

        a.send(b"\xff\xff\xff")
        a.send(ping(seq=13))
        c.check(response_of(a.response()) == (13, None, "success"), "command after an undecodable frame")
        c.check(d.wait_line("receive fail: decode error!", "err") is not None, "decode error line")
        c.check(d.wait_line(" msg: FF FF FF ", "err") is not None, "decode error bytes")

        # An incomplete frame is dropped after 3000 ms; the stream then starts afresh.
        a.send_raw(bytes([3, 0, 0, 20, 0x80, 0x01]))
        c.check(a.response(timeout=1.0) is None, "incomplete frame not answered")
        time.sleep(2.6)
        a.send(ping(seq=14))
        c.check(response_of(a.response()) == (14, None, "success"), "frame after the dropped one")

        # One controller at a time.
        b = d.connect()
        c.check(b.recv_frame(timeout=3.0) == b"EOF", "second controller refused")
        b.close()
        a.send(query(seq=15))
        first = response_of(a.response())
        slots_bound = first == (15, None, "success")
        if slots_bound:
            sig = response_of(a.signal(0))
            c.check(sig == (None, None, ("signal", 0)), "query signal after query: %r" % (sig,))
        else:
            c.check(first == (15, None, ("error", UNEXPECTED)), "query without the slots service")
        a.close()
        b, answer = d.connect_served(ping(seq=16))
        c.check(response_of(answer) == (16, None, "success"), "second controller served")

        # SIGHUP: resource update, one query signal when the slots service is bound.
        d.signal(signal.SIGHUP)
        c.check(d.wait_line("update hardware resources", "err") is not None, "SIGHUP line")
        if slots_bound:
            sig = response_of(b.signal(0))
            c.check(sig == (None, None, ("signal", 0)), "SIGHUP query signal: %r" % (sig,))
        c.check(b.signal(0, timeout=0.5) is None, "one query signal after SIGHUP")

        # SIGUSR2: the status dump.
        status = os.path.join(d.log_dir, "server-status")
        d.signal(signal.SIGUSR2)
        deadline = time.time() + 5
        text = ""
        while time.time() < deadline:
            if os.path.exists(status):
                with open(status) as f:
                    text = f.read()
                if "fd" in text and text.endswith("\n\n"):
                    break
            time.sleep(0.05)
        lines = text.split("\n")
        c.check(len(lines) > 3 and lines[0] == "tamboril server status", "status title: %r" % lines[:1])
        c.check(len(lines) > 3 and lines[1] == "version : " + TAG, "status version line")
        c.check("dpc transition measurement (min/max/cur/counter): " in text, "loop measurements")
        c.check("server" in text and "attached" in text, "loop handler table: %r" % text[-400:])

        # SIGTERM: exit 0, pid file removed, the controller sees the end of the stream.
        code = d.stop()
        c.check(code == 0, "exit status after SIGTERM: %r" % code)
        c.check(not os.path.exists(pid_file), "pid file removed")
        c.check(b.recv_frame(timeout=3.0) == b"EOF", "controller sees end of stream")
    finally:
        d.cleanup()


def board_services(a, c):
    """The hardware services on the simulated board, clock control disabled."""
    for body, answer, what in ((BPC_WRITE, (20, None, "success"), "testBpc write"),
                               (BPC_READ, (21, None, "success"), "testBpc read of the written pattern"),
                               (BPC_PAST_THE_BUS, (22, None, ("error", INVALID_PARAMS)), "testBpc past the bus"),
                               (CLOCK_F2, (23, None, ("error", UNSUPPORTED)), "clockCfg with --disable-clock"),
                               (TRUNK_SLAVE, (24, None, "success"), "trunkCfg"),
                               (CAS_OPEN, (25, None, "success"), "cas open without slot number")):
        a.send(body)
        got = response_of(a.response())
        c.check(got == answer, "%s: %r" % (what, got))
    # The trunk's signal and the time slot's, sent before the answer.
    for n in range(2):
        c.check(response_of(a.signal(CAS)) == (None, None, ("signal", CAS)), "cas signal %d" % n)
    c.check(response_of(a.signal(TRUNK_STATUS, timeout=2.5)) == (None, None, ("signal", TRUNK_STATUS)),
            "trunk status every second")


def clock_control(exe, c):
    """Without --disable-clock the clock command reaches the board."""
    d = Daemon(exe)
    try:
        d.wait_line("Starting server ")
        a = d.connect()
        a.send(CLOCK_F2)
        got = response_of(a.response())
        c.check(got == (23, None, "success"), "clockCfg: %r" % (got,))
        c.check(d.wait_line("clkctl: clock source = f2", "err") is not None, "clock source line")
        a.close()
        c.check(d.stop() == 0, "stopped")
    finally:
        d.cleanup()


def early_term(exe, c):
    """A SIGTERM right after start still stops the daemon."""
    d = Daemon(exe)
    try:
        d.wait_line("Starting server ")
        d.signal(signal.SIGTERM)
        code = d.stop(timeout=20)
        c.check(code == 0, "SIGTERM at start: %r" % code)
    finally:
        d.cleanup()


def main():
    exe = sys.argv[1]
    c = Checks()
    command_line(exe, c)
    if not namespace_allowed():
        print("unshare -m is not permitted here: daemon session checks skipped")
        c.finish()
    session(exe, c)
    clock_control(exe, c)
    early_term(exe, c)
    c.finish()


if __name__ == "__main__":
    main()
