// Writes each reading's record where it goes: the lines or the record on standard output,
// and with a log, the record appended to it and flushed at once, so a crash loses nothing.
// Every write is checked: output that was not written is a failure, not a success.
#pragma once

#include <ostream>
#include <string>

#include "cli/JsonReport.h"

enum class RecordFormat { Lines, Json, Csv };

class RecordWriter {
public:
    // log: nullptr for none; logIsNew: the log was empty, so a CSV log gets its header.
    RecordWriter(std::ostream& out, std::ostream* log, RecordFormat format, bool logIsNew);

    // The CSV header, on standard output and in a new log.
    bool Begin();
    // One line of the reading, on standard output in the Lines format.
    bool Line(const std::string& line);
    // The record, where the format puts it.
    bool Record(const RecordContext& context, const ReadingOutcome& outcome);

    // What failed: "cannot write the standard output: No space left on device (error 28)".
    const std::string& Error() const { return error_; }

private:
    bool Put(std::ostream& stream, const std::string& text, const char* what);

    std::ostream& out_;
    std::ostream* log_;
    RecordFormat format_;
    bool logIsNew_;
    std::string error_;
};
