// The attributes of a person that an account parameter sets directly: which
// attribute each parameter fills and in which form its value is stored.
// newacct adds them to a new user entry; modacct replaces them in a stored one.
#pragma once

#include <string>

enum class ValueForm {
    Converted,  // text in the caller's character set, stored as UTF-8
    AsGiven,    // stored byte for byte
    OnOff,      // "on" and "off" stored as "TRUE" and "FALSE", anything else as given
};

struct PersonAttribute {
    const char* parameter;
    const char* attribute;
    ValueForm form;
    // Sets the extension flag: the entry then carries TolvoVantorOskaObject.
    bool extension;
};

// The entry for `parameter`, or null when the parameter sets no person
// attribute directly.
const PersonAttribute* findPersonAttribute(const std::string& parameter);

// "on" gives "TRUE", "off" gives "FALSE", anything else itself.
std::string onOffValue(const std::string& value);
