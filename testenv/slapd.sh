#!/bin/bash
# Starts and stops private OpenLDAP servers for the tests and the sandbox.
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
#   slapd.sh start-pair DIR       two providers of o=site in DIR/a (serverID 1)
#                                 and DIR/b (serverID 2), each a delta-syncrepl
#                                 consumer of the other, seeded alike (same
#                                 entryUUIDs); prints "PORT_A PORT_B" once an
#                                 entry has made the trip both ways.
#   slapd.sh start-consumer DIR PROVIDER_PORT
#                                 a read-only replica of the provider on that
#                                 port, which refers writes to it; prints its
#                                 port once the seed has arrived.
#   slapd.sh stop DIR             stops the server(s) in DIR by their PIDs
#   slapd.sh kill DIR             the same without a clean shutdown, for
#                                 throw-away test instances (a clean stop
#                                 takes slapd about two seconds)
#
# Base DN o=site, administrator uid=admin,o=site with password "secret";
# the replicas bind to each other as cn=root,o=site (password "secret").
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
usage="usage: slapd.sh start|start-pair|start-consumer|stop|kill DIR [...]"
cmd=${1:?$usage}
dir=${2:?$usage}
shift 2
export LDAPNOINIT=1

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Writes DIR/slapd.conf: the schema, the mdb database of o=site with the
# access rules, and GLOBAL / DATABASE extra lines (replication).
write_conf() {
	local dir=$1 global=$2 database=$3 tls_conf= security_conf=
	if [ -n "${TLS_CERTS:-}" ]; then
		local name=${TLS_CERT_NAME:-server}
		mkdir -p "$dir/tls"
		cp "$TLS_CERTS/ca.pem" "$TLS_CERTS/$name.pem" "$TLS_CERTS/$name.key" "$dir/tls/"
		tls_conf="TLSCACertificateFile $dir/tls/ca.pem
TLSCertificateFile $dir/tls/$name.pem
TLSCertificateKeyFile $dir/tls/$name.key
TLSVerifyClient never"
	fi
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
$global

database mdb
suffix "o=site"
# The uniqueness overlay needs one to search; replicas bind as it.
rootdn "cn=root,o=site"
directory $dir/db
maxsize 4294967296
index objectClass,uid,memberUid,deliverToUID,alias,member eq
index uidNumber,entryCSN,entryUUID eq
$database

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
}

# Starts slapd on DIR/slapd.conf on a free port (and an ldaps one with TLS);
# writes DIR/port and sets $port.
launch() {
	local dir=$1 urls
	for attempt in 1 2 3 4 5; do
		port=$(free_port)
		urls="ldap://127.0.0.1:$port/"
		if grep -q '^TLSCertificateFile' "$dir/slapd.conf"; then
			local ldaps_port
			ldaps_port=$(free_port)
			urls="$urls ldaps://127.0.0.1:$ldaps_port/"
			echo "$ldaps_port" >"$dir/ldaps-port"
		fi
		slapd -f "$dir/slapd.conf" -h "$urls" -s 0 >"$dir/slapd.log" 2>&1 || true
		for _ in $(seq 50); do
			# An anonymous search answers even where binds need TLS.
			if ldapsearch -x -H "ldap://127.0.0.1:$port" -s base -b "" 1.1 >/dev/null 2>&1; then
				echo "$port" >"$dir/port"
				return 0
			fi
			sleep 0.05
		done
		stop_by_pidfile "$dir/slapd.pid"
	done
	echo "slapd did not start; see $dir/slapd.log" >&2
	return 1
}

seed() { # DIR [slapadd options] < LDIF
	local dir=$1
	shift
	slapadd -q -f "$dir/slapd.conf" -b o=site "$@" >"$dir/slapadd.log" 2>&1 ||
		{ cat "$dir/slapadd.log" >&2; exit 1; }
}

# The accesslog database and the syncrepl of a delta-syncrepl replica of the
# server on PORT (serverID ID).
replica_global() {
	cat <<CONF
moduleload syncprov
moduleload accesslog
serverID $1

database mdb
suffix "cn=accesslog"
directory $2/accesslog
index default eq
index entryCSN,objectClass,reqEnd,reqResult,reqStart,reqDN eq
access to * by dn.exact="cn=root,o=site" read by * none
overlay syncprov
syncprov-nopresent TRUE
syncprov-reloadhint TRUE
CONF
}

replica_syncrepl() { # PROVIDER_PORT
	cat <<CONF
rootpw secret
syncrepl rid=001 provider=ldap://127.0.0.1:$1 bindmethod=simple binddn="cn=root,o=site"
	credentials=secret searchbase="o=site" scope=sub type=refreshAndPersist
	retry="1 +" timeout=3 network-timeout=3
	logbase="cn=accesslog" logfilter="(&(objectClass=auditWriteObject)(reqResult=0))"
	syncdata=accesslog
CONF
}

provider_overlays() {
	cat <<CONF
overlay syncprov
syncprov-checkpoint 100 1
overlay accesslog
logdb cn=accesslog
logops writes
logsuccess TRUE
logpurge 07+00:00 01+00:00
CONF
}

case "$cmd" in
start)
	mkdir -p "$dir/db"
	dir=$(cd "$dir" && pwd)
	[ -f "$dir/tls.env" ] && . "$dir/tls.env"
	write_conf "$dir" "" ""
	for ldif in "$here/seed.ldif" "$@"; do cat "$ldif"; echo; done | seed "$dir"
	launch "$dir"
	echo "$port"
	;;
start-pair)
	mkdir -p "$dir/a/db" "$dir/a/accesslog" "$dir/b/db" "$dir/b/accesslog"
	dir=$(cd "$dir" && pwd)
	# The ports are chosen first: each provider's configuration names the other.
	port_a=$(free_port)
	port_b=$(free_port)
	while [ "$port_b" = "$port_a" ]; do port_b=$(free_port); done
	write_conf "$dir/a" "$(replica_global 1 "$dir/a")" \
		"$(replica_syncrepl "$port_b")
multiprovider on
$(provider_overlays)"
	write_conf "$dir/b" "$(replica_global 2 "$dir/b")" \
		"$(replica_syncrepl "$port_a")
multiprovider on
$(provider_overlays)"
	seed "$dir/a" -S 1 -w <"$here/seed.ldif"
	slapcat -f "$dir/a/slapd.conf" -b o=site 2>/dev/null | seed "$dir/b" -w
	for node in a b; do
		want=$([ $node = a ] && echo "$port_a" || echo "$port_b")
		slapd -f "$dir/$node/slapd.conf" -h "ldap://127.0.0.1:$want/" -s 0 \
			>"$dir/$node/slapd.log" 2>&1 || { echo "slapd $node did not start" >&2; exit 1; }
		echo "$want" >"$dir/$node/port"
	done
	# Ready once an entry added on A shows on B and its removal on B shows on A.
	probe="cn=probe-$$,o=site"
	bind=(-x -D uid=admin,o=site -w secret)
	for _ in $(seq 100); do
		ldapadd "${bind[@]}" -H "ldap://127.0.0.1:$port_a" >/dev/null 2>&1 <<LDIF && break
dn: $probe
objectClass: organizationalRole
cn: probe-$$
LDIF
		sleep 0.05
	done
	for _ in $(seq 200); do
		ldapdelete "${bind[@]}" -H "ldap://127.0.0.1:$port_b" "$probe" >/dev/null 2>&1 && break
		sleep 0.05
	done
	for _ in $(seq 200); do
		ldapsearch "${bind[@]}" -H "ldap://127.0.0.1:$port_a" -b "$probe" -s base 1.1 \
			>/dev/null 2>&1 || { echo "$port_a $port_b"; exit 0; }
		sleep 0.05
	done
	echo "the providers do not replicate; see $dir/*/slapd.log" >&2
	"$0" kill "$dir"
	exit 1
	;;
start-consumer)
	provider=${1:?usage: slapd.sh start-consumer DIR PROVIDER_PORT}
	mkdir -p "$dir/db"
	dir=$(cd "$dir" && pwd)
	write_conf "$dir" "moduleload syncprov" \
		"syncrepl rid=002 provider=ldap://127.0.0.1:$provider bindmethod=simple
	binddn=\"cn=root,o=site\" credentials=secret searchbase=\"o=site\" scope=sub
	type=refreshAndPersist retry=\"1 +\" timeout=3 network-timeout=3
updateref ldap://127.0.0.1:$provider"
	launch "$dir"
	for _ in $(seq 200); do
		if ldapsearch -x -D uid=admin,o=site -w secret -H "ldap://127.0.0.1:$port" \
			-b uid=alice,o=site -s base 1.1 >/dev/null 2>&1; then
			echo "$port"
			exit 0
		fi
		sleep 0.05
	done
	echo "the consumer did not fill; see $dir/slapd.log" >&2
	exit 1
	;;
stop | kill)
	for pidfile in "$dir/slapd.pid" "$dir"/*/slapd.pid; do
		[ -f "$pidfile" ] || continue
		if [ "$cmd" = stop ]; then
			stop_by_pidfile "$pidfile"
		else
			kill -9 "$(cat "$pidfile")" 2>/dev/null || true
			rm -f "$pidfile"
		fi
	done
	;;
*)
	echo "$usage" >&2
	exit 2
	;;
esac
