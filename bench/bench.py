#!/usr/bin/env python3
"""Measures newacct and dropacct against their floors and against the
script an administrator would write; prints medians and ratios, writes
results.csv and scaling.png into the output folder.

    bench.py BUILD_DIR OUT_DIR [--quick]
"""
import contextlib
import csv
import imaplib
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTENV = os.path.join(TOP, "testenv")
# The sandbox takes clear-text logins too: the figures compare with tools
# and floors that log in in clear.
ENV = dict(os.environ, LDAPNOINIT="1", SANDBOX_PLAIN="1")


def run(cmd, stdin=None, check=True):
    return subprocess.run(cmd, input=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          env=ENV, check=check, text=isinstance(stdin, str))


def timed(cmd, stdin=None, check=True):
    start = time.perf_counter()
    run(cmd, stdin, check)
    return time.perf_counter() - start


def peak_rss_kb(cmd, stdin=None):
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, input=stdin,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=ENV, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def start_slapd(folder, ldif=None):
    args = [os.path.join(TESTENV, "slapd.sh"), "start", folder] + ([ldif] if ldif else [])
    return int(subprocess.run(args, capture_output=True, text=True, check=True).stdout)


def accounts_ldif(path, count):
    with open(path, "w") as out:
        for i in range(count):
            n = 2003 + i
            out.write(f"dn: uid=u{n},o=site\nobjectClass: inetOrgPerson\nobjectClass: posixAccount\n"
                      f"uid: u{n}\ncn: U {n}\nsn: U\nuidNumber: {n}\ngidNumber: 100\n"
                      f"homeDirectory: /home/u{n}\n\n")


@contextlib.contextmanager
def private_cyrus(prefix):
    """A private Cyrus server in a new folder; yields its IMAP port."""
    folder = tempfile.mkdtemp(prefix=prefix)
    os.chmod(folder, 0o755)
    cyrus = os.path.join(TESTENV, "cyrus.sh")
    ports = subprocess.run([cyrus, "start", folder], env=ENV, check=True, capture_output=True,
                           text=True).stdout.split()
    try:
        yield ports[0]
    finally:
        run([cyrus, "stop", folder], check=False)
        run(["rm", "-rf", folder], check=False)


@contextlib.contextmanager
def private_murder(prefix):
    """A private Cyrus murder on its fixed ports; yields its settings."""
    folder = tempfile.mkdtemp(prefix=prefix)
    os.chmod(folder, 0o755)
    murder = os.path.join(TESTENV, "murder.sh")
    out = subprocess.run([murder, "start", folder], env=ENV, check=True, capture_output=True,
                         text=True).stdout
    try:
        yield dict(line.split("=", 1) for line in out.split())
    finally:
        run([murder, "stop", folder], check=False)
        run(["rm", "-rf", folder], check=False)


# The backends of the private murder, as CREATE's location argument.
MURDER_BACKENDS = ("127.0.0.2!default", "127.0.0.3!default")


def create_mailbox(imap, name, backend=None):
    """CREATE name (on `backend`, a murder's "server!partition"); raises
    unless the server created it."""
    typ, data = imap._simple_command("CREATE", f'"{name}"', *([backend] if backend else []))
    if typ != "OK":
        raise RuntimeError(f"CREATE {name} {backend or ''}: {typ} {data}")


def make_mailboxes(imap, size, backends=()):
    """`size` mailboxes, spread over `backends` in turn when given; returns
    their names. A murder keeps a mailbox on its parent's backend (a CREATE
    elsewhere is refused: "unable to reserve mailbox on mupdate server"),
    so each backend gets a top-level mailbox of its own. Every CREATE is
    checked and the server must then list them all."""
    names = []
    for i in range(size):
        if backends:
            name = f"shared{i % len(backends)}.box{i:05d}"
            create_mailbox(imap, name, backends[i % len(backends)])
        else:
            name = f"shared.box{i:05d}"
            create_mailbox(imap, name)
        names.append(name)
    typ, listed = imap.list('""', "*")
    found = {line.decode().rsplit(" ", 1)[-1].strip('"') for line in listed if line}
    missing = [name for name in names if name not in found]
    if typ != "OK" or missing:
        raise RuntimeError(f"the server lists {len(names) - len(missing)} of the {size} "
                           f"mailboxes made")
    return names


def start_sandbox(folder):
    """Starts slapd and Cyrus in folder; returns it and their settings."""
    run([os.path.join(TESTENV, "sandbox.sh"), "start", folder])
    settings = {}
    with open(os.path.join(folder, "env")) as env:
        for line in env:
            key, value = line.strip().split("=", 1)
            settings[key] = value
    return folder, settings


def write_roster(path, header, rows):
    """A batch file; it may hold passwords, and one that others can read is refused."""
    with open(path, "w") as f:
        f.write(",".join(header) + "\n")
        for row in rows:
            f.write(",".join(row) + "\n")
    os.chmod(path, 0o600)


def ldap_bind(port):
    return ["-x", "-H", f"ldap://127.0.0.1:{port}", "-D", "uid=admin,o=site", "-w", "secret"]


class Bench:
    def __init__(self, build, out, quick):
        self.newacct = os.path.join(build, "newacct", "newacct")
        self.dropacct = os.path.join(build, "dropacct", "dropacct")
        self.floor = os.path.join(build, "imap_floor")
        self.out = out
        self.quick = quick
        self.repeats = 3 if quick else 7
        self.rows = []
        self.work = tempfile.mkdtemp(prefix="mailacct-bench-")
        os.chmod(self.work, 0o755)

    def record(self, measurement, size, ours, reference, reference_name, extra=""):
        ratio = ours / reference if reference else float("nan")
        self.rows.append({"measurement": measurement, "size": size, "ours_s": ours,
                          "reference": reference_name, "reference_s": reference, "ratio": ratio,
                          "note": extra})
        print(f"{measurement:<16} {size:>8} {ours * 1000:>11.2f} {reference_name:<18} "
              f"{reference * 1000:>11.2f} {ratio:>7.3f}  {extra}", flush=True)

    def uid_scan(self):
        for size in ([1000, 5000] if self.quick else [1000, 10000, 100000]):
            folder = os.path.join(self.work, f"ldap{size}")
            ldif = os.path.join(self.work, f"accounts{size}.ldif")
            accounts_ldif(ldif, size)
            port = start_slapd(folder, ldif)
            try:
                create = [self.newacct, "-bDN", "o=site", "-al", "admin", "-ap", "secret", "-H",
                          "127.0.0.1", "-P", str(port), "-uid", "bench", "-sn", "B", "-up",
                          "{SSHA}x", "-o", "O", "-c", "DE", "-groupware", "none",
                          "-homedirectory", "/h", "-loginshell", "/bin/sh"]
                remove = ["ldapdelete"] + ldap_bind(port) + ["-r", "uid=bench,o=site"]
                search = ["ldapsearch"] + ldap_bind(port) + [
                    "-LLL", "-b", "o=site", "-s", "one",
                    "(& (objectClass=posixAccount)(uidNumber=*))", "uidNumber"]
                ours, floor = [], []
                for _ in range(self.repeats):
                    ours.append(timed(create))
                    run(remove)
                    floor.append(timed(search))
                rss = peak_rss_kb(create)
                run(remove)
                self.record("uidNumber scan", size, statistics.median(ours), statistics.median(floor),
                            "ldapsearch", f"newacct peak RSS {rss / 1024:.1f} MB")
            finally:
                run([os.path.join(TESTENV, "slapd.sh"), "kill", folder], check=False)

    def start_sandbox(self, name):
        return start_sandbox(os.path.join(self.work, name))

    def imap_admin(self, settings):
        imap = imaplib.IMAP4("127.0.0.1", int(settings["IMAP_PORT"]))
        imap.login("admin", "secret")
        return imap

    def acl_sweep(self):
        for size in ([100, 500] if self.quick else [100, 1000, 10000]):
            folder, settings = self.start_sandbox(f"cyrus{size}")
            try:
                imap = self.imap_admin(settings)
                for i in range(size):
                    imap.create(f"shared.box{i:05d}")
                marked = [f"shared.box{i:05d}" for i in range(0, size, max(1, size // 10))]
                ours, floor = [], []

                def prepare():
                    imap.create("user.jdoe")
                    for mailbox in marked:
                        imap.setacl(mailbox, "jdoe", "lrs")

                common = ["-CH", "127.0.0.1", "-CP", settings["IMAP_PORT"], "-al", "admin", "-ap",
                          "secret", "-uid", "jdoe"]
                for _ in range(self.repeats):
                    prepare()
                    ours.append(timed([self.dropacct, "-imap"] + common))
                    prepare()
                    floor.append(timed([self.floor, "127.0.0.1", settings["IMAP_PORT"], "admin",
                                        "secret", "jdoe"]))
                imap.logout()
                self.record("ACL sweep", size, statistics.median(ours), statistics.median(floor),
                            "one-at-a-time floor", f"{len(marked)} ACL entries removed")
            finally:
                run([os.path.join(TESTENV, "sandbox.sh"), "stop", folder], check=False)

    def lifecycle(self):
        count = 10 if self.quick else 50
        folder, settings = self.start_sandbox("lifecycle")
        env_file = os.path.join(folder, "env")
        provision = [os.path.join(TESTENV, "provision.py"), "create", "127.0.0.1",
                     settings["IMAP_PORT"], settings["SIEVE_PORT"]]
        script = os.path.join(TOP, "bench", "admin_lifecycle.sh")
        try:
            ours = 0.0
            admin = 0.0
            for i in range(count):
                uid = f"ours{i}"
                ours += timed([self.newacct], stdin=(
                    f"bDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP={settings['LDAP_PORT']}\n"
                    f"uid={uid}\nsn=User\nup=pw\nmail={uid}@example.org\no=O\nc=DE\n"
                    f"groupware=plendar\nclass=users\n"))
                run(provision + [uid])
                ours += timed([self.dropacct, "-ldap", "-imap", "-sieve", "-LH", "127.0.0.1",
                               "-LP", settings["LDAP_PORT"], "-CH", "127.0.0.1", "-CP",
                               settings["IMAP_PORT"], "-SP", settings["SIEVE_PORT"], "-bDN",
                               "o=site", "-al", "admin", "-ap", "secret", "-uid", uid])
                uid = f"admin{i}"
                ENV["SANDBOX_ENV"] = env_file
                admin += timed([script, "create", uid])
                run(provision + [uid])
                admin += timed([script, "remove", uid])
            self.record("lifecycle", count, ours, admin, "admin script",
                        f"speed-up {admin / ours:.1f}x")
            # The same accounts' work in one newacct and one dropacct run.
            roster = os.path.join(self.work, "lifecycle.csv")
            uids = [f"batch{i}" for i in range(count)]
            write_roster(roster, ["uid", "sn", "up", "mail", "class"],
                         [[uid, "User", "pw", f"{uid}@example.org", "users"] for uid in uids])
            batch = timed([self.newacct], stdin=(
                f"bDN=o=site\nal=admin\nap=secret\nH=127.0.0.1\nP={settings['LDAP_PORT']}\n"
                f"o=O\nc=DE\ngroupware=plendar\nbatch={roster}\n"))
            for uid in uids:
                run(provision + [uid])
            batch += timed([self.dropacct, "-ldap", "-imap", "-sieve", "-LH", "127.0.0.1",
                            "-LP", settings["LDAP_PORT"], "-CH", "127.0.0.1", "-CP",
                            settings["IMAP_PORT"], "-SP", settings["SIEVE_PORT"], "-bDN",
                            "o=site", "-al", "admin", "-ap", "secret", "-batch", roster])
            self.record("lifecycle batch", count, batch, admin, "admin script",
                        f"speed-up {admin / batch:.1f}x (goal 50x)")
        finally:
            run([os.path.join(TESTENV, "sandbox.sh"), "stop", folder], check=False)

    def startup(self):
        for program in (self.newacct, self.dropacct):
            export = os.path.join(self.work, "hyperfine.json")
            run(["hyperfine", "-N", "--warmup", "10", "--runs", "50" if self.quick else "200",
                 "-i", "--export-json", export, f"{program} -V"])
            with open(export) as f:
                median = json.load(f)["results"][0]["median"]
            rss = peak_rss_kb([program, "-V"])
            self.record("start-up", 1, median, 0.005, "5 ms target",
                        f"{os.path.basename(program)} RSS {rss / 1024:.1f} MB")

    def write(self):
        os.makedirs(self.out, exist_ok=True)
        path = os.path.join(self.out, "results.csv")
        with open(path, "w", newline="") as f:
            writer = csv.DictWriter(f, fieldnames=list(self.rows[0].keys()))
            writer.writeheader()
            writer.writerows(self.rows)
        for measurement, name in (("uidNumber scan", "uid"), ("ACL sweep", "acl")):
            with open(os.path.join(self.out, f"{name}.dat"), "w") as f:
                for row in self.rows:
                    if row["measurement"] == measurement:
                        f.write(f"{row['size']} {row['ours_s'] * 1000} {row['reference_s'] * 1000}\n")
        plot = f"""
set terminal pngcairo size 1100,450
set output '{self.out}/scaling.png'
set multiplot layout 1,2
set logscale xy
set grid
set key top left
set xlabel 'posixAccounts'
set ylabel 'median ms'
set title 'uidNumber scan'
plot '{self.out}/uid.dat' using 1:2 with linespoints title 'newacct', \\
     '' using 1:3 with linespoints title 'ldapsearch (floor)'
set xlabel 'mailboxes'
set title 'ACL sweep'
plot '{self.out}/acl.dat' using 1:2 with linespoints title 'dropacct -imap', \\
     '' using 1:3 with linespoints title 'one-at-a-time floor'
unset multiplot
"""
        subprocess.run(["gnuplot"], input=plot, text=True, check=True)
        print(f"\nfigures: {path}\ncurves:  {self.out}/scaling.png")


def main():
    build, out = sys.argv[1], sys.argv[2]
    bench = Bench(build, out, "--quick" in sys.argv)
    print(f"{'measurement':<16} {'size':>8} {'ours ms':>11} {'reference':<18} {'ref ms':>11} "
          f"{'ratio':>7}")
    bench.startup()
    bench.uid_scan()
    bench.acl_sweep()
    bench.lifecycle()
    bench.write()


if __name__ == "__main__":
    main()
