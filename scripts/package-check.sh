#!/bin/bash
# Builds the Debian package from a build folder, checks its contents and
# dependencies, runs lintian, installs it, tries the installed programs and
# pages, and removes it again. Also checks the manual pages for warnings.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build-plain}
fail() { echo "package check: $*" >&2; exit 1; }

for page in "$top"/man/*.8; do
	warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
	[ -z "$warnings" ] || fail "$page: $warnings"
done

(cd "$build" && rm -f ./*.deb && cpack -G DEB >/dev/null 2>&1)
deb=$(ls "$build"/mailacct_*.deb)
contents=$(dpkg-deb -c "$deb")
for file in ./usr/sbin/newacct ./usr/sbin/modacct ./usr/sbin/dropacct ./usr/sbin/syncacct \
	./usr/share/man/man8/newacct.8.gz ./usr/share/man/man8/modacct.8.gz \
	./usr/share/man/man8/dropacct.8.gz ./usr/share/man/man8/syncacct.8.gz \
	./usr/share/doc/mailacct/copyright; do
	grep -q " $file\$" <<<"$contents" || fail "$file missing from the package"
done
grep -q '^-rw------- .* ./etc/mailacct.conf$' <<<"$contents" ||
	fail "/etc/mailacct.conf missing or not mode 0600"
dpkg-deb -I "$deb" conffiles | grep -qx /etc/mailacct.conf || fail "/etc/mailacct.conf is no conffile"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libsasl2-modules libldap libsasl2-2 libucommon libcrypt1; do
	grep -q "$dep" <<<"$depends" || fail "dependency $dep missing: $depends"
done
lint=$(lintian "$deb" 2>/dev/null || true)
if grep -q '^E:' <<<"$lint"; then
	fail "lintian errors: $lint"
fi
echo "package $deb: contents, dependencies and lintian fine${lint:+ (notes: $lint)}"

if [ "$(id -u)" = 0 ]; then
	dpkg -i "$deb" >/dev/null
	trap 'dpkg -P mailacct >/dev/null' EXIT
	# -V ends with status 1 by design.
	[[ "$(/usr/sbin/newacct -V || true)" == "newacct "* ]] || fail "installed newacct does not run"
	[[ "$(/usr/sbin/modacct -V || true)" == "modacct "* ]] || fail "installed modacct does not run"
	[[ "$(/usr/sbin/dropacct -V || true)" == "dropacct "* ]] || fail "installed dropacct does not run"
	[[ "$(/usr/sbin/syncacct -V || true)" == "syncacct "* ]] || fail "installed syncacct does not run"
	man -w newacct | grep -q /usr/share/man/man8/newacct.8.gz || fail "newacct(8) not found"
	man -w modacct | grep -q /usr/share/man/man8/modacct.8.gz || fail "modacct(8) not found"
	man -w dropacct | grep -q /usr/share/man/man8/dropacct.8.gz || fail "dropacct(8) not found"
	man -w syncacct | grep -q /usr/share/man/man8/syncacct.8.gz || fail "syncacct(8) not found"
	[ "$(stat -c %a /etc/mailacct.conf)" = 600 ] || fail "installed /etc/mailacct.conf is not 0600"
	echo "package installs and runs; pages found by man"
fi
