// The table of person attributes.
#include "account/PersonAttributes.h"

namespace {

const PersonAttribute kPersonAttributes[] = {
    {"sn", "sn", ValueForm::Converted, false},
    {"givenname", "givenName", ValueForm::Converted, false},
    {"ou", "ou", ValueForm::Converted, false},
    {"description", "description", ValueForm::Converted, false},
    {"l", "l", ValueForm::Converted, false},
    {"timezone", "tolvotimezone", ValueForm::Converted, false},
    {"preferredlanguage", "preferredLanguage", ValueForm::AsGiven, false},
    {"title", "title", ValueForm::Converted, false},
    {"initials", "initials", ValueForm::Converted, false},
    {"labeleduri", "labeleduri", ValueForm::AsGiven, false},
    {"street", "street", ValueForm::Converted, false},
    {"postalcode", "postalcode", ValueForm::Converted, false},
    {"st", "st", ValueForm::Converted, false},
    {"logindestination", "logindestination", ValueForm::Converted, false},
    {"birthday", "birthday", ValueForm::AsGiven, false},
    {"colocrouteaddr", "colocrouteaddr", ValueForm::AsGiven, false},
    {"religion", "religion", ValueForm::Converted, false},
    {"rasaccess", "rasaccess", ValueForm::AsGiven, false},
    {"faxdid", "faxdid", ValueForm::Converted, true},
    {"smsdid", "smsdid", ValueForm::Converted, true},
    {"printid", "printid", ValueForm::Converted, true},
    {"oskaextended", "oskaextended", ValueForm::Converted, true},
    {"dointernetconn", "dointernetconn", ValueForm::OnOff, false},
    {"dyceenabled", "dyceenabled", ValueForm::OnOff, false},
};

}  // namespace

const PersonAttribute* findPersonAttribute(const std::string& parameter) {
    for (const PersonAttribute& person : kPersonAttributes) {
        if (parameter == person.parameter) {
            return &person;
        }
    }
    return nullptr;
}

std::string onOffValue(const std::string& value) {
    return value == "on" ? "TRUE" : value == "off" ? "FALSE" : value;
}
