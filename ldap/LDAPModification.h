// One change of a modify request: add, delete or replace values of one
// attribute. The operation numbers are the protocol's own.
#pragma once

#include "ldap/LDAPAttribute.h"

class LDAPModification {
  public:
    enum mod_op { OP_ADD = 0, OP_DELETE = 1, OP_REPLACE = 2 };

    LDAPModification(LDAPAttribute attribute, mod_op op)
        : attribute_(std::move(attribute)), op_(op) {}

    const LDAPAttribute& getAttribute() const { return attribute_; }
    mod_op getOperation() const { return op_; }

  private:
    LDAPAttribute attribute_;
    mod_op op_;
};
