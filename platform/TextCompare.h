// The text rules of port discovery and the settings file: the user's locale comparison
// (CompareStringA on Windows; on Linux strcoll between blanks and punctuation, which count
// as on Windows), upper-casing (CharUpperBuffA / toupper), and trimming.
#pragma once

#include <string>
#include <string_view>

// Negative, zero or positive, case-sensitive, in the user's default locale.
int CompareLocaleText(const std::string& a, const std::string& b);
std::string UpperCaseLocaleText(const std::string& text);

// The text without its leading and trailing blanks: every byte up to 0x20, controls included.
inline std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}
