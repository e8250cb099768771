#!/bin/bash
# Runs a full create, change and remove cycle over TLS (newacct, modacct,
# then dropacct -ldap -imap -sieve) under valgrind's memcheck against a
# private sandbox, and fails on any memory error or leak of ours.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build-plain}
sandbox=$(mktemp -d /tmp/mailacct-memcheck-XXXXXX)
finish() {
	status=$?
	[ "$status" = 0 ] || cat "$sandbox"/valgrind.*.log >&2 2>/dev/null || true
	"$top/testenv/sandbox.sh" stop "$sandbox"
	rm -rf "$sandbox"
	exit "$status"
}
trap finish EXIT
"$top/testenv/sandbox.sh" start "$sandbox" >/dev/null
. "$sandbox/env"
memcheck=(valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect
	--errors-for-leak-kinds=definite,indirect --error-exitcode=99
	--log-file="$sandbox/valgrind.%p.log")
export LDAPNOINIT=1 CA_FILE

printf 'tls\ncacert=%s\nbDN=%s\nal=%s\nap=%s\nH=%s\nP=%s\nuid=vg\nsn=Grind\ngivenname=Val\nup=pw\nmail=vg@example.org\nalias=valg\no=O\nc=DE\nclass=users\nwriteglobaladdress=allowed\n' \
	"$CA_FILE" "$BASE_DN" "$ADMIN_LOGIN" "$ADMIN_PASSWORD" "$LDAP_HOST" "$LDAP_PORT" |
	"${memcheck[@]}" "$build/newacct/newacct"
printf 'tls\ncacert=%s\nbDN=%s\nal=%s\nap=%s\nH=%s\nP=%s\nuid=vg\nclass=staff\nsn=Grinder\naddalias=vgx\nlock\ndebug\n' \
	"$CA_FILE" "$BASE_DN" "$ADMIN_LOGIN" "$ADMIN_PASSWORD" "$LDAP_HOST" "$LDAP_PORT" |
	"${memcheck[@]}" "$build/modacct/modacct" 2>"$sandbox/modacct-trace"
"$top/testenv/provision.py" create "$CYRUS_HOST" "$IMAP_PORT" "$SIEVE_PORT" vg
"${memcheck[@]}" "$build/dropacct/dropacct" -ldap -imap -sieve -debug -tls -cacert "$CA_FILE" -LH "$LDAP_HOST" \
	-LP "$LDAP_PORT" -CH "$CYRUS_HOST" -CP "$IMAP_PORT" -SP "$SIEVE_PORT" -bDN "$BASE_DN" \
	-al "$ADMIN_LOGIN" -ap "$ADMIN_PASSWORD" -uid vg 2>"$sandbox/trace"
echo "memcheck: create, change and remove cycle clean (no error, no leak)"
