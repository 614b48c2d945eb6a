// p06-read as a whole against the fakes: what it prints on each stream and the status it
// exits with, for each way a reading can end.
#include "cli/ReaderProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Version.h"
#include "cli/CsvReport.h"
#include "cli/ExitCode.h"
#include "cli/ReaderOptions.h"
#include "platform/SystemError.h"
#include "sim/DeviceModel.h"
#include "tests/support/ExpectedReading.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortTable.h"
#include "tests/support/FakeSerialLine.h"
#include "tests/support/ReaderLines.h"
#include "tests/support/TempDir.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

using Args = std::vector<std::string>;

const std::vector<FakePortValue> kTwoPorts = {{"\\Device\\Serial0", kRegSz, "COM1"},
                                              {"\\Device\\Silabser0", kRegSz, "COM4"}};

struct ReaderRun {
    explicit ReaderRun(UnitConfig unit = {}, FaultConfig faults = {},
                       std::vector<FakePortValue> ports = kTwoPorts)
        : model(unit, faults), ports(std::move(ports)) {
        line.AttachModel(&model);
    }

    int operator()(const Args& args) {
        ReaderSystem system{out, err, line, clock,
                            [this] { return std::make_unique<FakePortTable>(ports); }};
        system.whereIs = [this](int32_t) { return where; };
        system.accessOf = [this](const std::string&) { return access; };
        system.deviceExists = [this](const std::string&) { return deviceExists; };
        return RunReader(args, system);
    }

    DeviceModel model;
    std::vector<FakePortValue> ports;
    FakeClock clock;
    FakeSerialLine line{clock};
    PortWhere where;
    PortAccess access{"dialout", false, false, ""};
    bool deviceExists = false;
    std::ostringstream out;
    std::ostringstream err;
};

const std::string kFrenchReading = AsOutput(SuccessfulReading(kFrench));
const std::string kEnglishReading = AsOutput(ReaderReading(kEnglish));

TEST(ReaderProgram, ReadsTheDiscoveredAdapterPortAndPrintsTheWindowsLines) {
    const struct {
        Args args;
        std::string lines;
    } cases[] = {
        {{}, kFrenchReading},
        {{"--lang", "fr", "--fast"}, kFrenchReading},
        {{"--lang", "en"}, kEnglishReading},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        ReaderRun run;
        EXPECT_EQ(run(c.args), kExitRead);
        EXPECT_EQ(run.out.str(), c.lines);
        EXPECT_EQ(run.err.str(), "");
        // The adapter's port, as the window prefers it.
        ASSERT_FALSE(run.line.calls.empty());
        EXPECT_EQ(run.line.calls.front(), "open \\\\.\\COM4");
    }
}

TEST(ReaderProgram, PortOptionBypassesDiscovery) {
    for (const Args& args : {Args{"--port", "12"}, Args{"-p12"}, Args{"--device", "COM12"}}) {
        SCOPED_TRACE(args[0]);
        ReaderRun run({}, {}, {});  // no port listed at all
        EXPECT_EQ(run(args), kExitRead);
        EXPECT_EQ(run.line.calls.front(), "open \\\\.\\COM12");
    }
    const struct {
        const char* lang;
        const char* err;
    } unknown[] = {
        {"en", "/dev/ttyUSB0: no such device; plug the adapter in, or see the ports with --list"},
        {"fr",
         "/dev/ttyUSB0 : aucun périphérique de ce nom ; branchez l'adaptateur, ou voyez les ports "
         "avec --list"},
        {"en", "'ttyUSB0' is not a serial port; see the ports with --list"},
    };
    for (const auto& c : unknown) {
        SCOPED_TRACE(c.err);
        ReaderRun run;
        const char* device = c.err[0] == '\'' ? "ttyUSB0" : "/dev/ttyUSB0";
        EXPECT_EQ(run({"--device", device, "--lang", c.lang}), kExitPortError);
        EXPECT_EQ(run.err.str(), std::string("p06-read: ") + c.err + "\n");
        EXPECT_TRUE(run.line.calls.empty());
    }
    // A tty without a COM number (a pty) is read by its path and recorded without a port.
    ReaderRun run({}, {}, {});
    run.deviceExists = true;
    EXPECT_EQ(run({"--device", "/dev/pts/3", "--json", "--fast"}), kExitRead);
    EXPECT_EQ(run.line.calls.front(), "open /dev/pts/3");
    EXPECT_NE(run.out.str().find("\"port\": null, \"device\": \"/dev/pts/3\""), std::string::npos);
}

TEST(ReaderProgram, JsonReplacesTheLines) {
    ReaderRun run;
    EXPECT_EQ(run({"--json", "--fast"}), kExitRead);
    EXPECT_EQ(run.out.str(),
              "{\"time\": \"1970-01-01T00:00:00Z\", \"port\": 4, \"device\": \"COM4\", \"type\": "
              "\"P06\", \"serialNumber\": 4660, \"circuitVersion\": 3, "
              "\"softwareVersion\": \"2.5\", \"status\": {\"connect\": 0, \"type\": 0, "
              "\"serialNumber\": 0, \"circuitVersion\": 0, \"softwareVersion\": 0, "
              "\"disconnect\": 0}, \"elapsedMs\": 1572, \"result\": \"read\", \"error\": null, "
              "\"version\": \"" QUENLOR_VERSION "\"}\n");
    EXPECT_EQ(run.err.str(), "");
}

TEST(ReaderProgram, RecordNamesTheDeviceOpenedForTheReading) {
    // The port's alias changes (or its device goes) after the open.
    ReaderRun run;
    int lookups = 0;
    ReaderSystem system{run.out, run.err, run.line, run.clock,
                        [&run] { return std::make_unique<FakePortTable>(run.ports); }};
    system.devicePathOf = [&](int32_t) {
        lookups += run.line.isOpen ? 1 : 0;
        return lookups <= 1 ? std::string("/dev/pts/3") : std::string("/dev/ttyS3");
    };
    EXPECT_EQ(RunReader({"--json", "--fast"}, system), kExitRead);
    EXPECT_NE(run.out.str().find("\"device\": \"/dev/pts/3\""), std::string::npos) << run.out.str();
}

TEST(ReaderProgram, AnotherProgramHoldingThePortIsNamedAndNoPollGoesOut) {
    for (const Args& args : {Args{}, Args{"--repeat"}}) {
        ReaderRun run;
        ReaderSystem system{run.out, run.err, run.line, run.clock,
                            [&run] { return std::make_unique<FakePortTable>(run.ports); }};
        system.devicePathOf = [](int32_t) { return std::string("/dev/ttyUSB0"); };
        system.holdersOf = [](const std::string& device) {
            return device == "/dev/ttyUSB0" ? std::vector<std::string>{"socat (pid 42)"}
                                            : std::vector<std::string>{};
        };
        EXPECT_EQ(RunReader(args, system), kExitPortError);
        EXPECT_EQ(run.err.str(),
                  "p06-read: COM4 (/dev/ttyUSB0) est ouvert aussi par socat (pid 42) : il "
                  "prendrait les réponses de l'appareil ; fermez-le et réessayez\n");
        EXPECT_TRUE(run.line.calls.empty());
    }
}

TEST(ReaderProgram, WrongTypeNamesTheTypeReceivedOnce) {
    // The window's lines on standard output; the type as it came, bytes outside printable
    // ASCII escaped as in the record.
    const std::string device = CP06::DeviceName();
    const struct {
        const char* lang;
        int32_t language;
        std::string type;
        std::string message;
    } cases[] = {
        {"fr", kFrench, "P07",
         "l'appareil sur COM4 est de type \"P07\", pas \"P06\" (" + device +
             ") : branchez un appareil \"P06\""},
        {"en", kEnglish, std::string("\0P7", 3),
         "the unit on COM4 is of type \"\\u0000P7\", not \"P06\" (" + device +
             "): plug in a \"P06\" unit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        UnitConfig unit;
        unit.type = c.type;
        ReaderRun run(unit);
        EXPECT_EQ(run({"--lang", c.lang}), kExitWrongType);
        EXPECT_EQ(run.out.str(), AsOutput(WrongTypeReading(c.language)));
        EXPECT_EQ(run.err.str(), "p06-read: " + c.message + "\n");
    }
}

TEST(ReaderProgram, SilentUnitEndsWithNoAnswerAfterTheWait) {
    FaultConfig faults;
    faults.silent = true;
    ReaderRun run({}, faults);
    EXPECT_EQ(run({"--wait", "1", "--lang", "en"}), kExitNoAnswer);
    EXPECT_EQ(run.out.str(), "");
    EXPECT_EQ(run.err.str(),
              "p06-read: no answer from the unit on COM4 within 1 s: is the unit switched on and "
              "its cable plugged in? Is this the unit's port?\n");
}

TEST(ReaderProgram, PortThatCannotBeOpenedGivesTheSystemsMessage) {
    // The port as the system has it: none (Windows), an alias to an absent adapter, or a
    // kernel device that is not there; never another device of that number.
    const PortWhere alias{"/h/.config/quenlor/ports/COM9", "/dev/serial/by-id/usb-X",
                          PortWhere::State::Absent};
    const PortWhere kernel{"", "/dev/ttyS8", PortWhere::State::Absent};
    // An alias to a file or a folder: no waiting mends it, with --repeat neither.
    const PortWhere file{"/h/COM9", "/etc/passwd", PortWhere::State::NotADevice};
    const PortWhere folder{"/h/COM9", "/etc", PortWhere::State::NotADevice, true};
    const std::string missing = SystemErrorText(2) + " (error 2)";
    const struct {
        PortWhere where;
        const char* lang;
        std::string err;
        bool repeat = false;
    } cases[] = {
        {file, "en",
         "COM9 leads to /etc/passwd, which is a file, not a device: remove or fix the alias "
         "(/h/COM9)"},
        {folder, "fr",
         "COM9 mène à /etc, qui est un dossier, pas un périphérique : supprimez ou corrigez "
         "l'alias (/h/COM9)",
         true},
        {{},
         "en",
         "COM9 could not be opened: no such device; plug the adapter in, or see the ports with "
         "--list: " +
             missing},
        {alias, "en",
         "COM9 → /dev/serial/by-id/usb-X (absent) could not be opened: no such device; plug the "
         "adapter in, or see the ports with --list: " +
             missing},
        {kernel, "fr",
         "COM9 (/dev/ttyS8, absent) n'a pas pu être ouvert : aucun périphérique ; branchez "
         "l'adaptateur, ou voyez les ports avec --list : " +
             SystemErrorText(2, 0) + " (erreur 2)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        ReaderRun run;
        run.line.openError = 2;
        run.where = c.where;
        const Args args = c.repeat ? Args{"--port", "9", "--repeat", "--lang", c.lang}
                                   : Args{"--port", "9", "--wait", "600", "--lang", c.lang};
        EXPECT_EQ(run(args), kExitPortError);
        EXPECT_EQ(run.out.str(), "");
        if (c.repeat)
            EXPECT_NE(run.err.str().find("\np06-read: " + c.err + "\n"), std::string::npos)
                << run.err.str();
        else
            EXPECT_EQ(run.err.str(), "p06-read: " + c.err + "\n");
    }
}

TEST(ReaderProgram, NoAdapterIsAPortErrorAndNoOtherPortIsPolled) {
    const std::string noAdapter =
        "no USB-serial adapter of the transmitter found; plug it in, or choose a port with "
        "--port (see --list)";
    const std::string noAdapterFr =
        "aucun adaptateur USB-série de l'émetteur trouvé ; branchez-le, ou choisissez un port "
        "avec --port (voir --list)";
    const std::vector<FakePortValue> noPorts, otherPort = {{"\\Device\\Serial0", kRegSz, "COM1"}};
    const struct {
        std::vector<FakePortValue> ports;
        Args args;
        std::string out;
        std::string err;
    } cases[] = {
        {noPorts, {"--lang", "en"}, "", noAdapter},
        {otherPort, {"--lang", "en"}, "", noAdapter},
        {otherPort, {}, "", noAdapterFr},
        {noPorts,
         {"--json", "--lang", "en"},
         "\"port\": null, \"device\": null, \"type\": null, \"serialNumber\": null, "
         "\"circuitVersion\": null, \"softwareVersion\": null, \"status\": {\"connect\": null, "
         "\"type\": null, \"serialNumber\": null, \"circuitVersion\": null, "
         "\"softwareVersion\": null, \"disconnect\": null}, \"elapsedMs\": 0, \"result\": "
         "\"port-error\", \"error\": {\"code\": 100016, \"message\": \"" +
             noAdapter + "\"}",
         noAdapter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err + std::to_string(c.args.size()));
        ReaderRun run({}, {}, c.ports);
        EXPECT_EQ(run(c.args), kExitPortError);
        const std::string out = run.out.str();
        EXPECT_TRUE(c.out.empty() ? out.empty() : out.find(c.out) != std::string::npos) << out;
        EXPECT_EQ(run.err.str(), "p06-read: " + c.err + "\n");
        EXPECT_TRUE(run.line.calls.empty());
    }
    // --repeat waits for the adapter, says so once, then reads its port.
    ReaderRun repeat({}, {}, otherPort);
    ReaderSystem system{repeat.out, repeat.err, repeat.line, repeat.clock,
                        [&repeat] { return std::make_unique<FakePortTable>(repeat.ports); }};
    system.stopSignal = [&repeat] {
        if (repeat.clock.now >= 5000) repeat.ports = kTwoPorts;
        return repeat.clock.now >= 30000 ? 2 : 0;
    };
    EXPECT_EQ(RunReader({"--repeat", "--lang", "en"}, system), kExitRead);
    EXPECT_EQ(repeat.err.str().rfind("p06-read: waiting for the transmitter's USB-serial adapter "
                                     "to be plugged in\np06-read: reading unit after unit on COM4",
                                     0),
              0u)
        << repeat.err.str();
    EXPECT_EQ(repeat.line.calls.front(), "open \\\\.\\COM4");
}

TEST(ReaderProgram, ListMarksThePortThatWouldBeRead) {
    const struct {
        Args args;
        const char* out;
    } cases[] = {
        {{"--list"}, "  COM1\n* COM4 : ORVANEX\n"},
        {{"--list", "--port", "1"}, "* COM1\n  COM4 : ORVANEX\n"},
        {{"--list", "--port", "2"}, "  COM1\n  COM4 : ORVANEX\n"},
        {{"--list", "--json"},
         "[{\"port\": 1, \"label\": \"COM1\", \"device\": \"COM1\", \"adapter\": false, "
         "\"chosen\": false}, {\"port\": 4, \"label\": \"COM4 : ORVANEX\", \"device\": "
         "\"COM4\", \"adapter\": true, \"chosen\": true}]\n"},
        {{"--list", "--csv"}, "com,device,adapter\r\n1,COM1,no\r\n4,COM4,yes\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        ReaderRun run;
        EXPECT_EQ(run(c.args), kExitRead);
        EXPECT_EQ(run.out.str(), c.out);
        EXPECT_TRUE(run.line.calls.empty());
    }
    ReaderRun empty({}, {}, {});
    EXPECT_EQ(empty({"--list"}), kExitRead);
    EXPECT_EQ(empty.out.str(), "");
    ReaderRun emptyJson({}, {}, {});
    EXPECT_EQ(emptyJson({"--list", "--json"}), kExitRead);
    EXPECT_EQ(emptyJson.out.str(), "[]\n");
    ReaderRun withDevices({}, {},
                          {{"\\Device\\Serial0", kRegSz, "COM1", "/dev/ttyS0"},
                           {"\\Device\\Silabser0", kRegSz, "COM4", "/dev/ttyS3"}});
    withDevices({"-l"});
    EXPECT_EQ(withDevices.out.str(), "  COM1  /dev/ttyS0\n* COM4 : ORVANEX  /dev/ttyS3\n");
    // By COM number, not as text.
    ReaderRun many({}, {},
                   {{"\\Device\\Serial9", kRegSz, "COM10"},
                    {"\\Device\\Serial1", kRegSz, "COM2"},
                    {"\\Device\\Silabser0", kRegSz, "COM4"}});
    many({"-l", "-p", "10"});
    EXPECT_EQ(many.out.str(), "  COM2\n  COM4 : ORVANEX\n* COM10\n");
    // Without the adapter no port would be read: every port listed, none marked.
    ReaderRun noAdapter({}, {}, {{"\\Device\\Serial0", kRegSz, "COM1", "/dev/ttyS0"}});
    noAdapter({"-l"});
    EXPECT_EQ(noAdapter.out.str(), "  COM1  /dev/ttyS0\n");
}

TEST(ReaderProgram, UsageErrorsTouchNoPort) {
    const struct {
        Args args;
        const char* err;
    } cases[] = {
        // French unless --lang en stands anywhere: read before the option at fault.
        {{"--port", "0"},
         "p06-read: port '0' invalide : donnez un numéro de COM de 1 à 100\n"
         "Essayez 'p06-read --help' pour en savoir plus.\n"},
        {{"--lang", "de", "--list"},
         "p06-read: langue 'de' invalide : donnez fr ou en\n"
         "Essayez 'p06-read --help' pour en savoir plus.\n"},
        {{"--wait"},
         "p06-read: l'option '--wait' demande une valeur\n"
         "Essayez 'p06-read --help' pour en savoir plus.\n"},
        {{"--csv", "--json", "x"},
         "p06-read: argument inattendu 'x'\nEssayez 'p06-read --help' pour en savoir plus.\n"},
        {{"-r", "-w", "3"},
         "p06-read: donnez --wait ou --repeat, pas les deux : --repeat attend chaque unité\n"
         "Essayez 'p06-read --help' pour en savoir plus.\n"},
        {{"--verbose", "--lang", "en"},
         "p06-read: unknown option '--verbose'\nTry 'p06-read --help' for more information.\n"},
        {{"--lang=en", "--json=1"},
         "p06-read: option '--json' takes no value\nTry 'p06-read --help' for more "
         "information.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        ReaderRun run;
        EXPECT_EQ(run(c.args), kExitUsage);
        EXPECT_EQ(run.out.str(), "");
        EXPECT_EQ(run.err.str(), c.err);
        EXPECT_TRUE(run.line.calls.empty());
    }
}

TEST(ReaderProgram, HelpGoesToStandardOutput) {
    ReaderRun run;
    EXPECT_EQ(run({"--help"}), kExitRead);
    EXPECT_EQ(run.out.str().rfind("Usage : p06-read [options]\n", 0), 0u);
    ReaderRun english;
    EXPECT_EQ(english({"--help", "--lang", "en"}), kExitRead);
    EXPECT_EQ(english.out.str(), ReaderHelpText(Language::English));
    ReaderRun version;
    EXPECT_EQ(version({"-V"}), kExitRead);
    EXPECT_EQ(version.out.str(), "p06-read " QUENLOR_VERSION "\n");
    EXPECT_EQ(run.err.str(), "");
    EXPECT_TRUE(run.line.calls.empty());
}

TEST(ReaderProgram, TraceGoesToItsFileOrToStandardError) {
    TempDir dir;
    const std::string path = dir / "wire.txt";
    ReaderRun toFile;
    EXPECT_EQ(toFile({"--fast", "--trace", path}), kExitRead);
    std::ifstream file(path);
    std::stringstream traced;
    traced << file.rdbuf();
    EXPECT_EQ(traced.str().rfind("   1000 ms  > 80\n   1000 ms  < 81\n   1000 ms  > 86\n", 0), 0u);
    EXPECT_EQ(toFile.err.str(), "");

    ReaderRun toError;
    EXPECT_EQ(toError({"--fast", "--trace", "-"}), kExitRead);
    EXPECT_EQ(toError.err.str(), traced.str());
    EXPECT_EQ(toError.out.str(), kFrenchReading);
}

TEST(ReaderProgram, TraceFileThatCannotBeWrittenIsAUsageError) {
    TempDir dir;
    const std::string path = dir / "missing/wire.txt";
    ReaderRun run;
    EXPECT_EQ(run({"--trace", path, "--lang", "en"}), kExitUsage);
    EXPECT_EQ(run.err.str(), "p06-read: cannot write the trace to '" + path +
                                 "': " + SystemErrorText(2) +
                                 " (error 2)\nTry 'p06-read --help' for more information.\n");
    EXPECT_TRUE(run.line.calls.empty());
}

TEST(ReaderProgram, EachOutcomeHasItsStatusRecordAndMessage) {
    FaultConfig silentAfterAccept;
    silentAfterAccept.stopAfterBytes = 1;  // accepts the poll, then says nothing more
    FaultConfig refuses;
    refuses.refuses = true;
    FaultConfig loopback, badDigit;
    loopback.lineFaults[static_cast<size_t>(LineStep::Poll)] = LineFault::Echo;
    badDigit.lineFaults[static_cast<size_t>(LineStep::Serial)] = LineFault::BadDigit;
    FaultConfig unplugged;
    unplugged.lineFaults[static_cast<size_t>(LineStep::Serial)] = LineFault::Unplug;
    const std::string lost = "no answer (error 100002)";
    const std::string perdu = "pas de réponse (erreur 100002)";
    const struct {
        FaultConfig faults;
        int32_t openError;
        int status;
        const char* result;
        std::string err;
        const char* lang = "en";
        PortAccess access = {"dialout", false, false, ""};
        std::map<uint32_t, uint32_t> lineErrorsAt = {};
    } cases[] = {
        {silentAfterAccept, 0, kExitIncomplete, "\"result\": \"incomplete\"",
         "p06-read: lecture incomplète sur COM4, en échec : type : " + perdu +
             " ; fin de la conversation : " + perdu + "\n",
         "fr"},
        {refuses, 0, kExitNoAnswer, "\"result\": \"refused\"",
         "p06-read: l'appareil sur COM4 a refusé l'appel (0x85) : il est occupé ou pas prêt ; "
         "réessayez\n",
         "fr"},
        {silentAfterAccept, 0, kExitIncomplete,
         "\"result\": \"incomplete\", \"error\": {\"code\": 100002",
         "p06-read: incomplete reading on COM4, failed: type: " + lost +
             "; end of conversation: " + lost + "\n"},
        {badDigit, 0, kExitIncomplete,
         "\"serialNumber\": null, \"circuitVersion\": null, \"softwareVersion\": null, "
         "\"status\": {\"connect\": 0, \"type\": 0, \"serialNumber\": 100021, "
         "\"circuitVersion\": null, \"softwareVersion\": null, \"disconnect\": 0}",
         "p06-read: incomplete reading on COM4, failed: serial number: the byte 0x47 is not a "
         "digit (error 100021); the line spoiled an answer: check the cable and read again\n"},
        // The serial number's first digit (after the poll's reply and the type's six) spoiled.
        {{},
         0,
         kExitIncomplete,
         "\"serialNumber\": 100023",
         "p06-read: lecture incomplète sur COM4, en échec : numéro de série : l'octet 0x33 est "
         "arrivé avec une erreur de parité, de trame ou de débordement (erreur 100023) ; la "
         "ligne a abîmé une réponse : vérifiez le câble et relisez\n",
         "fr",
         {"dialout", false, false, ""},
         {{7, kLineErrorFrame}}},
        {loopback, 0, kExitNoAnswer, "\"result\": \"no-answer\"",
         "p06-read: COM4 sends back what it receives: is it the transmitter's adapter?\n"},
        {refuses, 0, kExitNoAnswer, "\"result\": \"refused\"",
         "p06-read: the unit on COM4 refused the poll (0x85): it is busy or not ready; try "
         "again\n"},
#ifndef _WIN32  // the POSIX codes of a port in use, of no access and of no serial line
        {{},
         25,
         kExitPortError,
         "\"code\": 25",
         "p06-read: COM4 n'est pas une ligne série ; choisissez le port de l'adaptateur (voir "
         "--list) : Ioctl inapproprié pour un périphérique (erreur 25)\n",
         "fr"},
        {{},
         16,
         kExitPortError,
         "\"result\": \"port-error\", \"error\": {\"code\": 16",
         "p06-read: COM4 is in use by another program; close it and try again: " +
             SystemErrorText(16) + " (error 16)\n"},
        {{},
         13,
         kExitPortError,
         "\"result\": \"port-error\", \"error\": {\"code\": 13",
         "p06-read: no access to COM4: add your user to the dialout group (sudo usermod "
         "-aG dialout $USER), then log in again: " +
             SystemErrorText(13) + " (error 13)\n"},
        // The device's own group, and the package's udev rule when it is installed.
        {{},
         13,
         kExitPortError,
         "\"code\": 13",
         "p06-read: pas d'accès à COM4 : ajoutez votre utilisateur au groupe uucp (sudo "
         "usermod -aG uucp $USER), puis reconnectez-vous : Permission refusée (erreur 13)\n",
         "fr",
         {"uucp", false, false, ""}},
        {{},
         13,
         kExitPortError,
         "\"code\": 13",
         "p06-read: no access to COM4: the udev rule 60-quenlor-cp210x.rules gives the "
         "CP210x adapter to the user logged in at the PC: log in there and plug the adapter in "
         "again, or add your user to the dialout group (sudo usermod -aG dialout $USER), then "
         "log in again: " +
             SystemErrorText(13) + " (error 13)\n",
         "en",
         {"dialout", true, false, ""}},
        // No group to join: root alone may open it.
        {{},
         13,
         kExitPortError,
         "\"code\": 13",
         "p06-read: pas d'accès à COM4 : seul root peut ouvrir COM4 (mode 600) : utilisez "
         "un adaptateur sur un port USB, ou demandez une règle udev à l'administrateur : "
         "Permission refusée (erreur 13)\n",
         "fr",
         {"", false, true, "600"}},
        // Every step after an unplug fails alike: what happened is said once.
        {unplugged, 0, kExitIncomplete, "\"code\": 5",
         "p06-read: the port COM4 went away during the reading (adapter unplugged?): " +
             SystemErrorText(5) + " (error 5)\n"},
        {unplugged, 0, kExitIncomplete, "\"code\": 5",
         "p06-read: le port COM4 a disparu pendant la lecture (adaptateur débranché ?) : "
         "Erreur d'entrée-sortie (erreur 5)\n",
         "fr"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        ReaderRun run({}, c.faults);
        run.line.openError = c.openError;
        run.line.lineErrorsAt = c.lineErrorsAt;
        run.access = c.access;
        EXPECT_EQ(run({"--json", "--wait", "3", "--lang", c.lang}), c.status);
        EXPECT_NE(run.out.str().find(c.result), std::string::npos) << run.out.str();
        EXPECT_EQ(run.err.str(), c.err);
    }
    // The values whose step failed are null, not the zeros the window shows.
    ReaderRun incomplete({}, silentAfterAccept);
    incomplete({"--json"});
    EXPECT_NE(incomplete.out.str().find("\"type\": null, \"serialNumber\": null, "
                                        "\"circuitVersion\": null, \"softwareVersion\": null"),
              std::string::npos);
}

TEST(ReaderProgram, OutputThatCannotBeWrittenFails) {
    const std::string english = "p06-read: cannot write the standard output: write error\n";
    const struct {
        Args args;
        std::string err;
    } cases[] = {
        {{"--fast", "--lang", "en"}, english},
        {{"--fast"}, "p06-read: impossible d'écrire la sortie standard : erreur d'écriture\n"},
        {{"--json", "--lang", "en"}, english},
        {{"--list"}, english},
        {{"--version"}, english}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + std::to_string(c.args.size()));
        ReaderRun run;
        run.out.setstate(std::ios::badbit);
        EXPECT_EQ(run(c.args), kExitOutputError);
        EXPECT_EQ(run.err.str(), c.err);
    }
}

TEST(ReaderProgram, StopEndsTheConversationAndPutsThePortBack) {
    ReaderRun run;
    run.line.portState.BaudRate = 19200;
    int ticks = 0;
    ReaderSystem system{run.out, run.err, run.line, run.clock,
                        [&run] { return std::make_unique<FakePortTable>(run.ports); }};
    system.stopSignal = [&ticks] { return ++ticks > 3 ? 2 : 0; };  // after the serial number
    std::vector<std::string> lastWords;
    system.setLastWords = [&](const std::string& out, const std::string& err) {
        lastWords.push_back(out + err);
    };
    RunReader({"--json", "--lang", "en"}, system);
    // A second stop would have left the record of the reading cut short, and said why.
    ASSERT_EQ(lastWords.size(), 2u);
    EXPECT_EQ(
        lastWords[0],
        "{\"time\": \"1970-01-01T00:00:00Z\", \"port\": 4, \"device\": \"COM4\", \"type\": "
        "null, \"serialNumber\": null, \"circuitVersion\": null, \"softwareVersion\": null, "
        "\"status\": {\"connect\": null, \"type\": null, \"serialNumber\": null, "
        "\"circuitVersion\": null, \"softwareVersion\": null, \"disconnect\": null}, "
        "\"elapsedMs\": 0, \"result\": \"stopped\", \"error\": {\"code\": 100100, "
        "\"message\": \"stopped at once by a second signal: the reading in progress could not "
        "end\"}, \"version\": \"" QUENLOR_VERSION
        "\"}\n"
        "p06-read: stopped at once by a second signal: the reading in progress could not end\n");
    EXPECT_EQ(lastWords[1], "");
    // What was read before the stop is kept.
    EXPECT_NE(run.out.str().find("\"serialNumber\": 4660"), std::string::npos) << run.out.str();
    EXPECT_NE(run.out.str().find("\"result\": \"stopped\", \"error\": {\"code\": 100100, "
                                 "\"message\": \"stopped before the reading ended\"}"),
              std::string::npos)
        << run.out.str();
    EXPECT_FALSE(run.model.InConversation());
    EXPECT_EQ(run.line.sent.back(), kEndOfConversation);
    EXPECT_EQ(run.line.statesSet.back().BaudRate, 19200u);
    EXPECT_FALSE(run.line.isOpen);
}

// What the system says of a port another program holds.
#ifdef _WIN32
constexpr int32_t kPortInUse = 5;
#else
constexpr int32_t kPortInUse = 16;
#endif

// Another program's hold on a file: flock on POSIX, an open that does not share writing
// (a spreadsheet program's) on Windows.
class LogHold {
public:
    explicit LogHold(const std::string& path) {
#ifdef _WIN32
        file_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
#endif
    }
    ~LogHold() {
#ifdef _WIN32
        CloseHandle(file_);
#else
        close(fd_);
#endif
    }

private:
#ifdef _WIN32
    HANDLE file_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
};

// A unit on the bench from fromMs to toMs of the fake clock; a new presence each time.
struct Presence {
    uint32_t fromMs, toMs;
    UnitConfig unit = {};
    FaultConfig faults = {};
};

// p06-read --repeat --csv over units that come and go, stopped at untilMs: each record as
// "TYPE,SERIAL,RESULT".
std::vector<std::string> RecordsOfBench(const std::vector<Presence>& bench, uint32_t untilMs,
                                        bool fast = true) {
    std::vector<std::unique_ptr<DeviceModel>> units;
    for (const Presence& p : bench)
        units.push_back(std::make_unique<DeviceModel>(p.unit, p.faults));
    ReaderRun run;
    run.line.writeTimeMs = 2;  // a byte each way at 9600 bit/s: each step of a check has a length
    run.line.AttachBench([&](uint32_t now) -> DeviceModel* {
        for (size_t i = 0; i < bench.size(); ++i)
            if (now >= bench[i].fromMs && now < bench[i].toMs) return units[i].get();
        return nullptr;
    });
    ReaderSystem system{run.out, run.err, run.line, run.clock,
                        [&run] { return std::make_unique<FakePortTable>(run.ports); }};
    system.stopSignal = [&] { return run.clock.now >= untilMs ? 2 : 0; };
    Args args = {"--repeat", "--csv", "--lang", "en"};
    if (fast) args.push_back("--fast");
    EXPECT_EQ(RunReader(args, system), kExitRead) << run.err.str();
    std::vector<std::string> records;
    std::istringstream lines(run.out.str());
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        if (fields.size() > 7) records.push_back(fields[3] + "," + fields[4] + "," + fields[7]);
    }
    return records;
}

TEST(ReaderProgram, RepeatRecordsEachPresenceOnceUntilStopped) {
    // Units come and go on the fake clock: the first, the same one again (read again), then
    // the same one reworked one field at a time (circuit, software, then at once a serial
    // number swapped in, a type), each recorded; one that refuses and misses a reply,
    // another. The log is held by another program meanwhile.
    UnitConfig circuit;
    circuit.circuitVersion = 4;
    UnitConfig software = circuit;
    software.softwareSecond = 6;
    UnitConfig serial = software;
    serial.serialNumber = 4661;
    UnitConfig type = serial;
    type.type = "=A1";  // as a spreadsheet formula
    FaultConfig refusing;
    refusing.refuses = true;
    UnitConfig other;
    other.serialNumber = 99;
    DeviceModel first({}, {}), again({}, {}), newCircuit(circuit, {}), newSoftware(software, {}),
        newSerial(serial, {}), newType(type, {}), busy({}, refusing), second(other, {});
    const struct {
        uint32_t from, to;
        DeviceModel* unit;
    } bench[] = {{0, 20000, &first},           {30000, 50000, &again},
                 {60000, 80000, &newCircuit},  {90000, 110000, &newSoftware},
                 {110000, 140000, &newSerial}, {150000, 170000, &newType},
                 {180000, 200000, &busy},      {186000, 187300, nullptr},
                 {210000, 230000, &second}};
    // The log is held from the reworked unit to the refusing one, and again for less than
    // the reader's patience as the last unit's record is due: that one is not said.
    const uint32_t heldFrom = 100000, heldTo = 185000, briefFrom = 211000, briefTo = 213900;
    const char* const recorded[] = {"first unit",
                                    "first unit again",
                                    "circuit version only changed",
                                    "software version only changed",
                                    "serial number swapped in at once",
                                    "type only changed",
                                    "refusing unit",
                                    "another unit"};
    const struct {
        bool csv;
        const char* earlier;  // the log's bytes before the run
        const char* repaired;
        std::vector<std::string> records;  // in the order of the units
    } cases[] = {
        {false,
         "earlier",  // cut short: the first record must not join it
         "earlier\n",
         {"\"serialNumber\": 4660, \"circuitVersion\": 3, \"softwareVersion\": \"2.5\"",
          "\"softwareVersion\": \"2.5\", \"status\": {\"connect\": 0, \"type\": 0, "
          "\"serialNumber\": 0, \"circuitVersion\": 0, \"softwareVersion\": 0, \"disconnect\": "
          "0}, \"elapsedMs\": 572, \"result\": \"read-again\"",
          "\"serialNumber\": 4660, \"circuitVersion\": 4, \"softwareVersion\": \"2.5\"",
          "\"serialNumber\": 4660, \"circuitVersion\": 4, \"softwareVersion\": \"2.6\"",
          "\"serialNumber\": 4661, \"circuitVersion\": 4, \"softwareVersion\": \"2.6\"",
          "\"type\": \"=A1\"", "\"result\": \"refused\"", "\"serialNumber\": 99,"}},
        {true,
         "earlier\r",  // cut between CR and LF
         "earlier\r\n",
         {",P06,4660,3,2.5,read,,,", ",P06,4660,3,2.5,read-again,,,", ",P06,4660,4,2.5,read,,,",
          ",P06,4660,4,2.6,read,,,", ",P06,4661,4,2.6,read,,,", ",'=A1,,,,wrong-type,", ",refused,",
          ",P06,99,3,2.5,read,,,"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.csv);
        TempDir dir;
        const std::string log = dir / "units.log";
        std::ofstream(log, std::ios::binary) << c.earlier;
        ReaderRun run;
        ReaderSystem system{run.out, run.err, run.line, run.clock,
                            [&run] { return std::make_unique<FakePortTable>(run.ports); }};
        run.line.openError = kPortInUse;
        std::unique_ptr<LogHold> hold;
        system.stopSignal = [&] {
            if (run.clock.now >= 5000) run.line.openError = 0;  // the other program let go
            const bool held = (run.clock.now >= heldFrom && run.clock.now < heldTo) ||
                              (run.clock.now >= briefFrom && run.clock.now < briefTo);
            if (held && !hold) hold = std::make_unique<LogHold>(log);
            if (!held) hold.reset();
            DeviceModel* present = nullptr;
            for (const auto& b : bench)
                if (run.clock.now >= b.from && run.clock.now < b.to) present = b.unit;
            run.line.AttachModel(present);
            return run.clock.now >= 240000 ? 2 : 0;
        };
        Args args = {"--repeat", "--fast", "--log", log, "--lang", "en"};
        if (c.csv) args.push_back("--csv");
        EXPECT_EQ(RunReader(args, system), kExitRead);
        const std::string out = run.out.str();
        const std::string header = c.csv ? CsvHeader() + "\r\n" : "";
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), c.csv ? 9 : 8) << out;
        EXPECT_EQ(out.find(header), 0u);
        size_t at = 0;
        for (size_t i = 0; i < c.records.size(); ++i) {
            at = out.find(c.records[i], at);
            ASSERT_NE(at, std::string::npos)
                << recorded[i] << ": not recorded, or out of turn: " << c.records[i] << "\n"
                << out;
        }
        std::ifstream file(log, std::ios::binary);
        std::stringstream logged;
        logged << file.rdbuf();
        // Appended to what was there, on a line of its own, without a second header.
        EXPECT_EQ(logged.str(), c.repaired + out.substr(header.size()));
        EXPECT_EQ(run.err.str(),
                  "p06-read: reading unit after unit on COM4; Ctrl+C to stop\n"
                  "p06-read: COM4 is in use by another program; close it and try again: " +
                      SystemErrorText(kPortInUse) + " (error " + std::to_string(kPortInUse) +
                      "); trying again every second\n"
                      "p06-read: waiting for the log '" +
                      log +
                      "', locked by another program; the records are kept until it is free\n"
                      "p06-read: the unit on COM4 is of type \"=A1\", not \"P06\" (" +
                      CP06::DeviceName() +
                      "): plug in a \"P06\" unit\n"
                      "p06-read: the unit on COM4 refused the poll (0x85): it is busy or not "
                      "ready; try again\n"
                      "p06-read: the log '" +
                      log +
                      "' is free again; the records kept are in it\n"
                      "p06-read: units presented: 8; read: 5, read again: 1, incomplete: 0, "
                      "wrong type: 1, refused: 1, stopped: 0; distinct units: 5\n");
        EXPECT_FALSE(run.line.isOpen);
    }
}

TEST(ReaderProgram, RepeatRecordsEveryPresenceWhateverTheRecordBefore) {
    UnitConfig p07;
    p07.type = "P07";
    p07.serialNumber = 7;
    const auto unit = [](uint32_t serial) {
        UnitConfig u;
        u.serialNumber = serial;
        return u;
    };
    const auto leaving = [](int afterBytes) {  // goes quiet: gone in the middle of a reading
        FaultConfig f;
        f.stopAfterBytes = afterBytes;
        return f;
    };
    FaultConfig busyOnce;  // one check poll refused
    busyOnce.busyFromPoll = 3;
    busyOnce.busyPolls = 1;
    FaultConfig spoiledSerial;  // the next check's serial number spoiled on the line
    spoiledSerial.lineFaults[static_cast<size_t>(LineStep::Serial)] = LineFault::BadDigit;
    FaultConfig busyAfter = busyOnce;  // every poll refused once read
    busyAfter.busyFromPoll = 2;
    busyAfter.busyPolls = 1000;
    const struct {
        const char* what;
        std::vector<Presence> bench;
        std::vector<std::string> records;
    } cases[] = {
        {"a wrong type, then swaps with no gap",
         {{0, 4000, p07}, {4000, 12000, unit(1)}, {12000, 20000, unit(2)}, {20000, 28000, unit(3)}},
         {"P07,,wrong-type", "P06,1,read", "P06,2,read", "P06,3,read"}},
        {"a wrong type swapped before the first check",
         {{0, 2000, p07}, {2000, 10000, unit(1)}},
         {"P07,,wrong-type", "P06,1,read"}},
        {"gone during the type, the next at once",
         {{0, 1200, {}, leaving(1)}, {1200, 9000, unit(1)}},
         {",,incomplete", "P06,1,read"}},
        {"gone during the type, the next 3 s later",
         {{0, 1200, {}, leaving(1)}, {4200, 12000, unit(1)}},
         {",,incomplete", "P06,1,read"}},
        {"gone during the serial number, the next at once",
         {{0, 1200, {}, leaving(8)}, {1200, 9000, unit(1)}},
         {"P06,,incomplete", "P06,1,read"}},
        {"gone during the serial number, the same one back at once",
         {{0, 1200, {}, leaving(8)}, {1200, 9000}},
         {"P06,,incomplete", "P06,4660,read"}},
        {"gone during the software version, the next 1.5 s later",
         {{0, 1200, {}, leaving(25)}, {2700, 10000, unit(1)}},
         {"P06,4660,incomplete", "P06,1,read"}},
        {"one check poll refused", {{0, 20000, {}, busyOnce}}, {"P06,4660,read"}},
        {"a check's serial number spoiled",
         {{0, 4000}, {4000, 20000, {}, spoiledSerial}},
         {"P06,4660,read"}},
        {"every check poll refused", {{0, 20000, {}, busyAfter}}, {"P06,4660,read", ",,refused"}},
        {"a refusing unit, then another unit",
         {{0, 5000, {}, busyAfter}, {5000, 8000, unit(1), busyAfter}, {8000, 16000, unit(2)}},
         {"P06,4660,read", ",,refused", "P06,2,read"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RecordsOfBench(c.bench, c.bench.back().toMs + 6000), c.records);
    }
}

TEST(ReaderProgram, RepeatStoppedWhileTheLogIsHeldPutsItsRecordsOnStandardOutput) {
    TempDir dir;
    const std::string log = dir / "units.log";
    std::ofstream(log, std::ios::binary) << "";
    const LogHold hold(log);
    UnitConfig other;
    other.serialNumber = 7;
    DeviceModel first, second(other, {});
    ReaderRun run;
    run.line.AttachBench([&](uint32_t now) { return now < 8000 ? &first : &second; });
    ReaderSystem system{run.out, run.err, run.line, run.clock,
                        [&run] { return std::make_unique<FakePortTable>(run.ports); }};
    system.stopSignal = [&] { return run.clock.now >= 20000 ? 2 : 0; };
    EXPECT_EQ(RunReader({"--repeat", "--fast", "--log", log, "--lang", "en"}, system),
              kExitOutputError);
    const std::string out = run.out.str();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_NE(out.find("\"serialNumber\": 7,"), std::string::npos) << out;
    EXPECT_NE(run.err.str().find("p06-read: records not in the log '" + log +
                                 "', locked by another program: 2; they are on the standard "
                                 "output\n"),
              std::string::npos)
        << run.err.str();
}

TEST(ReaderProgram, RepeatHoldsTheFiguresTheHelpStatesAtEveryPhase) {
    // At every moment of the checks, 10 ms apart: the same unit away less than 2 s is one
    // presence and away 5 s is two; a new unit that stays the stated time gets its record,
    // whether it came on an empty line or in place of a unit.
    FaultConfig refusing;
    refusing.refuses = true;
    UnitConfig next;
    next.serialNumber = 77;
    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "--fast" : "paced");
        for (uint32_t left = 2500; left < 6000; left += 10) {
            EXPECT_EQ(
                RecordsOfBench({{0, left}, {left + 1990, left + 12000}}, left + 14000, fast).size(),
                1u)
                << "left at " << left;
            EXPECT_EQ(
                RecordsOfBench({{0, left}, {left + 5000, left + 15000}}, left + 17000, fast).size(),
                2u)
                << "left at " << left;
        }
        const struct {
            bool swapped, refuses;
            uint32_t fastStayMs, pacedStayMs;
            const char* record;
        } stays[] = {{false, false, 3000, 5000, "P06,77,read"},
                     {true, false, 6000, 8000, "P06,77,read"},
                     {false, true, 2500, 2500, ",,refused"},
                     {true, true, 5000, 5000, ",,refused"}};
        for (const auto& s : stays) {
            const uint32_t stay = fast ? s.fastStayMs : s.pacedStayMs;
            for (uint32_t came = 3000; came < 6000; came += 50) {
                std::vector<Presence> bench;
                if (s.swapped) bench.push_back({0, came});
                bench.push_back({came, came + stay, next, s.refuses ? refusing : FaultConfig{}});
                const auto records = RecordsOfBench(bench, came + stay + 12000, fast);
                EXPECT_NE(std::find(records.begin(), records.end(), s.record), records.end())
                    << s.record << " came at " << came << (s.swapped ? ", swapped in" : "");
            }
        }
    }
}

}  // namespace
