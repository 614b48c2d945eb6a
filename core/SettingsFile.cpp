#include "core/SettingsFile.h"

#include <array>
#include <cstdio>
#include <limits>
#include <string_view>

#include "platform/FileAccess.h"
#include "platform/FileError.h"
#include "platform/SettingsDirectory.h"
#include "platform/SystemError.h"
#include "platform/TextCompare.h"

namespace {

constexpr const char* kOpenError = "Impossible d'ouvrir le fichier %s";
constexpr const char* kCreateError = "Impossible de créer le fichier %s";
// After the reason, when only an administrator can let this user write the file.
constexpr const char* kAdministratorMustCreate =
    "Ce fichier n'existe pas encore et Windows ne laisse pas ce compte le créer : un "
    "administrateur doit le créer et donner aux utilisateurs le droit d'y écrire.";
constexpr const char* kAdministratorMustGrant =
    "Windows ne laisse pas ce compte écrire ce fichier : un administrateur doit donner aux "
    "utilisateurs le droit d'y écrire.";

constexpr std::string_view kKey = "Langue";
constexpr const char* kLineFormat = "%s=%i%s\n\r";
constexpr const char* kValueEnd = ";";

// Only the first bytes of the file count; the buffer keeps room for a closing zero.
constexpr uint32_t kReadLimit = 200;

// The box is French, as the window is before the settings file is read; so is the
// system's reason.
constexpr int32_t kFrenchIndex = 0;

// The failure of the file call just made: the message names the file that failed (the path,
// or where the platform keeps it), the system's code gives the reason, and what an
// administrator must do follows it where only an administrator can.
[[noreturn]] void ThrowFileError(const char* format, const std::string& path) {
    const int32_t code = file_access::LastError();
    std::string message = format;
    message.replace(message.find("%s"), 2, file_access::UsedPath(path));
    std::string reason = code != 0 ? SystemErrorText(code, kFrenchIndex) : std::string();
    if (format == kCreateError && file_access::OnlyAnAdministratorCanAllow()) {
        if (!reason.empty()) reason += reason.back() == '.' ? "\n" : ".\n";
        reason += file_access::Exists(path) ? kAdministratorMustGrant : kAdministratorMustCreate;
    }
    throw FileError(message, reason);
}

// 1-based position of the first occurrence, 0 when there is none.
int64_t Find(std::string_view text, std::string_view what) {
    size_t at = text.find(what);
    return at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1;
}

// 1-based start; empty when start lies beyond the end or count is below 1.
std::string_view Substring(std::string_view text, int64_t start, int64_t count) {
    const auto length = static_cast<int64_t>(text.size());
    if (start > length || count < 1) return {};
    if (start < 1) start = 1;
    return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count));
}

int DigitValue(char c, int base) {
    int value = base;
    if (c >= '0' && c <= '9') value = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

// Leading spaces, one sign, then decimal digits or hexadecimal digits after "$", "x", "X",
// "0x" or "0X"; the whole value must be used and fit 32 signed bits, else 0.
int32_t ToInteger(std::string_view value) {
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    bool negative = false;
    if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    int base = 10;
    for (std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
        if (value.starts_with(prefix)) {
            base = 16;
            value.remove_prefix(prefix.size());
            break;
        }
    }
    if (value.empty()) return 0;

    // One past the largest magnitude of a negative number: enough to tell overflow.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (char c : value) {
        int digit = DigitValue(c, base);
        if (digit < 0) return 0;
        magnitude = magnitude * base + digit;
        if (magnitude > kLimit) return 0;
    }
    int64_t number = negative ? -magnitude : magnitude;
    if (number > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(number);
}

// Closes the file on every way out, the exceptions included.
class FileGuard {
public:
    explicit FileGuard(file_access::Handle file) : file_(file) {}
    ~FileGuard() { file_access::Close(file_); }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;

private:
    file_access::Handle file_;
};

}  // namespace

std::string SettingsPath() { return SettingsDirectory() + PathSeparator() + kSettingsFileName; }

int32_t ParseLanguageSetting(const std::string& fileText) {
    std::string_view text = fileText;
    // Whatever stands before the key is dropped; without the key the whole text is searched.
    int64_t key = Find(text, kKey);
    text = TrimBlanks(Substring(text, key, static_cast<int64_t>(text.size()) - key + 1));
    int64_t equals = Find(text, "=");
    int64_t end = Find(text, kValueEnd);
    return ToInteger(TrimBlanks(Substring(text, equals + 1, end - equals - 1)));
}

int32_t ReadLanguageSetting(const std::string& path) {
    file_access::Handle file = file_access::OpenExisting(path);
    if (file == file_access::kInvalidFile) ThrowFileError(kOpenError, path);
    std::array<char, kReadLimit + 1> buffer{};
    uint32_t count = 0;
    {
        FileGuard guard(file);
        // A failed read is taken as an empty file.
        if (!file_access::Read(file, buffer.data(), kReadLimit, count) || count > kReadLimit)
            count = 0;
    }
    buffer[count] = '\0';
    return ParseLanguageSetting(std::string(buffer.data()));
}

void WriteLanguageSetting(const std::string& path, int32_t index, SettingsWrite why) {
    file_access::Handle file = why == SettingsWrite::kWriteBack ? file_access::CreateWriteBack(path)
                                                                : file_access::CreateAlways(path);
    if (file == file_access::kInvalidFile) ThrowFileError(kCreateError, path);
    FileGuard guard(file);
    std::array<char, 32> line{};
    int length = std::snprintf(line.data(), line.size(), kLineFormat, kKey.data(),
                               static_cast<int>(index), kValueEnd);
    uint32_t written = 0;
    // A line cut short (a full disk) would leave a settings file that reads as French.
    if (!file_access::Write(file, line.data(), static_cast<uint32_t>(length), written) ||
        written != static_cast<uint32_t>(length))
        ThrowFileError(kCreateError, path);
}
