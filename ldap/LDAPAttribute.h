// One attribute: a type name and its values in order. Values are byte
// strings and may hold any byte (a photo holds NULs). A value is kept once:
// to the directory an attribute's values are a set, and a repeated value
// makes the server refuse the whole entry.
#pragma once

#include <string>
#include <vector>

class LDAPAttribute {
  public:
    explicit LDAPAttribute(std::string name) : name_(std::move(name)) {}
    LDAPAttribute(std::string name, const std::string& value);
    // Values each given once already, as the directory returns them.
    LDAPAttribute(std::string name, std::vector<std::string> values)
        : name_(std::move(name)), values_(std::move(values)) {}

    const std::string& getName() const { return name_; }
    const std::vector<std::string>& getValues() const { return values_; }
    size_t getNumValues() const { return values_.size(); }

    // Appends the value unless the attribute already holds it.
    void addValue(const std::string& value);

  private:
    std::string name_;
    std::vector<std::string> values_;
};
