// Gathering memberUid changes by group.
#include "modacct/GroupChanges.h"

#include "common/DistinguishedName.h"

namespace {

LDAPAttribute memberUids(const std::vector<GroupChanges::Member>& members) {
    LDAPAttribute values("memberUid");
    for (const GroupChanges::Member& member : members) {
        values.addValue(member.value);
    }
    return values;
}

}  // namespace

LDAPModList GroupChanges::Group::changes() const {
    LDAPModList changes;
    if (!leaving.empty()) {
        changes.addModification(LDAPModification(memberUids(leaving), LDAPModification::OP_DELETE));
    }
    if (!joining.empty()) {
        changes.addModification(LDAPModification(memberUids(joining), LDAPModification::OP_ADD));
    }
    return changes;
}

GroupChanges::Group& GroupChanges::group(const std::string& dn, const std::string& name) {
    for (Group& known : groups_) {
        if (sameDN(known.dn, dn)) {
            return known;
        }
    }
    groups_.push_back({dn, name, {}, {}});
    return groups_.back();
}

void GroupChanges::leave(const std::string& dn, const std::string& name, size_t account,
                         const std::string& login) {
    group(dn, name).leaving.push_back({account, login});
}

void GroupChanges::join(const std::string& dn, const std::string& name, size_t account,
                        const std::string& login) {
    group(dn, name).joining.push_back({account, login});
}

LDAPModList GroupChanges::memberChange(const std::string& login, bool joining) {
    LDAPModList change;
    change.addModification(
        LDAPModification(LDAPAttribute("memberUid", login),
                         joining ? LDAPModification::OP_ADD : LDAPModification::OP_DELETE));
    return change;
}
