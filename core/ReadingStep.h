// What one tick of a reading does: the device operation of the current step, the lines it
// writes in the current language, and the step that follows. The main window's timer calls
// it and paces it; the command-line reader calls the same code, so the two cannot drift apart.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dialogs/Language.h"
#include "link/Com_p06.h"

// The pace of a reading: one step per tick, 300 ms apart.
inline constexpr uint32_t kTickIntervalMs = 300;
// The reading steps, as the main window's reading state holds them.
enum ReadingState : int32_t {
    kStateIdle = 0,
    kStateConnect = 1,
    kStateDeviceType = 2,
    kStateSerialNumber = 3,
    kStateCircuitVersion = 4,
    kStateSoftwareVersion = 5,
    kStateFinish = 6,
};

// What the last reading found, step by step (for reports such as the reader's JSON).
struct ReadingRecord {
    int32_t connectStatus = -1;
    int32_t typeStatus = -1;
    int32_t serialStatus = -1;
    int32_t circuitStatus = -1;
    int32_t softwareStatus = -1;
    int32_t disconnectStatus = -1;
    std::string type;
    uint32_t serialNumber = 0;
    uint32_t circuitVersion = 0;
    uint32_t softwareFirst = 0;
    uint32_t softwareSecond = 0;
    // For a step that failed on a spoiled answer: the byte that was not a digit, or the first
    // of the bytes out of step (-1: none), and how many of those there were.
    int32_t unexpectedByte = -1;
    uint32_t unexpectedCount = 0;
};

class ReadingStep {
public:
    // Receives each line as soon as it is written, in UTF-8.
    using LineSink = std::function<void(const std::string&)>;

    // Which report ends the reading after this tick (the window posts it as a message).
    enum class Report { None, ReadFailed, ReadDone };
    // What kind of failure ReadFailed reports (the message's wParam).
    enum FailureKind : int32_t { kWrongType = 0, kTransmissionFailure = 1 };

    struct Result {
        ReadingState nextState;
        Report report;
        int32_t status;  // the device operation's link status (0 when there was none)
        FailureKind failure = kWrongType;  // for ReadFailed
    };

    ReadingStep(CP06& link, LineSink sink);

    // One tick in a reading state 1 to 6; the idle state belongs to the caller.
    Result Tick(ReadingState state, Language language);

    // The failure report's part that is not the window's: ends the conversation and writes
    // its two lines. Returns the message for the error box.
    std::string ReportWrongType(Language language);
    // The same for a step that failed after the poll was accepted: a value that may be wrong
    // is never shown, so the reading ends here as a failed one.
    std::string ReportTransmissionFailure(Language language);
    // The success report's lines.
    void ReportDone(Language language);

    const ReadingRecord& Record() const { return record_; }
    void ClearRecord() { record_ = ReadingRecord{}; }

    static std::string WrongTypeMessage(Language language);
    static std::string TransmissionFailureMessage(Language language);

private:
    void Write(const std::string& line) { sink_(line); }
    // Ends the reading at a step that failed: no line for it, what the link saw kept.
    Result Failed(ReadingState state, int32_t status);
    // Bytes waiting before a step begins came after the previous step's last digit: that
    // answer was longer than asked (sent twice, shifted), so its value is not to be trusted.
    // False then, with the previous step's status made the link's.
    bool QuietBefore(int32_t& previousStatus);
    // After an answer, once the line has had the link's quiet wait to bring what would follow.
    bool QuietAfter(int32_t& status);

    CP06& link_;
    LineSink sink_;
    ReadingRecord record_;
};
