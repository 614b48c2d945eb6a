#include "platform/PerUserCopyPath.h"

namespace {

constexpr const wchar_t* kVirtualStore = L"\\VirtualStore\\Windows";

wchar_t UpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

}  // namespace

std::wstring PerUserCopyPath(const std::wstring& path, const std::wstring& windowsDirectory,
                             const std::wstring& localAppData) {
    const size_t length = windowsDirectory.size();
    if (length == 0 || localAppData.empty() || path.size() <= length + 1 || path[length] != L'\\')
        return std::wstring();
    for (size_t i = 0; i < length; ++i) {
        if (UpperAscii(path[i]) != UpperAscii(windowsDirectory[i])) return std::wstring();
    }
    return localAppData + kVirtualStore + path.substr(length);
}

FilePlan PlanFileUse(ProcessKind process, FileUse use, bool windowsFile, bool copy) {
    const bool virtualized = process == ProcessKind::kStandard;
    const SettingsPlace readPlace =
        virtualized && copy ? SettingsPlace::kPerUserCopy : SettingsPlace::kWindowsDirectory;
    FilePlan plan{readPlace, false, false, false};
    switch (use) {
        case FileUse::kRead:
            plan.found = readPlace == SettingsPlace::kPerUserCopy || windowsFile;
            break;
        case FileUse::kWriteBack:
            plan.copyIfRefused = virtualized && readPlace == SettingsPlace::kWindowsDirectory;
            break;
        case FileUse::kNewValue:
            plan.place = SettingsPlace::kWindowsDirectory;
            plan.copyIfRefused = virtualized;
            plan.removeCopy = virtualized && copy;
            break;
    }
    return plan;
}
