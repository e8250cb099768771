#!/bin/bash
# Installs the Debian 12 packages needed to build and try the programs, and
# with --test those the test suite needs too; packages already present are
# left alone.
set -euo pipefail
packages=(
	g++ cmake make pkg-config python3
	libldap-dev libucommon-dev libsasl2-dev libsasl2-modules libcrypt-dev
	libgtest-dev libgnutls28-dev libcsv-dev
	slapd ldap-utils cyrus-imapd cyrus-murder sasl2-bin gnutls-bin netbase
	locales man-db groff-base
)
if [ "${1:-}" = --test ]; then
	packages+=(lintian clang-14 libclang-rt-14-dev valgrind)
fi
missing=()
for p in "${packages[@]}"; do
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
	if [ "$(id -u)" != 0 ]; then
		echo "missing packages: ${missing[*]}; run as root (or with sudo)" >&2
		exit 1
	fi
	export DEBIAN_FRONTEND=noninteractive
	apt-get update -qq
	apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The packages start their system daemons where they can; ours run privately.
for daemon in slapd cyrus-imapd; do
	if command -v service >/dev/null 2>&1; then service "$daemon" stop >/dev/null 2>&1 || true; fi
done
