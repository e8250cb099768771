// An ordered list of byte strings: attribute names of a search request.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

class StringList {
  public:
    StringList() = default;
    StringList(std::initializer_list<std::string> values) : values_(values) {}

    void add(const std::string& value) { values_.push_back(value); }
    size_t size() const { return values_.size(); }
    bool empty() const { return values_.empty(); }
    std::vector<std::string>::const_iterator begin() const { return values_.begin(); }
    std::vector<std::string>::const_iterator end() const { return values_.end(); }

  private:
    std::vector<std::string> values_;
};
