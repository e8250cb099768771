// Directory data the removal tests share: the account jdoe with a subtree
// two levels deep below its entry (ou=addr with two contacts).
#pragma once

inline const char* const kJdoeEntries = R"(dn: uid=jdoe,o=site
objectClass: inetOrgPerson
objectClass: posixAccount
uid: jdoe
cn: John Doe
sn: Doe
uidNumber: 2004
gidNumber: 100
homeDirectory: /home/jdoe

dn: ou=addr,uid=jdoe,o=site
objectClass: organizationalUnit
ou: addr

dn: cn=c1,ou=addr,uid=jdoe,o=site
objectClass: organizationalPerson
cn: c1
sn: x

dn: cn=c2,ou=addr,uid=jdoe,o=site
objectClass: organizationalPerson
cn: c2
sn: y
)";

// jdoe in two groups one level down, one group deeper, a shared folder and
// the address-book administrators.
inline const char* const kJdoeReferences = R"(dn: cn=users,o=site
changetype: modify
add: memberUid
memberUid: jdoe

dn: cn=staff,o=site
changetype: modify
add: memberUid
memberUid: jdoe

dn: cn=projects,ou=groups,o=site
changetype: modify
add: memberUid
memberUid: jdoe

dn: cn=shared1,o=site
changetype: modify
add: deliverToUID
deliverToUID: jdoe

dn: cn=AddressAdmins,o=AddressBook,o=site
changetype: modify
add: member
member: uid=jdoe,o=site
)";
