#!/usr/bin/env python3
"""dropacct -imap through a murder's frontend against the floor.

    murder.py BUILD_DIR [--quick]
"""
import imaplib
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import ENV, TESTENV, timed  # noqa: E402


def main():
    build = sys.argv[1]
    quick = "--quick" in sys.argv
    size = 1000 if quick else 10000
    repeats = 3 if quick else 5
    folder = tempfile.mkdtemp(prefix="mailacct-murder-")
    murder = os.path.join(TESTENV, "murder.sh")
    out = subprocess.run([murder, "start", folder], env=ENV, check=True, capture_output=True,
                         text=True).stdout
    settings = dict(line.split("=", 1) for line in out.split())
    port = settings["MURDER_FE_IMAP_PORT"]
    try:
        imap = imaplib.IMAP4("127.0.0.1", int(port))
        imap.login("admin", "secret")
        for i in range(size):
            backend = "127.0.0.2" if i % 2 == 0 else "127.0.0.3"
            imap._simple_command("CREATE", f'"shared.box{i:05d}"', f"{backend}!default")
        marked = [f"shared.box{i:05d}" for i in range(0, size, max(1, size // 10))]

        def prepare():
            imap._simple_command("CREATE", '"user.jdoe"', "127.0.0.3!default")
            for mailbox in marked:
                imap.setacl(mailbox, "jdoe", "lrs")

        common = ["-CH", "127.0.0.1", "-CP", port, "-al", "admin", "-ap", "secret", "-uid",
                  "jdoe"]
        ours, floor = [], []
        for _ in range(repeats):
            prepare()
            ours.append(timed([os.path.join(build, "dropacct", "dropacct"), "-imap"] + common))
            prepare()
            floor.append(timed([os.path.join(build, "imap_floor"), "127.0.0.1", port, "admin",
                                "secret", "jdoe"]))
        imap.logout()
        o, f = statistics.median(ours), statistics.median(floor)
        print(f"ACL sweep and removal through the frontend, {size} mailboxes on two backends, "
              f"{len(marked)} ACL entries (median of {repeats}):")
        print(f"dropacct {o * 1000:.1f} ms, floor {f * 1000:.1f} ms, ratio {o / f:.3f} "
              f"(goal: within 1.10)")
    finally:
        subprocess.run([murder, "stop", folder], env=ENV)
        subprocess.run(["rm", "-rf", folder])


if __name__ == "__main__":
    main()
