// The language of every text the bench shows: French or English. The settings file, the
// windows and the reader's command line hold it as an index (0 French, 1 English), and one
// rule turns such an index into a language.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

enum class Language : int32_t { French = 0, English = 1 };

// 0 and 1 name a language; any other index names none, and its callers refuse it.
constexpr std::optional<Language> LanguageFromIndex(int64_t index) {
    if (index == 0) return Language::French;
    if (index == 1) return Language::English;
    return std::nullopt;
}

constexpr int32_t IndexOf(Language language) { return static_cast<int32_t>(language); }

// A text in both languages, indexed by the language: French first, then English.
using TextPair = std::array<const char*, 2>;

constexpr const char* Text(const TextPair& pair, Language language) {
    return pair[static_cast<size_t>(IndexOf(language))];
}
