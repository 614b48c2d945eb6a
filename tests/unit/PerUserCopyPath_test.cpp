// Where Windows keeps this user's copy of a file in the Windows directory: a rule on strings
// alone, checked on every system.
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

}  // namespace
