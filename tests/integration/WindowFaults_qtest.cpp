// The main window on the machine's own serial line when the line fails under it: the unit
// vanishes mid-reading (p06-sim killed), the port is held by another process, the port's
// alias points at a device that is not there. The window must keep working through each,
// with the link's statuses as the reading rules give them.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/LinuxPortTable.h"
#include "tests/support/ConfigurationHome.h"
#include "tests/support/LineFaultCases.h"
#include "tests/support/MainWindowTestHelpers.h"
#include "tests/support/MessageBoxAnswerer.h"
#include "tests/support/PosixChildProcess.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int kCom = 7;
constexpr int kReadingTimeoutMs = 20000;
// Two connect ticks: 300 ms apart, each a one-second purge and a poll.
constexpr int kTwoConnectTicksMs = 2 * (300 + 1000 + 1100) + 1000;
// Two idle scans, 2000 ms apart, and the end of a conversation on the way out.
constexpr int kTwoScansMs = 2 * 2000 + 1000;

// Lets the window run until the condition holds or the time is up. A tick of the reading
// blocks for seconds, so the time is counted on the clock, not in polling rounds.
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.hasExpired(timeoutMs)) return false;
        QTest::qWait(50);
    }
    return true;
}

// p06-sim logging every byte it gets, killed the moment it has received a given number of
// a given byte: the unit vanishes at a known point of the conversation, whatever the timing.
class VanishingSim {
public:
    VanishingSim(const std::vector<std::string>& options, const std::string& portsDir,
                 const char* fatalByte, int count) {
        int err[2];
        if (pipe2(err, O_CLOEXEC) != 0) return;
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        std::vector<std::string> arguments = {P06_SIM_PATH, "--dump", "--ports-dir",
                                              portsDir,     "--com",  std::to_string(kCom)};
        arguments.insert(arguments.end(), options.begin(), options.end());
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& a : arguments) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        ready_ = ReadLine(out[0]).find("serving") != std::string::npos;
        close(out[0]);
        const std::string fatal = std::string("p06-sim: in  ") + fatalByte;
        watcher_ = std::thread([this, fd = err[0], fatal, count] {
            int seen = 0;
            for (std::string line = ReadLine(fd); !line.empty(); line = ReadLine(fd)) {
                if (line == fatal && ++seen == count) {
                    kill(pid_, SIGKILL);
                    killed_ = true;
                }
            }
            close(fd);
        });
    }
    ~VanishingSim() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (watcher_.joinable()) watcher_.join();
    }
    bool Ready() const { return ready_; }
    // The watcher has killed the unit (the window's ticks must run meanwhile).
    bool Killed() const { return killed_; }
    // Reaps the process; true when it was the watcher's kill that ended it.
    bool WaitGone() {
        int status = 0;
        const bool gone = pid_ > 0 && waitpid(pid_, &status, 0) == pid_;
        pid_ = -1;
        if (watcher_.joinable()) watcher_.join();
        return gone && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && killed_;
    }

private:
    static std::string ReadLine(int fd) {
        std::string line;
        char c;
        while (read(fd, &c, 1) == 1) {
            if (c == '\n') return line.empty() ? std::string(" ") : line;
            line += c;
        }
        return line;
    }

    pid_t pid_ = -1;
    bool ready_ = false;
    std::atomic<bool> killed_ = false;
    std::thread watcher_;
};

// Another program that has the port open: it takes the port's lock and its exclusive mode,
// as the bench program itself does, and keeps them until it is killed.
bool HoldPort(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0;
}

}  // namespace

class WindowFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void unitVanishingWhileAwaitedLeavesTheReadingPolling();
    void unitVanishingWhileTheTypeIsReadEndsTheReading();
    void portHeldByAnotherProcessKeepsTheReadingPolling();
    void aliasOfAMissingDeviceKeepsTheReadingPolling();
    void portVanishingBetweenReadingsIsLetGoByTheScan();
    void lineFaultNeverShowsASpoiledValueAsRead_data();
    void lineFaultNeverShowsASpoiledValueAsRead();

private:
    // A window on the machine's own line, clock and port table; the user has chosen COM7.
    std::unique_ptr<TDlgLectureInformation> NewWindow() {
        auto window = std::make_unique<TDlgLectureInformation>();
        window->Link().SetPort(kCom);
        window->show();
        return window;
    }
    void StartReading(TDlgLectureInformation& window) {
        linesBefore_ = static_cast<int>(MemoLines(window).size());
        window.ButtonLectureInfoClick();
        QCOMPARE(window.ReadingState(), 1);
    }
    QStringList NewLines(const TDlgLectureInformation& window) const {
        return MemoLines(window).mid(linesBefore_);
    }
    // During a reading only the quit button is usable.
    static bool OnlyQuitUsable(const TDlgLectureInformation& window) {
        return window.ButtonQuitter->isEnabled() && !window.ButtonLectureInfo->isEnabled() &&
               !window.ButtonConfigPort->isEnabled() && !window.ButtonChoixLangue->isEnabled();
    }

    std::unique_ptr<ConfigurationHome> home_;
    std::string portsDir_;
    int linesBefore_ = 0;
};

void WindowFaultsTest::init() {
    home_ = std::make_unique<ConfigurationHome>();
    portsDir_ = home_->MakePortsDir();
}

void WindowFaultsTest::cleanup() { home_.reset(); }

// The unit is switched off while the link waits for its answer to the poll. The read fails
// with the line's hang-up (EIO): Connect purges, ends the conversation and closes the port.
// The reading stays in state 1 and polls on; with the alias left pointing at a vanished
// pseudo-terminal each tick fails to open it (ENOENT). A unit served again on the same alias
// is then opened by the next tick and read to the end, in the same window.
void WindowFaultsTest::unitVanishingWhileAwaitedLeavesTheReadingPolling() {
    VanishingSim vanishing({"--silent"}, portsDir_, "80", 1);
    QVERIFY2(vanishing.Ready(), "p06-sim did not start");
    auto window = NewWindow();
    StartReading(*window);

    QVERIFY(WaitUntil([&] { return vanishing.Killed(); }, kReadingTimeoutMs));
    QVERIFY(vanishing.WaitGone());
    QVERIFY(WaitUntil([&] { return !window->Link().IsOpen(); }, kReadingTimeoutMs));
    QTest::qWait(kTwoConnectTicksMs);
    QCOMPARE(window->ReadingState(), 1);
    QCOMPARE(window->Link().Status(), ENOENT);
    QVERIFY(!window->Link().IsOpen());
    QVERIFY(OnlyQuitUsable(*window));
    QCOMPARE(NewLines(*window), QStringList());

    SimProcess sim({}, kCom, portsDir_);
    QVERIFY2(sim.Ready(), "p06-sim did not start again");
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    QCOMPARE(NewLines(*window), ReadingLines(kFrench));
}

// The unit is switched off once it has sent the first digit of its type. From then on every
// read and write of the link fails with the line's hang-up (EIO). The type step fails, so
// the reading ends there as a failed one: no line for the type, the transmission error and
// its box; the window is idle again, and a unit served again on the same alias is read by
// the next reading.
void WindowFaultsTest::unitVanishingWhileTheTypeIsReadEndsTheReading() {
    // Silent after its answer to the poll, so the type's answer never races the kill.
    VanishingSim vanishing({"--stop-after", "1"}, portsDir_, "86", 1);
    QVERIFY2(vanishing.Ready(), "p06-sim did not start");
    auto window = NewWindow();
    StartReading(*window);
    auto box = std::make_shared<MessageBoxSeen>();
    AnswerNextMessageBox(box, kReadingTimeoutMs / 5);

    QVERIFY(WaitUntil([&] { return vanishing.Killed(); }, kReadingTimeoutMs));
    QVERIFY(vanishing.WaitGone());
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    QCOMPARE(NewLines(*window), ToQt(FailedReading(kFrench, kStateDeviceType)));
    QVERIFY(box->found);
    QCOMPARE(box->text, QString::fromStdString(TransmissionErrorMessage(kFrench)));
    QCOMPARE(window->Link().Status(), EIO);

    // The next reading's poll cannot be written on the dead port (EIO): the link lets the
    // port go, and the following tick opens the alias afresh and reaches the unit served
    // there again, without a restart of the program.
    const qsizetype linesAfterFirstReading = MemoLines(*window).size();
    SimProcess sim({}, kCom, portsDir_);
    QVERIFY2(sim.Ready(), "p06-sim did not start again");
    StartReading(*window);
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    QCOMPARE(MemoLines(*window).mid(linesAfterFirstReading), ReadingLines(kFrench));
}

// Another program has the port: Connect returns the system's refusal (EBUSY for the tty's
// exclusive mode; root passes that and meets the lock, EWOULDBLOCK) at every tick, and the
// reading stays in state 1 with nothing written. Once the other program lets go, the next
// tick opens the port and the reading goes through.
void WindowFaultsTest::portHeldByAnotherProcessKeepsTheReadingPolling() {
    SimProcess sim({}, kCom, portsDir_);
    QVERIFY2(sim.Ready(), "p06-sim did not start");
    auto holder = std::make_unique<HoldingProcess>([&] { return HoldPort(sim.DevicePath()); });
    QVERIFY2(holder->Held(), "the other process could not take the port");
    auto window = NewWindow();
    StartReading(*window);

    QTest::qWait(kTwoConnectTicksMs);
    QCOMPARE(window->ReadingState(), 1);
    const int32_t status = window->Link().Status();
    QVERIFY2(status == EBUSY || status == EWOULDBLOCK, qPrintable(QString::number(status)));
    QVERIFY(!window->Link().IsOpen());
    QVERIFY(OnlyQuitUsable(*window));
    QCOMPARE(NewLines(*window), QStringList());

    holder.reset();
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    QCOMPARE(NewLines(*window), ReadingLines(kFrench));
}

// The alias names a device that is not there (an adapter unplugged, a simulator long gone):
// the open fails with ENOENT at every tick and the reading stays in state 1.
void WindowFaultsTest::aliasOfAMissingDeviceKeepsTheReadingPolling() {
    std::filesystem::create_symlink("/dev/ttyQuenlorMissing0",
                                    portsDir_ + "/COM" + std::to_string(kCom));
    auto window = NewWindow();
    StartReading(*window);

    QTest::qWait(3 * 300 + 200);
    QCOMPARE(window->ReadingState(), 1);
    QCOMPARE(window->Link().Status(), ENOENT);
    QVERIFY(!window->Link().IsOpen());
    QVERIFY(OnlyQuitUsable(*window));
    QCOMPARE(NewLines(*window), QStringList());
}

// The adapter is unplugged between readings (p06-sim killed, its alias left pointing at a
// pseudo-terminal that is gone): the next idle scan lists no port, disables the read button
// and the link lets the port go, so that nothing holds the device the adapter had. Served
// again on the same alias, the port is found by a later scan and read.
void WindowFaultsTest::portVanishingBetweenReadingsIsLetGoByTheScan() {
    auto sim = std::make_unique<SimProcess>(std::vector<std::string>{}, kCom, portsDir_);
    QVERIFY2(sim->Ready(), "p06-sim did not start");
    // The port list is the aliases alone: a serial port of the machine's own would be chosen
    // instead once COM7 is gone.
    WindowSeams seams;
    seams.portTable = std::make_unique<LinuxPortTable>(home_->Path() + "/no-sys", portsDir_);
    auto window = std::make_unique<TDlgLectureInformation>(nullptr, std::move(seams));
    window->Link().SetPort(kCom);
    window->show();
    StartReading(*window);
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    QVERIFY(window->Link().IsOpen());

    sim->Stop(SIGKILL);
    QVERIFY(WaitUntil([&] { return !window->Link().IsOpen(); }, kTwoScansMs));
    QVERIFY(!window->ButtonLectureInfo->isEnabled());

    sim = std::make_unique<SimProcess>(std::vector<std::string>{}, kCom, portsDir_);
    QVERIFY2(sim->Ready(), "p06-sim did not start again");
    QVERIFY(WaitUntil([&] { return window->ButtonLectureInfo->isEnabled(); }, kTwoScansMs));
    StartReading(*window);
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    QCOMPARE(NewLines(*window), ReadingLines(kFrench));
}

void WindowFaultsTest::lineFaultNeverShowsASpoiledValueAsRead_data() {
    QTest::addColumn<int>("row");
    for (const LineFaultCase& c : kLineFaultCases)
        if (c.pty) QTest::newRow(CaseName(c).c_str()) << int(&c - kLineFaultCases);
}

// A line fault on one step: the success report only with the unit's own values; else no
// line for the step that failed, the transmission error and its box. The next reading on
// the same port is good (an unplugged port comes back after a second; a loopback stays).
void WindowFaultsTest::lineFaultNeverShowsASpoiledValueAsRead() {
    QFETCH(int, row);
    const LineFaultCase& c = kLineFaultCases[row];
    const int failsAt = c.windowFailsAt;
    const ReadUnit unit = {2882343476u, 171, "205.239"};
    std::vector<std::string> options = SimOptions(unit);
    const std::vector<std::string> faultOptions = SimFaultOptions(c);
    options.insert(options.end(), faultOptions.begin(), faultOptions.end());
    SimProcess sim(options, kCom, portsDir_);
    QVERIFY2(sim.Ready(), "p06-sim did not start");
    auto window = NewWindow();
    auto box = std::make_shared<MessageBoxSeen>();
    AnswerNextMessageBox(box, kReadingTimeoutMs / 5);
    StartReading(*window);

    if (failsAt == 1) {
        QTest::qWait(kTwoConnectTicksMs);
        QCOMPARE(window->ReadingState(), 1);
        QCOMPARE(NewLines(*window), QStringList());
        box->stop = true;
        return;
    }
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    if (failsAt == 0) {
        QCOMPARE(NewLines(*window), ReadingLines(kFrench, unit));
        QVERIFY(!box->found);
        box->stop = true;
    } else {
        QCOMPARE(NewLines(*window), ToQt(FailedReading(kFrench, failsAt, unit)));
        QVERIFY(box->found);
        QCOMPARE(box->text, QString::fromStdString(TransmissionErrorMessage(kFrench)));
    }
    StartReading(*window);
    QVERIFY(WaitUntil([&] { return Idle(*window); }, kReadingTimeoutMs));
    QCOMPARE(NewLines(*window), ReadingLines(kFrench, unit));
}

QTEST_MAIN(WindowFaultsTest)
#include "WindowFaults_qtest.moc"
