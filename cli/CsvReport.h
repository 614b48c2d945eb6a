// The reading as one CSV line, for spreadsheets on the production line:
// time,port,device,type,serialNumber,circuitVersion,softwareVersion,result,errorCode,
// errorMessage,version
// A null value is an empty field. Lines end in CR LF, fields are quoted as RFC 4180 says.
#pragma once

#include <string>

#include "cli/JsonReport.h"

// What ends each line, the header's included.
inline constexpr const char* kCsvLineEnd = "\r\n";

// The header line, without its line end.
std::string CsvHeader();

// One record, without its line end.
std::string ReadingCsv(const RecordContext& context, const ReadingOutcome& outcome);
