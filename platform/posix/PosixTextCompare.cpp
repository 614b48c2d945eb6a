// Text rules on POSIX: the user's collation through strcoll, and upper-casing byte by byte.
#include <cctype>
#include <clocale>
#include <cstring>

#include "platform/TextCompare.h"

namespace {

// The environment's collation, taken once; a C locale falls back to byte order.
void UseUserCollation() {
    static const bool taken = std::setlocale(LC_COLLATE, "") != nullptr;
    (void)taken;
}

}  // namespace

// Port labels are a sorted list that drops equal entries. Many collations (glibc's en_US
// among them) pass over blanks and punctuation at first, and may call two different labels
// equal; byte order then decides, so only identical labels count as the same port.
int CompareLocaleText(const std::string& a, const std::string& b) {
    UseUserCollation();
    int order = std::strcoll(a.c_str(), b.c_str());
    if (order == 0) order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// ASCII letters are upper-cased by hand: a Turkish locale would turn 'i' into a dotted
// capital and "com7" would lose its COM. Other bytes follow the locale's character type.
std::string UpperCaseLocaleText(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 'a' && byte <= 'z')
            c = static_cast<char>(byte - 'a' + 'A');
        else if (byte >= 0x80)
            c = static_cast<char>(std::toupper(byte));
    }
    return upper;
}
