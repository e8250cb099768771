#!/usr/bin/env python3
"""A year's class move (P11): in a directory of 10,000 accounts, 1,000 of them
each move to another class among 40 with `modacct -batch` of a roster
`uid;class`. Printed: the batch's time beside the directory's write floor for
its own plan (its -dryrun LDIF applied by one ldapmodify, one request at a
time over one connection), the writes the server counted, the same moves as
single modacct runs and as the ldapmodify runs an administrator would script
(one per pupil: the user entry, the old group, the new group), both timed on
a sample and scaled; then a roster in which nothing differs, beside one
search of those accounts. Medians of alternated rounds.

    classmove.py BUILD_DIR [--quick]
"""
import grp
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import ENV, TESTENV, ldap_bind, start_slapd, timed  # noqa: E402

SHARED = ["-bDN", "o=site", "-al", "admin", "-ap", "secret"]
# Groups the seed directory holds already.
SEEDED = {"users", "staff", "audio"}
MONITOR = 'database monitor\naccess to * by dn.exact="uid=admin,o=site" read by * none\n'


def class_names(count):
    """Classes need a system group (its ID joins plendarGroupID): the
    machine's own groups stand in for them, so nothing is added to it."""
    groups = sorted((g.gr_gid, g.gr_name) for g in grp.getgrall()
                    if g.gr_gid < 60000 and g.gr_name not in SEEDED and "," not in g.gr_name)
    return [(name, gid) for gid, name in groups[:count]]


def directory_ldif(path, accounts, classes):
    """Accounts as newacct writes them (calendar and groupware), each in
    class i mod len(classes), with the class groups."""
    members = {name: [] for name, _ in classes}
    with open(path, "w") as out:
        for i in range(accounts):
            uid = f"u{i:05d}"
            name, gid = classes[i % len(classes)]
            members[name].append(uid)
            out.write(
                f"dn: uid={uid},o=site\nobjectClass: top\nobjectClass: shadowAccount\n"
                f"objectClass: posixAccount\nobjectClass: person\nobjectClass: inetOrgPerson\n"
                f"objectClass: TolvoeMailObject\nobjectClass: TolvoplendarConfig\n"
                f"objectClass: phpgwAccount\nobjectClass: TolvoSchoolAccount\nuid: {uid}\n"
                f"sn: Pupil\ncn: Pupil\nmail: {uid}@school.example\nuidNumber: {3000 + i}\n"
                f"gidNumber: 100\nplendarGroupID: 100\nplendarGroupID: {gid}\n"
                f"homeDirectory: /home/{uid}\nloginShell: /bin/sh\nuserPassword: x\n"
                f"phpgwAccountStatus: A\n\n")
        for name, gid in classes:
            out.write(f"dn: cn={name},o=site\nobjectClass: posixGroup\ncn: {name}\n"
                      f"gidNumber: {gid}\n" + "".join(f"memberUid: {m}\n" for m in members[name])
                      + "\n")


def roster(path, moves):
    with open(path, "w") as f:
        f.write("uid;class\n" + "".join(f"{uid};{name}\n" for uid, name in moves))
    return path


def run(cmd, stdin=None):
    result = subprocess.run(cmd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=ENV, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{cmd[0]} exit {result.returncode}: {result.stdout[-300:]} "
                           f"{result.stderr[-300:]}")
    return result.stdout


def writes_done(port):
    out = run(["ldapsearch", "-LLL"] + ldap_bind(port) + [
        "-b", "cn=Operations,cn=Monitor", "(|(cn=Add)(cn=Delete)(cn=Modify)(cn=Modrdn))",
        "monitorOpCompleted"])
    return sum(int(line.split()[1]) for line in out.splitlines()
               if line.startswith("monitorOpCompleted:"))


def main():
    build = sys.argv[1]
    quick = "--quick" in sys.argv
    accounts, moved, count = (2000, 200, 40) if quick else (10000, 1000, 40)
    repeats, sample = (3, 10) if quick else (5, 24)
    modacct = os.path.join(build, "modacct", "modacct")
    work = tempfile.mkdtemp(prefix="mailacct-classmove-")
    os.chmod(work, 0o755)
    classes = class_names(count)
    gids = dict(classes)
    folder = os.path.join(work, "ldap")
    os.makedirs(folder)
    with open(os.path.join(folder, "extra-db.conf"), "w") as f:
        f.write(MONITOR)
    ldif = os.path.join(work, "accounts.ldif")
    directory_ldif(ldif, accounts, classes)
    port = start_slapd(folder, ldif)
    server = SHARED + ["-H", "127.0.0.1", "-P", str(port)]
    # Pupils of every class move from their class to the next one.
    chosen = sorted(random.Random(11).sample(range(accounts), moved))
    pupils = [(f"u{i:05d}", i % len(classes)) for i in chosen]
    forward = [(uid, classes[(c + 1) % len(classes)][0]) for uid, c in pupils]
    backward = [(uid, classes[c][0]) for uid, c in pupils]
    ahead = roster(os.path.join(work, "forward.csv"), forward)
    back = roster(os.path.join(work, "backward.csv"), backward)

    def batch(path):
        return timed([modacct] + server + ["-batch", path])

    def single(uid, name):
        return timed([modacct] + server + ["-uid", uid, "-class", name])

    def admin_script(uid, old, new):
        # What an administrator writes by hand for one pupil.
        change = (f"dn: uid={uid},o=site\nchangetype: modify\nreplace: plendarGroupID\n"
                  f"plendarGroupID: 100\nplendarGroupID: {gids[new]}\n\n"
                  f"dn: cn={old},o=site\nchangetype: modify\ndelete: memberUid\n"
                  f"memberUid: {uid}\n\n"
                  f"dn: cn={new},o=site\nchangetype: modify\nadd: memberUid\nmemberUid: {uid}\n")
        return timed(["ldapmodify"] + ldap_bind(port), stdin=change)

    times = {name: [] for name in ("batch", "floor", "single", "script", "noop", "search")}
    counted = []
    noop_writes = 0
    try:
        for r in range(repeats):
            plan = run([modacct] + server + ["-dryrun", "-batch", ahead])
            plan_file = os.path.join(work, "plan.ldif")
            with open(plan_file, "w") as f:
                f.write("\n".join(line for line in plan.splitlines() if "\t" not in line) + "\n")
            # The batch and the floor make the same moves back to back, each
            # first in turn, so that a slow moment of the machine meets both.
            for step in (["batch", "floor"] if r % 2 == 0 else ["floor", "batch"]):
                if step == "batch":
                    before = writes_done(port)
                    times["batch"].append(batch(ahead))
                    counted.append(writes_done(port) - before)
                    # Nothing differs now: the same roster again.
                    before = writes_done(port)
                    times["noop"].append(batch(ahead))
                    noop_writes = max(noop_writes, writes_done(port) - before)
                    filt = "(|" + "".join(f"(uid={uid})" for uid, _ in forward) + ")"
                    times["search"].append(timed(["ldapsearch", "-LLL"] + ldap_bind(port) + [
                        "-b", "o=site", "-s", "one", filt]))
                else:
                    times["floor"].append(
                        timed(["ldapmodify"] + ldap_bind(port) + ["-f", plan_file]))
                batch(back)
            part = forward[r * sample:(r + 1) * sample]
            times["single"] += [single(uid, name) for uid, name in part]
            batch(back)
            times["script"] += [admin_script(uid, classes[c][0], classes[(c + 1) % len(classes)][0])
                                for uid, c in pupils[r * sample:(r + 1) * sample]]
            batch(back)
    finally:
        subprocess.run([os.path.join(TESTENV, "slapd.sh"), "kill", folder], env=ENV)
        subprocess.run(["rm", "-rf", work])
    m = {name: statistics.median(t) for name, t in times.items()}
    # Each round's batch against its own floor.
    ratio = statistics.median(b / f for b, f in zip(times["batch"], times["floor"]))
    noop = statistics.median(n / s for n, s in zip(times["noop"], times["search"]))
    limit = moved + 2 * len(classes)
    print(f"class move: {moved} of {accounts} accounts, each to another of {len(classes)} classes "
          f"(median of {repeats} alternated rounds)")
    rows = [
        ("modacct -batch", m["batch"], ""),
        ("write floor: its plan by one ldapmodify", m["floor"],
         f"batch/floor {ratio:.2f} (at most 1.2; the median of each round's ratio)"),
        ("single modacct runs", m["single"] * moved,
         f"{m['single'] * 1000:.1f} ms each on a sample of {len(times['single'])}, times "
         f"{moved}; the batch {m['single'] * moved / m['batch']:.0f}x faster"),
        ("admin script: ldapmodify per pupil", m["script"] * moved,
         f"{m['script'] * 1000:.1f} ms each on a sample of {len(times['script'])}, times "
         f"{moved}; the batch {m['script'] * moved / m['batch']:.0f}x faster"),
        ("roster of no changes", m["noop"],
         f"{noop_writes} writes; batch/search {noop:.2f} (at most 2)"),
        ("one ldapsearch of those accounts", m["search"], ""),
    ]
    for label, seconds, note in rows:
        print(f"  {label:<40} {seconds:8.2f} s   {note}")
    print(f"  {'writes of the batch, counted by slapd':<40} {max(counted):8d}     "
          f"(at most {moved} + 2 x {len(classes)} = {limit})", flush=True)


if __name__ == "__main__":
    main()
