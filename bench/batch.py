#!/usr/bin/env python3
"""Batch runs against single runs, alternated in one run, medians:
newacct -batch of a roster into directories of 10,000 and 100,000 accounts,
and dropacct -batch of leavers from a server with 10,000 mailboxes. Single
runs are timed on a sample and scaled to the batch's size.

    batch.py BUILD_DIR [--quick]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import (ENV, TESTENV, accounts_ldif, ldap_bind, start_sandbox, start_slapd,  # noqa: E402
                   timed, write_roster)

sys.path.insert(0, TESTENV)
import provision  # noqa: E402

SHARED = ["-bDN", "o=site", "-al", "admin", "-ap", "secret"]


def timed_batch(cmd):
    """Seconds of one batch run; the result lines that did not end 0."""
    start = time.perf_counter()
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV,
                            text=True)
    seconds = time.perf_counter() - start
    failed = [line for line in result.stdout.splitlines() if line.split("\t")[1:2] != ["0"]]
    if result.returncode or failed or not result.stdout:
        print(f"  batch exit {result.returncode}: {(failed or [result.stderr.strip()])[:3]}",
              flush=True)
    return seconds


def rounds(repeats, sample):
    """Splits the sample of single runs over the rounds: 50 over 3 is 17, 17, 16."""
    return [sample // repeats + (1 if r < sample % repeats else 0) for r in range(repeats)]


def alternated(repeats, sample, modes):
    """Runs each mode(r, n) once a round, n being that round's share of the
    sample, each first in turn; returns each mode's median time."""
    times = {name: [] for name in modes}
    names = list(modes)
    for r, n in enumerate(rounds(repeats, sample)):
        for name in names[r % len(names):] + names[:r % len(names)]:
            times[name] += modes[name](r, n)
    return {name: statistics.median(t) for name, t in times.items()}


def report(what, size, count, batch, single, sample, goal):
    scaled = single * count
    print(f"{what:<10} {size:>8} {count:>6} {batch:>10.2f} {single * 1000:>10.1f} "
          f"{scaled:>10.1f} {scaled / batch:>8.1f}x  (goal {goal}x; single runs: "
          f"median of a sample of {sample}, times {count})", flush=True)


def delete_accounts(port, uids):
    """Takes back what newacct wrote: entries, address book entries, group memberships."""
    dns = "".join(f"uid={u},o=site\nuid={u}:system,o=AddressBook,o=site\n" for u in uids)
    subprocess.run(["ldapdelete", "-c", "-r"] + ldap_bind(port), input=dns, text=True, env=ENV,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    change = "dn: cn=users,o=site\nchangetype: modify\ndelete: memberUid\n" + "".join(
        f"memberUid: {u}\n" for u in uids)
    subprocess.run(["ldapmodify", "-c"] + ldap_bind(port), input=change, text=True, env=ENV,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


def pupil(uid):
    return {"uid": uid, "sn": "Pupil", "givenname": "Pat", "mail": f"{uid}@example.org",
            "class": "users", "up": f"pw-{uid}"}


def creation(newacct, work, size, rows, sample, repeats):
    folder = os.path.join(work, f"ldap{size}")
    ldif = os.path.join(work, f"accounts{size}.ldif")
    accounts_ldif(ldif, size)
    seeding = time.perf_counter()
    port = start_slapd(folder, ldif)
    seeding = time.perf_counter() - seeding
    shared = [newacct] + SHARED + ["-H", "127.0.0.1", "-P", str(port), "-o", "O", "-c", "DE"]

    def roster(r, prefix):
        uids = [f"{prefix}{r}x{i:04d}" for i in range(rows)]
        path = os.path.join(work, f"roster-{prefix}{r}.csv")
        header = list(pupil("x").keys())
        write_roster(path, header, [[pupil(u)[h] for h in header] for u in uids])
        return uids, path

    def batch(r, n):
        uids, path = roster(r, "b")
        seconds = timed_batch(shared + ["-batch", path])
        delete_accounts(port, uids)
        return [seconds]

    def floor(r, n):
        # The directory's own write speed: the batch's plan (-dryrun) written
        # by ldapmodify over one connection, one request at a time.
        uids, path = roster(r, "f")
        plan = subprocess.run(shared + ["-dryrun", "-batch", path], stdout=subprocess.PIPE,
                              env=ENV, text=True, check=True).stdout
        plan_file = os.path.join(work, "plan.ldif")
        with open(plan_file, "w") as f:
            f.write("\n".join(line for line in plan.splitlines() if "\t" not in line) + "\n")
        seconds = timed(["ldapmodify"] + ldap_bind(port) + ["-f", plan_file])
        delete_accounts(port, uids)
        return [seconds]

    def singles(r, n):
        uids = [f"s{r}x{i:04d}" for i in range(n)]
        times = [timed(shared + [a for k, v in pupil(u).items() for a in (f"-{k}", v)])
                 for u in uids]
        delete_accounts(port, uids)
        return times

    try:
        m = alternated(repeats, sample, {"batch": batch, "single": singles, "floor": floor})
    finally:
        subprocess.run([os.path.join(TESTENV, "slapd.sh"), "kill", folder], env=ENV)
        subprocess.run(["rm", "-rf", folder, ldif])
    report("newacct", size, rows, m["batch"], m["single"], sample, 20)
    print(f"{'':<10} (directory of {size} seeded from one LDIF with slapadd in {seeding:.1f} s; "
          f"write floor, ldapmodify of the batch's plan: {m['floor']:.2f} s, the batch "
          f"{m['batch'] / m['floor']:.2f}x that)", flush=True)


def removal(dropacct, work, mailboxes, leavers, sample, repeats):
    folder, s = start_sandbox(os.path.join(work, "removal"))
    ldap, imap_port, sieve_port = s["LDAP_PORT"], int(s["IMAP_PORT"]), int(s["SIEVE_PORT"])
    # Each leaver brings two mailboxes of its own (provision.py), the rest are
    # shared: every timed run starts on a server of the stated size.
    shared_boxes = mailboxes - 2 * leavers
    imap = provision.imap_session("127.0.0.1", imap_port)
    for i in range(shared_boxes):
        imap.create(f"shared.box{i:05d}")
    shared = [dropacct, "-ldap", "-imap", "-sieve", "-LH", "127.0.0.1", "-LP", ldap, "-CH",
              "127.0.0.1", "-CP", str(imap_port), "-SP", str(sieve_port)] + SHARED
    present = []
    made = [0]

    def top_up():
        """Brings the leavers back to their number, with fresh names: entry,
        group membership, mailboxes, scripts, rights on a shared mailbox."""
        first = made[0]
        uids = [f"l{first + i:05d}" for i in range(leavers - len(present))]
        made[0] += len(uids)
        entries = "".join(
            f"dn: uid={u},o=site\nobjectClass: inetOrgPerson\nobjectClass: posixAccount\n"
            f"uid: {u}\ncn: L {u}\nsn: L\nuidNumber: {60000 + first + i}\ngidNumber: 100\n"
            f"homeDirectory: /home/{u}\n\n" for i, u in enumerate(uids))
        entries += "dn: cn=users,o=site\nchangetype: modify\nadd: memberUid\n" + "".join(
            f"memberUid: {u}\n" for u in uids)
        subprocess.run(["ldapmodify", "-a"] + ldap_bind(ldap), input=entries, text=True,
                       env=ENV, stdout=subprocess.DEVNULL, check=True)
        for i, u in enumerate(uids):
            provision.create("127.0.0.1", imap_port, sieve_port, u)
            imap.setacl(f"shared.box{(first + i) * 37 % shared_boxes:05d}", u, "lrs")
        present.extend(uids)

    def batch(r, n):
        top_up()
        roster = os.path.join(work, f"leavers{r}.csv")
        write_roster(roster, ["uid"], [[u] for u in present])
        present.clear()
        return [timed_batch(shared + ["-batch", roster])]

    def singles(r, n):
        top_up()
        uids, present[:n] = present[:n], []
        return [timed(shared + ["-uid", u]) for u in uids]

    try:
        m = alternated(repeats, sample, {"batch": batch, "single": singles})
        imap.logout()
    finally:
        subprocess.run([os.path.join(TESTENV, "sandbox.sh"), "stop", folder], env=ENV,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["rm", "-rf", folder])
    report("dropacct", mailboxes, leavers, m["batch"], m["single"], sample, 50)


def main():
    build = sys.argv[1]
    quick = "--quick" in sys.argv
    repeats = 3
    work = tempfile.mkdtemp(prefix="mailacct-batch-")
    os.chmod(work, 0o755)
    print(f"batch run against single runs (alternated, median of {repeats} batches; "
          f"-ldap -imap -sieve for dropacct)")
    print(f"{'program':<10} {'size':>8} {'rows':>6} {'batch s':>10} {'single ms':>10} "
          f"{'singles s':>10} {'speed-up':>9}")
    try:
        newacct = os.path.join(build, "newacct", "newacct")
        for size in [2000, 10000] if quick else [10000, 100000]:
            creation(newacct, work, size, 200 if quick else 1000, 10 if quick else 50, repeats)
        removal(os.path.join(build, "dropacct", "dropacct"), work, 1000 if quick else 10000,
                30 if quick else 300, 5 if quick else 10, repeats)
    finally:
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
