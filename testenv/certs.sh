#!/bin/bash
# Makes a throw-away PKI for the TLS tests and the sandbox with certtool:
#
#   certs.sh DIR
#
#   ca.pem, ca.key          the authority the clients are told to trust
#   server.pem, server.key  for localhost, 127.0.0.1 to 127.0.0.3 (the murder's
#                           backends) and ::1, signed by it
#   wrong.pem, wrong.key    signed by it for wrong.example only
#   expired.pem, expired.key  the server's names, valid in January 2020 only
#   other-ca.pem            an authority nobody signed with; and
#   other.pem, other.key    the server's names signed by that other one
set -euo pipefail
dir=${1:?usage: certs.sh DIR}
mkdir -p "$dir"
cd "$dir"
umask 077

authority() { # NAME CN
	certtool --generate-privkey --key-type=rsa --bits=2048 --outfile "$1.key" 2>/dev/null
	cat >"$1.tmpl" <<T
cn = "$2"
organization = "mailacct tests"
serial = $RANDOM
expiration_days = 30
ca
cert_signing_key
crl_signing_key
T
	certtool --generate-self-signed --load-privkey "$1.key" --template "$1.tmpl" \
		--outfile "$1.pem" 2>/dev/null
}

leaf() { # NAME SIGNER EXTRA-TEMPLATE-LINES
	certtool --generate-privkey --key-type=rsa --bits=2048 --outfile "$1.key" 2>/dev/null
	printf 'organization = "mailacct tests"\nserial = %s\ntls_www_server\nsigning_key\nencryption_key\n%s\n' \
		"$RANDOM" "$3" >"$1.tmpl"
	certtool --generate-certificate --load-privkey "$1.key" --load-ca-certificate "$2.pem" \
		--load-ca-privkey "$2.key" --template "$1.tmpl" --outfile "$1.pem" 2>/dev/null
}

names='cn = "localhost"
dns_name = "localhost"
ip_address = "127.0.0.1"
ip_address = "127.0.0.2"
ip_address = "127.0.0.3"
ip_address = "::1"'
authority ca "mailacct test CA"
authority other-ca "another test CA"
leaf server ca "$names
expiration_days = 30"
leaf wrong ca 'cn = "wrong.example"
dns_name = "wrong.example"
expiration_days = 30'
leaf expired ca "$names
activation_date = \"2020-01-01 00:00:00 UTC\"
expiration_date = \"2020-01-02 00:00:00 UTC\""
leaf other other-ca "$names
expiration_days = 30"
rm -f ./*.tmpl
chmod 644 ./*.pem
