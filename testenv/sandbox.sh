#!/bin/bash
# A private sandbox to try the programs by hand: the test suite's own slapd
# and Cyrus IMAP + Sieve servers, on loopback, in one folder (run as root).
# Both offer TLS with certificates of an authority made at start-up
# (DIR/certs/ca.pem) and, as production servers do, refuse logins without
# it; SANDBOX_PLAIN=1 lets them take clear-text logins too.
#
#   sandbox.sh start DIR   starts both servers and prints how to reach them
#   sandbox.sh info DIR    prints the connection parameters again
#   sandbox.sh stop DIR    stops both servers (the folder stays)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cmd=${1:?usage: sandbox.sh start|info|stop DIR}
dir=${2:?usage: sandbox.sh start|info|stop DIR}

info() {
	read -r imap_port sieve_port imaps_port <"$dir/cyrus/ports"
	cat <<INFO
LDAP_HOST=127.0.0.1
LDAP_PORT=$(cat "$dir/ldap/port")
LDAPS_PORT=$(cat "$dir/ldap/ldaps-port")
CYRUS_HOST=127.0.0.1
IMAP_PORT=$imap_port
IMAPS_PORT=$imaps_port
SIEVE_PORT=$sieve_port
CA_FILE=$dir/certs/ca.pem
BASE_DN=o=site
ADMIN_LOGIN=admin
ADMIN_PASSWORD=secret
INFO
}

case "$cmd" in
start)
	mkdir -p "$dir"
	dir=$(cd "$dir" && pwd)
	chmod 755 "$dir"  # Cyrus runs as user cyrus and must reach its folder
	"$here/certs.sh" "$dir/certs"
	export TLS_CERTS=$dir/certs
	if [ "${SANDBOX_PLAIN:-}" != 1 ]; then
		export SLAPD_SECURITY=simple_bind=128 CYRUS_PLAINTEXT=no
	fi
	"$here/slapd.sh" start "$dir/ldap" >/dev/null
	if ! "$here/cyrus.sh" start "$dir/cyrus" >/dev/null; then
		"$here/slapd.sh" stop "$dir/ldap"
		exit 1
	fi
	info | tee "$dir/env"
	;;
info)
	info
	;;
stop)
	"$here/cyrus.sh" stop "$dir/cyrus"
	"$here/slapd.sh" stop "$dir/ldap"
	;;
*)
	echo "usage: sandbox.sh start|info|stop DIR" >&2
	exit 2
	;;
esac
