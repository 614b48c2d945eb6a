// The lines a reading writes in the main window's text box (p06-read prints them too, the
// English blanks filled in: ReaderLines.h), written out here once and independently of the
// program's own texts, so that every suite checks the program against the same statement
// of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using TextLines = std::vector<std::string>;

constexpr int32_t kFrench = 0;
constexpr int32_t kEnglish = 1;

// What the unit answers: its serial number, circuit version and software version as shown.
struct ReadUnit {
    uint32_t serialNumber = 4660;
    uint32_t circuitVersion = 3;
    std::string softwareVersion = "2.5";
};

// The fourteen lines of a reading that ends with the success report.
TextLines SuccessfulReading(int32_t language, const ReadUnit& unit = {});

// The five lines of a reading that stops on a unit of another type.
TextLines WrongTypeReading(int32_t language);

// The error box's two sentences for a unit of another type, joined by `separator`.
std::string WrongTypeMessage(int32_t language, const std::string& separator);

// The lines of a reading whose step (2, the type, to 6, the end) failed after the unit
// accepted the poll: those of the steps before it, then the failure report's blank and title.
TextLines FailedReading(int32_t language, int32_t failedStep, const ReadUnit& unit = {});

// The error box's text after such a failure.
std::string TransmissionErrorMessage(int32_t language);

// The bytes of a reading of the unit 4660, circuit 3, software 2.5, as a trace shows them
// ("> " sent, "< " received, each followed by a comma), up to the unit's acknowledgement of
// the return to 9600 bit/s.
extern const char* const kReadingExchange;

// The lines as a program prints them: each one ended by a newline.
std::string AsOutput(const TextLines& lines);
