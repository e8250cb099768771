#!/bin/bash
# Starts and stops a private Cyrus IMAP server with its Sieve service for
# the tests and the sandbox (run as root: Cyrus's master binds, then becomes
# user cyrus, group mail).
#
#   cyrus.sh start DIR   fresh instance in DIR on two free loopback ports;
#                        prints "IMAPPORT SIEVEPORT" and writes DIR/ports
#   cyrus.sh adduser DIR USER PASSWORD   adds a SASL user (the admin is
#                        "admin" with password "secret")
#   cyrus.sh stop DIR    stops it (and its saslauthd) by their PIDs
#
# With TLS_CERTS (a folder made by certs.sh) it offers STARTTLS on both
# services and imaps on a third port (DIR/ports then holds three numbers),
# with the certificate TLS_CERT_NAME (server); CYRUS_PLAINTEXT=no refuses
# logins without TLS. Two more services (IMAP and Sieve, DIR/admin-ports)
# always take plain logins: the test helpers prepare and inspect the server
# through them.
# DIR/tls.env may set these instead of the environment.
#
# With CYRUS_AUTH_LDAP (the URL of a directory with base DN o=site that takes
# clear-text binds, e.g. ldap://127.0.0.1:PORT/ of a slapd.sh server) Cyrus
# checks passwords as a school server does: through a private saslauthd
# (-a ldap; configuration DIR/saslauthd.conf, socket folder DIR/saslauthd,
# log DIR/saslauthd.log) that finds the entry (uid=USER) below o=site and
# binds as it. Whatever makes the directory refuse that bind refuses the IMAP
# and Sieve login. saslauthd searches as the directory's administrator
# uid=admin,o=site ("secret"), who is also Cyrus's admin; users are added to
# the directory, not with adduser. Credentials are not cached, so a change
# in the directory counts from the next login.
set -euo pipefail
cmd=${1:?usage: cyrus.sh start|adduser|stop DIR}
dir=${2:?usage: cyrus.sh start|adduser|stop DIR}
bin=/usr/lib/cyrus/bin
servername=mailhost

. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

auth_base=o=site
auth_admin_dn=uid=admin,$auth_base

adduser() {
	if [ -f "$1/saslauthd.conf" ]; then
		echo "$1 checks logins against the directory: add the user there" >&2
		exit 2
	fi
	printf '%s' "$3" | saslpasswd2 -p -c -f "$1/sasldb2" -u "$servername" "$2"
	chown cyrus:mail "$1/sasldb2"
	chmod 640 "$1/sasldb2"
}

# Starts the private saslauthd of DIR against the directory at URL, records
# its PID in DIR/saslauthd.pid, and waits until it accepts the administrator.
start_saslauthd() {
	local dir=$1 url=$2 pid
	# Only Cyrus (group mail) may ask it.
	install -d -o root -g mail -m 750 "$dir/saslauthd"
	# The search identity's password is in it.
	(umask 077 && cat >"$dir/saslauthd.conf") <<CONF
ldap_servers: $url
ldap_search_base: $auth_base
ldap_scope: sub
ldap_filter: (uid=%u)
ldap_auth_method: bind
ldap_bind_dn: $auth_admin_dn
ldap_password: secret
ldap_timeout: 5
ldap_time_limit: 5
CONF
	# In the foreground (-d), so that its PID is $!, and in a session of its
	# own: on TERM it stops its workers with kill(0, SIGTERM), which would
	# hit every process of the caller's group. LDAPNOINIT keeps the
	# machine's ldap.conf out of it.
	LDAPNOINIT=1 setsid saslauthd -d -a ldap -O "$dir/saslauthd.conf" -m "$dir/saslauthd" -n 2 \
		</dev/null >"$dir/saslauthd.log" 2>&1 &
	pid=$!
	echo "$pid" >"$dir/saslauthd.pid"
	for _ in $(seq 100); do
		kill -0 "$pid" 2>/dev/null || break
		if [ -S "$dir/saslauthd/mux" ] &&
			testsaslauthd -f "$dir/saslauthd/mux" -u admin -p secret >/dev/null 2>&1; then
			return 0
		fi
		sleep 0.05
	done
	echo "saslauthd does not accept admin/secret from $url; see $dir/saslauthd.log" >&2
	return 1
}

case "$cmd" in
start)
	mkdir -p "$dir"
	dir=$(cd "$dir" && pwd)
	mkdir -p "$dir/config" "$dir/spool" "$dir/sieve" "$dir/socket" "$dir/config/lock" \
		"$dir/config/proc" "$dir/config/db" "$dir/config/log"
	[ -f "$dir/tls.env" ] && . "$dir/tls.env"
	imap_port=$(free_port)
	sieve_port=$(free_port)
	admin_port=$(free_port)
	admin_sieve_port=$(free_port)
	tls_conf=
	tls_service=
	ports="$imap_port $sieve_port"
	if [ -n "${TLS_CERTS:-}" ]; then
		name=${TLS_CERT_NAME:-server}
		imaps_port=$(free_port)
		ports="$ports $imaps_port"
		mkdir -p "$dir/tls"
		cp "$TLS_CERTS/ca.pem" "$TLS_CERTS/$name.pem" "$TLS_CERTS/$name.key" "$dir/tls/"
		tls_conf="tls_server_cert: $dir/tls/$name.pem
tls_server_key: $dir/tls/$name.key
tls_client_certs: off"
		tls_service="imaps cmd=\"$bin/imapd -s -C $dir/imapd.conf\" listen=\"127.0.0.1:$imaps_port\" prefork=0"
	fi
	auth_conf="sasl_pwcheck_method: auxprop
sasl_auxprop_plugin: sasldb
sasl_sasldb_path: $dir/sasldb2"
	if [ -n "${CYRUS_AUTH_LDAP:-}" ]; then
		auth_conf="sasl_pwcheck_method: saslauthd
sasl_saslauthd_path: $dir/saslauthd/mux"
	fi
	cat >"$dir/imapd.conf" <<CONF
configdirectory: $dir/config
defaultpartition: default
partition-default: $dir/spool
sievedir: $dir/sieve
servername: $servername
admins: admin
allowplaintext: ${CYRUS_PLAINTEXT:-yes}
adminplain_allowplaintext: yes
adminsieve_allowplaintext: yes
$tls_conf
$auth_conf
sasl_mech_list: PLAIN LOGIN
unixhierarchysep: no
altnamespace: no
failedloginpause: 0
delete_mode: immediate
virtdomains: off
idlesocket: $dir/socket/idle
notifysocket: $dir/socket/notify
lmtpsocket: $dir/socket/lmtp
CONF
	cat >"$dir/cyrus.conf" <<CONF
START {
  recover cmd="$bin/ctl_cyrusdb -C $dir/imapd.conf -r"
}
SERVICES {
  imap cmd="$bin/imapd -C $dir/imapd.conf" listen="127.0.0.1:$imap_port" prefork=0
  sieve cmd="$bin/timsieved -C $dir/imapd.conf" listen="127.0.0.1:$sieve_port" prefork=0
  adminplain cmd="$bin/imapd -C $dir/imapd.conf" listen="127.0.0.1:$admin_port" prefork=0
  adminsieve cmd="$bin/timsieved -C $dir/imapd.conf" listen="127.0.0.1:$admin_sieve_port" prefork=0
  $tls_service
}
EVENTS {
}
DAEMON {
}
CONF
	if [ -z "${CYRUS_AUTH_LDAP:-}" ]; then
		adduser "$dir" admin secret
	fi
	chown -R cyrus:mail "$dir"
	if ! runuser -u cyrus -- test -r "$dir/imapd.conf"; then
		echo "user cyrus cannot reach $dir: every folder above it must be searchable" >&2
		exit 1
	fi
	if [ -n "${CYRUS_AUTH_LDAP:-}" ] && ! start_saslauthd "$dir" "$CYRUS_AUTH_LDAP"; then
		"$0" stop "$dir" || true
		exit 1
	fi
	setsid "$bin/master" -C "$dir/imapd.conf" -M "$dir/cyrus.conf" -p "$dir/master.pid" -D \
		</dev/null >"$dir/master.log" 2>&1 &
	for _ in $(seq 100); do
		if python3 - "$imap_port" "$sieve_port" "$admin_port" "$admin_sieve_port" <<'PY' 2>/dev/null; then
import socket, sys
for port in sys.argv[1:]:  # every service answers
    s = socket.create_connection(("127.0.0.1", int(port)), timeout=1)
    s.settimeout(2)
    if not s.recv(100):
        raise SystemExit(1)
PY
			echo "$ports" >"$dir/ports"
			echo "$admin_port $admin_sieve_port" >"$dir/admin-ports"
			echo "$ports"
			exit 0
		fi
		sleep 0.1
	done
	echo "Cyrus did not start; see $dir/master.log" >&2
	"$0" stop "$dir" || true
	exit 1
	;;
adduser)
	adduser "$dir" "${3:?user}" "${4:?password}"
	;;
stop)
	# Side by side: each waits until its process is gone.
	stop_by_pidfile "$dir/saslauthd.pid" &
	stop_by_pidfile "$dir/master.pid"
	wait
	;;
*)
	echo "usage: cyrus.sh start|adduser|stop DIR" >&2
	exit 2
	;;
esac
