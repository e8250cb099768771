// Composing the contact card.
#include "account/ContactEntry.h"

LDAPAttributeList contactAttributes(const ContactValues& values) {
    LDAPAttributeList attributes;
    const auto add = [&attributes](const std::string& name, const std::string& value) {
        attributes.addAttribute(LDAPAttribute(name, value));
    };
    if (!values.givenName.empty())
        add("givenName", values.givenName);
    add("sn", values.surname);
    add("cn", values.commonName);
    if (!values.mail.empty())
        add("mail", values.mail);
    add("uid", values.login + ":system");
    add("uidnumber", std::to_string(values.uidNumber));
    add("phpgwContactTypeId", "n");
    add("phpgwContactOwner", "101");
    add("phpgwContactAccess", "public");
    if (!values.description.empty())
        add("description", values.description);
    if (!values.organisationalUnit.empty())
        add("ou", values.organisationalUnit);
    add("phpgwContactCatId", values.gidNumber == 102 ? "1" : "2");
    LDAPAttribute classes("objectClass", "organizationalPerson");
    classes.addValue("inetOrgPerson");
    classes.addValue("phpgwContact");
    attributes.addAttribute(classes);
    return attributes;
}
