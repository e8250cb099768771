// Computing a change plan: the wanted user entry is the stored one with
// every requested change applied; only the attributes a change touched are
// compared, so values nobody asked about are never rewritten.
#include "modacct/ChangePlan.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "account/AccountLock.h"
#include "account/AccountNames.h"
#include "account/ContactEntry.h"
#include "account/DerivedValues.h"
#include "account/EntryChanges.h"

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool sameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The entry of `names` that is `name` without regard to case.
std::vector<std::string>::const_iterator findName(const std::vector<std::string>& names,
                                                  const std::string& name) {
    return std::find_if(names.begin(), names.end(),
                        [&name](const std::string& n) { return sameName(n, name); });
}

bool holds(const std::vector<std::string>& names, const std::string& name) {
    return findName(names, name) != names.end();
}

void drop(std::vector<std::string>& names, const std::string& name) {
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&name](const std::string& n) { return sameName(n, name); }),
                names.end());
}

std::vector<std::string> valuesOf(const LDAPAttributeList& entry, const std::string& name) {
    const LDAPAttribute* attribute = entry.getAttributeByName(name);
    return attribute ? attribute->getValues() : std::vector<std::string>();
}

std::string firstOf(const LDAPAttributeList& entry, const std::string& name) {
    const std::vector<std::string> values = valuesOf(entry, name);
    return values.empty() ? std::string() : values.front();
}

LDAPAttribute attributeOf(const std::string& name, const std::vector<std::string>& values) {
    LDAPAttribute attribute(name);
    for (const std::string& value : values) {
        attribute.addValue(value);
    }
    return attribute;
}

std::string localPart(const std::string& mail) {
    return mail.substr(0, mail.find('@'));
}

// The parameters whose values make the contact card.
const char* const kCardSources[] = {"sn", "givenName", "c", "mail", "description", "ou"};

}  // namespace

ChangePlan::ChangePlan(const AccountChange& request, const StoredAccount& stored,
                       const std::string& baseDN, int today)
    : login_(request.login), userDn_(stored.dn), wanted_(stored.entry) {
    planClasses(request, stored);
    for (const LDAPAttribute& attribute : request.attributes) {
        wanted_.replaceAttribute(attribute);
        touch(attribute.getName(), true);
    }
    if (request.extension && !stored.hasObjectClass("TolvoVantorOskaObject")) {
        std::vector<std::string> classes = stored.values("objectClass");
        classes.push_back("TolvoVantorOskaObject");
        wanted_.replaceAttribute(attributeOf("objectClass", classes));
        touch("objectClass");
    }
    const bool renamed = std::any_of(
        std::begin(kCardSources), std::begin(kCardSources) + 3,
        [&request](const char* name) { return request.attributes.getAttributeByName(name); });
    if (renamed) {
        wanted_.replaceAttribute(
            LDAPAttribute("cn", commonName(firstOf(wanted_, "sn"), firstOf(wanted_, "givenName"),
                                           firstOf(wanted_, "c"))));
        touch("cn");
    }
    planAddresses(request, stored);
    planPassword(request, stored, today);

    userChanges_ = conditionalChanges(stored.entry, wanted_, touched_, replaced_);
    // What a put-back needs; nothing when nothing changes (most of a roster).
    if (userChanges_.size() > 0) {
        userBefore_ = changedAttributes(stored.entry, wanted_, touched_);
        userAfter_ = changedAttributes(wanted_, stored.entry, touched_);
    }
    for (const auto& [parameter, attribute] : request.attributeParameters) {
        if (differs(stored, attribute)) {
            kinds_.push_back(parameter);
        }
    }
    if (request.mail && differs(stored, "mail")) {
        kinds_.push_back("mail");
    }
    if (differs(stored, "alias")) {
        kinds_.push_back("alias");
    }
    if (!request.password.empty() && differs(stored, "userPassword")) {
        kinds_.push_back("password");
    } else if (request.requirePasswordChange && differs(stored, "shadowLastChange")) {
        kinds_.push_back("reqpwdchange");
    }
    const LockState lock = stored.lock();
    if (request.lock == LockChange::Lock && !lock.locked) {
        kinds_.push_back("lock");
    } else if (request.lock == LockChange::Unlock && lock.locked) {
        kinds_.push_back("unlock");
    }
    planContact(request, stored, baseDN);
}

void ChangePlan::touch(const std::string& attribute, bool given) {
    if (!holds(touched_, attribute)) {
        touched_.push_back(attribute);
    }
    if (given && !holds(replaced_, attribute)) {
        replaced_.push_back(attribute);
    }
}

bool ChangePlan::differs(const StoredAccount& stored, const std::string& attribute) const {
    std::vector<std::string> before = stored.values(attribute);
    std::vector<std::string> after = valuesOf(wanted_, attribute);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    return before != after;
}

void ChangePlan::planClasses(const AccountChange& request, const StoredAccount& stored) {
    const ClassChange& change = request.classes;
    const std::vector<std::string>& held = stored.classes;
    std::vector<std::string>& final = finalClasses_;
    if (change.exactly) {
        for (const std::string& name : *change.exactly) {
            if (!holds(final, name)) {
                final.push_back(name);
            }
        }
        for (const std::string& name : held) {
            if (!change.inScope(name)) {
                final.push_back(name);
            } else if (!holds(final, name)) {
                leaves_.push_back(name);
                if (change.scope.empty() && !holds(change.remove, name)) {
                    unnamedLeaves_.push_back(name);
                }
            }
        }
    } else {
        final = held;
    }
    for (const std::string& name : change.add) {
        if (!holds(final, name)) {
            final.push_back(name);
            drop(leaves_, name);
        }
    }
    for (const std::string& name : change.remove) {
        const auto kept = findName(held, name);
        if (kept != held.end() && !holds(leaves_, name)) {
            leaves_.push_back(*kept);
        }
        drop(final, name);
    }
    for (const std::string& name : final) {
        if (!holds(held, name)) {
            joins_.push_back(name);
        }
    }
    if (joins_.empty() && leaves_.empty()) {
        return;
    }
    kinds_.push_back("class");
    // As newacct computes it: the group ID, then each class's system group.
    // Only the IDs of the classes left go and only those of the classes
    // joined come: any other stored ID may be a run's join or leave whose
    // group write is still to come.
    if (stored.hasObjectClass("TolvoplendarConfig")) {
        const unsigned gid =
            static_cast<unsigned>(std::strtoul(stored.first("gidNumber").c_str(), nullptr, 10));
        const std::vector<std::string> kept = plendarGroupIds(gid, final).getValues();
        const std::vector<std::string> left = plendarGroupIds(gid, leaves_).getValues();
        LDAPAttribute ids("plendarGroupID");
        for (const std::string& id : stored.values("plendarGroupID")) {
            if (holds(kept, id) || !holds(left, id)) {
                ids.addValue(id);
            }
        }
        const std::vector<std::string> joined = plendarGroupIds(gid, joins_).getValues();
        for (const std::string& id : joined) {
            if (!holds(ids.getValues(), id)) {
                ids.addValue(id);
            }
        }
        wanted_.replaceAttribute(ids);
        touch("plendarGroupID");
    }
}

void ChangePlan::planAddresses(const AccountChange& request, const StoredAccount& stored) {
    // What the account holds already is not checked again: its login, the
    // local parts of its mail addresses and its aliases.
    std::set<std::string> held{lower(login_)};
    for (const std::string& mail : stored.values("mail")) {
        held.insert(lower(localPart(mail)));
    }
    const std::vector<std::string> storedAliases = stored.values("alias");
    for (const std::string& alias : storedAliases) {
        held.insert(lower(alias));
    }
    if (request.mail) {
        mail_ = *request.mail;
        wanted_.replaceAttribute(LDAPAttribute("mail", mail_));
        touch("mail", true);
        const std::string part = localPart(mail_);
        if (!part.empty() && held.count(lower(part)) == 0) {
            mailClaim_ = part;
            claims_.push_back(part);
        }
    }
    const bool aliasChange =
        request.aliases || !request.addAliases.empty() || !request.removeAliases.empty();
    if (!aliasChange) {
        return;
    }
    std::vector<std::string> aliases;
    for (const std::string& alias : request.aliases.value_or(storedAliases)) {
        if (!holds(aliases, alias)) {
            aliases.push_back(alias);
        }
    }
    for (const std::string& alias : request.addAliases) {
        if (!holds(aliases, alias)) {
            aliases.push_back(alias);
        }
    }
    for (const std::string& alias : request.removeAliases) {
        drop(aliases, alias);
    }
    wanted_.replaceAttribute(attributeOf("alias", aliases));
    touch("alias");
    for (const std::string& alias : aliases) {
        if (held.count(lower(alias)) == 0) {
            aliasClaims_.push_back(alias);
            if (!holds(claims_, alias)) {
                claims_.push_back(alias);
            }
        }
    }
    for (const std::string& alias : storedAliases) {
        if (!holds(aliases, alias)) {
            releases_.push_back(alias);
        }
    }
}

void ChangePlan::planPassword(const AccountChange& request, const StoredAccount& stored,
                              int today) {
    const LockState lock = stored.lock();
    if (!request.password.empty()) {
        // A locked account stays locked with its new password.
        const bool keepLocked = lock.locked && request.lock != LockChange::Unlock;
        wanted_.replaceAttribute(LDAPAttribute(
            "userPassword", keepLocked ? lockedPassword(request.password) : request.password));
        touch("userPassword");
    }
    if (!request.password.empty() || request.requirePasswordChange) {
        wanted_.replaceAttribute(LDAPAttribute(
            "shadowLastChange", std::to_string(request.requirePasswordChange ? 0 : today)));
        touch("shadowLastChange", true);
    }
    if ((request.lock == LockChange::Lock && !lock.locked) ||
        (request.lock == LockChange::Unlock && lock.locked)) {
        if (request.lock == LockChange::Lock) {
            lockEntry(wanted_, today);
        } else {
            unlockEntry(wanted_);
        }
        for (const char* attribute : kLockAttributes) {
            touch(attribute);
        }
    }
}

void ChangePlan::planContact(const AccountChange& request, const StoredAccount& stored,
                             const std::string& baseDN) {
    if (!needsContact(request, stored) || !stored.contactRead) {
        return;
    }
    contactDn_ = ::contactDn(login_, baseDN);
    const ContactValues values{
        login_,
        firstOf(wanted_, "givenName"),
        firstOf(wanted_, "sn"),
        firstOf(wanted_, "cn"),
        firstOf(wanted_, "mail"),
        firstOf(wanted_, "description"),
        firstOf(wanted_, "ou"),
        static_cast<unsigned>(std::strtoul(stored.first("uidNumber").c_str(), nullptr, 10)),
        static_cast<unsigned>(std::strtoul(stored.first("gidNumber").c_str(), nullptr, 10))};
    const LDAPAttributeList card = contactAttributes(values);
    if (!stored.contact) {
        contactAdd_ = card;
    } else {
        contactChanges_ = conditionalChanges(*stored.contact, card, contactFields(), {});
        if (contactChanges_.size() > 0) {
            contactBefore_ = changedAttributes(*stored.contact, card, contactFields());
            contactAfter_ = changedAttributes(card, *stored.contact, contactFields());
        }
    }
    if (kinds_.empty() && (contactAdd_ || contactChanges_.size() > 0)) {
        kinds_.push_back("contact");
    }
}

StringList ChangePlan::attributesRead(const AccountChange& request) {
    // Nothing else of an entry (a photo, say) goes over the wire.
    StringList names{"objectClass",
                     "uid",
                     "userPassword",
                     "shadowLastChange",
                     "shadowExpire",
                     "phpgwAccountStatus",
                     "gidNumber",
                     "uidNumber",
                     "plendarGroupID",
                     "mail",
                     "alias",
                     "sn",
                     "givenName",
                     "cn",
                     "c",
                     "description",
                     "ou"};
    for (const LDAPAttribute& attribute : request.attributes) {
        names.add(attribute.getName());
    }
    return names;
}

bool ChangePlan::needsContact(const AccountChange& request, const StoredAccount& stored) {
    const bool shown =
        request.mail ||
        std::any_of(std::begin(kCardSources), std::end(kCardSources),
                    [&](const char* name) { return request.attributes.getAttributeByName(name); });
    return shown && stored.hasObjectClass("phpgwAccount");
}

bool ChangePlan::empty() const {
    return userChanges_.size() == 0 && joins_.empty() && leaves_.empty() && !contactAdd_ &&
           contactChanges_.size() == 0;
}

std::string ChangePlan::changed() const {
    std::string text;
    for (const std::string& kind : kinds_) {
        text += (text.empty() ? "" : ",") + kind;
    }
    return text.empty() ? "unchanged" : text;
}

std::string ChangePlan::claimRefusal(const std::string& claim) const {
    if (!mailClaim_.empty() && sameName(claim, mailClaim_)) {
        return "Address " + mail_ + " already exists. Aborted";
    }
    return "Alias " + claim + " already exists. Aborted";
}
