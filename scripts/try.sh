#!/bin/bash
# Tries the programs against a private sandbox on this machine: installs
# what is missing, builds, starts a loopback directory and Cyrus IMAP + Sieve
# server, creates an account with newacct the way a front end does, moves it
# to another class and locks it with modacct (its login then fails) and
# unlocks it, gives it mailboxes, rights and Sieve scripts, removes it all
# with dropacct, shows that nothing is left; then syncs a small school with
# syncacct (a pupil created, one moved, a leaver locked and then removed
# from all three servers) and stops the sandbox. Exits 0 only if all worked.
# The sandbox servers require TLS, as production servers do: every run
# below uses StartTLS and trusts the sandbox's own authority.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$top/build-plain}
"$top/scripts/install-deps.sh"
if [ ! -x "$build/newacct/newacct" ] || [ ! -x "$build/modacct/modacct" ] ||
	[ ! -x "$build/dropacct/dropacct" ] || [ ! -x "$build/syncacct/syncacct" ]; then
	cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build "$build" -j "$(nproc)" --target newacct modacct dropacct syncacct
fi
newacct=$build/newacct/newacct
modacct=$build/modacct/modacct
dropacct=$build/dropacct/dropacct
syncacct=$build/syncacct/syncacct

sandbox=$(mktemp -d /tmp/mailacct-sandbox-XXXXXX)
trap '"$top/testenv/sandbox.sh" stop "$sandbox"; rm -rf "$sandbox"' EXIT
step() { printf '\n== %s\n' "$*"; }

step "Starting the sandbox in $sandbox"
"$top/testenv/sandbox.sh" start "$sandbox"
# shellcheck disable=SC1091
. "$sandbox/env"
export CA_FILE
ldap() { LDAPTLS_CACERT=$CA_FILE ldapsearch -x -ZZ -LLL -o ldif-wrap=no \
	-H "ldap://$LDAP_HOST:$LDAP_PORT" -D "uid=$ADMIN_LOGIN,$BASE_DN" -w "$ADMIN_PASSWORD" "$@"; }

step "newacct: creating jdoe from standard input, as a front end does (over StartTLS)"
"$newacct" <<INPUT
tls
cacert=$CA_FILE
bDN=$BASE_DN
al=$ADMIN_LOGIN
ap=$ADMIN_PASSWORD
H=$LDAP_HOST
P=$LDAP_PORT
uid=jdoe
givenname=Jürgen
sn=Doe
up=initial-password
mail=jdoe@example.org
alias=juergen
o=Example School
c=DE
street=Main Street 1
 Building B
class=users
writeglobaladdress=allowed
INPUT
echo "newacct: status 0"

step "The new entry and its related entries"
ldap -b "$BASE_DN" "(|(uid=jdoe)(uid=jdoe:system)(ou=addr)(memberUid=jdoe)(member=uid=jdoe,$BASE_DN))" \
	dn uid cn mail alias uidNumber homeDirectory memberUid member objectClass

# modacct with the session from standard input and the change from its options.
session() { printf 'tls\ncacert=%s\nbDN=%s\nal=%s\nap=%s\nH=%s\nP=%s\n' "$CA_FILE" "$BASE_DN" \
	"$ADMIN_LOGIN" "$ADMIN_PASSWORD" "$LDAP_HOST" "$LDAP_PORT"; }
logs_in() { LDAPTLS_CACERT=$CA_FILE ldapwhoami -x -ZZ -H "ldap://$LDAP_HOST:$LDAP_PORT" \
	-D "uid=jdoe,$BASE_DN" -w initial-password >/dev/null 2>&1; }

step "modacct: moving jdoe from class users to staff; first the plan (-dryrun), then the change"
{ session; printf 'uid=jdoe\nclass=staff\ndryrun\n'; } | "$modacct"
{ session; printf 'uid=jdoe\nclass=staff\n'; } | "$modacct"
echo "modacct: status 0"
ldap -b "$BASE_DN" "(|(uid=jdoe)(memberUid=jdoe))" dn plendarGroupID memberUid
[ "$(ldap -b "$BASE_DN" "(memberUid=jdoe)" dn)" = "dn: cn=staff,$BASE_DN" ] ||
	{ echo "jdoe did not move to staff" >&2; exit 1; }

step "modacct: locking jdoe (its password is kept, marked); its login then fails"
logs_in || { echo "jdoe cannot log in before the lock" >&2; exit 1; }
{ session; printf 'uid=jdoe\nlock\n'; } | "$modacct"
ldap -b "uid=jdoe,$BASE_DN" -s base "(objectClass=*)" shadowExpire phpgwAccountStatus
if logs_in; then
	echo "locked jdoe could still log in" >&2
	exit 1
fi
echo "  login as jdoe: refused (Invalid credentials)"
{ session; printf 'uid=jdoe\nunlock\n'; } | "$modacct"
logs_in || { echo "jdoe cannot log in after the unlock" >&2; exit 1; }
echo "  unlocked: login as jdoe with the old password works again"

step "Giving jdoe a mailbox with a sub-mailbox, rights on shared.projects and two Sieve scripts"
"$top/testenv/provision.py" create "$CYRUS_HOST" "$IMAP_PORT" "$SIEVE_PORT" jdoe
"$top/testenv/provision.py" show "$CYRUS_HOST" "$IMAP_PORT" "$SIEVE_PORT" jdoe

step "dropacct: removing jdoe from the directory, the Sieve server and the IMAP server (over StartTLS)"
"$dropacct" <<INPUT
ldap
imap
sieve
tls
cacert=$CA_FILE
LH=$LDAP_HOST
LP=$LDAP_PORT
CH=$CYRUS_HOST
CP=$IMAP_PORT
SP=$SIEVE_PORT
bDN=$BASE_DN
al=$ADMIN_LOGIN
ap=$ADMIN_PASSWORD
uid=jdoe
INPUT
echo "dropacct: status 0"

step "What is left of jdoe"
left=$(ldap -b "$BASE_DN" "(|(uid=jdoe)(memberUid=jdoe)(member=uid=jdoe,$BASE_DN)(deliverToUID=jdoe))" dn)
echo "  directory: ${left:-nothing}"
# The groupware address book keeps its contact card: dropacct removes the
# account, not other users' address book records.
ldap -b "o=AddressBook,$BASE_DN" "(uid=jdoe:system)" dn | sed -n 's/^dn: /  kept in the groupware address book: /p'
servers=$("$top/testenv/provision.py" show "$CYRUS_HOST" "$IMAP_PORT" "$SIEVE_PORT" jdoe)
echo "$servers"
if [ -n "$left" ] || grep -q 'mailbox.*jdoe' <<<"$servers" || grep -q 'sieve scripts' <<<"$servers"; then
	echo "something of jdoe is left" >&2
	exit 1
fi

step "syncacct: a small school, classes 10a and 10b; last year's accounts made with newacct -batch"
ldapadd() { LDAPTLS_CACERT=$CA_FILE ldapmodify -a -x -ZZ -H "ldap://$LDAP_HOST:$LDAP_PORT" \
	-D "uid=$ADMIN_LOGIN,$BASE_DN" -w "$ADMIN_PASSWORD" >/dev/null; }
printf 'dn: cn=10a,%s\nobjectClass: posixGroup\ncn: 10a\ngidNumber: 3010\n\n' "$BASE_DN" | ldapadd
printf 'dn: cn=10b,%s\nobjectClass: posixGroup\ncn: 10b\ngidNumber: 3011\n\n' "$BASE_DN" | ldapadd
(
	umask 077
	printf 'uid;sn;up;class\nanna;Adler;Pw-anna-1;10a\nben;Berg;Pw-ben-1;10a\ncara;Cramer;Pw-cara-1;10b\n' \
		>"$sandbox/school.csv"
)
{ session; printf 'o=Example School\nc=DE\ngroupware=phpgw\nbatch=%s\n' "$sandbox/school.csv"; } | "$newacct"
"$top/testenv/provision.py" create "$CYRUS_HOST" "$IMAP_PORT" "$SIEVE_PORT" cara >/dev/null
# This year's export: anna stays, ben moves to 10b, dora is new, cara left.
printf 'uid;sn;class\nanna;Adler;10a\nben;Berg;10b\ndora;Dietz;10a\n' >"$sandbox/roster.csv"
syncschool() { { session; printf 'CH=%s\nCP=%s\nSP=%s\no=Example School\nc=DE\ngroupware=phpgw\ngenpw\nscope=10*\nbatch=%s\n' \
	"$CYRUS_HOST" "$IMAP_PORT" "$SIEVE_PORT" "$sandbox/roster.csv"; printf '%s\n' "$@"; } | "$syncacct"; }
member_of() { ldap -b "$BASE_DN" "(memberUid=$1)" dn | sed -n 's/^dn: cn=\([^,]*\),.*/\1/p' | paste -sd ' '; }

step "syncacct: a leaver among four is more than 10 % of the school: the guard refuses"
refused=0
syncschool >/dev/null || refused=$?
[ "$refused" = 231 ] || { echo "the guard did not refuse (status $refused)" >&2; exit 1; }
echo "  status 231, nothing changed; -maxleavers 30 allows it"

step "syncacct -dryrun: the plan (LDIF shortened to its records), then a line per account"
syncschool maxleavers=30 dryrun | grep -E "^(#|dn: |changetype: )|$(printf '\t')"
step "syncacct: the sync (summary on standard error, one result line per account)"
umask 077
syncschool maxleavers=30 >"$sandbox/results.txt"
sed 's/\(create\t0\t\).*/\1(a made-up password for the letter)/' "$sandbox/results.txt"
[ "$(cut -f1,2,3 "$sandbox/results.txt")" = "$(printf 'dora\tcreate\t0\nben\tmove\t0\ncara\tlock\t0')" ] ||
	{ echo "the sync did not create, move and lock as planned" >&2; exit 1; }
[ "$(member_of ben)" = 10b ] && [ "$(member_of dora)" = 10a ] ||
	{ echo "ben or dora is not in the right class" >&2; exit 1; }
if LDAPTLS_CACERT=$CA_FILE ldapwhoami -x -ZZ -H "ldap://$LDAP_HOST:$LDAP_PORT" \
	-D "uid=cara,$BASE_DN" -w Pw-cara-1 >/dev/null 2>&1; then
	echo "cara, a leaver, can still log in" >&2
	exit 1
fi
echo "  ben is in $(member_of ben) and dora in $(member_of dora); cara is locked, her mail kept"
[ -z "$(syncschool maxleavers=30)" ] || { echo "the same roster again did something" >&2; exit 1; }
echo "  the same roster again: nothing to do"

step "syncacct -grace 0: last year's leavers removed from the directory, Sieve and IMAP"
syncschool maxleavers=30 grace=0
left=$(ldap -b "$BASE_DN" "(|(uid=cara)(memberUid=cara))" dn)
servers=$("$top/testenv/provision.py" show "$CYRUS_HOST" "$IMAP_PORT" "$SIEVE_PORT" cara)
echo "  directory: ${left:-nothing}"
echo "$servers"
if [ -n "$left" ] || grep -q 'mailbox.*cara' <<<"$servers" || grep -q 'sieve scripts' <<<"$servers"; then
	echo "something of cara is left" >&2
	exit 1
fi

step "All done: the sandbox stops now"
