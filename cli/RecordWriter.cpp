#include "cli/RecordWriter.h"

#include <cerrno>

#include "cli/CsvReport.h"
#include "cli/OutputFile.h"

RecordWriter::RecordWriter(std::ostream& out, std::ostream* log, RecordFormat format, bool logIsNew)
    : out_(out), log_(log), format_(format), logIsNew_(logIsNew) {}

bool RecordWriter::Put(std::ostream& stream, const std::string& text, const char* what) {
    if (!error_.empty()) return false;
    errno = 0;
    stream << text << '\n';
    stream.flush();
    if (stream) return true;
    error_ = std::string("cannot write ") + what + ": " + LastWriteReason();
    return false;
}

bool RecordWriter::Begin() {
    if (format_ != RecordFormat::Csv) return true;
    if (!Put(out_, CsvHeader(), "the standard output")) return false;
    return log_ == nullptr || !logIsNew_ || Put(*log_, CsvHeader(), "the log");
}

bool RecordWriter::Line(const std::string& line) {
    return format_ != RecordFormat::Lines || Put(out_, line, "the standard output");
}

bool RecordWriter::Record(const RecordContext& context, const ReadingOutcome& outcome) {
    const std::string record =
        format_ == RecordFormat::Csv ? ReadingCsv(context, outcome) : ReadingJson(context, outcome);
    if (format_ != RecordFormat::Lines && !Put(out_, record, "the standard output")) return false;
    return log_ == nullptr || Put(*log_, record, "the log");
}
