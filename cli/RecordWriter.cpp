#include "cli/RecordWriter.h"

#include <cerrno>
#include <utility>

#include "cli/CsvReport.h"
#include "cli/OutputFile.h"
#include "platform/RecordLog.h"

RecordWriter::RecordWriter(std::ostream& out, std::string logPath, RecordFormat format)
    : out_(out), logPath_(std::move(logPath)), format_(format) {}

void RecordWriter::Fail(const std::string& error) {
    if (error_.empty()) error_ = error;
}

bool RecordWriter::Put(const std::string& text) {
    if (outFailed_) return false;
    errno = 0;
    out_ << text;
    out_.flush();
    if (out_) return true;
    outFailed_ = true;
    Fail("cannot write the standard output: " + LastWriteReason());
    return false;
}

bool RecordWriter::Begin() {
    return format_ != RecordFormat::Csv || Put(CsvHeader() + kCsvLineEnd);
}

bool RecordWriter::Line(const std::string& line) {
    return format_ != RecordFormat::Lines || Put(line + "\n");
}

bool RecordWriter::Record(const RecordContext& context, const ReadingOutcome& outcome) {
    const bool csv = format_ == RecordFormat::Csv;
    const std::string lineEnd = csv ? kCsvLineEnd : "\n";
    const std::string record =
        (csv ? ReadingCsv(context, outcome) : ReadingJson(context, outcome)) + lineEnd;
    bool written = true;
    if (!logPath_.empty()) {
        const int32_t code =
            record_log::Append(logPath_, csv ? CsvHeader() + kCsvLineEnd : "", record, lineEnd);
        if (code != 0) {
            Fail("cannot write the log to '" + logPath_ + "': " + LogReason(code));
            written = false;
        }
    }
    if (format_ != RecordFormat::Lines) written = Put(record) && written;
    return written;
}
