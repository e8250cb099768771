#!/usr/bin/env python3
"""TLS against plain: per connection (tls_connect) and a full removal.

    tls.py BUILD_DIR [--quick]
"""
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
    mailboxes = 200 if quick else 1000
    repeats = 3 if quick else 7
    newacct = os.path.join(build, "newacct", "newacct")
    dropacct = os.path.join(build, "dropacct", "dropacct")
    folder = tempfile.mkdtemp(prefix="mailacct-tls-")
    os.chmod(folder, 0o755)
    sandbox = os.path.join(TESTENV, "sandbox.sh")
    subprocess.run([sandbox, "start", folder], env=ENV, check=True, stdout=subprocess.DEVNULL)
    try:
        s = dict(line.strip().split("=", 1) for line in open(os.path.join(folder, "env")))
        env = dict(ENV, CA_FILE=s["CA_FILE"])
        provision = [os.path.join(TESTENV, "provision.py"), "create", "127.0.0.1",
                     s["IMAP_PORT"], s["SIEVE_PORT"]]
        subprocess.run(provision + ["probe"], env=env, check=True, stdout=subprocess.DEVNULL)
        print(f"== connection to the first command after the login "
              f"(median of {20 if quick else 50})")
        subprocess.run([os.path.join(build, "bench", "tls_connect"), "127.0.0.1",
                        s["LDAP_PORT"], s["LDAPS_PORT"], s["IMAP_PORT"], s["IMAPS_PORT"],
                        s["SIEVE_PORT"], s["CA_FILE"], "probe", "20" if quick else "50"],
                       env=env, check=True)

        make = ("import imaplib, ssl, sys\n"
                "i = imaplib.IMAP4('127.0.0.1', int(sys.argv[1]))\n"
                "i.starttls(ssl.create_default_context(cafile=sys.argv[2]))\n"
                "i.login('admin', 'secret')\n"
                "[i.create(f'shared.box{n:05d}') for n in range(int(sys.argv[3]))]\n")
        subprocess.run(["python3", "-c", make, s["IMAP_PORT"], s["CA_FILE"], str(mailboxes)],
                       env=env, check=True)
        common = ["-LH", "127.0.0.1", "-CH", "127.0.0.1", "-CP", s["IMAP_PORT"], "-SP",
                  s["SIEVE_PORT"], "-bDN", "o=site", "-al", "admin", "-ap", "secret"]
        times = {"plain": [], "tls": []}
        for i in range(repeats):
            for mode in ("plain", "tls") if i % 2 == 0 else ("tls", "plain"):
                uid = f"{mode}{i}"
                subprocess.run([newacct, "-H", "127.0.0.1", "-P", s["LDAP_PORT"], "-bDN",
                                "o=site", "-al", "admin", "-ap", "secret", "-uid", uid, "-sn",
                                "S", "-up", "pw", "-o", "O", "-c", "DE", "-class", "users"],
                               env=env, check=True, stdout=subprocess.DEVNULL)
                subprocess.run(provision + [uid], env=env, check=True, stdout=subprocess.DEVNULL)
                tls = ["-tls", "-cacert", s["CA_FILE"]] if mode == "tls" else []
                times[mode].append(timed([dropacct, "-ldap", "-imap", "-sieve", "-LP",
                                          s["LDAP_PORT"], "-uid", uid] + common + tls))
        plain, tls = statistics.median(times["plain"]), statistics.median(times["tls"])
        print(f"\n== dropacct -ldap -imap -sieve, {mailboxes} mailboxes (median of {repeats})")
        print(f"plain {plain * 1000:.1f} ms, TLS {tls * 1000:.1f} ms, ratio {tls / plain:.3f} "
              f"(goal: within 1.3; one handshake per server per run)")
    finally:
        subprocess.run([sandbox, "stop", folder], env=ENV, stdout=subprocess.DEVNULL)
        subprocess.run(["rm", "-rf", folder])


if __name__ == "__main__":
    main()
