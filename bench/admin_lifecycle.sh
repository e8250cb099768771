#!/bin/bash
# What an administrator would script without newacct and dropacct, for one
# account and the same work: the same searches, entries and changes in the
# directory with ldap-utils, the ACL sweep and mailbox deletion with cyradm,
# the script deletion with sieveshell.
#
#   admin_lifecycle.sh create|remove UID   (connection settings from the
#                                           sandbox's env file in $SANDBOX_ENV)
set -euo pipefail
. "$SANDBOX_ENV"
action=$1
uid=$2
url="ldap://$LDAP_HOST:$LDAP_PORT"
bind=(-x -H "$url" -D "uid=$ADMIN_LOGIN,$BASE_DN" -w "$ADMIN_PASSWORD")
export LDAPNOINIT=1

case "$action" in
create)
	# Address free? Highest user ID? Default ACI?
	if [ -n "$(ldapsearch "${bind[@]}" -LLL -b "$BASE_DN" -s one \
		"(&(objectClass=posixAccount)(|(alias=$uid)(uid=$uid))(!(uid=$uid)))" dn)" ]; then
		echo "address taken" >&2
		exit 1
	fi
	last=$(ldapsearch "${bind[@]}" -LLL -b "$BASE_DN" -s one \
		"(&(objectClass=posixAccount)(uidNumber=*))" uidNumber |
		awk '/^uidNumber:/ {print $2}' | sort -n |
		awk 'BEGIN {n = 2000} $1 > 2000 {if ($1 > n + 1) exit; n = $1} END {print n}')
	aci=$(ldapsearch "${bind[@]}" -LLL -b "uid=cyrus,$BASE_DN" -s base defaultuseraci |
		sed -n 's/^defaultuseraci: //p' | tr ' ' ',')
	hash=$(python3 -c 'import crypt,sys; print(crypt.crypt(sys.argv[1], crypt.mksalt(crypt.METHOD_SHA512)))' pw 2>/dev/null)
	ldapadd "${bind[@]}" >/dev/null <<LDIF
dn: uid=$uid,$BASE_DN
objectClass: top
objectClass: shadowAccount
objectClass: posixAccount
objectClass: person
objectClass: inetOrgPerson
objectClass: TolvoeMailObject
objectClass: TolvoSchoolAccount
uid: $uid
sn: User
cn: Bench User
mail: $uid@example.org
o: O
c: DE
gidNumber: 100
uidNumber: $((last + 1))
homeDirectory: /home/$uid
loginShell: /bin/sh
userPassword: {crypt}$hash
OpenLDAPaci: 1#entry#grant;r,w,s,c;$aci;r,s,c;[all]#self#
mailenabled: ok
internetDisabled: false

dn: ou=addr,uid=$uid,$BASE_DN
objectClass: top
objectClass: organizationalUnit
ou: addr
LDIF
	ldapmodify "${bind[@]}" >/dev/null <<LDIF
dn: cn=users,$BASE_DN
changetype: modify
add: memberUid
memberUid: $uid
LDIF
	;;
remove)
	for filter in "(&(objectClass=posixGroup)(memberUid=$uid))" \
		"(&(objectClass=TolvoIMAPFolderObject)(deliverToUID=$uid))"; do
		attribute=$([[ $filter == *memberUid* ]] && echo memberUid || echo deliverToUID)
		ldapsearch "${bind[@]}" -LLL -b "$BASE_DN" -s one "$filter" dn | sed -n 's/^dn: //p' |
			while read -r dn; do
				printf 'dn: %s\nchangetype: modify\ndelete: %s\n%s: %s\n' \
					"$dn" "$attribute" "$attribute" "$uid" | ldapmodify "${bind[@]}" >/dev/null
			done
	done
	ldapdelete "${bind[@]}" -r "uid=$uid,$BASE_DN"
	# Sieve first: the scripts live in the mailbox.
	sieveshell --user="$uid" --authname="$ADMIN_LOGIN" --password="$ADMIN_PASSWORD" \
		--execfile=/dev/stdin "$CYRUS_HOST:$SIEVE_PORT" >/dev/null 2>&1 <<SIEVE
deactivate
delete vacation
delete spam
SIEVE
	mailboxes=$(printf 'lm\n' | cyradm --norc --user "$ADMIN_LOGIN" --password "$ADMIN_PASSWORD" \
		--port "$IMAP_PORT" "$CYRUS_HOST" 2>/dev/null | tr ' ' '\n' | grep -v '^(' | grep -v '^$' |
		sed 's/^[^>]*> *//' | grep -v '^$' || true)
	{
		for mailbox in $mailboxes; do echo "lam $mailbox"; done
	} | cyradm --norc --user "$ADMIN_LOGIN" --password "$ADMIN_PASSWORD" --port "$IMAP_PORT" \
		"$CYRUS_HOST" >/dev/null 2>&1
	{
		for mailbox in $mailboxes; do echo "dam $mailbox $uid"; done
		echo "sam user.$uid $ADMIN_LOGIN x"
		echo "dm user.$uid"
	} | cyradm --norc --user "$ADMIN_LOGIN" --password "$ADMIN_PASSWORD" --port "$IMAP_PORT" \
		"$CYRUS_HOST" >/dev/null 2>&1
	;;
esac
