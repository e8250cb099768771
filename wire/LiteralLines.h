// Literals in the replies of IMAP and ManageSieve servers: a string sent as
// a header "{N}" that ends its line (ManageSieve also allows "{N+}"), then
// N raw bytes, after which the line goes on. The reader keeps the bytes as
// they came inside the one line it returns, so that the parsers find each
// literal where the server put it.
#pragma once

#include <cstddef>
#include <string>

#include "wire/LineSource.h"

// The literal headers a protocol's replies may carry.
enum class LiteralForms {
    Synchronizing,         // "{N}" only (IMAP replies)
    AlsoNonSynchronizing,  // "{N}" and "{N+}" (ManageSieve)
};

// Reads one line with the literals it carries: a line that ends in a
// literal header (a CR may follow) goes on with its N bytes and then the
// next line, as often as it ends so. `line` gets the bytes as they came,
// the LFs within included, without the final LF: "* ACL m {4}\r\na bc lr\r".
// 0, or the reader's failure.
int readLineWithLiterals(ReplyLineReader& reader, std::string& line, LiteralForms forms);

// The literal at `pos` of a line as readLineWithLiterals gives it: the
// header, a line end (CR LF or LF) and the bytes. Sets `pos` past it;
// false, with `pos` unchanged, when there is none.
bool literalAt(const std::string& line, size_t& pos, std::string& value, LiteralForms forms);
