// Writes each reading's record where it goes: with a log, first to the log, whole and on the
// disk (platform/RecordLog.h), then the lines or the record on standard output. Every write
// is checked: output that was not written is a failure, not a success. A failure of one
// does not keep the record from the other; the program ends after it.
//
// Nobody else stops the writing: while another program holds the log, the records are kept
// in memory, in order, and written when it lets go; with QueueOutput, standard output goes
// through a bounded buffer, so a reader of it that does not read stops nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "cli/JsonReport.h"
#include "cli/OutputQueue.h"
#include "dialogs/Language.h"
#include "platform/Clock.h"

enum class RecordFormat { Lines, Json, Csv };

// How long the log may stay locked before the user is told.
inline constexpr uint32_t kLockPatienceMs = 3000;
// Between two tries of a locked log while nothing else is to be done.
inline constexpr uint32_t kLockRetryMs = 100;
// What standard output may hold that its reader has not taken yet.
inline constexpr size_t kOutputQueueBytes = 1 << 20;
// How long the end of the program waits for standard output to take the last records.
inline constexpr int kOutputDrainMs = 5000;

class RecordWriter {
public:
    // logPath: empty for none; the log always gets JSON Lines, or CSV with the Csv format.
    RecordWriter(std::ostream& out, std::string logPath, RecordFormat format);
    ~RecordWriter();

    // Where the writer tells what the user must know while it keeps records, its clock, and
    // the language of its messages and failures.
    void SetNotices(std::ostream& err, Clock& clock, Language language);
    // Standard output through a bounded buffer from now on.
    void QueueOutput();

    // The CSV header on standard output (a log gets its own when it is empty).
    bool Begin();
    // One line of the reading, on standard output in the Lines format.
    bool Line(const std::string& line);
    // The record: in the log, then on standard output as the format says; kept for later
    // while the log is locked.
    bool Record(const RecordContext& context, const ReadingOutcome& outcome);
    // Writes what was kept from a locked log, if it is free now.
    bool Flush();
    // Says the log is locked once it has been for kLockPatienceMs, without touching it: cheap
    // enough for every tick of a reading.
    void TellLockIfDue();
    // Waits for a locked log until it is free, or until stopRequested; then the records kept
    // go to standard output, and that they are not in the log is a failure. Then waits a
    // while for standard output to take what is queued for it.
    bool Finish(const std::function<bool()>& stopRequested);
    size_t Kept() const { return kept_.size(); }
    // False once a write failed, standard output's thread included: the program then ends.
    bool Healthy();

    // The failures, in order: "cannot write the standard output: Broken pipe (error 32)".
    const std::string& Error() const { return error_; }

private:
    bool Put(const std::string& text);
    bool LogOldest();
    void Fail(const std::string& error);
    void Tell(const std::string& notice);
    std::string Reason(int code) const;

    std::ostream& out_;
    std::string logPath_;
    RecordFormat format_;
    bool outFailed_ = false;
    int outCode_ = 0;  // errno of standard output's failed write
    std::string error_;
    std::ostream* err_ = nullptr;
    Clock* clock_ = nullptr;
    Language language_ = Language::English;
    std::unique_ptr<OutputQueue> queue_;
    bool fullSaid_ = false;
    std::deque<std::string> kept_;  // records for a locked log, oldest first
    bool locked_ = false;
    uint32_t lockedSince_ = 0;
    bool lockSaid_ = false;
};
