// Runs one of our programs as a child process, the way an administrator or a
// front end would: arguments, optional standard input, captured output and
// exit status.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// `environment` holds NAME=value settings added to the child's environment.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = std::string(), bool feedInput = false,
                         const std::vector<std::string>& environment = {});

// The environment of a run whose syslog lines go to the file `capture`
// (the syslog shim preloaded, also under the sanitizers).
std::vector<std::string> syslogCaptured(const std::string& capture);

// Runs `program` once for each argument list of `runs`, all started at
// once; the results in the order of `runs`.
std::vector<ProcessResult> runTogether(const std::string& program,
                                       const std::vector<std::vector<std::string>>& runs,
                                       const std::vector<std::string>& environment = {});

// A new empty folder /tmp/<prefix>-XXXXXX for one test server.
std::string makeTempFolder(const std::string& prefix);
