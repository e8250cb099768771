// The outcome of a batch run: one result line per account on standard
// output, in file order, and a progress line on a terminal.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The status of a batch in which some account did not end 0.
constexpr int kBatchIncomplete = -19;

class BatchReport {
  public:
    // `progress` receives the progress line; by default standard error when
    // it is a terminal, else nothing.
    BatchReport(std::ostream& out, std::vector<std::string> uids);
    BatchReport(std::ostream& out, std::vector<std::string> uids, std::ostream* progress);
    ~BatchReport();
    BatchReport(const BatchReport&) = delete;
    BatchReport& operator=(const BatchReport&) = delete;

    // Account `index` ended with `status` (0 to 255). For 0, `detail` holds
    // further tab-separated fields (or nothing); otherwise the message,
    // written on one line. Lines go out in file order, each as soon as every
    // account before it is settled.
    // `last`, when given, follows the detail as a field of its own, as it
    // stands (a made-up password, also on the line of a failure).
    void settle(size_t index, int status, const std::string& detail,
                const std::string& last = std::string());
    bool settled(size_t index) const { return results_[index].has_value(); }
    // Settles every account not yet settled: a lost server stops the batch.
    void settleRest(int status, const std::string& message);
    // Mailboxes swept so far, for the progress line.
    void sweepProgress(size_t swept, size_t total);
    // 0 when every account ended 0, else kBatchIncomplete.
    int exitCode() const;
    // Whether every result line written so far reached `out`; the accounts
    // whose lines did not, in file order.
    bool delivered() const { return delivered_ == written_; }
    std::vector<size_t> undelivered() const;
    // The accounts, named by `nameOf`, of the lines not delivered that held
    // a password made up and stored (`passwords`, by line; empty where
    // none): "anna, ben", or empty.
    std::string undeliveredPasswords(const std::vector<std::string>& passwords,
                                     const std::function<std::string(size_t)>& nameOf) const;

    // Takes the progress line off the terminal, before a line of the
    // caller's own on standard error (it comes back with the next account).
    void clearProgress();

  private:
    struct Result {
        int status;
        std::string detail;
        std::string last;
    };
    void writeReadyLines();
    void drawProgress(bool force);

    std::ostream& out_;
    std::ostream* progress_;
    std::vector<std::string> uids_;
    std::vector<std::optional<Result>> results_;
    size_t written_ = 0;
    size_t delivered_ = 0;  // lines that went out with a flush that worked
    size_t settledCount_ = 0;
    size_t swept_ = 0;
    size_t mailboxes_ = 0;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point drawn_;
};
