#!/usr/bin/env python3
"""dropacct -imap through a murder's frontend against the floor, beside the
same on one Cyrus server.

    murder.py BUILD_DIR [--quick]
"""
import imaplib
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import (MURDER_BACKENDS, create_mailbox, make_mailboxes,  # noqa: E402
                   private_cyrus, private_murder, timed)


def sweep(build, port, size, repeats, backends=()):
    """Median seconds of dropacct -imap and of the floor on the server at
    port, with `size` mailboxes made there (spread over a murder's
    `backends` when given)."""
    imap = imaplib.IMAP4("127.0.0.1", int(port))
    imap.login("admin", "secret")
    marked = make_mailboxes(imap, size, backends)[::max(1, size // 10)]

    def prepare():
        create_mailbox(imap, "user.jdoe", backends[-1] if backends else None)
        for mailbox in marked:
            imap.setacl(mailbox, "jdoe", "lrs")

    common = ["-CH", "127.0.0.1", "-CP", port, "-al", "admin", "-ap", "secret", "-uid", "jdoe"]
    runs = {"ours": ([os.path.join(build, "dropacct", "dropacct"), "-imap"] + common, []),
            "floor": ([os.path.join(build, "imap_floor"), "127.0.0.1", port, "admin", "secret",
                       "jdoe"], [])}
    for i in range(repeats):
        # Alternating, so that neither always meets the server first.
        for name in ("ours", "floor") if i % 2 == 0 else ("floor", "ours"):
            prepare()
            runs[name][1].append(timed(runs[name][0]))
    ours, floor = runs["ours"][1], runs["floor"][1]
    imap.logout()
    return statistics.median(ours), statistics.median(floor), len(marked)


def report(where, size, marked, ours, floor):
    print(f"{where:<32} {size:>8} {marked:>6} {ours * 1000:>10.1f} {floor * 1000:>10.1f} "
          f"{ours / floor:>7.3f}", flush=True)


def main():
    build = sys.argv[1]
    quick = "--quick" in sys.argv
    size = 1000 if quick else 10000
    repeats = 3 if quick else 7
    print(f"ACL sweep and removal of dropacct -imap against the one-at-a-time floor "
          f"(median of {repeats}; goal through the frontend: within 1.10)")
    print(f"{'server':<32} {'boxes':>8} {'ACLs':>6} {'ours ms':>10} {'floor ms':>10} {'ratio':>7}")
    with private_murder("mailacct-murder-") as settings:
        ours, floor, marked = sweep(build, settings["MURDER_FE_IMAP_PORT"], size, repeats,
                                    MURDER_BACKENDS)
        report("murder frontend (two backends)", size, marked, ours, floor)
    with private_cyrus("mailacct-single-") as port:
        ours, floor, marked = sweep(build, port, size, repeats)
        report("one Cyrus server", size, marked, ours, floor)


if __name__ == "__main__":
    main()
