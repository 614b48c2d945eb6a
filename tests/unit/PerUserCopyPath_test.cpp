// Where Windows keeps this user's copy of a file in the Windows directory, and which file a
// read or a write uses: rules on values alone, checked on every system.
#include "platform/PerUserCopyPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PerUserCopyPath, IsTheVirtualStoreFolderForFilesInTheWindowsDirectoryOnly) {
    const std::wstring local = L"C:\\users\\bench\\AppData\\Local";
    const std::wstring copy = local + L"\\VirtualStore\\Windows\\QuenlorV1.CFG";
    const struct {
        const char* what;
        std::wstring path, windows, localAppData, copy;
    } cases[] = {
        {"in the Windows directory", L"C:\\windows\\QuenlorV1.CFG", L"C:\\windows", local, copy},
        {"its name in another case", L"C:\\WINDOWS\\QuenlorV1.CFG", L"C:\\Windows", local, copy},
        {"a folder below it", L"C:\\Windows\\a\\b.CFG", L"C:\\Windows", local,
         local + L"\\VirtualStore\\Windows\\a\\b.CFG"},
        {"a folder whose name goes on", L"C:\\windowsold\\QuenlorV1.CFG", L"C:\\windows", local,
         L""},
        {"another drive", L"D:\\Windows\\QuenlorV1.CFG", L"C:\\Windows", local, L""},
        {"the folder itself", L"C:\\Windows\\", L"C:\\Windows", local, L""},
        {"a path shorter than the folder", L"C:\\Win", L"C:\\Windows", local, L""},
        {"no Windows directory found", L"C:\\Windows\\QuenlorV1.CFG", L"", local, L""},
        {"no Local AppData found", L"C:\\Windows\\QuenlorV1.CFG", L"C:\\Windows", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PerUserCopyPath(c.path, c.windows, c.localAppData), c.copy);
    }
}

// Which file a read, a new value or a write-back uses, by process and by the files that exist
// ("W" the Windows directory's, "C" the copy). A plan reads as: the place (W or C), then "f" for
// a file found there, "r" for the copy taking a write refused for lack of rights, "x" for the
// copy removed after a write to the Windows directory.
TEST(PerUserCopyPath, OnlyAVirtualizedProcessSeesTheCopyAndOnlyANewValueRemovesIt) {
    using enum ProcessKind;
    using enum FileUse;
    const struct {
        const char* what;
        ProcessKind process;
        FileUse use;
        const char* files;
        const char* plan;
    } cases[] = {
        {"standard, no file: start-up creates", kStandard, kRead, "", "W---"},
        {"standard, the Windows file alone", kStandard, kRead, "W", "Wf--"},
        {"standard, the copy alone", kStandard, kRead, "C", "Cf--"},
        {"standard, both: the copy wins", kStandard, kRead, "WC", "Cf--"},
        {"elevated, the copy alone is not seen", kElevated, kRead, "C", "W---"},
        {"elevated after standard: the Windows file", kElevated, kRead, "WC", "Wf--"},
        {"SYSTEM, the copy alone is not seen", kSystem, kRead, "C", "W---"},
        {"SYSTEM, both: the Windows file", kSystem, kRead, "WC", "Wf--"},
        {"virtualization off, both", kNotVirtualized, kRead, "WC", "Wf--"},
        {"standard, first start: Windows first", kStandard, kNewValue, "", "W-r-"},
        {"standard, IT's grant: the copy removed", kStandard, kNewValue, "WC", "W-rx"},
        {"standard, an undeletable copy: removal checked", kStandard, kNewValue, "C", "W-rx"},
        {"elevated, a change: the copy kept", kElevated, kNewValue, "WC", "W---"},
        {"SYSTEM, a change: the copy kept", kSystem, kNewValue, "C", "W---"},
        {"standard, the copy's 1 back into the copy", kStandard, kWriteBack, "WC", "C---"},
        {"standard, the Windows file's 1 back there", kStandard, kWriteBack, "W", "W-r-"},
        {"elevated after standard: back to Windows", kElevated, kWriteBack, "WC", "W---"},
        {"SYSTEM: back to the Windows file", kSystem, kWriteBack, "W", "W---"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string files = c.files;
        const FilePlan plan = PlanFileUse(c.process, c.use, files.find('W') != std::string::npos,
                                          files.find('C') != std::string::npos);
        const std::string got = {plan.place == SettingsPlace::kPerUserCopy ? 'C' : 'W',
                                 plan.found ? 'f' : '-', plan.copyIfRefused ? 'r' : '-',
                                 plan.removeCopy ? 'x' : '-'};
        EXPECT_EQ(got, c.plan);
    }
}

}  // namespace
