#include "cli/RecordWriter.h"

#include <cerrno>
#include <utility>

#include "cli/CsvReport.h"
#include "cli/OutputFile.h"
#include "platform/RecordLog.h"

RecordWriter::RecordWriter(std::ostream& out, std::string logPath, RecordFormat format)
    : out_(out), logPath_(std::move(logPath)), format_(format) {}

RecordWriter::~RecordWriter() { OutputQueue::LetGo(std::move(queue_)); }

void RecordWriter::SetNotices(std::ostream& err, Clock& clock) {
    err_ = &err;
    clock_ = &clock;
}

void RecordWriter::QueueOutput() {
    queue_ = std::make_unique<OutputQueue>(out_, kOutputQueueBytes);
}

void RecordWriter::Fail(const std::string& error) {
    error_ += (error_.empty() ? "" : "; ") + error;
}

void RecordWriter::Say(const std::string& notice) {
    if (err_ != nullptr) *err_ << "p06-read: " << notice << std::endl;
}

bool RecordWriter::Put(const std::string& text) {
    if (outFailed_) return false;
    OutputQueue::Put put = OutputQueue::Put::Queued;
    if (queue_) {
        put = queue_->Push(text);
        if (put == OutputQueue::Put::Full && logPath_.empty()) {
            // Standard output is the only record: it is waited for.
            if (!fullSaid_) Say("the standard output is not being read; waiting for it");
            fullSaid_ = true;
            put = queue_->PushWaiting(text);
        } else if (put == OutputQueue::Put::Full) {
            if (!fullSaid_)
                Say("the standard output is not being read; records go to the log '" + logPath_ +
                    "' only until it is");
            fullSaid_ = true;
            return true;
        }
        if (put == OutputQueue::Put::Queued) fullSaid_ = false;
    } else {
        errno = 0;
        out_ << text;
        out_.flush();
        if (out_) return true;
        put = OutputQueue::Put::Failed;
    }
    if (put == OutputQueue::Put::Queued) return true;
    outFailed_ = true;
    Fail("cannot write the standard output: " + (queue_ ? queue_->Failure() : LastWriteReason()));
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
        if (!lockSaid_ && clock_ != nullptr && now - lockedSince_ >= kLockPatienceMs) {
            Say("waiting for the log '" + logPath_ +
                "', locked by another program; the records are kept until it is free");
            lockSaid_ = true;
        }
        return true;
    }
    locked_ = false;
    kept_.pop_front();
    bool written = true;
    if (code != 0) {
        Fail("cannot write the log to '" + logPath_ + "': " + LogReason(code));
        written = false;
    }
    if (format_ != RecordFormat::Lines) written = Put(record) && written;
    if (kept_.empty() && lockSaid_) {
        Say("the log '" + logPath_ + "' is free again; the records kept are in it");
        lockSaid_ = false;
    }
    return written;
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
    if (queue_ && !outFailed_ && !queue_->Failure().empty()) {
        outFailed_ = true;
        Fail("cannot write the standard output: " + queue_->Failure());
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
        Fail(std::to_string(count) + (count == 1 ? " record is" : " records are") +
             " not in the log '" + logPath_ + "'" + (locked_ ? ", locked by another program" : "") +
             (outFailed_ ? "" : "; they are on the standard output"));
        written = false;
    }
    if (queue_ && !queue_->Drain(kOutputDrainMs)) {
        const size_t count = queue_->Waiting();
        Fail(std::to_string(count) + (count == 1 ? " text was" : " texts were") +
             " not written to the standard output, which is not being read");
        written = false;
    }
    return Healthy() && written;
}
