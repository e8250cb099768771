// The user entry's modify as modacct plans it from a stored account, on
// values alone: what the request gives is replaced; what follows from what
// was read deletes the values read and adds the new ones, so that the
// directory refuses it once another run changed the entry; and which of
// the directory's refusals mean that.
#include <gtest/gtest.h>

#include <ldap.h>

#include "account/DerivedValues.h"
#include "account/EntryChanges.h"
#include "modacct/ChangePlan.h"

namespace {

StoredAccount pupil() {
    StoredAccount stored;
    stored.dn = "uid=jdoe,o=site";
    const std::vector<std::pair<const char*, std::vector<std::string>>> values{
        {"objectClass", {"posixAccount", "TolvoplendarConfig", "phpgwAccount"}},
        {"uid", {"jdoe"}},
        {"sn", {"Doe"}},
        {"givenName", {"John"}},
        {"cn", {"John Doe"}},
        {"gidNumber", {"1000"}},
        {"userPassword", {"{crypt}$6$h"}},
        {"alias", {"a", "b"}},
        {"plendarGroupID", {"1000", "100"}},
        {"phpgwAccountStatus", {"A"}},
    };
    for (const auto& [name, list] : values) {
        LDAPAttribute attribute(name);
        for (const std::string& value : list)
            attribute.addValue(value);
        stored.entry.addAttribute(attribute);
    }
    stored.classes = {"users"};
    return stored;
}

// "add alias: x; replace sn: Smith", values in the order sent.
std::string shown(const LDAPModList& changes) {
    static const char* const kOperations[] = {"add", "delete", "replace"};
    std::string text;
    for (const LDAPModification& change : changes) {
        text += std::string(text.empty() ? "" : "; ") + kOperations[change.getOperation()] + " " +
                change.getAttribute().getName() + ":";
        for (const std::string& value : change.getAttribute().getValues())
            text += " " + value;
    }
    return text;
}

ChangePlan planned(const std::vector<std::pair<std::string, std::string>>& parameters,
                   const StoredAccount& stored) {
    AccountChange request;
    request.set("uid", "jdoe");
    for (const auto& [name, value] : parameters)
        EXPECT_TRUE(request.set(name, value)) << name;
    request.check();
    request.preparePassword();
    return ChangePlan(request, stored, "o=site", todayDayNumber());
}

TEST(ModAcctPlan, GivenValuesAreReplacedAndValuesThatFollowFromTheReadAreConditional) {
    const std::string today = std::to_string(todayDayNumber());
    const struct {
        std::vector<std::pair<std::string, std::string>> parameters;
        std::string modify;
    } cases[] = {
        {{{"addalias", "x"}}, "add alias: x"},
        {{{"delalias", "a"}}, "delete alias: a"},
        {{{"alias", "b"}, {"alias", "x"}}, "delete alias: a; add alias: x"},
        {{{"sn", "Smith"}}, "replace sn: Smith; delete cn: John Doe; add cn: John Smith"},
        {{{"addclass", "audio"}}, "add plendarGroupID: 29"},
        {{{"class", "staff"}}, "delete plendarGroupID: 100; add plendarGroupID: 50"},
        {{{"faxdid", "12"}}, "replace faxdid: 12; add objectClass: TolvoVantorOskaObject"},
        {{{"lock", ""}},
         "delete userPassword: {crypt}$6$h; add userPassword: {crypt}!$6$h; add shadowExpire: " +
             today + "; delete phpgwAccountStatus: A; add phpgwAccountStatus: I"},
        {{{"up", "{crypt}$6$n"}},
         "delete userPassword: {crypt}$6$h; add userPassword: {crypt}$6$n; replace "
         "shadowLastChange: " +
             today},
        {{{"mail", "j@example.org"}}, "replace mail: j@example.org"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.modify, shown(planned(c.parameters, pupil()).userChanges()))
            << c.parameters.front().first;
}

// Other runs stand between their entry's write and their group's: audio's
// ID is stored while jdoe is not yet among audio's members, and users' ID
// is gone while jdoe is still among users'. Only the classes this run
// joins or leaves move IDs; the other runs' stay as they wrote them.
TEST(ModAcctPlan, ClassIdsOfOtherRunsUnfinishedChangesStay) {
    StoredAccount stored = pupil();
    LDAPAttribute ids("plendarGroupID", "1000");
    ids.addValue("29");
    stored.entry.replaceAttribute(ids);
    EXPECT_EQ("add plendarGroupID: 50",
              shown(planned({{"addclass", "staff"}}, stored).userChanges()));
}

// Whether a refused conditional write sends the account to be read again:
// a value to delete gone, a value to add there already, a single-valued
// attribute given a value meanwhile; not a refusal of the write as such.
TEST(ModAcctPlan, RefusalsThatMeanTheEntryChangedSinceItWasRead) {
    const struct {
        int code;
        bool changed;
    } codes[] = {{LDAP_NO_SUCH_ATTRIBUTE, true},      {LDAP_TYPE_OR_VALUE_EXISTS, true},
                 {LDAP_CONSTRAINT_VIOLATION, true},   {LDAP_INSUFFICIENT_ACCESS, false},
                 {LDAP_NO_SUCH_OBJECT, false},        {LDAP_INVALID_SYNTAX, false},
                 {LDAP_OBJECT_CLASS_VIOLATION, false}};
    for (const auto& c : codes)
        EXPECT_EQ(c.changed, refusedAsChanged(c.code)) << c.code;
}

}  // namespace
