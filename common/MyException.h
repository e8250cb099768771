// The one error of both programs: the exit code it ends the run with and the
// complete text to print.
#pragma once

#include <string>

class MyException {
  public:
    MyException(int code, std::string message) : code(code), message(std::move(message)) {}

    int code;
    std::string message;
};
