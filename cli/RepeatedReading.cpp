#include "cli/RepeatedReading.h"

#include <limits>
#include <optional>
#include <set>

#include "cli/ExitCode.h"
#include "cli/ReaderMessages.h"
#include "cli/ReaderTexts.h"
#include "platform/SystemPorts.h"

namespace {

// Polls without an answer, one after the other, that show a unit gone. One could be a
// reply lost on the line, and taking it for a departure would record the unit twice.
constexpr int kSilentChecksForGone = 2;

struct Tally {
    int read = 0;
    int readAgain = 0;
    int incomplete = 0;
    int wrongType = 0;
    int refused = 0;
    std::set<std::string> units;  // the identities of the units read
};

void Count(Tally& tally, ReadingResult result, bool again) {
    if (result == ReadingResult::Read) ++(again ? tally.readAgain : tally.read);
    if (result == ReadingResult::Incomplete) ++tally.incomplete;
    if (result == ReadingResult::WrongType) ++tally.wrongType;
    if (result == ReadingResult::Refused) ++tally.refused;
}

std::string Summary(const Tally& tally, Language language) {
    const int presented =
        tally.read + tally.readAgain + tally.incomplete + tally.wrongType + tally.refused;
    return Say(
        reader_texts::kSummary, language,
        {std::to_string(presented), std::to_string(tally.read), std::to_string(tally.readAgain),
         std::to_string(tally.incomplete), std::to_string(tally.wrongType),
         std::to_string(tally.refused), std::to_string(tally.units.size())});
}

// A unit is the same one, unchanged, only when all that identifies it is the same: a unit
// reworked between two readings keeps its serial number but not its versions.
std::string Identity(const RecordValues& v) {
    return v.type + '\n' + v.serialNumber + '\n' + v.circuitVersion + '\n' + v.softwareVersion;
}

// Checks the unit on the line, about once a second (each poll follows the link's second of
// purge), until a new presence may be there: it went (two polls without an answer, or its
// port gone), it was swapped for another (a serial number other than serial), or the
// refusal it was left in changed (it accepts now, or a unit that accepted refuses). A
// serial number that cannot be read is no news. Between two checks, the log gets what
// was kept from it.
void WaitForNextPresence(CP06& link, TracingSerialLine& tracer, RecordWriter& writer,
                         ReaderSystem& system, bool refusing, std::optional<uint32_t> serial) {
    int silent = 0;
    while (system.stopSignal() == 0 && writer.Healthy()) {
        writer.Flush();
        const int32_t status = link.Connect(1);
        if (status == kStatusOk) {
            silent = 0;
            uint32_t seen = 0;
            const bool known = serial && link.ReadSerialNumber(seen) == kStatusOk;
            link.Disconnect();
            if (refusing || (known && seen != *serial)) return;
        } else if (IsSystemError(status)) {
            return;
        } else if (tracer.LastPollReply() == kGiveUp) {
            silent = 0;
            if (!refusing) return;
        } else if (++silent >= kSilentChecksForGone) {
            return;
        }
    }
}

// What a port that cannot be opened while waiting for a unit is said as.
std::string WaitingMessage(const ReadingPlace& place, int32_t code) {
    const int32_t port = place.port;
    const std::string& device = place.device;
    const std::string name = "COM" + std::to_string(port);
    if (!IsNoSuchPort(code))
        return Say(reader_texts::kTryingAgain, place.language, {PortErrorMessage(place, code)});
    const bool shown = !device.empty() && device != name;
    return Say(reader_texts::kWaitingForPort, place.language,
               {name + (shown ? " (" + device + ")" : std::string())});
}

}  // namespace

int RunRepeated(CP06& link, TracingSerialLine& tracer, RecordWriter& writer, RecordContext context,
                const ReaderOptions& options, ReaderSystem& system) {
    const auto stopped = [&system] { return system.stopSignal() != 0; };
    // An output that failed ends the run as a stop does, what was read kept.
    const auto ended = [&] { return stopped() || !writer.Healthy(); };
    system.err << "p06-read: "
               << Say(reader_texts::kRepeatStart, options.language,
                      {"COM" + std::to_string(context.port)})
               << std::endl;
    Tally tally;
    int32_t lastPortError = 0;
    bool echoSaid = false;  // said once for as long as the line sends the polls back
    while (!ended()) {
        ReadingPlan plan;
        plan.language = options.language;
        plan.waitMs = std::numeric_limits<uint32_t>::max();
        plan.paced = !options.fast;
        plan.startTick = system.clock.TickCount();
        plan.waitThroughPortErrors = true;
        plan.stopRequested = ended;
        plan.refused = [&tracer] { return tracer.LastPollReply() == kGiveUp; };
        plan.endOnRefusal = true;
        plan.elapsedFromAcceptedPoll = true;
        // Said once in each absence, and again only when the reason changes: a port that is
        // missing, that is no serial port, that another program holds.
        plan.portErrorSeen = [&](int32_t code) {
            writer.Flush();
            if (code == lastPortError) return;
            lastPortError = code;
            system.err << "p06-read: "
                       << WaitingMessage(
                              PlaceOf(system, context.port, false, 0,
                                      system.devicePathOf(context.port), options.language),
                              code)
                       << std::endl;
        };
        plan.pollUnanswered = [&] {
            writer.Flush();
            const bool echoed = tracer.LastPollReply() == kPoll;
            if (echoed && !echoSaid) {
                const std::string device = system.devicePathOf(context.port);
                system.err << "p06-read: "
                           << EchoMessage(
                                  PlaceOf(system, context.port, true, 0, device, options.language))
                           << std::endl;
            }
            echoSaid = echoed;
        };
        const ReadingOutcome outcome =
            RunReading(link, system.clock, plan, [](const std::string&) {});
        // A stop while waiting for a unit leaves nothing to record; a unit stopped half-way
        // is recorded with what was read of it.
        const bool accepted = outcome.record.connectStatus == kStatusOk;
        if (outcome.result == ReadingResult::Stopped && !accepted) break;
        lastPortError = 0;

        context.unixTime = system.unixTime();
        context.device = tracer.OpenedDevice().empty() ? system.devicePathOf(context.port)
                                                       : tracer.OpenedDevice();
        context.error = FailureOf(outcome, PlaceOf(system, context.port, link.IsOpen(), 0,
                                                   context.device, options.language));
        const std::string identity = Identity(ValuesOf(outcome.record));
        const bool read = outcome.result == ReadingResult::Read;
        context.again = read && !tally.units.insert(identity).second;
        const bool written = writer.Record(context, outcome);
        Count(tally, outcome.result, context.again);
        if (!context.error.message.empty())
            system.err << "p06-read: " << PlainLines(context.error.message) << std::endl;
        if (!written || outcome.result == ReadingResult::Stopped) break;
        std::optional<uint32_t> serial;
        if (outcome.record.serialStatus == kStatusOk) serial = outcome.record.serialNumber;
        WaitForNextPresence(link, tracer, writer, system, outcome.result == ReadingResult::Refused,
                            serial);
    }
    writer.Finish(stopped);
    system.err << "p06-read: " << Summary(tally, options.language) << std::endl;
    if (!writer.Error().empty()) {
        system.err << "p06-read: " << writer.Error() << std::endl;
        return kExitOutputError;
    }
    return kExitRead;
}
