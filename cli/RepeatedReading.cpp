#include "cli/RepeatedReading.h"

#include <limits>

#include "cli/ExitCode.h"
#include "cli/ReaderMessages.h"
#include "platform/SystemPorts.h"

namespace {

struct Tally {
    int read = 0;
    int incomplete = 0;
    int wrongType = 0;
};

void Count(Tally& tally, ReadingResult result) {
    if (result == ReadingResult::Read) ++tally.read;
    if (result == ReadingResult::Incomplete) ++tally.incomplete;
    if (result == ReadingResult::WrongType) ++tally.wrongType;
}

// Polls the unit until it no longer accepts: silent, refusing, or its port gone.
void WaitUntilGone(CP06& link, ReaderSystem& system) {
    while (system.stopSignal() == 0) {
        if (link.Connect(1) != kStatusOk) return;
        link.Disconnect();
    }
}

}  // namespace

int RunRepeated(CP06& link, TracingSerialLine& tracer, RecordWriter& writer, RecordContext context,
                const ReaderOptions& options, ReaderSystem& system) {
    const auto stopped = [&system] { return system.stopSignal() != 0; };
    system.err << "p06-read: reading unit after unit on COM" << context.port << "; Ctrl+C to stop"
               << std::endl;
    context.device = system.devicePathOf(context.port);
    Tally tally;
    std::string lastSerial;  // of the last unit recorded as read
    int32_t lastPortError = 0;
    while (!stopped()) {
        ReadingPlan plan;
        plan.language = options.language;
        plan.waitMs = std::numeric_limits<uint32_t>::max();
        plan.paced = !options.fast;
        plan.startTick = system.clock.TickCount();
        plan.waitThroughPortErrors = true;
        plan.stopRequested = stopped;
        plan.refused = [&tracer] { return tracer.LastPollReply() == kGiveUp; };
        // A port in use or out of reach is said once: the operator can act on it. A port
        // that is missing is the normal state between two units.
        plan.portErrorSeen = [&](int32_t code) {
            if (code == lastPortError || (!IsPortInUse(code) && !IsNoAccess(code))) return;
            lastPortError = code;
            system.err << "p06-read: "
                       << PortErrorMessage({context.port, false, 0, context.device}, code)
                       << "; trying again every second" << std::endl;
        };
        const ReadingOutcome outcome =
            RunReading(link, system.clock, plan, [](const std::string&) {});
        if (outcome.result == ReadingResult::Stopped) break;

        context.unixTime = system.unixTime();
        context.device = system.devicePathOf(context.port);
        context.error = FailureOf(outcome, {context.port, link.IsOpen(), 0, context.device});
        const std::string serial = ValuesOf(outcome.record).serialNumber;
        if (outcome.result == ReadingResult::Read && serial == lastSerial) {
            system.err << "p06-read: serial number " << serial << " read again; not recorded"
                       << std::endl;
        } else {
            if (!writer.Record(context, outcome)) break;
            Count(tally, outcome.result);
            lastSerial = outcome.result == ReadingResult::Read ? serial : std::string();
            if (!context.error.message.empty())
                system.err << "p06-read: " << PlainLines(context.error.message) << std::endl;
        }
        WaitUntilGone(link, system);
    }
    system.err << "p06-read: " << tally.read << " units read, " << tally.incomplete
               << " incomplete, " << tally.wrongType << " wrong type" << std::endl;
    if (!writer.Error().empty()) {
        system.err << "p06-read: " << writer.Error() << std::endl;
        return kExitOutputError;
    }
    return kExitRead;
}
