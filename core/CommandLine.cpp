#include "core/CommandLine.h"

#include <getopt.h>

#include "Version.h"

namespace {

// The wording with %1 replaced by what, %2 by more.
std::string Fill(const char* wording, const std::string& what, const std::string& more = {}) {
    std::string text = wording;
    size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, what);
    at = text.find("%2");
    if (at != std::string::npos) text.replace(at, 2, more);
    return text;
}

// The long options a shortened one may stand for ("--list, --lang, --log" for "--l").
std::string LongOptionsStartingWith(const std::vector<OptionDefinition>& definitions,
                                    const std::string& typed) {
    std::string names;
    if (typed.rfind("--", 0) != 0 || typed.size() < 3) return names;
    for (const OptionDefinition& option : definitions)
        if (std::string(option.longName).rfind(typed.substr(2), 0) == 0)
            names += (names.empty() ? "--" : ", --") + std::string(option.longName);
    return names;
}

// getopt_long keeps its place in globals; each parse starts afresh.
void ResetGetopt() {
    optind = 0;
    opterr = 0;
}

// The option getopt_long stopped at, for a message: "--port", "-p", or the unknown
// argument as typed ("--verbose" from "--verbose=1").
std::string OptionName(const std::vector<OptionDefinition>& definitions,
                       const std::string& argument) {
    if (optopt >= 256)
        return std::string("--") + definitions[static_cast<size_t>(optopt - 256)].longName;
    if (optopt > 0) return std::string("-") + static_cast<char>(optopt);
    return argument.substr(0, argument.find('='));
}

}  // namespace

std::string ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<OptionDefinition>& definitions,
                             const ApplyOption& apply, const CommandLineWords& words) {
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.emplace_back("program");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);

    // ':' first: a missing value is told apart from an unknown option.
    std::string shortOptions = ":";
    std::vector<option> longOptions;
    for (size_t i = 0; i < definitions.size(); ++i) {
        const OptionDefinition& option = definitions[i];
        if (option.shortName != 0) {
            shortOptions += option.shortName;
            if (option.takesValue) shortOptions += ':';
        }
        // Long options return 256 + their index, so they need no short letter.
        longOptions.push_back({option.longName, option.takesValue ? required_argument : no_argument,
                               nullptr, static_cast<int>(256 + i)});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    ResetGetopt();
    const int argc = static_cast<int>(storage.size());
    for (;;) {
        const int key =
            getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (key == -1) break;
        if (key == ':' || key == '?') {
            const std::string name =
                OptionName(definitions, storage[static_cast<size_t>(optind - 1)]);
            // A long option's fault follows from the option: the getopt_long of glibc and
            // that of mingw-w64 return different keys for a value given to a flag.
            const bool needsValue = optopt >= 256
                                        ? definitions[static_cast<size_t>(optopt - 256)].takesValue
                                        : key == ':';
            if (needsValue) return Fill(words.needsValue, name);
            if (optopt >= 256) return Fill(words.takesNoValue, name);
            const std::string candidates = LongOptionsStartingWith(definitions, name);
            if (candidates.find(',') != std::string::npos)
                return Fill(words.ambiguous, name, candidates);
            return Fill(words.unknown, name);
        }
        const OptionDefinition* option = nullptr;
        if (key >= 256) {
            option = &definitions[static_cast<size_t>(key - 256)];
        } else {
            for (const OptionDefinition& s : definitions)
                if (s.shortName == key) option = &s;
        }
        if (option == nullptr) return Fill(words.unknown, "?");
        const std::string error = apply(*option, optarg != nullptr ? optarg : "");
        if (!error.empty()) return error;
    }
    // getopt_long has moved the arguments that are no options to the end of argv (not of
    // storage): the first of them is at optind there.
    if (optind < argc) return Fill(words.unexpected, argv[static_cast<size_t>(optind)]);
    return {};
}

std::optional<uint64_t> ParseWholeNumber(const std::string& text, uint64_t low, uint64_t high) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::string BadOptionText(const std::string& program, const std::string& error,
                          const CommandLineWords& words) {
    return program + ": " + error + "\n" + Fill(words.tryHelp, program) + "\n";
}

std::string VersionLine(const std::string& program) {
    return program + " " + QUENLOR_VERSION + "\n";
}
