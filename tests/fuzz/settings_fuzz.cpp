// The settings file's reader on arbitrary contents. Whatever a user, an editor or a full
// disk leaves in the file, start-up must get a number out of it and never fall over; and a
// file the program wrote itself must read back as the index it was written with.
//
// Each input is taken three ways:
//  - as the text given to ParseLanguageSetting;
//  - as the bytes of a real file read by ReadLanguageSetting, which sees only the first
//    200 bytes up to the first zero byte, and so must agree with the parser on that part;
//  - the parsed value's low bit is written by WriteLanguageSetting, and the file must then
//    hold exactly the 11-byte line and read back as that 0 or 1.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <type_traits>

#include "core/SettingsFile.h"
#include "platform/FileError.h"

namespace {

constexpr size_t kReadLimit = 200;

static_assert(std::is_same_v<decltype(ParseLanguageSetting(std::string())), int32_t>);
static_assert(std::is_same_v<decltype(ReadLanguageSetting(std::string())), int32_t>);

// One folder for the whole run, removed at exit. Each write of the settings file is synced
// to its disk; on a memory file system that costs nothing, so 20000 runs take seconds, not
// minutes.
struct ScratchFile {
    ScratchFile() {
        std::error_code ignored;
        std::string pattern = std::filesystem::is_directory("/dev/shm", ignored)
                                  ? "/dev/shm/quenlor-settings-fuzz-XXXXXX"
                                  : "/tmp/quenlor-settings-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
        path = folder + "/QuenlorV1.CFG";
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
    std::string path;
};

ScratchFile& Scratch() {
    static ScratchFile scratch;
    return scratch;
}

void WriteRaw(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t put = write(fd, data + done, size - done);
        if (put <= 0) std::abort();
        done += static_cast<size_t>(put);
    }
    close(fd);
}

std::string ReadRaw(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) std::abort();
    char buffer[64];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings_fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int32_t parsed = ParseLanguageSetting(text);

    // What the reader can see: the first 200 bytes, up to the first zero byte.
    std::string visible = text.substr(0, kReadLimit);
    visible = visible.substr(0, visible.find('\0'));
    const int32_t expected = ParseLanguageSetting(visible);

    const std::string& path = Scratch().path;
    WriteRaw(path, data, size);
    int32_t read = 0;
    try {
        read = ReadLanguageSetting(path);
    } catch (const FileError&) {
        Require(false, "an existing, unlocked file could not be read");
    }
    Require(read == expected, "the file reads differently from its visible text");

    const int32_t index = parsed & 1;
    try {
        WriteLanguageSetting(path, index);
    } catch (const FileError&) {
        Require(false, "the settings file could not be rewritten");
    }
    const std::string written = ReadRaw(path);
    const std::string line = index == 0 ? "Langue=0;\n\r" : "Langue=1;\n\r";
    Require(written == line, "the rewritten file is not the 11-byte line");
    Require(ReadLanguageSetting(path) == index, "a written index does not read back");
    return 0;
}
