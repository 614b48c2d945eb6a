// The reading as one CSV line, for spreadsheets on the production line:
// time,port,device,type,serialNumber,circuitVersion,softwareVersion,result,errorCode,
// errorMessage,version
// A null value is an empty field.
#pragma once

#include <string>

#include "cli/JsonReport.h"

// The header line, without its newline.
std::string CsvHeader();

// One record, without its newline.
std::string ReadingCsv(const RecordContext& context, const ReadingOutcome& outcome);
