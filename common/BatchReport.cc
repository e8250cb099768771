// Result lines in file order and the progress line of a batch run.
#include "common/BatchReport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "common/OutputCheck.h"

namespace {

std::ostream* terminalProgress() {
    return isatty(STDERR_FILENO) ? &std::cerr : nullptr;
}

// A message on one line: a result line is one line per account.
std::string oneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return text;
}

std::string figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

BatchReport::BatchReport(std::ostream& out, std::vector<std::string> uids)
    : BatchReport(out, std::move(uids), terminalProgress()) {}

BatchReport::BatchReport(std::ostream& out, std::vector<std::string> uids, std::ostream* progress)
    : out_(out),
      progress_(progress),
      uids_(std::move(uids)),
      results_(uids_.size()),
      started_(std::chrono::steady_clock::now()) {}

BatchReport::~BatchReport() {
    clearProgress();
}

void BatchReport::settle(size_t index, int status, const std::string& detail,
                         const std::string& last) {
    if (results_[index]) {
        return;
    }
    results_[index] = Result{status & 0xff, detail, last};
    ++settledCount_;
    writeReadyLines();
    drawProgress(settledCount_ == results_.size());
}

void BatchReport::settleRest(int status, const std::string& message) {
    for (size_t i = 0; i < results_.size(); ++i) {
        if (!results_[i]) {
            results_[i] = Result{status & 0xff, message, ""};
            ++settledCount_;
        }
    }
    writeReadyLines();
    drawProgress(true);
}

void BatchReport::sweepProgress(size_t swept, size_t total) {
    swept_ = swept;
    mailboxes_ = total;
    drawProgress(false);
}

int BatchReport::exitCode() const {
    for (const auto& result : results_) {
        if (!result || result->status != 0) {
            return kBatchIncomplete;
        }
    }
    return 0;
}

std::vector<size_t> BatchReport::undelivered() const {
    std::vector<size_t> lost;
    for (size_t i = delivered_; i < written_; ++i) {
        lost.push_back(i);
    }
    return lost;
}

std::string BatchReport::undeliveredPasswords(
    const std::vector<std::string>& passwords,
    const std::function<std::string(size_t)>& nameOf) const {
    std::string names;
    for (const size_t i : undelivered()) {
        if (!passwords[i].empty()) {
            names += (names.empty() ? "" : ", ") + nameOf(i);
        }
    }
    return names;
}

void BatchReport::writeReadyLines() {
    if (written_ == results_.size() || !results_[written_]) {
        return;
    }
    clearProgress();
    const size_t lastDelivered = written_;
    for (; written_ < results_.size() && results_[written_]; ++written_) {
        const Result& result = *results_[written_];
        out_ << uids_[written_] << '\t' << result.status;
        if (result.status != 0 || !result.detail.empty()) {
            out_ << '\t' << (result.status != 0 ? oneLine(result.detail) : result.detail);
        }
        if (!result.last.empty()) {
            out_ << '\t' << result.last;
        }
        out_ << '\n';
    }
    // Once output failed, nothing written after it counts as delivered.
    if (flushed(out_) && delivered_ == lastDelivered) {
        delivered_ = written_;
    }
}

void BatchReport::drawProgress(bool force) {
    if (!progress_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && progressShown_ && now - drawn_ < std::chrono::milliseconds(100)) {
        return;
    }
    drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    std::string line =
        std::to_string(settledCount_) + "/" + std::to_string(results_.size()) + " accounts done";
    if (mailboxes_ > 0) {
        line +=
            ", " + std::to_string(swept_) + "/" + std::to_string(mailboxes_) + " mailboxes swept";
    }
    // The rate and what is left follow the larger of the two counts of work.
    const bool bySweep = mailboxes_ > 0 && swept_ < mailboxes_;
    const double done = bySweep ? swept_ : settledCount_;
    const double total = bySweep ? mailboxes_ : results_.size();
    if (seconds > 0.5 && done > 0) {
        const double rate = done / seconds;
        line += ", " + figure(rate) + (bySweep ? " mailboxes/s" : " accounts/s");
        if (done < total) {
            line += ", about " + std::to_string(static_cast<long>((total - done) / rate + 0.5)) +
                    " s left";
        }
    }
    *progress_ << "\r" << line << "\x1b[K" << std::flush;
    progressShown_ = true;
}

void BatchReport::clearProgress() {
    if (progress_ && progressShown_) {
        *progress_ << "\r\x1b[K" << std::flush;
        progressShown_ = false;
    }
}
