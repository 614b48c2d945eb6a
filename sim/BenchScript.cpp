#include "sim/BenchScript.h"

#include <sstream>

namespace {

bool ReadNumber(std::istringstream& fields, uint64_t high, uint64_t& value) {
    std::string text;
    if (!(fields >> text) || text.empty() || text.find_first_not_of("0123456789") != text.npos ||
        text.size() > 10)
        return false;
    value = std::stoull(text);
    return value <= high;
}

}  // namespace

BenchScript BenchScript::Parse(const std::string& text, std::string& error) {
    BenchScript script;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string first;
        if (!(std::istringstream(line) >> first)) continue;  // blank
        Presence p;
        uint64_t serial = 0;
        const auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(number) + ": " + what;
            return BenchScript{};
        };
        if (!ReadNumber(fields, UINT32_MAX, p.fromMs) || !ReadNumber(fields, UINT32_MAX, p.toMs) ||
            !ReadNumber(fields, UINT32_MAX, serial))
            return fail("expected FROM_MS TO_MS SERIAL [TYPE] [refuse]");
        p.unit.serialNumber = static_cast<uint32_t>(serial);
        for (std::string word; fields >> word;) {
            if (word == "refuse")
                p.refuses = true;
            else if (word.size() == 3)
                p.unit.type = word;
            else
                return fail("'" + word + "' is neither a 3-character type nor 'refuse'");
        }
        if (p.toMs <= p.fromMs) return fail("a presence ends after it begins");
        if (!script.presences_.empty() && p.fromMs < script.presences_.back().toMs)
            return fail("presences come in order, one at a time");
        script.presences_.push_back(p);
    }
    error.clear();
    return script;
}

int BenchScript::PresenceAt(uint64_t sinceStartMs) const {
    for (size_t i = 0; i < presences_.size(); ++i)
        if (sinceStartMs >= presences_[i].fromMs && sinceStartMs < presences_[i].toMs)
            return static_cast<int>(i);
    return -1;
}

std::optional<uint64_t> BenchScript::NextChangeMs(uint64_t sinceStartMs) const {
    for (const Presence& p : presences_) {
        if (p.fromMs > sinceStartMs) return p.fromMs;
        if (p.toMs > sinceStartMs) return p.toMs;
    }
    return std::nullopt;
}
