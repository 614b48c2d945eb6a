// The reader's command line: what each option sets, and the message for each mistake.
#include "cli/ReaderOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(ReaderOptions, NoArgumentsReadsTheDiscoveredPortInFrenchWithinTenSeconds) {
    const ParsedReaderOptions parsed = ParseReaderOptions({});
    EXPECT_EQ(parsed.error, "");
    const ReaderOptions& o = parsed.options;
    EXPECT_FALSE(o.help);
    EXPECT_FALSE(o.list);
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.waitSeconds, 10u);
    EXPECT_FALSE(o.fast);
    EXPECT_EQ(o.language, Language::French);
    EXPECT_FALSE(o.json);
    EXPECT_EQ(o.tracePath, "");
}

TEST(ReaderOptions, EachOptionSetsItsField) {
    const struct {
        Args args;
        void (*expect)(ReaderOptions&);  // what differs from the defaults
    } cases[] = {
        {{"--port", "5"}, [](ReaderOptions& o) { o.port = 5; }},
        {{"--port=100"}, [](ReaderOptions& o) { o.port = 100; }},
        {{"--port", "1"}, [](ReaderOptions& o) { o.port = 1; }},
        {{"--wait", "0"}, [](ReaderOptions& o) { o.waitSeconds = 0; }},
        {{"--wait=86400"}, [](ReaderOptions& o) { o.waitSeconds = 86400; }},
        {{"--lang", "en"}, [](ReaderOptions& o) { o.language = Language::English; }},
        {{"--lang", "en", "--lang", "fr"}, [](ReaderOptions& o) { o.language = Language::French; }},
        {{"--list"}, [](ReaderOptions& o) { o.list = true; }},
        {{"--fast"}, [](ReaderOptions& o) { o.fast = true; }},
        {{"--json"}, [](ReaderOptions& o) { o.json = true; }},
        {{"--help"}, [](ReaderOptions& o) { o.help = true; }},
        {{"-h"}, [](ReaderOptions& o) { o.help = true; }},
        {{"--trace", "-"}, [](ReaderOptions& o) { o.tracePath = "-"; }},
        {{"--trace=wire.txt"}, [](ReaderOptions& o) { o.tracePath = "wire.txt"; }},
        {{"-p", "5", "-w3", "-f"},
         [](ReaderOptions& o) { o.port = 5, o.waitSeconds = 3, o.fast = true; }},
        {{"-ljt", "t"}, [](ReaderOptions& o) { o.list = o.json = true, o.tracePath = "t"; }},
        {{"--device", "/dev/ttyUSB0"}, [](ReaderOptions& o) { o.device = "/dev/ttyUSB0"; }},
        {{"-d", "COM5"}, [](ReaderOptions& o) { o.device = "COM5"; }},
        {{"--port", "com9"}, [](ReaderOptions& o) { o.port = 9; }},
        {{"-r", "-c", "-o", "units.csv"},
         [](ReaderOptions& o) { o.repeat = o.csv = true, o.logPath = "units.csv"; }},
        {{"--repeat", "--log=u.jsonl"},
         [](ReaderOptions& o) { o.repeat = true, o.logPath = "u.jsonl"; }},
        {{"--version"}, [](ReaderOptions& o) { o.version = true; }},
        {{"-V"}, [](ReaderOptions& o) { o.version = true; }},
        {{"--json", "--port", "7", "--fast", "--lang=en", "--wait", "3", "--trace", "t"},
         [](ReaderOptions& o) {
             o.port = 7;
             o.waitSeconds = 3;
             o.fast = true;
             o.language = Language::English;
             o.json = true;
             o.tracePath = "t";
         }},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const ParsedReaderOptions parsed = ParseReaderOptions(c.args);
        ASSERT_EQ(parsed.error, "");
        const ReaderOptions& o = parsed.options;
        ReaderOptions expected;
        c.expect(expected);
        EXPECT_EQ(o.help, expected.help);
        EXPECT_EQ(o.list, expected.list);
        EXPECT_EQ(o.port, expected.port);
        EXPECT_EQ(o.waitSeconds, expected.waitSeconds);
        EXPECT_EQ(o.fast, expected.fast);
        EXPECT_EQ(o.language, expected.language);
        EXPECT_EQ(o.json, expected.json);
        EXPECT_EQ(o.tracePath, expected.tracePath);
        EXPECT_EQ(o.device, expected.device);
        EXPECT_EQ(o.repeat, expected.repeat);
        EXPECT_EQ(o.csv, expected.csv);
        EXPECT_EQ(o.logPath, expected.logPath);
        EXPECT_EQ(o.version, expected.version);
    }
}

TEST(ReaderOptions, MistakesAreNamedPrecisely) {
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"COM5"}, "unexpected argument 'COM5'"},
        {{"-"}, "unexpected argument '-'"},
        {{"--port"}, "option '--port' needs a value"},
        {{"--wait"}, "option '--wait' needs a value"},
        {{"--port", "0"}, "invalid port '0': give a COM number from 1 to 100"},
        {{"--port", "101"}, "invalid port '101': give a COM number from 1 to 100"},
        {{"--port", "-3"}, "invalid port '-3': give a COM number from 1 to 100"},
        {{"--port", "COM0"}, "invalid port 'COM0': give a COM number from 1 to 100"},
        {{"--port", "COMX"}, "invalid port 'COMX': give a COM number from 1 to 100"},
        {{"--l"}, "option '--l' is ambiguous: it may be --list, --lang, --log"},
        {{"--port", "5x"}, "invalid port '5x': give a COM number from 1 to 100"},
        {{"--port="}, "invalid port '': give a COM number from 1 to 100"},
        {{"--port", "99999999999"}, "invalid port '99999999999': give a COM number from 1 to 100"},
        {{"--wait", "1.5"}, "invalid wait '1.5': give whole seconds from 0 to 86400"},
        {{"--wait", "86401"}, "invalid wait '86401': give whole seconds from 0 to 86400"},
        {{"--lang", "de"}, "invalid language 'de': give fr or en"},
        {{"--lang", "EN"}, "invalid language 'EN': give fr or en"},
        {{"--trace="}, "option '--trace' needs a file name"},
        {{"--json=yes"}, "option '--json' takes no value"},
        {{"--fast", "--port", "2", "extra"}, "unexpected argument 'extra'"},
        {{"a", "b", "--json"}, "unexpected argument 'a'"},
        {{"-p", "5", "x", "--json", "y"}, "unexpected argument 'x'"},
        {{"-p"}, "option '-p' needs a value"},
        {{"-fz"}, "unknown option '-z'"},
        {{"--json", "-xf"}, "unknown option '-x'"},
        {{"--log="}, "option '--log' needs a file name"},
        {{"--port", "3", "--device", "COM3"}, "give --port or --device, not both"},
        {{"--csv", "--json"}, "give --csv or --json, not both"},
        {{"-r", "-w", "0"}, "give --wait or --repeat, not both: --repeat waits for each unit"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        Args english = {"--lang", "en"};
        english.insert(english.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(ParseReaderOptions(english).error, c.error);
    }
}

TEST(ReaderOptions, HelpNamesEveryOptionAndEveryExitStatus) {
    const std::string help = ReaderHelpText();
    for (const char* name :
         {"--port N", "--list",       "--wait SECONDS", "--fast",        "--lang fr|en",
          "--json",   "--trace FILE", "--help",         "--device PATH", "--repeat",
          "--csv",    "--log FILE",   "--version",      "-p, ",          "-d, ",
          "-l, ",     "-w, ",         "-f, ",           "-j, ",          "-r, ",
          "-c, ",     "-o, ",         "-t, ",           "-h, ",          "-V, "}) {
        SCOPED_TRACE(name);
        EXPECT_NE(help.find(name), std::string::npos);
        // Every option named in the help is one the parser takes.
        std::string option = std::string(name).substr(0, std::string(name).find(' '));
        if (option.back() == ',') option.pop_back();
        Args args = {option};
        if (option == "--port" || option == "-p") args.push_back("3");
        if (option == "--wait" || option == "-w") args.push_back("3");
        if (option == "--lang") args.push_back("en");
        if (option == "--trace" || option == "-t" || option == "--log" || option == "-o" ||
            option == "--device" || option == "-d")
            args.push_back("-");
        EXPECT_EQ(ParseReaderOptions(args).error, "");
    }
    for (const char* status :
         {"  0  the unit was read", "  1  bad option", "  2  the unit is not of the P06 type",
          "  3  no unit answered", "  4  no adapter", "  5  the unit answered, but a step",
          "  6  the output, the trace or the log", HELP_STOP_STATUS_EN, "code 100100",
          "SECONDS plus 2.9 s", "3.9 s at the least", "0 to 86400"}) {
        SCOPED_TRACE(status);
        EXPECT_NE(help.find(status), std::string::npos);
    }
}

}  // namespace
