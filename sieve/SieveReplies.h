// Readers of Sieve server responses, apart from any socket: the final
// OK/NO reader and the script listing reader. Tests and fuzz targets drive
// them with plain bytes.
#pragma once

#include <list>
#include <string>

#include "wire/LineSource.h"

enum SieveResult {
    kSieveOk = 0,
    kSieveNo = -1,
    kSieveBye = -2,         // the server ends the session (message "BYE ...")
    kSieveParseError = -5,  // shares its code with a lost connection
};

// Reads lines until one holds the token OK (0, message "OK"), NO (-1,
// message "NO <reason>", the reason's outer quotes dropped) or BYE (-2,
// "BYE <reason>", likewise); other lines are passed over. Local failures
// return the reader codes -3 to -6.
int readSieveResponse(LineSource& source, std::string& message, const ReplyWaits& waits);

// A script as a listing names it. `name` is the name read as a ManageSieve
// string (a quoted string with \" and \\ escapes, or a literal). A server
// that writes names between quotes without escaping them (Cyrus 3.6 lists
// q"uote as "q"uote" and x\\y as "x\\y") makes a quoted name that holds a
// backslash doubtful: `verbatim` is then the text between the quotes as it
// came, when that differs from `name`; else it is empty.
struct ListedScript {
    std::string name;
    std::string verbatim;
};

// Reads a script listing: one script per line, its name as a ManageSieve
// string, ACTIVE after the active one (which sets `active`); a quoted name
// that only an unescaping server would send is taken as it stands between
// the line's first and last quote. A line that names no script and holds a
// word other than ACTIVE ends the read with -5 and "Error parsing
// LISTSCRIPTS response".
int readSieveListResponse(LineSource& source, std::list<ListedScript>& scripts, std::string& active,
                          std::string& message, const ReplyWaits& waits);

// What a Sieve server announces in its greeting, and again after STARTTLS.
struct SieveCapabilities {
    bool startTls = false;    // a "STARTTLS" line
    bool saslListed = false;  // a "SASL" line, whose mechanisms follow
    std::string sasl;
    bool unauthenticate = false;  // an "UNAUTHENTICATE" line (RFC 5804)
};

// Reads the capability lines (a quoted name, maybe a quoted value) up to the
// closing OK or NO, with the results of readSieveResponse.
int readSieveCapabilities(LineSource& source, SieveCapabilities& capabilities, std::string& message,
                          const ReplyWaits& waits);

// The response code of a NO or BYE message, upper-cased ("NONEXISTENT" for
// "NO (NONEXISTENT) ..."), or an empty text.
std::string sieveResponseCode(const std::string& message);

// The URL of a REFERRAL response code in a NO or BYE message ("NO
// (REFERRAL "sieve://host") ..."), or an empty text.
std::string sieveReferralUrl(const std::string& message);

// Splits a sieve:// URL into its host (brackets of an IPv6 address
// dropped) and port (0 when it names none); false for another scheme or a
// URL without a host.
bool parseSieveUrl(const std::string& url, std::string& host, int& port);
