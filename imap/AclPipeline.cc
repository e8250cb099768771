// The window of pipelined commands and the matching of replies to them.
#include "imap/AclPipeline.h"

#include <deque>
#include <map>
#include <unordered_map>

#include "imap/IMAPException.h"
#include "wire/LineTokenizer.h"
#include "wire/TcpLineSource.h"

// The state of one run: what is in flight, what waits for its mailbox.
struct AclPipeline::Run {
    Run(AclPipeline& pipeline, const std::vector<PipelinedCommand>& commands,
        const std::function<void(size_t)>& done)
        : pipeline(pipeline), commands(commands), done(done), replies(commands.size()) {}

    AclPipeline& pipeline;
    const std::vector<PipelinedCommand>& commands;
    const std::function<void(size_t)>& done;
    std::vector<PipelinedReply> replies;
    size_t settled = 0;
    size_t next = 0;                               // the first command not yet considered
    bool sending = true;                           // false once a send failed
    std::map<unsigned long, size_t> inFlight;      // tag number, oldest first
    std::unordered_map<std::string, size_t> busy;  // mailbox, command in flight
    std::unordered_map<std::string, std::deque<size_t>> waiting;  // behind a busy mailbox

    void traceLine(const std::string& line) const {
        if (pipeline.trace) {
            pipeline.trace(line);
        }
    }

    void launch(size_t index) {
        const unsigned long number = ++pipeline.tagsUsed_;
        const std::string line =
            pipeline.tagPrefix_ + std::to_string(number) + " " + commands[index].text;
        const std::string refused = unsendable(line);
        if (!refused.empty()) {
            replies[index].response = refused + " in a command refused";
            counted();
            return;
        }
        traceLine("    << " + line);
        if (!pipeline.sender_(line)) {
            sending = false;
            return;
        }
        inFlight.emplace(number, index);
        busy.emplace(commands[index].mailbox, index);
    }

    void counted() {
        ++settled;
        if (done) {
            done(settled);
        }
    }

    void fill() {
        while (sending && inFlight.size() < pipeline.window_ && next < commands.size()) {
            const size_t index = next++;
            const std::string& mailbox = commands[index].mailbox;
            if (busy.count(mailbox)) {
                waiting[mailbox].push_back(index);
            } else {
                launch(index);
            }
        }
    }

    void settle(std::map<unsigned long, size_t>::iterator entry, int result,
                const std::string& response) {
        const size_t index = entry->second;
        inFlight.erase(entry);
        replies[index].result = result;
        replies[index].response = response;
        traceLine("    >> " + response);
        counted();
        const std::string& mailbox = commands[index].mailbox;
        busy.erase(mailbox);
        const auto queued = waiting.find(mailbox);
        if (queued != waiting.end()) {
            const size_t after = queued->second.front();
            queued->second.pop_front();
            if (queued->second.empty()) {
                waiting.erase(queued);
            }
            if (sending) {
                launch(after);
            }
        }
        fill();
    }

    // The command a tag names, or inFlight.end().
    std::map<unsigned long, size_t>::iterator tagged(const std::string& tag) {
        const std::string& prefix = pipeline.tagPrefix_;
        if (tag.size() <= prefix.size() || tag.compare(0, prefix.size(), prefix) != 0 ||
            tag.find_first_not_of("0123456789", prefix.size()) != std::string::npos ||
            tag.size() - prefix.size() > 18) {
            return inFlight.end();
        }
        return inFlight.find(std::stoul(tag.substr(prefix.size())));
    }

    void dispatch(const std::string& line) {
        LineTokenizer tokens(line, LineTokenizer::kSpace);
        std::string first;
        tokens.next(first);
        if (first == "*") {
            std::string kind;
            tokens.next(kind);
            if (kind == "BYE") {
                throw IMAPException(pipeline.label_, line.substr(2));
            }
            std::string name;
            if (!aclLineMailbox(line, name)) {
                return;  // an unsolicited status or data line
            }
            // By the name it carries; a name no command in flight asked for
            // goes to the oldest, which then fails to parse as one alone would.
            const auto owner = busy.find(name);
            const size_t index = owner != busy.end() ? owner->second : inFlight.begin()->second;
            replies[index].untagged.push_back(line);
        } else if (first == "+") {
            // The one-at-a-time reader takes a continuation as the end of
            // the command in flight.
            settle(inFlight.begin(), kImapContinue, "+ " + tokens.rest());
        } else {
            const auto entry = tagged(first);
            std::string status;
            if (entry == inFlight.end() || !tokens.next(status)) {
                return;
            }
            const int result = status == "OK"    ? kImapOk
                               : status == "NO"  ? kImapNo
                               : status == "BAD" ? kImapBad
                                                 : kImapContinue;
            if (result != kImapContinue) {
                settle(entry, result, status + " " + tokens.rest());
            }
        }
    }
};

AclPipeline::AclPipeline(LineSource& source, Sender sender, const ReplyWaits& waits,
                         std::string label, std::string tagPrefix, unsigned long& tagsUsed,
                         size_t window)
    : source_(source),
      sender_(std::move(sender)),
      waits_(waits),
      label_(std::move(label)),
      tagPrefix_(std::move(tagPrefix)),
      tagsUsed_(tagsUsed),
      window_(window == 0 ? 1 : window) {}

std::vector<PipelinedReply> AclPipeline::run(const std::vector<PipelinedCommand>& commands,
                                             const std::function<void(size_t)>& done) {
    Run state(*this, commands, done);
    state.fill();
    while (!state.inFlight.empty()) {
        // Each reply gets the waits of a reply of its own.
        ReplyLineReader reader(source_, waits_);
        const size_t before = state.settled;
        while (state.settled == before && !state.inFlight.empty()) {
            std::string line;
            const int failure = readImapLine(reader, line);
            if (failure < 0) {
                throw IMAPException(
                    label_, failure == ReplyLineReader::kConnectionClosed ? "Socket error"
                            : failure == ReplyLineReader::kConnectionLost ? "connection lost"
                                                                          : "connection timed out");
            }
            state.dispatch(line);
        }
    }
    if (state.settled < commands.size()) {
        // A send failed and every reply to what went out has come.
        throw IMAPException(label_, "Socket error");
    }
    return std::move(state.replies);
}
