#!/bin/bash
# Starts and stops a private OpenLDAP server for the tests and the sandbox.
#
#   slapd.sh start DIR [LDIF...]  fresh database in DIR from the seed (and the
#                                 extra LDIF files), served on a free loopback
#                                 port; prints the port and writes DIR/port.
#                                 Access rules in DIR/extra-acl.conf, when the
#                                 file exists, come before the standard ones
#                                 (tests use them to refuse one operation).
#                                 Lines in DIR/extra-db.conf end the database
#                                 section (overlays such as testenv/unique.conf).
#                                 With TLS_CERTS (a folder made by certs.sh)
#                                 it offers StartTLS and listens for ldaps on
#                                 a second port (DIR/ldaps-port), with the
#                                 certificate TLS_CERT_NAME (server); with
#                                 SLAPD_SECURITY (e.g. simple_bind=128) it
#                                 refuses binds without TLS. DIR/tls.env may
#                                 set these instead of the environment.
#   slapd.sh stop DIR             stops that server by its PID
#   slapd.sh kill DIR             the same without a clean shutdown, for
#                                 throw-away test instances (a clean stop
#                                 takes slapd about two seconds)
#
# Base DN o=site, administrator uid=admin,o=site with password "secret".
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cmd=${1:?usage: slapd.sh start|stop|kill DIR [LDIF...]}
dir=${2:?usage: slapd.sh start|stop|kill DIR [LDIF...]}
shift 2
export LDAPNOINIT=1

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

case "$cmd" in
start)
	mkdir -p "$dir/db"
	dir=$(cd "$dir" && pwd)
	[ -f "$dir/tls.env" ] && . "$dir/tls.env"
	tls_conf=
	if [ -n "${TLS_CERTS:-}" ]; then
		name=${TLS_CERT_NAME:-server}
		mkdir -p "$dir/tls"
		cp "$TLS_CERTS/ca.pem" "$TLS_CERTS/$name.pem" "$TLS_CERTS/$name.key" "$dir/tls/"
		tls_conf="TLSCACertificateFile $dir/tls/ca.pem
TLSCertificateFile $dir/tls/$name.pem
TLSCertificateKeyFile $dir/tls/$name.key
TLSVerifyClient never"
	fi
	security_conf=
	[ -n "${SLAPD_SECURITY:-}" ] && security_conf="security $SLAPD_SECURITY"
	cat >"$dir/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
include /etc/ldap/schema/nis.schema
include $here/mailaccount.schema
pidfile $dir/slapd.pid
argsfile $dir/slapd.args
modulepath /usr/lib/ldap
moduleload back_mdb
moduleload unique
sizelimit unlimited
$tls_conf
$security_conf

database mdb
suffix "o=site"
# Nobody binds as it (no rootpw); the uniqueness overlay needs one to search.
rootdn "cn=root,o=site"
directory $dir/db
maxsize 4294967296
index objectClass,uid,memberUid,deliverToUID,alias,member eq
index uidNumber eq

$(cat "$dir/extra-acl.conf" 2>/dev/null || true)
# Entries named cn=readonly-* refuse every change, the administrator's too:
# tests load them with slapadd to provoke refused modifications.
access to dn.regex="^cn=readonly-[^,]*,o=site\$"
	by * read
access to attrs=userPassword
	by dn.exact="uid=admin,o=site" manage
	by self write
	by anonymous auth
	by * none
access to *
	by dn.exact="uid=admin,o=site" manage
	by dynacl/aci
	by users read
	by * none
$(cat "$dir/extra-db.conf" 2>/dev/null || true)
CONF
	for ldif in "$here/seed.ldif" "$@"; do cat "$ldif"; echo; done | slapadd -q -f "$dir/slapd.conf" >"$dir/slapadd.log" 2>&1 ||
		{ cat "$dir/slapadd.log" >&2; exit 1; }
	for attempt in 1 2 3 4 5; do
		port=$(free_port)
		urls="ldap://127.0.0.1:$port/"
		if [ -n "$tls_conf" ]; then
			ldaps_port=$(free_port)
			urls="$urls ldaps://127.0.0.1:$ldaps_port/"
			echo "$ldaps_port" >"$dir/ldaps-port"
		fi
		slapd -f "$dir/slapd.conf" -h "$urls" -s 0 >"$dir/slapd.log" 2>&1 || true
		for _ in $(seq 50); do
			# An anonymous search answers even where binds need TLS.
			if ldapsearch -x -H "ldap://127.0.0.1:$port" -s base -b "" 1.1 >/dev/null 2>&1; then
				echo "$port" >"$dir/port"
				echo "$port"
				exit 0
			fi
			sleep 0.05
		done
		"$0" stop "$dir" || true
	done
	echo "slapd did not start; see $dir/slapd.log" >&2
	exit 1
	;;
stop)
	stop_by_pidfile "$dir/slapd.pid"
	;;
kill)
	[ -f "$dir/slapd.pid" ] || exit 0
	kill -9 "$(cat "$dir/slapd.pid")" 2>/dev/null || true
	rm -f "$dir/slapd.pid"
	;;
*)
	echo "usage: slapd.sh start|stop|kill DIR [LDIF...]" >&2
	exit 2
	;;
esac
