// Text rules on Windows: the user's default locale through the ANSI text calls, so port
// labels sort and upper-case exactly as the system's own lists do.
#include "platform/TextCompare.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int CompareLocaleText(const std::string& a, const std::string& b) {
    int result = CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()),
                                b.data(), static_cast<int>(b.size()));
    switch (result) {
        case CSTR_LESS_THAN:
            return -1;
        case CSTR_EQUAL:
            return 0;
        case CSTR_GREATER_THAN:
            return 1;
        default:
            // The call fails only on bad arguments; order by bytes rather than call all equal.
            return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    }
}

std::string UpperCaseLocaleText(const std::string& text) {
    std::string upper = text;
    if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}
