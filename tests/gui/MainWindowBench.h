// The main window on the bench of the window tests: the fake line, clock and port table, a
// device model behind the line, and its beeps recorded instead of sounded.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "app/TDlgLectureInformation.h"
#include "sim/DeviceModel.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortTable.h"
#include "tests/support/FakeSerialLine.h"
#include "tests/support/TempDir.h"

// The window with its beeps recorded instead of sounded.
class BenchWindow : public TDlgLectureInformation {
public:
    using TDlgLectureInformation::TDlgLectureInformation;
    std::vector<unsigned> beeps;

protected:
    void MessageBeep(unsigned type) override { beeps.push_back(type); }
};

// Port table values written "name=data", as the registry lists them.
inline std::vector<FakePortValue> Ports(const QStringList& values) {
    std::vector<FakePortValue> ports;
    for (const QString& value : values) {
        const QStringList parts = value.split(u'=');
        ports.push_back({parts[0].toStdString(), kRegSz, parts[1].toStdString()});
    }
    return ports;
}

// A window on the bench: fake seams, a device model behind the line, and a settings path
// in a folder of the test's own (the file is not there until something writes it).
struct Bench {
    explicit Bench(const QStringList& ports = {}, UnitConfig unit = {}, FaultConfig faults = {})
        : model(unit, faults) {
        line.AttachModel(&model);
        auto ownedTable = std::make_unique<FakePortTable>(Ports(ports));
        table = ownedTable.get();
        WindowSeams seams;
        seams.line = &line;
        seams.clock = &clock;
        seams.portTable = std::move(ownedTable);
        window = std::make_unique<BenchWindow>(nullptr, std::move(seams));
        window->SetSettingsPath(SettingsPath());
    }
    BenchWindow* operator->() const { return window.get(); }
    std::string SettingsPath() const { return dir / "QuenlorV1.CFG"; }

    TempDir dir;
    FakeClock clock;
    FakeSerialLine line{clock};
    DeviceModel model;
    FakePortTable* table = nullptr;
    std::unique_ptr<BenchWindow> window;  // goes first: its link still talks on the line
};
