// Writes each reading's record where it goes: with a log, first to the log, whole and on the
// disk (platform/RecordLog.h), then the lines or the record on standard output. Every write
// is checked: output that was not written is a failure, not a success. A failure of one
// does not keep the record from the other; the program ends after it.
#pragma once

#include <ostream>
#include <string>

#include "cli/JsonReport.h"

enum class RecordFormat { Lines, Json, Csv };

class RecordWriter {
public:
    // logPath: empty for none; the log always gets JSON Lines, or CSV with the Csv format.
    RecordWriter(std::ostream& out, std::string logPath, RecordFormat format);

    // The CSV header on standard output (a log gets its own when it is empty).
    bool Begin();
    // One line of the reading, on standard output in the Lines format.
    bool Line(const std::string& line);
    // The record: in the log, then on standard output as the format says.
    bool Record(const RecordContext& context, const ReadingOutcome& outcome);

    // The first failure: "cannot write the standard output: Broken pipe (error 32)".
    const std::string& Error() const { return error_; }

private:
    bool Put(const std::string& text);
    void Fail(const std::string& error);

    std::ostream& out_;
    std::string logPath_;
    RecordFormat format_;
    bool outFailed_ = false;
    std::string error_;
};
