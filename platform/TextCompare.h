// The platform's text rules used by port discovery: the user's locale comparison
// (CompareStringA on Windows; on Linux strcoll between blanks and punctuation, which count
// as on Windows) and upper-casing (CharUpperBuffA / toupper).
#pragma once

#include <string>

// Negative, zero or positive, case-sensitive, in the user's default locale.
int CompareLocaleText(const std::string& a, const std::string& b);
std::string UpperCaseLocaleText(const std::string& text);
