#!/usr/bin/env python3
"""Batch mode's pipelined ACL sweep for one account at 10,000 mailboxes
against the one-at-a-time floor (bench/imap_floor.cc): on loopback, through
a proxy that delays each direction by 0.25 ms, the window-size curve, and
the comparison through a murder frontend. Runs alternate; medians.

    acl_sweep.py BUILD_DIR [--quick] [--no-murder | --murder-only] [--no-curve]
"""
import imaplib
import os
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import (ENV, MURDER_BACKENDS, create_mailbox, make_mailboxes,  # noqa: E402
                   private_cyrus, private_murder, run, timed)

DEFAULT_WINDOW = 64
WINDOWS = [1, 4, 16, 32, 64, 128, 256]
DELAY_US = 250


class Server:
    """A server with `size` mailboxes (spread over a murder's `backends`
    when given), every tenth holding an entry of jdoe again before each run."""

    def __init__(self, build, port, size, backends=()):
        self.build = build
        self.port = str(port)
        self.imap = imaplib.IMAP4("127.0.0.1", int(port))
        self.imap.login("admin", "secret")
        self.backends = backends
        names = make_mailboxes(self.imap, size, backends)
        self.marked = names[::max(1, size // 10)]
        self.proxy = subprocess.Popen([os.path.join(build, "delay_proxy"), self.port,
                                       str(DELAY_US)], stdout=subprocess.PIPE, text=True)
        self.proxy_port = self.proxy.stdout.readline().strip()

    def prepare(self):
        create_mailbox(self.imap, "user.jdoe", self.backends[-1] if self.backends else None)
        for mailbox in self.marked:
            self.imap.setacl(mailbox, "jdoe", "lrs")

    def floor(self, port):
        return [os.path.join(self.build, "imap_floor"), "127.0.0.1", port, "admin", "secret",
                "jdoe"]

    def sweep(self, port, window):
        return [os.path.join(self.build, "bench", "acl_sweep"), "127.0.0.1", port, "admin",
                "secret", "jdoe", str(window)]

    def check(self):
        """The sweep does the floor's work: every marked entry removed."""
        self.prepare()
        out = subprocess.run(self.sweep(self.port, DEFAULT_WINDOW), env=ENV, check=True,
                             capture_output=True, text=True).stdout
        removed = int(out.split(", ")[1].split()[0])
        print(f"check: {out.strip()}")
        if removed < len(self.marked):
            sys.exit(f"the sweep removed {removed} entries, not {len(self.marked)}: {out}")

    def measure(self, runs, repeats):
        """Median seconds of each named command, run in turn, the order
        rotated each round so that none always meets the server first."""
        times = {name: [] for name in runs}
        names = list(runs)
        for i in range(repeats):
            for name in names[i % len(names):] + names[:i % len(names)]:
                self.prepare()
                times[name].append(timed(runs[name]))
        return {name: statistics.median(t) for name, t in times.items()}

    def close(self):
        self.proxy.kill()
        self.proxy.wait()
        self.imap.logout()


def compare(server, where, repeats):
    direct, delayed = server.port, server.proxy_port
    m = server.measure({"floor": server.floor(direct),
                        "sweep": server.sweep(direct, DEFAULT_WINDOW),
                        "floor+proxy": server.floor(delayed),
                        "sweep+proxy": server.sweep(delayed, DEFAULT_WINDOW)}, repeats)
    print(f"{where:<28} {'loopback':<22} {m['floor'] * 1000:>10.1f} {m['sweep'] * 1000:>10.1f} "
          f"{m['sweep'] / m['floor']:>7.3f}  (goal <= 0.5)")
    print(f"{where:<28} {'+0.25 ms each way':<22} {m['floor+proxy'] * 1000:>10.1f} "
          f"{m['sweep+proxy'] * 1000:>10.1f} {m['sweep+proxy'] / m['floor+proxy']:>7.3f}  "
          f"(goal <= 0.1)", flush=True)
    return m


def curve(server, floors, repeats):
    print(f"\nwindow curve (median of {repeats}; ratio to the floor on the same path)")
    print(f"{'window':>6} {'loopback ms':>12} {'ratio':>7} {'+0.25 ms ms':>12} {'ratio':>7}")
    for window in WINDOWS:
        m = server.measure({"direct": server.sweep(server.port, window),
                            "proxy": server.sweep(server.proxy_port, window)}, repeats)
        print(f"{window:>6} {m['direct'] * 1000:>12.1f} {m['direct'] / floors['floor']:>7.3f} "
              f"{m['proxy'] * 1000:>12.1f} {m['proxy'] / floors['floor+proxy']:>7.3f}", flush=True)


def header(size, repeats):
    print(f"\nACL sweep and removal for one account at {size} mailboxes (window {DEFAULT_WINDOW}; "
          f"median of {repeats}, runs alternated)")
    print(f"{'server':<28} {'path':<22} {'floor ms':>10} {'sweep ms':>10} {'ratio':>7}")


def main():
    build = sys.argv[1]
    quick = "--quick" in sys.argv
    size = 1000 if quick else 10000
    repeats = 5 if "--no-curve" in sys.argv else 3
    if "--murder-only" not in sys.argv:
        single_server(build, size, repeats)
    if "--no-murder" not in sys.argv:
        murder_frontend(build, size, repeats)


def single_server(build, size, repeats):
    header(size, repeats)
    with private_cyrus("mailacct-sweep-") as port:
        server = Server(build, port, size)
        try:
            server.check()
            floors = compare(server, "one Cyrus server", repeats)
            if "--no-curve" not in sys.argv:
                curve(server, floors, 3)
        finally:
            server.close()


def murder_frontend(build, size, repeats):
    header(size, repeats)
    with private_murder("mailacct-sweep-murder-") as settings:
        server = Server(build, settings["MURDER_FE_IMAP_PORT"], size, MURDER_BACKENDS)
        try:
            server.check()
            compare(server, "murder frontend (2 backends)", repeats)
        finally:
            server.close()


if __name__ == "__main__":
    main()
