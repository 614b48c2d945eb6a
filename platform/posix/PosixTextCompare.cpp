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

// Port labels are a sorted list that drops equal entries. glibc's collations (fr_FR and
// en_US among them) pass over blanks and punctuation at first, which Windows does not: there
// "COM1 : ORVANEX" sorts before "COM10", here it would sort after, and the order and the
// chosen port would follow the locale. So the texts are compared piece by piece: an ASCII
// blank or punctuation mark is a piece of its own, below any other and ordered by its byte;
// the runs between them go through the user's collation. Where the collation calls two runs
// equal, byte order decides, so only identical labels count as the same port.
int CompareLocaleText(const std::string& a, const std::string& b) {
    UseUserCollation();
    auto isMark = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x80 && !std::isalnum(byte);
    };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool markA = isMark(a[i]);
        const bool markB = isMark(b[j]);
        if (markA || markB) {
            if (markA != markB) return markA ? -1 : 1;
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
            ++i;
            ++j;
            continue;
        }
        size_t endA = i;
        size_t endB = j;
        while (endA < a.size() && !isMark(a[endA])) ++endA;
        while (endB < b.size() && !isMark(b[endB])) ++endB;
        const std::string runA = a.substr(i, endA - i);
        const std::string runB = b.substr(j, endB - j);
        int order = std::strcoll(runA.c_str(), runB.c_str());
        if (order == 0) order = runA.compare(runB);
        if (order != 0) return order < 0 ? -1 : 1;
        i = endA;
        j = endB;
    }
    if (i < a.size()) return 1;
    return j < b.size() ? -1 : 0;
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
