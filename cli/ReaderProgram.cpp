#include "cli/ReaderProgram.h"

#include <fstream>
#include <sstream>

#include "cli/ExitCode.h"
#include "cli/OutputFile.h"
#include "cli/PortListing.h"
#include "cli/ReaderMessages.h"
#include "cli/ReaderOptions.h"
#include "cli/ReaderTexts.h"
#include "cli/RepeatedReading.h"
#include "cli/TracingSerialLine.h"
#include "cli/WatchedClock.h"
#include "dialogs/PortDiscovery.h"
#include "link/Com_p06.h"
#include "platform/RecordLog.h"

namespace {

constexpr const char* kProgram = "p06-read";

int ExitStatusOf(ReadingResult result) {
    switch (result) {
        case ReadingResult::Read:
            return kExitRead;
        case ReadingResult::Incomplete:
            return kExitIncomplete;
        case ReadingResult::WrongType:
            return kExitWrongType;
        case ReadingResult::NoAnswer:
        case ReadingResult::Refused:
            return kExitNoAnswer;
        case ReadingResult::PortError:
        case ReadingResult::Stopped:
            return kExitPortError;
    }
    return kExitPortError;
}

int OutputFailure(const std::string& error, ReaderSystem& system) {
    system.err << kProgram << ": " << error << std::endl;
    return kExitOutputError;
}

// Writes text on standard output; a failure is reported.
int Print(const std::string& text, ReaderSystem& system) {
    RecordWriter writer(system.out, {}, RecordFormat::Lines);
    std::string body = text;
    if (!body.empty() && body.back() == '\n') body.pop_back();
    return writer.Line(body) ? kExitRead : OutputFailure(writer.Error(), system);
}

RecordFormat FormatOf(const ReaderOptions& options) {
    if (options.csv) return RecordFormat::Csv;
    return options.json || options.repeat ? RecordFormat::Json : RecordFormat::Lines;
}

// A second stop ends the process before the reading can: it still leaves a record of
// the reading cut short, and says so.
void PrepareLastWords(RecordContext context, const ReaderOptions& options, ReaderSystem& system) {
    const std::string message = Text(reader_texts::kStoppedAtOnce, options.language);
    std::ostringstream record;
    if (!options.repeat) {
        context.device = system.devicePathOf(context.port);
        context.error = {kStatusStopped, message};
        ReadingOutcome outcome;
        outcome.result = ReadingResult::Stopped;
        RecordWriter(record, {}, FormatOf(options)).Record(context, outcome);
    }
    system.setLastWords(record.str(), std::string(kProgram) + ": " + message + "\n");
}

// One reading, its record and its message.
int ReadOnce(CP06& link, TracingSerialLine& tracer, RecordWriter& writer, RecordContext context,
             const ReaderOptions& options, ReaderSystem& system) {
    ReadingPlan plan;
    plan.language = options.language;
    plan.waitMs = options.waitSeconds * 1000;
    plan.paced = !options.fast;
    plan.startTick = system.clock.TickCount();
    plan.stopRequested = [&system] { return system.stopSignal() != 0; };
    plan.refused = [&tracer] { return tracer.LastPollReply() == kGiveUp; };
    plan.echoed = [&tracer] { return tracer.LastPollReply() == kPoll; };
    const ReadingOutcome outcome =
        RunReading(link, system.clock, plan, [&writer](const std::string& l) { writer.Line(l); });
    // The device opened for this reading; looked up now when none was.
    context.device = outcome.result == ReadingResult::PortError || tracer.OpenedDevice().empty()
                         ? system.devicePathOf(context.port)
                         : tracer.OpenedDevice();
    context.error =
        FailureOf(outcome, PlaceOf(system, context.port, link.IsOpen(), options.waitSeconds,
                                   context.device, options.language));
    writer.Record(context, outcome);
    system.setLastWords({}, {});
    writer.Finish(plan.stopRequested);
    if (!context.error.message.empty()) {
        system.err << "p06-read: " << context.error.message << std::endl;
    }
    if (!writer.Error().empty()) return OutputFailure(writer.Error(), system);
    return ExitStatusOf(outcome.result);
}

// A device named by its path, which is read even without a COM number.
bool IsPath(const std::string& device) { return device.find('/') != std::string::npos; }

// The port to read: given, or the adapter's that discovery chooses; 0 when there is none.
// Without --port or --device no other port is polled: it may belong to other equipment.
int32_t ChoosePort(const ReaderOptions& options, ReaderSystem& system) {
    if (!options.device.empty()) return system.portOfDevice(options.device);
    if (options.port != 0) return options.port;
    PortDiscovery discovery(system.makePortTable());
    discovery.ScanPorts();
    return discovery.IsAdapterPort() ? discovery.GetPortNumber() : 0;
}

// With --repeat, the adapter's port once it is plugged in, said once; 0 when stopped first.
int32_t WaitForAdapter(const ReaderOptions& options, ReaderSystem& system) {
    bool said = false;
    for (;;) {
        const int32_t port = ChoosePort(options, system);
        if (port != 0 || system.stopSignal() != 0) return port;
        if (!said) {
            system.err << kProgram << ": "
                       << Say(reader_texts::kWaitingForAdapter, options.language) << std::endl;
            said = true;
        }
        system.clock.Sleep(kPortRetryMs);
    }
}

int ReadPort(int32_t port, uint32_t startTick, const ReaderOptions& options, ReaderSystem& system);

// A port that is not read at all: the message, and with --json the record.
int ReportPortError(const std::string& message, const ReaderOptions& options,
                    ReaderSystem& system) {
    if (options.json) {
        RecordContext context;
        context.unixTime = system.unixTime();
        context.error = {kStatusNoPort, message};
        ReadingOutcome outcome;
        outcome.result = ReadingResult::PortError;
        RecordWriter writer(system.out, {}, RecordFormat::Json);
        if (!writer.Record(context, outcome)) return OutputFailure(writer.Error(), system);
    }
    system.err << kProgram << ": " << message << std::endl;
    return kExitPortError;
}

int ReportNoPort(const ReaderOptions& options, ReaderSystem& system) {
    const Language l = options.language;
    const std::string message = options.device.empty() ? Say(reader_texts::kNoAdapter, l)
                                // A name that is no port's (COM101, ttyUSB0).
                                : !IsPath(options.device)
                                    ? Say(reader_texts::kNotAPort, l, {options.device})
                                    : Say(reader_texts::kNoSuchDevice, l, {options.device});
    return ReportPortError(message, options, system);
}

// Another program that has the port open without a lock would read the unit's answers
// before the link does: the reading would look like a unit that answers nothing.
int ReportHolders(int32_t port, const ReaderOptions& options, ReaderSystem& system) {
    const std::string device = system.devicePathOf(port);
    const std::vector<std::string> holders = system.holdersOf(device);
    if (holders.empty()) return kExitRead;
    std::string names;
    for (const std::string& holder : holders) names += (names.empty() ? "" : ", ") + holder;
    return ReportPortError(
        Say(reader_texts::kHeldByOthers, options.language, {PortAndDevice(port, device), names}),
        options, system);
}

}  // namespace

ReadingPlace PlaceOf(ReaderSystem& system, int32_t port, bool opened, uint32_t waitSeconds,
                     const std::string& device, Language language) {
    ReadingPlace place;
    place.port = port;
    place.portWasOpened = opened;
    place.waitSeconds = waitSeconds;
    place.device = device;
    place.language = language;
    place.where = system.whereIs(port);
    place.access = system.accessOf(device);
    return place;
}

int RunReader(const std::vector<std::string>& args, ReaderSystem& system) {
    const ParsedReaderOptions parsed = ParseReaderOptions(args);
    const ReaderOptions& options = parsed.options;
    if (!parsed.error.empty()) {
        system.err << BadOptionText(kProgram, parsed.error, CommandLineWordsIn(options.language))
                   << std::flush;
        return kExitUsage;
    }
    if (options.help) return Print(ReaderHelpText(options.language), system);
    if (options.version) return Print(VersionLine(kProgram), system);
    // Rights dropped with HOME left at another user's: the ports are still read, by their
    // kernel numbers, and the user knows why an alias is not.
    if (const FolderProblem problem = system.aliasFolderProblem(); !problem.folder.empty()) {
        const Language l = options.language;
        system.err << kProgram << ": "
                   << Say(reader_texts::kNoAliases, l,
                          {problem.folder, problem.code != 0 ? SystemReasonIn(problem.code, l)
                                                             : Text(reader_texts::kNoFolder, l)})
                   << std::endl;
    }
    if (options.list) {
        std::vector<std::string> leftOut;
        const ListFormat format = options.json  ? ListFormat::Json
                                  : options.csv ? ListFormat::Csv
                                                : ListFormat::Lines;
        const std::string listing =
            PortListing(system.makePortTable(), options.port, format, &leftOut);
        // An alias that is no port is easy to make by hand; say why it is not listed.
        for (std::string why : leftOut) {
            for (const TextPair& reason : reader_texts::kLeftOutReasons) {
                const std::string english = Text(reason, Language::English);
                if (why.ends_with(": " + english))
                    why.replace(why.size() - english.size(), english.size(),
                                Text(reason, options.language));
            }
            system.err << kProgram << ": "
                       << Say(reader_texts::kListedNotAPort, options.language, {why}) << '\n';
        }
        return listing.empty() ? kExitRead : Print(listing, system);
    }

    const uint32_t startTick = system.clock.TickCount();
    const bool waitForAdapter = options.repeat && options.port == 0 && options.device.empty();
    const int32_t port =
        waitForAdapter ? WaitForAdapter(options, system) : ChoosePort(options, system);
    if (port == 0 && system.stopSignal() != 0) return kExitRead;  // stopped before any unit
    if (port != 0) return ReadPort(port, startTick, options, system);
    if (!IsPath(options.device) || !system.deviceExists(options.device))
        return ReportNoPort(options, system);
    // A device without a COM number (a pty, a Bluetooth tty): named and opened by its path.
    ReaderSystem deviceSystem = system;
    deviceSystem.devicePathOf = [&options](int32_t) { return options.device; };
    deviceSystem.whereIs = [](int32_t) { return PortWhere{}; };
    return ReadPort(0, startTick, options, deviceSystem);
}

namespace {

// Reads the port (0: options.device, which has no COM number) once or with --repeat.
int ReadPort(int32_t port, uint32_t startTick, const ReaderOptions& options, ReaderSystem& system) {
    if (const int held = ReportHolders(port, options, system); held != kExitRead) return held;

    std::unique_ptr<std::ofstream> traceFile;
    std::string reason;
    if (!options.tracePath.empty() && options.tracePath != "-") {
        traceFile = OpenOutputFile(options.tracePath, false, reason, options.language);
        if (!traceFile) {
            system.err << BadOptionText(
                kProgram,
                Say(reader_texts::kCannotWriteTrace, options.language, {options.tracePath, reason}),
                CommandLineWordsIn(options.language));
            return kExitUsage;
        }
    }
    if (!options.logPath.empty()) {
        // A log another program holds now is written when it lets go.
        const int32_t code = record_log::Check(options.logPath);
        if (code != 0 && code != record_log::kLocked) {
            system.err << BadOptionText(kProgram,
                                        Say(reader_texts::kCannotWriteLog, options.language,
                                            {options.logPath, LogReason(code, options.language)}),
                                        CommandLineWordsIn(options.language));
            return kExitUsage;
        }
    }
    std::ostream* trace = options.tracePath.empty() ? nullptr
                          : traceFile               ? traceFile.get()
                                                    : &system.err;
    TracingSerialLine tracer(system.line, system.clock, trace, startTick);
    if (port == 0) tracer.OpenInstead(options.device);
    tracer.SetDeviceLookup([&system, port] { return system.devicePathOf(port); });
    RecordWriter writer(system.out, options.logPath, FormatOf(options));
    writer.SetNotices(system.err, system.clock, options.language);
    if (options.repeat) writer.QueueOutput();

    int status = kExitRead;
    {
        // Made after the tracer, the link goes before it: its last words on closing are traced.
        // A locked log is said on time even in the middle of a reading.
        WatchedClock linkClock(system.clock, [&writer] { writer.TellLockIfDue(); });
        CP06 link(tracer, linkClock);
        link.SetPort(port);
        RecordContext context;
        context.port = port;
        context.unixTime = system.unixTime();
        if (!writer.Begin()) return OutputFailure(writer.Error(), system);
        PrepareLastWords(context, options, system);
        status = options.repeat ? RunRepeated(link, tracer, writer, context, options, system)
                                : ReadOnce(link, tracer, writer, context, options, system);
        // Let go of the port here: the link's destructor would end the conversation twice,
        // and with a silent unit each end byte waits out a read time-out.
        link.Close();
    }
    if (!tracer.TraceWritten()) {
        const int32_t code = tracer.TraceError();
        const Language l = options.language;
        return OutputFailure(
            Say(reader_texts::kCannotWriteTrace, l,
                {options.tracePath,
                 code != 0 ? SystemReasonIn(code, l) : Say(reader_texts::kWriteError, l)}),
            system);
    }
    return status;
}
}  // namespace
