#!/usr/bin/env python3
"""The start of a school year (P12): a school of 10,000 managed accounts in
40 classes and a roster of 1,000 new pupils, 2,000 class moves and 6,000
unchanged rows; the 1,000 leavers were locked by an earlier sync and are
removed now with -grace 0, from the directory, Sieve and IMAP (each has two
mailboxes, a right on a shared one and two scripts, on a server of 10,000
mailboxes). Printed: syncacct's time beside the floor of its own plan (its
-dryrun LDIF applied by one ldapmodify, one request at a time, plus the
mail-store part of the removal as dropacct -batch -imap -sieve makes it, as
bench/batch.py measures dropacct -batch) and beside the same work done with
newacct -batch, modacct -batch and dropacct -batch on hand-made rosters;
then a sync with nothing to do beside one search of the managed accounts
and the class groups. Each timed run starts from the same directory and
mail store; medians of rounds in which the three go in turn first.

    sync.py BUILD_DIR [--quick] [--noop]

--noop times only the sync and the sync with nothing to do.
"""
import datetime
import grp
import imaplib
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import ENV, TESTENV, ldap_bind, start_slapd, timed, write_roster  # noqa: E402

sys.path.insert(0, TESTENV)
import provision  # noqa: E402

SHARED = ["-bDN", "o=site", "-al", "admin", "-ap", "secret"]
NEW_ACCOUNTS = ["-o", "Example School", "-c", "DE", "-genpw"]
SEEDED = {"users", "staff", "audio"}


def class_names(count):
    """Classes need a system group (its ID joins plendarGroupID): the
    machine's own groups stand in for them, as in bench/classmove.py."""
    groups = sorted((g.gr_gid, g.gr_name) for g in grp.getgrall()
                    if g.gr_gid < 60000 and g.gr_name not in SEEDED and "," not in g.gr_name)
    return [(name, gid) for gid, name in groups[:count]]


class School:
    """The pupils: who stays, who moves, who leaves, who is new."""

    def __init__(self, size, classes):
        self.classes = classes
        count = len(classes)
        existing = size * 9 // 10
        self.leavers = size // 10
        self.new = size // 10
        movers = size // 5
        pupils = [f"u{i:05d}" for i in range(existing)]
        self.class_of = {uid: i % count for i, uid in enumerate(pupils)}
        chosen = random.Random(12).sample(pupils, self.leavers + movers)
        self.leaving = sorted(chosen[:self.leavers])
        self.moving = sorted(chosen[self.leavers:])
        gone = set(chosen)
        self.staying = [uid for uid in pupils if uid not in gone]
        self.arriving = [f"n{i:05d}" for i in range(self.new)]

    def ldif(self, path):
        """Accounts as newacct writes them (calendar and groupware), each
        with its address book and contact card; the leavers locked 40 days
        ago."""
        locked = (datetime.date.today() - datetime.date(1970, 1, 1)).days - 40
        leaving = set(self.leaving)
        members = {name: [] for name, _ in self.classes}
        with open(path, "w") as out:
            for n, (uid, c) in enumerate(self.class_of.items()):
                name, gid = self.classes[c]
                members[name].append(uid)
                lock = (f"userPassword: {{crypt}}!x\nshadowExpire: {locked}\n"
                        "phpgwAccountStatus: I\n" if uid in leaving
                        else "userPassword: x\nphpgwAccountStatus: A\n")
                out.write(
                    f"dn: uid={uid},o=site\nobjectClass: top\nobjectClass: shadowAccount\n"
                    f"objectClass: posixAccount\nobjectClass: person\n"
                    f"objectClass: inetOrgPerson\nobjectClass: TolvoeMailObject\n"
                    f"objectClass: TolvoplendarConfig\nobjectClass: phpgwAccount\n"
                    f"objectClass: TolvoSchoolAccount\nuid: {uid}\nsn: Pupil\ncn: Pupil\n"
                    f"mail: {uid}@school.example\nuidNumber: {3000 + n}\ngidNumber: 100\n"
                    f"plendarGroupID: 100\nplendarGroupID: {gid}\nhomeDirectory: /home/{uid}\n"
                    f"loginShell: /bin/sh\n{lock}\n"
                    f"dn: ou=addr,uid={uid},o=site\nobjectClass: top\n"
                    f"objectClass: organizationalUnit\nou: addr\n\n"
                    f"dn: uid={uid}:system,o=AddressBook,o=site\n"
                    f"objectClass: organizationalPerson\nobjectClass: inetOrgPerson\n"
                    f"objectClass: phpgwContact\nsn: Pupil\ncn: Pupil\n"
                    f"mail: {uid}@school.example\nuid: {uid}:system\nuidnumber: {3000 + n}\n"
                    f"phpgwContactTypeId: n\nphpgwContactOwner: 101\n"
                    f"phpgwContactAccess: public\nphpgwContactCatId: 2\n\n")
            for name, gid in self.classes:
                out.write(f"dn: cn={name},o=site\nobjectClass: posixGroup\ncn: {name}\n"
                          f"gidNumber: {gid}\n" + "".join(f"memberUid: {m}\n"
                                                          for m in members[name]) + "\n")

    def name(self, c):
        return self.classes[c % len(self.classes)][0]

    def rosters(self, work):
        """The office's export, and the three hand-made rosters."""
        count = len(self.classes)
        rows = ([[uid, "Pupil", self.name(self.class_of[uid])] for uid in self.staying] +
                [[uid, "Pupil", self.name(self.class_of[uid] + 1)] for uid in self.moving] +
                [[uid, "Pupil", self.name(i % count)] for i, uid in enumerate(self.arriving)])
        rows.sort()
        paths = {}
        for name, header, content in (
                ("export", ["uid", "sn", "class"], rows),
                ("new", ["uid", "sn", "class"],
                 [[uid, "Pupil", self.name(i % count)] for i, uid in enumerate(self.arriving)]),
                ("moves", ["uid", "class"],
                 [[uid, self.name(self.class_of[uid] + 1)] for uid in self.moving]),
                ("leavers", ["uid"], [[uid] for uid in self.leaving])):
            paths[name] = os.path.join(work, f"{name}.csv")
            write_roster(paths[name], header, content)
        return paths


class Servers:
    """A Cyrus server for every round, with its shared mailboxes, and a
    slapd made afresh from the school's LDIF for every timed run."""

    def __init__(self, work, school, mailboxes):
        self.work = work
        self.school = school
        self.ldif = os.path.join(work, "school.ldif")
        school.ldif(self.ldif)
        self.cyrus = os.path.join(work, "cyrus")
        os.makedirs(self.cyrus)
        ports = subprocess.run([os.path.join(TESTENV, "cyrus.sh"), "start", self.cyrus], env=ENV,
                               check=True, capture_output=True, text=True).stdout.split()
        self.imap_port, self.sieve_port = int(ports[0]), int(ports[1])
        imap = self.imap()
        imap.create("shared.projects")
        for i in range(mailboxes - 2 * school.leavers - 1):
            imap.create(f"shared.box{i:05d}")
        imap.logout()
        self.ldap = None
        self.folder = None
        self.fresh_runs = 0

    def imap(self):
        imap = imaplib.IMAP4("127.0.0.1", self.imap_port)
        imap.login("admin", "secret")
        return imap

    def fresh(self):
        """The school before the sync: a new slapd, and the leavers' mail."""
        self.stop_ldap()
        self.fresh_runs += 1
        self.folder = os.path.join(self.work, f"ldap{self.fresh_runs}")
        self.ldap = start_slapd(self.folder, self.ldif)
        imap = self.imap()
        for uid in self.school.leaving:
            imap.create(f"user.{uid}")
            imap.create(f"user.{uid}.Sent")
            imap.setacl("shared.projects", uid, "lrsw")
        imap.logout()
        for uid in self.school.leaving:
            send, login = provision.sieve_session("127.0.0.1", self.sieve_port, uid)
            body = b'require "fileinto";\r\nkeep;\r\n'
            for script in ("vacation", "spam"):
                send(f'PUTSCRIPT "{script}" {{{len(body)}+}}\r\n'.encode() + body + b"\r\n")
            send(b'SETACTIVE "spam"\r\n')
            send(b"LOGOUT\r\n")

    def stop_ldap(self):
        if self.folder:
            subprocess.run([os.path.join(TESTENV, "slapd.sh"), "kill", self.folder], env=ENV)
            subprocess.run(["rm", "-rf", self.folder])
            self.folder = None

    def stop(self):
        self.stop_ldap()
        subprocess.run([os.path.join(TESTENV, "cyrus.sh"), "stop", self.cyrus], env=ENV,
                       stdout=subprocess.DEVNULL)

    def directory(self):
        return SHARED + ["-H", "127.0.0.1", "-P", str(self.ldap)]

    def mail(self):
        return ["-CH", "127.0.0.1", "-CP", str(self.imap_port), "-SP", str(self.sieve_port)]

    def removal(self):
        return SHARED + ["-LH", "127.0.0.1", "-LP", str(self.ldap)] + self.mail()


def checked(cmd):
    """Seconds of a run that must end 0 (a run with any line not 0 says so)."""
    start = time.perf_counter()
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV,
                            text=True)
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        print(f"  {os.path.basename(cmd[0])} exit {result.returncode}: "
              f"{result.stdout[-300:]} {result.stderr[-300:]}", flush=True)
    return seconds, result.stdout


def main():
    build = sys.argv[1]
    quick = "--quick" in sys.argv
    size, mailboxes, repeats = (1000, 1000, 2) if quick else (10000, 10000, 3)
    program = {name: os.path.join(build, name, name)
               for name in ("syncacct", "newacct", "modacct", "dropacct")}
    work = tempfile.mkdtemp(prefix="mailacct-sync-")
    os.chmod(work, 0o755)
    classes = class_names(40)
    school = School(size, classes)
    rosters = school.rosters(work)
    scope = [a for name, _ in classes for a in ("-scope", name)]
    servers = Servers(work, school, mailboxes)
    times = {name: [] for name in ("sync", "ldif", "mailstore", "three", "noop", "search")}
    lines = []

    def sync_run():
        servers.fresh()
        sync = ([program["syncacct"]] + servers.directory() + servers.mail() + NEW_ACCOUNTS +
                scope + ["-grace", "0", "-batch", rosters["export"]])
        seconds, out = checked(sync)
        times["sync"].append(seconds)
        lines.append(len(out.splitlines()))
        # The same roster again: nothing left to do.
        times["noop"].append(checked(sync)[0])
        times["search"].append(timed(["ldapsearch", "-LLL"] + ldap_bind(servers.ldap) + [
            "-b", "o=site", "-s", "one", "(|(objectClass=posixAccount)(objectClass=posixGroup))"]))

    def floor_run():
        servers.fresh()
        plan = checked([program["syncacct"]] + servers.directory() + servers.mail() +
                       NEW_ACCOUNTS + scope +
                       ["-grace", "0", "-dryrun", "-batch", rosters["export"]])[1]
        plan_file = os.path.join(work, "plan.ldif")
        with open(plan_file, "w") as f:
            f.write("\n".join(line for line in plan.splitlines() if "\t" not in line) + "\n")
        times["ldif"].append(timed(["ldapmodify"] + ldap_bind(servers.ldap) + ["-f", plan_file]))
        times["mailstore"].append(checked(
            [program["dropacct"], "-imap", "-sieve"] + servers.removal() +
            ["-batch", rosters["leavers"]])[0])

    def three_run():
        servers.fresh()
        total = checked([program["newacct"]] + servers.directory() + NEW_ACCOUNTS +
                        ["-batch", rosters["new"]])[0]
        total += checked([program["modacct"]] + servers.directory() +
                         ["-batch", rosters["moves"]])[0]
        total += checked([program["dropacct"], "-ldap", "-imap", "-sieve"] + servers.removal() +
                         ["-batch", rosters["leavers"]])[0]
        times["three"].append(total)

    runs = [sync_run] if "--noop" in sys.argv else [sync_run, floor_run, three_run]
    try:
        for r in range(repeats):
            for run in runs[r % len(runs):] + runs[:r % len(runs)]:
                run()
            print(f"  round {r + 1}: " + ", ".join(f"{name} {t[-1]:.2f} s"
                                                  for name, t in times.items() if t), flush=True)
    finally:
        servers.stop()
        subprocess.run(["rm", "-rf", work])
    m = {name: statistics.median(t) for name, t in times.items() if t}
    noop = statistics.median(n / s for n, s in zip(times["noop"], times["search"]))
    if len(runs) == 1:
        print(f"  sync with nothing to do {m['noop']:.2f} s, one search {m['search']:.2f} s: "
              f"nothing/search {noop:.2f} (at most 2)")
        return
    floor = m["ldif"] + m["mailstore"]
    ratio = statistics.median(s / (l + ms) for s, l, ms in
                              zip(times["sync"], times["ldif"], times["mailstore"]))
    print(f"start of a school year: {size} managed accounts in {len(classes)} classes, "
          f"{school.new} new, {len(school.moving)} moved, {school.leavers} leavers removed, "
          f"{len(school.staying)} unchanged; {mailboxes} mailboxes "
          f"(median of {repeats} rounds, each run from the same start)")
    rows = [
        ("syncacct -grace 0", m["sync"], f"{max(lines)} result lines"),
        ("floor: its -dryrun LDIF by one ldapmodify", m["ldif"], ""),
        ("  + dropacct -batch -imap -sieve", m["mailstore"], "the mail-store part"),
        ("  = floor", floor, f"syncacct/floor {ratio:.2f} (at most 1.2; median of each round's)"),
        ("newacct + modacct + dropacct -batch", m["three"],
         f"the same work by hand-made rosters; syncacct {m['three'] / m['sync']:.2f}x as fast"),
        ("sync with nothing to do", m["noop"], f"nothing/search {noop:.2f} (at most 2)"),
        ("one search of accounts and groups", m["search"], ""),
    ]
    for label, seconds, note in rows:
        print(f"  {label:<44} {seconds:8.2f} s   {note}", flush=True)


if __name__ == "__main__":
    main()
