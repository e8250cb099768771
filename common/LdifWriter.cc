// LDIF change records.
#include "common/LdifWriter.h"

#include "common/Base64.h"

namespace {

// A SAFE-STRING of RFC 2849, and no blank at its end (which readers drop).
bool safe(const std::string& value) {
    if (value.empty()) {
        return true;
    }
    const unsigned char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ') {
        return false;
    }
    for (unsigned char c : value) {
        if (c == '\0' || c == '\n' || c == '\r' || c > 127) {
            return false;
        }
    }
    return true;
}

const char* operationName(LDAPModification::mod_op op) {
    return op == LDAPModification::OP_ADD      ? "add"
           : op == LDAPModification::OP_DELETE ? "delete"
                                               : "replace";
}

}  // namespace

void LdifWriter::line(const std::string& name, const std::string& value) {
    if (safe(value)) {
        out_ << name << ": " << value << "\n";
    } else {
        out_ << name << ":: " << base64(value) << "\n";
    }
}

void LdifWriter::comment(const std::string& text) {
    // A line break would end the comment, and what follows it would be
    // applied as LDIF: names from servers may hold one.
    out_ << "# ";
    for (const char c : text) {
        out_ << (c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c));
    }
    out_ << "\n";
}

void LdifWriter::add(const std::string& dn, const LDAPAttributeList& attributes) {
    line("dn", dn);
    out_ << "changetype: add\n";
    for (const LDAPAttribute& attribute : attributes) {
        for (const std::string& value : attribute.getValues()) {
            line(attribute.getName(), value);
        }
    }
    out_ << "\n";
}

void LdifWriter::modify(const std::string& dn, const LDAPModList& modifications) {
    line("dn", dn);
    out_ << "changetype: modify\n";
    for (const LDAPModification& modification : modifications) {
        const LDAPAttribute& attribute = modification.getAttribute();
        out_ << operationName(modification.getOperation()) << ": " << attribute.getName() << "\n";
        for (const std::string& value : attribute.getValues()) {
            line(attribute.getName(), value);
        }
        out_ << "-\n";
    }
    out_ << "\n";
}

void LdifWriter::remove(const std::string& dn) {
    line("dn", dn);
    out_ << "changetype: delete\n\n";
}

void LdifWriter::publish() {
    target_ << out_.str() << std::flush;
    out_.str("");
}
