#include "cli/RepeatedReading.h"

#include <limits>
#include <optional>
#include <set>
#include <utility>

#include "cli/ExitCode.h"
#include "cli/ReaderMessages.h"
#include "cli/ReaderTexts.h"
#include "platform/SystemPorts.h"

namespace {

// Checks in a row that show a unit gone: no answer to the poll, or the unit fell silent in
// the check's conversation. One could be a reply lost on the line, and taking it for a
// departure would record the unit twice.
constexpr int kSilentChecksForGone = 2;
// Refused check polls in a row that make a unit just seen answering a refusing one: a unit
// busy for one poll is still the unit read.
constexpr int kRefusalsForRefusing = 2;

struct Tally {
    int read = 0;
    int readAgain = 0;
    int incomplete = 0;
    int wrongType = 0;
    int refused = 0;
    int stopped = 0;
    std::set<std::string> units;  // the identities of the units read
};

void Count(Tally& tally, ReadingResult result, bool again) {
    if (result == ReadingResult::Read) ++(again ? tally.readAgain : tally.read);
    if (result == ReadingResult::Incomplete) ++tally.incomplete;
    if (result == ReadingResult::WrongType) ++tally.wrongType;
    if (result == ReadingResult::Refused) ++tally.refused;
    if (result == ReadingResult::Stopped) ++tally.stopped;
}

std::string Summary(const Tally& tally, Language language) {
    const int presented = tally.read + tally.readAgain + tally.incomplete + tally.wrongType +
                          tally.refused + tally.stopped;
    return Say(reader_texts::kSummary, language,
               {std::to_string(presented), std::to_string(tally.read),
                std::to_string(tally.readAgain), std::to_string(tally.incomplete),
                std::to_string(tally.wrongType), std::to_string(tally.refused),
                std::to_string(tally.stopped), std::to_string(tally.units.size())});
}

// A unit is the same one, unchanged, only when all that identifies it is the same: a unit
// reworked between two readings keeps its serial number but not its versions.
std::string Identity(const RecordValues& v) {
    return v.type + '\n' + v.serialNumber + '\n' + v.circuitVersion + '\n' + v.softwareVersion;
}

// What the wait knows of the unit last recorded: what identifies it, as far as it was read.
struct RecordedUnit {
    std::optional<std::string> type;  // right or wrong
    std::optional<uint32_t> serial;
    bool refusing = false;    // recorded as refused
    bool wentSilent = false;  // its reading ended on a silence: it may have gone
};

RecordedUnit RecordedUnitOf(const ReadingOutcome& outcome) {
    const ReadingRecord& r = outcome.record;
    RecordedUnit unit;
    if (r.typeStatus == kStatusOk || r.typeStatus == kStatusWrongType) unit.type = r.type;
    if (r.serialStatus == kStatusOk) unit.serial = r.serialNumber;
    unit.refusing = outcome.result == ReadingResult::Refused;
    unit.wentSilent =
        outcome.result == ReadingResult::Incomplete && FirstFailure(r) == kStatusNothingReceived;
    return unit;
}

// One check's conversation with a unit that accepted the poll: its serial number, and its
// type while no serial number tells the recorded unit from another. Silent when the unit
// stopped answering anywhere in it, the end of the conversation included.
struct CheckAnswer {
    bool silent = false;
    bool identified = false;  // everything asked came, unspoiled
    std::string type;
    uint32_t serial = 0;
};

CheckAnswer AskIdentity(CP06& link, bool withType) {
    CheckAnswer answer;
    int32_t status = kStatusOk;
    if (withType) {
        char text[4] = {};
        status = link.ReadTypeId(text);
        answer.type.assign(text, 3);
    }
    if (status == kStatusOk) status = link.ReadSerialNumber(answer.serial);
    const int32_t end = link.Disconnect();
    answer.silent = status == kStatusNothingReceived || end == kStatusNothingReceived;
    answer.identified = status == kStatusOk && end == kStatusOk;
    return answer;
}

// Checks the unit on the line, about once a second and a half (each poll follows the
// link's second of purge), until a new presence may be there. Returns a refusal to record
// as it is, without a poll more, or nothing when a unit is to be read:
// - it went: two silent checks in a row, or its port gone;
// - it was swapped: a type or serial number other than the recorded one. A unit recorded
//   without a serial number gets it from the first check, unless it may have gone since:
//   its reading ended on a silence, or a check was silent;
// - its refusal changed: a refusing unit accepts, or a unit that answered refuses twice;
//   a refusal after a silent check is a new unit's.
// A check spoiled on the line is no news. Between two checks, the log gets what was kept.
std::optional<ReadingOutcome> WaitForNextPresence(CP06& link, TracingSerialLine& tracer,
                                                  RecordWriter& writer, ReaderSystem& system,
                                                  RecordedUnit unit) {
    int silent = unit.wentSilent ? 1 : 0;
    int refusals = 0;
    bool unbroken = !unit.wentSilent;  // the recorded unit answered every check since
    while (system.stopSignal() == 0 && writer.Healthy()) {
        writer.Flush();
        const uint32_t checkStart = system.clock.TickCount();
        const int32_t status = link.Connect(1);
        if (IsSystemError(status)) return std::nullopt;
        if (status == kStatusOk) {
            if (unit.refusing) {
                link.Disconnect();
                return std::nullopt;
            }
            const CheckAnswer answer = AskIdentity(link, !unit.serial);
            if (answer.silent) {
                unbroken = false;
                if (++silent >= kSilentChecksForGone) return std::nullopt;
                continue;
            }
            silent = 0;
            refusals = 0;
            if (!answer.identified) continue;
            const bool typeDiffers = unit.type && !unit.serial && answer.type != *unit.type;
            if (typeDiffers || (unit.serial && answer.serial != *unit.serial)) return std::nullopt;
            if (!unit.serial && !unbroken) return std::nullopt;
            unit.serial = answer.serial;
        } else if (tracer.LastPollReply() == kGiveUp) {
            if (unit.refusing) {
                silent = 0;
                continue;
            }
            if (silent == 0 && ++refusals < kRefusalsForRefusing) continue;
            ReadingOutcome refusal;
            refusal.result = ReadingResult::Refused;
            refusal.record.connectStatus = status;
            refusal.elapsedMs = system.clock.TickCount() - checkStart;
            return refusal;
        } else {
            unbroken = false;
            if (++silent >= kSilentChecksForGone) return std::nullopt;
        }
    }
    return std::nullopt;
}

// What a port that cannot be opened while waiting for a unit is said as.
std::string WaitingMessage(const ReadingPlace& place, int32_t code) {
    if (!IsNoSuchPort(code))
        return Say(reader_texts::kTryingAgain, place.language, {PortErrorMessage(place, code)});
    return Say(reader_texts::kWaitingForPort, place.language,
               {PortAndDevice(place.port, place.device)});
}

}  // namespace

int RunRepeated(CP06& link, TracingSerialLine& tracer, RecordWriter& writer, RecordContext context,
                const ReaderOptions& options, ReaderSystem& system) {
    const auto stopped = [&system] { return system.stopSignal() != 0; };
    // An output that failed ends the run as a stop does, what was read kept.
    const auto ended = [&] { return stopped() || !writer.Healthy(); };
    system.err << "p06-read: "
               << Say(reader_texts::kRepeatStart, options.language,
                      {ComName(context.port, system.devicePathOf(context.port))})
               << std::endl;
    Tally tally;
    int32_t lastPortError = 0;
    bool echoSaid = false;  // said once for as long as the line sends the polls back
    std::optional<ReadingOutcome> refusal;  // seen by a check, to be recorded as it is
    int exitStatus = kExitRead;
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
        // An alias that leads to a file is not mended by waiting: it ends the run.
        plan.portErrorSeen = [&](int32_t code) {
            writer.Flush();
            const ReadingPlace place = PlaceOf(system, context.port, false, 0,
                                               system.devicePathOf(context.port), options.language);
            if (place.where.state == PortWhere::State::NotADevice && !place.where.alias.empty())
                return false;
            if (code == lastPortError) return true;
            lastPortError = code;
            system.err << "p06-read: " << WaitingMessage(place, code) << std::endl;
            return true;
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
            refusal ? *std::exchange(refusal, std::nullopt)
                    : RunReading(link, system.clock, plan, [](const std::string&) {});
        // A stop while waiting for a unit leaves nothing to record; a unit stopped half-way
        // is recorded with what was read of it.
        if (outcome.result == ReadingResult::PortError) {
            system.err << "p06-read: "
                       << PortErrorMessage(
                              PlaceOf(system, context.port, false, 0,
                                      system.devicePathOf(context.port), options.language),
                              outcome.portError)
                       << std::endl;
            exitStatus = kExitPortError;
            break;
        }
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
        refusal = WaitForNextPresence(link, tracer, writer, system, RecordedUnitOf(outcome));
    }
    writer.Finish(stopped);
    system.err << "p06-read: " << Summary(tally, options.language) << std::endl;
    if (!writer.Error().empty()) {
        system.err << "p06-read: " << writer.Error() << std::endl;
        return kExitOutputError;
    }
    return exitStatus;
}
