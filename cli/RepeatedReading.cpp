#include "cli/RepeatedReading.h"

#include <limits>
#include <optional>

#include "cli/ExitCode.h"
#include "cli/ReaderMessages.h"
#include "platform/SystemPorts.h"

namespace {

struct Tally {
    int read = 0;
    int incomplete = 0;
    int wrongType = 0;
    int refused = 0;
};

void Count(Tally& tally, ReadingResult result) {
    if (result == ReadingResult::Read) ++tally.read;
    if (result == ReadingResult::Incomplete) ++tally.incomplete;
    if (result == ReadingResult::WrongType) ++tally.wrongType;
    if (result == ReadingResult::Refused) ++tally.refused;
}

std::string Summary(const Tally& tally) {
    return std::to_string(tally.read) + (tally.read == 1 ? " unit" : " units") + " read, " +
           std::to_string(tally.incomplete) + " incomplete, " + std::to_string(tally.wrongType) +
           " wrong type, " + std::to_string(tally.refused) + " refused";
}

// A unit is the same one, unchanged, only when all that identifies it is the same: a unit
// reworked between two readings keeps its serial number but not its versions.
bool SameUnit(const RecordValues& a, const RecordValues& b) {
    return a.type == b.type && a.serialNumber == b.serialNumber &&
           a.circuitVersion == b.circuitVersion && a.softwareVersion == b.softwareVersion;
}

// Polls the unit until it no longer accepts: silent, refusing, or its port gone.
void WaitUntilGone(CP06& link, ReaderSystem& system) {
    while (system.stopSignal() == 0) {
        if (link.Connect(1) != kStatusOk) return;
        link.Disconnect();
    }
}

// Polls a unit that refused until it no longer does: it went (silent, its port gone) or
// it became ready, and is then read as a new reading.
void WaitWhileRefusing(CP06& link, TracingSerialLine& tracer, ReaderSystem& system) {
    while (system.stopSignal() == 0) {
        const int32_t status = link.Connect(1);
        if (status == kStatusOk) {
            link.Disconnect();
            return;
        }
        if (IsSystemError(status) || tracer.LastPollReply() != kGiveUp) return;
    }
}

// What a port that cannot be opened while waiting for a unit is said as.
std::string WaitingMessage(const ReadingPlace& place, int32_t code) {
    const int32_t port = place.port;
    const std::string& device = place.device;
    const std::string name = "COM" + std::to_string(port);
    if (!IsNoSuchPort(code)) return PortErrorMessage(place, code) + "; trying again every second";
    const bool shown = !device.empty() && device != name;
    return "waiting for " + name + (shown ? " (" + device + ")" : std::string()) + " to appear";
}

}  // namespace

int RunRepeated(CP06& link, TracingSerialLine& tracer, RecordWriter& writer, RecordContext context,
                const ReaderOptions& options, ReaderSystem& system) {
    const auto stopped = [&system] { return system.stopSignal() != 0; };
    system.err << "p06-read: reading unit after unit on COM" << context.port << "; Ctrl+C to stop"
               << std::endl;
    Tally tally;
    std::optional<RecordValues> lastRead;  // of the last record, when it was a unit read
    int32_t lastPortError = 0;
    bool echoSaid = false;  // said once for as long as the line sends the polls back
    while (!stopped()) {
        ReadingPlan plan;
        plan.language = options.language;
        plan.waitMs = std::numeric_limits<uint32_t>::max();
        plan.paced = !options.fast;
        plan.startTick = system.clock.TickCount();
        plan.waitThroughPortErrors = true;
        plan.stopRequested = stopped;
        plan.refused = [&tracer] { return tracer.LastPollReply() == kGiveUp; };
        plan.endOnRefusal = true;
        plan.elapsedFromAcceptedPoll = true;
        // Said once, and again only when the reason changes: a port that is missing, that
        // is no serial port, that another program holds.
        plan.portErrorSeen = [&](int32_t code) {
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

        context.unixTime = system.unixTime();
        context.device = tracer.OpenedDevice().empty() ? system.devicePathOf(context.port)
                                                       : tracer.OpenedDevice();
        context.error = FailureOf(outcome, PlaceOf(system, context.port, link.IsOpen(), 0,
                                                   context.device, options.language));
        const RecordValues values = ValuesOf(outcome.record);
        if (outcome.result == ReadingResult::Read && lastRead && SameUnit(values, *lastRead)) {
            system.err << "p06-read: serial number " << values.serialNumber
                       << " read again, unchanged; not recorded" << std::endl;
        } else {
            const bool written = writer.Record(context, outcome);
            Count(tally, outcome.result);
            lastRead = outcome.result == ReadingResult::Read ? std::optional(values) : std::nullopt;
            if (!context.error.message.empty())
                system.err << "p06-read: " << PlainLines(context.error.message) << std::endl;
            if (!written) break;
        }
        if (outcome.result == ReadingResult::Stopped) break;
        if (outcome.result == ReadingResult::Refused)
            WaitWhileRefusing(link, tracer, system);
        else
            WaitUntilGone(link, system);
    }
    system.err << "p06-read: " << Summary(tally) << std::endl;
    if (!writer.Error().empty()) {
        system.err << "p06-read: " << writer.Error() << std::endl;
        return kExitOutputError;
    }
    return kExitRead;
}
