#include "cli/RecordWriter.h"

#include <cerrno>
#include <utility>

#include "cli/CsvReport.h"
#include "cli/OutputFile.h"
#include "cli/ReaderMessages.h"
#include "cli/ReaderTexts.h"
#include "platform/RecordLog.h"

namespace texts = reader_texts;

RecordWriter::RecordWriter(std::ostream& out, std::string logPath, RecordFormat format)
    : out_(out), logPath_(std::move(logPath)), format_(format) {}

RecordWriter::~RecordWriter() { OutputQueue::LetGo(std::move(queue_)); }

void RecordWriter::SetNotices(std::ostream& err, Clock& clock, Language language) {
    err_ = &err;
    clock_ = &clock;
    language_ = language;
}

void RecordWriter::QueueOutput() {
    queue_ = std::make_unique<OutputQueue>(out_, kOutputQueueBytes);
}

void RecordWriter::Fail(const std::string& error) {
    error_ += (error_.empty() ? "" : "; ") + error;
}

void RecordWriter::Tell(const std::string& notice) {
    if (err_ != nullptr) *err_ << "p06-read: " << notice << std::endl;
}

// The system's reason for a failed write; 0: the stream gave none.
std::string RecordWriter::Reason(int code) const {
    if (code == record_log::kNotRegularFile) return Say(texts::kNotRegularFile, language_);
    return code != 0 ? SystemReasonIn(code, language_) : Say(texts::kWriteError, language_);
}

bool RecordWriter::Put(const std::string& text) {
    if (outFailed_) return false;
    OutputQueue::Put put = OutputQueue::Put::Queued;
    if (queue_) {
        put = queue_->Push(text);
        // Said again only once the reader has taken what it held: not at each wait.
        if (put == OutputQueue::Put::Queued) fullSaid_ = false;
        if (put == OutputQueue::Put::Full && logPath_.empty()) {
            // Standard output is the only record: it is waited for.
            if (!fullSaid_) Tell(Say(texts::kOutputFullWaiting, language_));
            fullSaid_ = true;
            put = queue_->PushWaiting(text);
        } else if (put == OutputQueue::Put::Full) {
            if (!fullSaid_) Tell(Say(texts::kOutputFullLogOnly, language_, {logPath_}));
            fullSaid_ = true;
            return true;
        }
    } else {
        errno = 0;
        out_ << text;
        out_.flush();
        if (out_) return true;
        put = OutputQueue::Put::Failed;
        outCode_ = errno;
    }
    if (put == OutputQueue::Put::Queued) return true;
    outFailed_ = true;
    Fail(Say(texts::kCannotWriteOut, language_,
             {Reason(queue_ ? queue_->FailureCode() : outCode_)}));
    return false;
}

bool RecordWriter::Begin() {
    return format_ != RecordFormat::Csv || Put(CsvHeader() + kCsvLineEnd);
}

bool RecordWriter::Line(const std::string& line) {
    return format_ != RecordFormat::Lines || Put(line + "\n");
}

// The oldest kept record to the log and then to standard output; false on a failure. A
// locked log keeps it, and a later Flush tries again.
bool RecordWriter::LogOldest() {
    const bool csv = format_ == RecordFormat::Csv;
    const std::string record = kept_.front();
    const int32_t code = record_log::Append(logPath_, csv ? CsvHeader() + kCsvLineEnd : "", record,
                                            csv ? kCsvLineEnd : "\n");
    const uint32_t now = clock_ != nullptr ? clock_->TickCount() : 0;
    if (code == record_log::kLocked) {
        if (!locked_) lockedSince_ = now;
        locked_ = true;
        TellLockIfDue();
        return true;
    }
    locked_ = false;
    kept_.pop_front();
    bool written = true;
    if (code != 0) {
        Fail(Say(texts::kCannotWriteLog, language_, {logPath_, Reason(code)}));
        written = false;
    }
    if (format_ != RecordFormat::Lines) written = Put(record) && written;
    if (kept_.empty() && lockSaid_) {
        Tell(Say(texts::kLogFree, language_, {logPath_}));
        lockSaid_ = false;
    }
    return written;
}

void RecordWriter::TellLockIfDue() {
    if (!locked_ || lockSaid_ || clock_ == nullptr ||
        clock_->TickCount() - lockedSince_ < kLockPatienceMs)
        return;
    Tell(Say(texts::kLogLocked, language_, {logPath_}));
    lockSaid_ = true;
}

bool RecordWriter::Flush() {
    bool written = true;
    while (!kept_.empty() && written) {
        const size_t left = kept_.size();
        written = LogOldest();
        if (kept_.size() == left) break;  // still locked
    }
    return written;
}

bool RecordWriter::Record(const RecordContext& context, const ReadingOutcome& outcome) {
    const bool csv = format_ == RecordFormat::Csv;
    const std::string record =
        (csv ? ReadingCsv(context, outcome) : ReadingJson(context, outcome)) +
        (csv ? kCsvLineEnd : "\n");
    if (logPath_.empty()) return format_ == RecordFormat::Lines || Put(record);
    kept_.push_back(record);
    return Flush();
}

bool RecordWriter::Healthy() {
    if (queue_ && !outFailed_ && queue_->Failed()) {
        outFailed_ = true;
        Fail(Say(texts::kCannotWriteOut, language_, {Reason(queue_->FailureCode())}));
    }
    return error_.empty();
}

bool RecordWriter::Finish(const std::function<bool()>& stopRequested) {
    bool written = true;
    for (;;) {
        written = Flush() && written;
        if (kept_.empty() || !written || stopRequested() || clock_ == nullptr) break;
        clock_->Sleep(kLockRetryMs);
    }
    if (!kept_.empty()) {
        const size_t count = kept_.size();
        while (!kept_.empty()) {
            Put(kept_.front());
            kept_.pop_front();
        }
        Fail(Say(locked_ ? texts::kNotInLockedLog : texts::kNotInLog, language_,
                 {logPath_, std::to_string(count)}));
        written = false;
    }
    if (queue_ && !queue_->Drain(kOutputDrainMs)) {
        const size_t count = queue_->Waiting();
        Fail(Say(texts::kNotWrittenOut, language_, {std::to_string(count)}));
        written = false;
    }
    return Healthy() && written;
}
