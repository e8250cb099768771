// fork/exec with three pipes; output is drained with poll so neither side
// can block the other.
#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace {

// This process's environment with LDAPNOINIT set and `settings`
// ("NAME=value") in place of any value of the same name.
std::vector<std::string> childEnvironment(const std::vector<std::string>& settings) {
    std::vector<std::string> given{"LDAPNOINIT=1"};
    given.insert(given.end(), settings.begin(), settings.end());
    const auto nameOf = [](const std::string& setting) {
        return setting.substr(0, setting.find('='));
    };
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string setting(*entry);
        bool replaced = false;
        for (const std::string& own : given)
            replaced = replaced || nameOf(own) == nameOf(setting);
        if (!replaced)
            result.push_back(setting);
    }
    // Of two settings of one name the later counts, as with putenv.
    for (size_t i = 0; i < given.size(); ++i) {
        bool later = false;
        for (size_t j = i + 1; j < given.size(); ++j)
            later = later || nameOf(given[j]) == nameOf(given[i]);
        if (!later)
            result.push_back(given[i]);
    }
    return result;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, bool feedInput,
                         const std::vector<std::string>& environment) {
    // Everything the child needs is made before fork: tests start runs
    // from several threads, and a child that allocated could wait forever
    // on an allocator lock another thread held at the fork.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> settings = childEnvironment(environment);
    std::vector<char*> envp;
    for (const std::string& setting : settings)
        envp.push_back(const_cast<char*>(setting.c_str()));
    envp.push_back(nullptr);

    int in[2], out[2], err[2];
    // Close-on-exec, so that children started at the same time from other
    // threads do not hold these pipes open.
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    if (feedInput && !input.empty()) {
        // Our inputs are small; a pipe buffer holds them.
        ssize_t written = write(in[1], input.data(), input.size());
        (void)written;
    }
    close(in[1]);
    ProcessResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        poll(fds, 2, -1);
        for (pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(p.fd);
                p.fd = -1;
                --open;
            } else {
                (p.fd == out[0] ? result.out : result.err).append(buffer, n);
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::vector<ProcessResult> runTogether(const std::string& program,
                                       const std::vector<std::vector<std::string>>& runs,
                                       const std::vector<std::string>& environment) {
    std::vector<ProcessResult> results(runs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < runs.size(); ++i) {
        threads.emplace_back(
            [&, i] { results[i] = runProcess(program, runs[i], "", false, environment); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return results;
}

std::string makeTempFolder(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a folder for " + prefix);
    }
    return pattern;
}

std::vector<std::string> syslogCaptured(const std::string& capture) {
    // The shim comes before the sanitizers' runtime in the preload order.
    return {"LD_PRELOAD=" SYSLOG_SHIM, "SYSLOG_CAPTURE=" + capture,
            "ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0"};
}
