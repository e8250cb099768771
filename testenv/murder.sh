#!/bin/bash
# Starts and stops a private Cyrus murder on this machine (run as root): a
# mupdate master, two backends and a frontend, each its own Cyrus instance.
#
#   murder.sh start DIR   prints the connection parameters, also written to
#                         DIR/murder.env:
#     MURDER_FE_IMAP_PORT        the frontend's IMAP (127.0.0.1)
#     MURDER_FE_SIEVE_PORT       its Sieve service, which refers a user's
#                                session to the user's backend (Cyrus's default)
#     MURDER_FE_SIEVEPROXY_PORT  a second Sieve service that proxies instead
#                                (sieve_allowreferrals: 0)
#     MURDER_A, MURDER_B         the backends' addresses (127.0.0.2, 127.0.0.3)
#   murder.sh stop DIR    stops every instance by its master's PID
#
# Each backend listens on its own loopback address on the standard ports of
# /etc/services (imap 143, sieve 4190) with that address as its server name:
# the frontend reaches a backend by server name and service name, and a
# Sieve referral names the server name without a port, so no name mapping
# is needed anywhere. Fixed ports mean one murder per machine at a time.
# Administrator "admin" / "secret" everywhere; delete_mode is Cyrus's
# default (delayed). Set MURDER_TLS_CERTS (a folder made by certs.sh) to
# give every instance STARTTLS with the certificate "server".
set -euo pipefail
cmd=${1:?usage: murder.sh start|stop DIR}
dir=${2:?usage: murder.sh start|stop DIR}
bin=/usr/lib/cyrus/bin
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

instances="frontend backend-b backend-a mupdate"

# Writes DIR/NAME/imapd.conf and cyrus.conf: SERVERNAME, extra imapd.conf
# lines, SERVICES entries and START entries.
instance() {
	local name=$1 servername=$2 conf=$3 services=$4 start=$5
	local d=$dir/$name
	mkdir -p "$d/config/socket" "$d/spool" "$d/sieve"
	cat >"$d/imapd.conf" <<CONF
configdirectory: $d/config
defaultpartition: default
partition-default: $d/spool
sievedir: $d/sieve
servername: $servername
admins: admin
allowplaintext: yes
sasl_pwcheck_method: auxprop
sasl_auxprop_plugin: sasldb
sasl_sasldb_path: $d/sasldb2
sasl_mech_list: PLAIN LOGIN
unixhierarchysep: no
altnamespace: no
failedloginpause: 0
virtdomains: off
idlesocket: $d/config/socket/idle
notifysocket: $d/config/socket/notify
lmtpsocket: $d/config/socket/lmtp
$conf
CONF
	cat >"$d/cyrus.conf" <<CONF
START {
  recover cmd="$bin/ctl_cyrusdb -C $d/imapd.conf -r"
$start
}
SERVICES {
$services
}
EVENTS {
}
DAEMON {
}
CONF
	printf '%s' secret | saslpasswd2 -p -c -f "$d/sasldb2" -u "$servername" admin
}

run_master() {
	local d=$dir/$1
	chown -R cyrus:mail "$d"
	setsid "$bin/master" -C "$d/imapd.conf" -M "$d/cyrus.conf" -p "$d/master.pid" -D \
		</dev/null >"$d/master.log" 2>&1 &
}

# Waits until HOST:PORT greets.
greets() {
	for _ in $(seq 100); do
		if python3 - "$1" "$2" <<'PY' 2>/dev/null; then
import socket, sys
s = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=1)
s.settimeout(2)
if not s.recv(100):
    raise SystemExit(1)
PY
			return 0
		fi
		sleep 0.1
	done
	echo "no greeting from $1:$2; see $dir/*/master.log" >&2
	return 1
}

case "$cmd" in
start)
	mkdir -p "$dir"
	dir=$(cd "$dir" && pwd)
	chmod 755 "$dir"
	mupdate_port=$(free_port)
	fe_imap=$(free_port)
	fe_sieve=4190  # the referral names no port: the client keeps its own
	fe_proxy=$(free_port)
	tls_conf=
	if [ -n "${MURDER_TLS_CERTS:-}" ]; then
		mkdir -p "$dir/tls"
		cp "$MURDER_TLS_CERTS"/server.pem "$MURDER_TLS_CERTS"/server.key "$dir/tls/"
		tls_conf="tls_server_cert: $dir/tls/server.pem
tls_server_key: $dir/tls/server.key
tls_client_certs: off"
	fi
	murder="$tls_conf
mupdate_server: 127.0.0.1:$mupdate_port
mupdate_authname: admin
mupdate_password: secret
proxy_authname: admin
proxy_password: secret"
	instance mupdate mupdate-master "" \
		"  mupdate cmd=\"$bin/mupdate -m -C $dir/mupdate/imapd.conf\" listen=\"127.0.0.1:$mupdate_port\" prefork=1" ""
	for backend in a b; do
		address=$([ $backend = a ] && echo 127.0.0.2 || echo 127.0.0.3)
		conf=$dir/backend-$backend/imapd.conf
		instance "backend-$backend" "$address" "$murder
proxyservers: admin" \
			"  imap cmd=\"$bin/imapd -C $conf\" listen=\"$address:imap\" prefork=0
  sieve cmd=\"$bin/timsieved -C $conf\" listen=\"$address:sieve\" prefork=0
  lmtpunix cmd=\"$bin/lmtpd -C $conf\" listen=\"$dir/backend-$backend/config/socket/lmtp\" prefork=0" \
			"  mboxlist cmd=\"$bin/ctl_mboxlist -C $conf -m\""
	done
	conf=$dir/frontend/imapd.conf
	# A frontend is a server with mupdate_server and without proxyservers.
	instance frontend frontend "$murder
serverlist: 127.0.0.2 127.0.0.3
sieveproxy_sieve_allowreferrals: 0" \
		"  imap cmd=\"$bin/imapd -C $conf\" listen=\"127.0.0.1:$fe_imap\" prefork=0
  sieve cmd=\"$bin/timsieved -C $conf\" listen=\"127.0.0.1:$fe_sieve\" prefork=0
  sieveproxy cmd=\"$bin/timsieved -C $conf\" listen=\"127.0.0.1:$fe_proxy\" prefork=0
  mupdate cmd=\"$bin/mupdate -C $conf\" listen=\"$dir/frontend/config/socket/mupdate\" prefork=1" ""
	[ -d "$dir/tls" ] && chown -R cyrus:mail "$dir/tls"
	run_master mupdate
	greets 127.0.0.1 "$mupdate_port"
	for backend in a b; do
		run_master "backend-$backend"
	done
	greets 127.0.0.2 143 && greets 127.0.0.2 4190 && greets 127.0.0.3 143 && greets 127.0.0.3 4190
	run_master frontend
	greets 127.0.0.1 "$fe_imap" && greets 127.0.0.1 "$fe_sieve" && greets 127.0.0.1 "$fe_proxy"
	# The frontend's mupdate copy is ready once its slave has connected.
	for _ in $(seq 100); do
		[ -S "$dir/frontend/config/socket/mupdate.target" ] && break
		sleep 0.1
	done
	cat >"$dir/murder.env" <<ENV
MURDER_FE_IMAP_PORT=$fe_imap
MURDER_FE_SIEVE_PORT=$fe_sieve
MURDER_FE_SIEVEPROXY_PORT=$fe_proxy
MURDER_A=127.0.0.2
MURDER_B=127.0.0.3
ENV
	cat "$dir/murder.env"
	;;
stop)
	for name in $instances; do
		stop_by_pidfile "$dir/$name/master.pid"
	done
	;;
*)
	echo "usage: murder.sh start|stop DIR" >&2
	exit 2
	;;
esac
