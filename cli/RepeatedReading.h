// p06-read --repeat: unit after unit on one port until a stop is asked for. Each presence
// of a unit gives one record; then the reader waits for it to go (unplugged, switched off)
// or to be swapped for another, and for the next. A unit read before in the run is
// recorded again, as read again.
#pragma once

#include "cli/JsonReport.h"
#include "cli/ReaderOptions.h"
#include "cli/ReaderProgram.h"
#include "cli/RecordWriter.h"
#include "cli/TracingSerialLine.h"
#include "link/Com_p06.h"

// Returns the exit status once stopped; the summary goes to standard error.
int RunRepeated(CP06& link, TracingSerialLine& tracer, RecordWriter& writer, RecordContext context,
                const ReaderOptions& options, ReaderSystem& system);
