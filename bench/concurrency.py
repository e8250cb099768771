#!/usr/bin/env python3
"""newacct under concurrency: parallel creation against one at a time, and
the cost of the guard on an uncontended creation against a reference build.

    concurrency.py NEWACCT REFERENCE_NEWACCT [--quick]
"""
import collections
import os
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import ENV, TESTENV, accounts_ldif, ldap_bind, start_slapd  # noqa: E402


def create_args(newacct, port, login, alias=None):
    args = [newacct, "-bDN", "o=site", "-al", "admin", "-ap", "secret", "-H", "127.0.0.1",
            "-P", str(port), "-uid", login, "-sn", "B", "-up", "{SSHA}x", "-o", "O", "-c", "DE",
            "-homedirectory", "/h", "-loginshell", "/bin/sh", "-mail", f"{login}@example.org"]
    return args + (["-alias", alias] if alias else [])


failures = []


def create(args):
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=ENV,
                            text=True)
    if result.returncode:
        failures.append(f"{args[args.index('-uid') + 1]}: {result.returncode} "
                        f"{result.stdout.strip()}")
    return result.returncode


def values(port, attribute):
    out = subprocess.run(["ldapsearch", "-LLL", "-o", "ldif-wrap=no"] + ldap_bind(port) +
                         ["-b", "o=site", "-s", "one", "(objectClass=posixAccount)", attribute],
                         capture_output=True, text=True, check=True, env=ENV).stdout
    prefix = attribute + ": "
    return [line[len(prefix):].lower() for line in out.splitlines() if line.startswith(prefix)]


def shared(port):
    numbers = collections.Counter(values(port, "uidNumber"))
    addresses = collections.Counter(values(port, "uid") + values(port, "alias"))
    return (sum(c - 1 for c in numbers.values() if c > 1),
            sum(c - 1 for c in addresses.values() if c > 1))


def with_slapd(work, name, size, action):
    folder = os.path.join(work, name)
    ldif = os.path.join(work, f"accounts{size}.ldif")
    if not os.path.exists(ldif):
        accounts_ldif(ldif, size)
    port = start_slapd(folder, ldif)
    try:
        return action(port)
    finally:
        subprocess.run([os.path.join(TESTENV, "slapd.sh"), "kill", folder], env=ENV)


def parallel(newacct, work, size, count, workers):
    def fill(port, runs):
        start = time.perf_counter()
        if runs == 1:
            statuses = [create(create_args(newacct, port, f"p{i}")) for i in range(count)]
        else:
            per = count // runs

            def worker(w):
                return [create(create_args(newacct, port, f"p{w}x{i}", alias=f"al{w}x{i}"))
                        for i in range(per)]
            with ThreadPoolExecutor(runs) as pool:
                statuses = [s for part in pool.map(worker, range(runs)) for s in part]
        seconds = time.perf_counter() - start
        return seconds, statuses, shared(port)

    for runs in (1, workers):
        seconds, statuses, (numbers, addresses) = with_slapd(
            work, f"par{runs}", size, lambda port: fill(port, runs))
        ok = statuses.count(0)
        for failure in failures[:5]:
            print("  failed:", failure)
        failures.clear()
        print(f"{runs} at a time   {size:>7} {count:>5} {seconds:>9.2f} {ok / seconds:>9.1f} "
              f"{ok:>5} {len(statuses) - ok:>5} {numbers:>7} {addresses:>9}", flush=True)


def uncontended(ours, reference, work, sizes, repeats):
    def measure(port):
        times = {ours: [], reference: []}
        for i in range(repeats):
            for program in (ours, reference) if i % 2 == 0 else (reference, ours):
                login = f"solo{i}{'o' if program == ours else 'r'}"
                start = time.perf_counter()
                assert create(create_args(program, port, login)) == 0
                times[program].append(time.perf_counter() - start)
                subprocess.run(["ldapdelete", "-r"] + ldap_bind(port) +
                               [f"uid={login},o=site", f"uid={login}:system,o=AddressBook,o=site"],
                               env=ENV, check=True)
        return statistics.median(times[ours]), statistics.median(times[reference])

    for size in sizes:
        mine, theirs = with_slapd(work, f"solo{size}", size, measure)
        print(f"uncontended {size:>7} {mine * 1000:>9.2f} {theirs * 1000:>9.2f} "
              f"{mine / theirs:>7.3f}", flush=True)


def main():
    ours, reference = sys.argv[1], sys.argv[2]
    quick = "--quick" in sys.argv
    work = tempfile.mkdtemp(prefix="mailacct-conc-")
    size = 2000 if quick else 10000
    count = 80 if quick else 200
    print(f"{'runs':<13} {'directory':>7} {'made':>5} {'wall s':>9} {'acct/s':>9} "
          f"{'ok':>5} {'fail':>5} {'shared#':>7} {'shared@':>9}")
    parallel(ours, work, size, count, 8)
    print(f"\n{'':<11} {'accounts':>7} {'ours ms':>9} {'ref ms':>9} {'ratio':>7}")
    uncontended(ours, reference, work, [1000, 5000] if quick else [10000, 100000],
                5 if quick else 15)
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
