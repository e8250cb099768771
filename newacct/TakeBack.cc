// Taking back what one account of a batch wrote, so that a corrected roster
// run again creates the account whole.
#include <ldap.h>

#include "account/EntryChanges.h"
#include "common/MyException.h"
#include "ldap/LDAPException.h"
#include "newacct/NewAcct.h"

void NewAcct::takeBack() {
    std::string notOurs;
    while (!written_.empty()) {
        const Written& last = written_.back();
        try {
            if (!connection()) {
                throw LDAPException(LDAP_SERVER_DOWN, "");
            }
            // An add whose answer was lost: another run may have written
            // the entry meanwhile, and only our own is taken back.
            const Holder holder = last.unsure ? userEntryHolder() : Holder::Us;
            if (holder == Holder::Another) {
                notOurs = last.dn + " holds an entry this run did not write; it is left";
            }
            if (holder != Holder::Us) {
                written_.pop_back();
                continue;
            }
            if (last.previous) {
                // A card that was there before gets its values back.
                const LDAPModList restore =
                    attributeChanges(*last.replacement, *last.previous,
                                     attributeNames(*last.replacement, *last.previous));
                connection()->modify(last.dn, &restore);
            } else if (last.attribute.empty()) {
                connection()->del(last.dn);
            } else {
                LDAPModList modifications;
                modifications.addModification(LDAPModification(
                    LDAPAttribute(last.attribute, last.value), LDAPModification::OP_DELETE));
                connection()->modify(last.dn, &modifications);
            }
        } catch (const LDAPException& e) {
            // A write whose answer was lost may never have been made.
            if (e.getResultCode() == LDAP_NO_SUCH_OBJECT ||
                e.getResultCode() == LDAP_NO_SUCH_ATTRIBUTE) {
                written_.pop_back();
                continue;
            }
            std::string left;
            for (auto at = written_.rbegin(); at != written_.rend(); ++at) {
                left += (left.empty() ? "" : ", ") +
                        (at->attribute.empty() ? at->dn
                                               : at->attribute + " " + at->value + " in " + at->dn);
            }
            throw MyException(-14, "taking back failed (" + e.getResultMsg() +
                                       "), left in the directory: " + left);
        }
        written_.pop_back();
    }
    if (!notOurs.empty()) {
        throw MyException(-14, notOurs);
    }
}
