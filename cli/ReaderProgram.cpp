#include "cli/ReaderProgram.h"

#include <fstream>
#include <optional>

#include "cli/ExitCode.h"
#include "cli/JsonReport.h"
#include "cli/PacedReading.h"
#include "cli/ReaderOptions.h"
#include "cli/TracingSerialLine.h"
#include "dialogs/PortDiscovery.h"
#include "link/Com_p06.h"
#include "platform/SystemError.h"

namespace {

constexpr const char* kProgram = "p06-read: ";

std::string ComName(int32_t port) { return "COM" + std::to_string(port); }

// The error box's text on a terminal: its line breaks (LF LF CR) become one newline.
std::string PlainLines(const std::string& message) {
    std::string text;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\n' || message[i] == '\r') {
            while (i + 1 < message.size() && (message[i + 1] == '\n' || message[i + 1] == '\r'))
                ++i;
            text += '\n';
        } else {
            text += message[i];
        }
    }
    return text;
}

void ListPorts(PortDiscovery& discovery, const ReaderOptions& options, std::ostream& out) {
    discovery.ScanPorts();
    const int chosen = options.port != 0 ? -1 : discovery.SelectedIndex;
    for (size_t i = 0; i < discovery.PortLabels.size(); ++i) {
        const std::string& label = discovery.PortLabels[i];
        const bool marked = options.port != 0
                                ? PortDiscovery::ParsePortNumber(label) == options.port
                                : discovery.PortNumber != 0 && static_cast<int>(i) == chosen;
        out << (marked ? "* " : "  ") << label << '\n';
    }
    out.flush();
}

void ReportNoPort(const ReaderOptions& options, ReaderSystem& system) {
    if (options.json) {
        ReadingOutcome outcome;
        outcome.result = ReadingResult::PortError;
        system.out << ReadingJson(0, outcome) << std::endl;
    }
    system.err << kProgram << "no serial port found; connect the unit's adapter or give --port N"
               << std::endl;
}

int Report(int32_t port, const ReaderOptions& options, const ReadingOutcome& outcome,
           bool portWasOpened, ReaderSystem& system) {
    if (options.json) system.out << ReadingJson(port, outcome) << std::endl;
    switch (outcome.result) {
        case ReadingResult::Read:
            return kExitRead;
        case ReadingResult::WrongType:
            system.err << PlainLines(outcome.wrongTypeMessage) << std::endl;
            return kExitWrongType;
        case ReadingResult::NoAnswer:
            system.err << kProgram << "no answer from the unit on " << ComName(port) << " within "
                       << options.waitSeconds << " s" << std::endl;
            return kExitNoAnswer;
        case ReadingResult::PortError:
            system.err << kProgram << ComName(port)
                       << (portWasOpened ? " could not be used: " : " could not be opened: ")
                       << SystemErrorText(outcome.portError) << " (error " << outcome.portError
                       << ")" << std::endl;
            return kExitPortError;
    }
    return kExitPortError;
}

}  // namespace

int RunReader(const std::vector<std::string>& args, ReaderSystem& system) {
    const ParsedReaderOptions parsed = ParseReaderOptions(args);
    if (!parsed.error.empty()) {
        system.err << kProgram << parsed.error << "\nTry 'p06-read --help' for more information."
                   << std::endl;
        return kExitUsage;
    }
    const ReaderOptions& options = parsed.options;
    if (options.help) {
        system.out << ReaderHelpText() << std::flush;
        return kExitRead;
    }

    const uint32_t startTick = system.clock.TickCount();
    int32_t port = options.port;
    if (options.list || port == 0) {
        PortDiscovery discovery(system.makePortTable());
        if (options.list) {
            ListPorts(discovery, options, system.out);
            return kExitRead;
        }
        discovery.ScanPorts();
        port = discovery.GetPortNumber();
        if (port == 0) {
            ReportNoPort(options, system);
            return kExitPortError;
        }
    }

    std::ofstream traceFile;
    std::optional<TracingSerialLine> tracer;
    if (!options.tracePath.empty()) {
        std::ostream* trace = &system.err;
        if (options.tracePath != "-") {
            traceFile.open(options.tracePath, std::ios::out | std::ios::trunc);
            if (!traceFile) {
                system.err << kProgram << "cannot write the trace to '" << options.tracePath
                           << "'\nTry 'p06-read --help' for more information." << std::endl;
                return kExitUsage;
            }
            trace = &traceFile;
        }
        tracer.emplace(system.line, system.clock, *trace, startTick);
    }

    // Made after the tracer, the link goes before it: its last words on closing are traced.
    CP06 link(tracer ? static_cast<SerialLine&>(*tracer) : system.line, system.clock);
    link.SetPort(port);

    ReadingPlan plan;
    plan.language = options.language;
    plan.waitMs = options.waitSeconds * 1000;
    plan.paced = !options.fast;
    plan.startTick = startTick;
    std::ostream& out = system.out;
    const bool json = options.json;
    const ReadingOutcome outcome =
        RunReading(link, system.clock, plan, [&out, json](const std::string& line) {
            if (!json) out << line << std::endl;
        });
    return Report(port, options, outcome, link.IsOpen(), system);
}
