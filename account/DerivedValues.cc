// Derived values of a user entry.
#include "account/DerivedValues.h"

#include <ctime>

#include "account/AccountChecks.h"

std::string commonName(const std::string& surname, const std::string& givenName,
                       const std::string& country) {
    if (givenName.empty()) {
        return surname;
    }
    return country == "HU" ? surname + " " + givenName : givenName + " " + surname;
}

bool usesPlendar(const std::string& groupware) {
    return groupware == "plendar" || groupware == "all";
}

bool usesPhpgw(const std::string& groupware) {
    return groupware == "phpgw" || groupware == "all";
}

std::string groupwareOf(bool plendar, bool phpgw) {
    return plendar && phpgw ? "all" : plendar ? "plendar" : phpgw ? "phpgw" : "none";
}

LDAPAttribute plendarGroupIds(unsigned gidNumber, const std::vector<std::string>& classes) {
    LDAPAttribute ids("plendarGroupID", std::to_string(gidNumber));
    for (const std::string& name : classes) {
        ids.addValue(std::to_string(classGroupId(name)));
    }
    return ids;
}

LDAPAttribute userObjectClasses(const std::string& groupware, bool extension, unsigned gidNumber) {
    LDAPAttribute classes("objectClass");
    for (const char* name :
         {"top", "shadowAccount", "posixAccount", "person", "inetOrgPerson", "TolvoeMailObject"}) {
        classes.addValue(name);
    }
    if (usesPlendar(groupware))
        classes.addValue("TolvoplendarConfig");
    if (extension)
        classes.addValue("TolvoVantorOskaObject");
    if (usesPhpgw(groupware))
        classes.addValue("phpgwAccount");
    classes.addValue(gidNumber == 103 ? "TolvoSchoolWorkstation" : "TolvoSchoolAccount");
    return classes;
}

std::string internetDisabled(unsigned gidNumber) {
    return gidNumber == 103 ? "true" : "false";
}

int todayDayNumber() {
    return static_cast<int>(std::time(nullptr) / 86400);
}
