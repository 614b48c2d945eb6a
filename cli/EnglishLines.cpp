#include "cli/EnglishLines.h"

#include "link/Com_p06.h"

std::string CompleteEnglishLine(int32_t writer, int32_t index, const std::string& line,
                                const ReadingRecord& record) {
    if (line != " ") return line;
    if (writer == kStateCircuitVersion && index == 0)
        return "Circuit version is " + std::to_string(record.circuitVersion) + ".";
    if (writer == kStateSoftwareVersion && index == 0) {
        return "Software version is " + std::to_string(record.softwareFirst) + "." +
               std::to_string(record.softwareSecond) + ".";
    }
    if (writer == kReportDoneWriter && index == 0) return "Data transfer successful.";
    if (writer == kReportDoneWriter && index == 3)
        return "You can read another " + CP06::DeviceName() + " unit.";
    return line;
}
