// Preloaded into the programs by the audit tests (LD_PRELOAD): catches what
// they send to syslog and appends it to the file named by SYSLOG_CAPTURE,
// one "<facility>.<priority> <ident>: <message>" line per call. The test
// machine has no syslog daemon, and the tests must not depend on one.
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <syslog.h>
#include <unistd.h>

namespace {
const char* ident = "";
int facility = LOG_USER;

void capture(int priority, const char* format, va_list arguments) {
    const char* path = getenv("SYSLOG_CAPTURE");
    if (!path)
        return;
    char message[4096];
    vsnprintf(message, sizeof message, format, arguments);
    const int chosen = (priority & LOG_FACMASK) ? (priority & LOG_FACMASK) : facility;
    char line[4400];
    const int length = snprintf(line, sizeof line, "%d.%d %s: %s\n", chosen >> 3,
                                priority & LOG_PRIMASK, ident, message);
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd >= 0) {
        if (write(fd, line, static_cast<size_t>(length)) < 0) {
        }
        close(fd);
    }
}
}  // namespace

extern "C" {
void openlog(const char* name, int, int chosenFacility) {
    ident = name ? name : "";
    facility = chosenFacility;
}
void closelog() {}
void vsyslog(int priority, const char* format, va_list arguments) {
    capture(priority, format, arguments);
}
void syslog(int priority, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    capture(priority, format, arguments);
    va_end(arguments);
}
void __syslog_chk(int priority, int, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    capture(priority, format, arguments);
    va_end(arguments);
}
void __vsyslog_chk(int priority, int, const char* format, va_list arguments) {
    capture(priority, format, arguments);
}
}
