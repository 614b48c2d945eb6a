#include "cli/CsvReport.h"

#include <cstdio>

#include "Version.h"
#include "cli/UtcTime.h"

namespace {

// Quoted when it holds a comma or a quote (RFC 4180). A control byte is written \xNN, so
// one record stays one line; so is any byte above ASCII unless the field is text (the
// unit's type may hold any byte), whose bytes that are not UTF-8 become U+FFFD. A field
// that a spreadsheet would take for a formula (=, +, -, @, tab, CR first) gets a ' before.
std::string Field(const std::string& bytes, bool utf8 = false) {
    std::string text;
    if (!bytes.empty() && std::string("=+-@\t\r").find(bytes[0]) != std::string::npos) text = "'";
    bool quote = false;
    for (const char c : utf8 ? ValidUtf8(bytes) : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (utf8 && c == '\n') {
            text += ' ';  // a message's lines, joined
            continue;
        }
        if (byte < 0x20 || byte == 0x7F || (byte > 0x7F && !utf8)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            text += escape;
            continue;
        }
        quote = quote || c == ',' || c == '"';
        text += c;
        if (c == '"') text += '"';
    }
    return quote ? "\"" + text + "\"" : text;
}

}  // namespace

std::string CsvHeader() {
    return "time,port,device,type,serialNumber,circuitVersion,softwareVersion,result,errorCode,"
           "errorMessage,version";
}

std::string ReadingCsv(const RecordContext& context, const ReadingOutcome& outcome) {
    const RecordValues values = ValuesOf(outcome.record);
    const bool failed = !context.error.message.empty();
    return UtcTime(context.unixTime) + "," +
           (context.port == 0 ? std::string() : std::to_string(context.port)) + "," +
           Field(context.device, true) + "," + Field(values.type) + "," + values.serialNumber +
           "," + values.circuitVersion + "," + values.softwareVersion + "," +
           RecordResult(context, outcome) + "," +
           (failed ? std::to_string(context.error.code) : std::string()) + "," +
           Field(context.error.message, true) + "," + QUENLOR_VERSION;
}
