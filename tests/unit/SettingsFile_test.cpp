// The settings file: the lenient reading rule, the 200-byte window, the exact bytes written,
// and the open and create failures with their messages.
#include "core/SettingsFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/FileAccess.h"
#include "platform/FileError.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::string_literals;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The message a FileError carries, or "(no error)".
template <typename Call>
std::string ErrorOf(Call call) {
    try {
        call();
    } catch (const FileError& error) {
        return error.what();
    }
    return "(no error)";
}

struct ContentCase {
    const char* what;
    std::string contents;
    int32_t index;
};

// Files as a technician's editor or another program may leave them.
const ContentCase kContentCases[] = {
    {"the written line for 1", "Langue=1;\n\r", 1},
    {"the written line for 0", "Langue=0;\n\r", 0},
    {"the value 2", "Langue=2;\n\r", 2},
    {"the value -1", "Langue=-1;\n\r", -1},
    {"blanks around = and the value", "Langue = 1 ;\n\r", 1},
    {"no ;", "Langue=1\n\r", 0},
    {"no =", "Langue1;\n\r", 0},
    {"; before the line", ";Langue=1;\n\r", 1},
    {"key in lower case", "langue=1;\n\r", 1},
    {"another key", "Sprache=1;\n\r", 1},
    {"the value 01", "Langue=01;\n\r", 1},
    {"the value $1", "Langue=$1;\n\r", 1},
    {"the value 1 and a letter", "Langue=1a;\n\r", 0},
    {"empty file", "", 0},
    {"CR LF ending", "Langue=1;\r\n", 1},
    {"text on lines before", "[Quenlor]\r\nLangue=1;\r\n", 1},
    {"blanks and tabs around the line", " \t Langue=1;\t\n", 1},
    {"tab inside the value", "Langue=\t1\t;", 1},
    {"two lines, the first counts", "Langue=1;\n\rLangue=0;\n\r", 1},
    {"; before = after the key", "Langue;=1", 0},
    {"; before = without the key", "x;y=1", 0},
    {"value split by a blank", "Langue=1 1;", 0},
    {"hexadecimal x", "Langue=x1A;", 26},
    {"hexadecimal X", "Langue=X1a;", 26},
    {"hexadecimal 0x", "Langue=0x10;", 16},
    {"hexadecimal 0X", "Langue=0Xff;", 255},
    {"negative hexadecimal", "Langue=-$10;", -16},
    {"plus sign", "Langue=+1;", 1},
    {"two signs", "Langue=--1;", 0},
    {"sign alone", "Langue=-;", 0},
    {"prefix alone $", "Langue=$;", 0},
    {"prefix alone 0x", "Langue=0x;", 0},
    {"not a hexadecimal digit", "Langue=$1G;", 0},
    {"hexadecimal digits without prefix", "Langue=1F;", 0},
    {"decimal point", "Langue=1.0;", 0},
    {"largest", "Langue=2147483647;", 2147483647},
    {"one past the largest", "Langue=2147483648;", 0},
    {"smallest", "Langue=-2147483648;", -2147483647 - 1},
    {"one below the smallest", "Langue=-2147483649;", 0},
    {"largest hexadecimal", "Langue=$7FFFFFFF;", 2147483647},
    {"hexadecimal beyond 31 bits", "Langue=$80000000;", 0},
    {"smallest hexadecimal", "Langue=-$80000000;", -2147483647 - 1},
    {"all bits set", "Langue=$FFFFFFFF;", 0},
    {"many leading zeros", "Langue=0000000000000000000001;", 1},
    {"zero byte ends the text", "Langue=1\0;\n\r"s, 0},
    {"zero byte before the key", "\0Langue=1;\n\r"s, 0},
};

TEST(ParseLanguageSetting, ReadsTheIndexAsTheTableSays) {
    for (const ContentCase& c : kContentCases) {
        SCOPED_TRACE(c.what);
        // The parser sees text, which ends at the first zero byte.
        EXPECT_EQ(ParseLanguageSetting(c.contents.c_str()), c.index);
    }
}

TEST(ReadLanguageSetting, ReadsTheIndexFromTheFile) {
    TempDir dir;
    const std::string path = dir / "QuenlorV1.CFG";
    for (const ContentCase& c : kContentCases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.contents);
        EXPECT_EQ(ReadLanguageSetting(path), c.index);
        EXPECT_EQ(ReadBytes(path), c.contents) << "reading changed the file";
    }
}

TEST(ReadLanguageSetting, SeesOnlyTheFirst200Bytes) {
    struct WindowCase {
        const char* what;
        std::string contents;
        int32_t index;
    };
    const std::string line = "Langue=1;\n\r";
    const WindowCase cases[] = {
        {"line ending with byte 200", std::string(191, '#') + line, 1},
        {"its ; is byte 201", std::string(192, '#') + line, 0},
        {"line starting after byte 200", std::string(200, ' ') + line, 0},
        {"line after 300 bytes", std::string(300, 'x') + line, 0},
        {"zero byte at byte 200 ends the text", std::string(191, '#') + "Langue=1\0;"s, 0},
        {"zero byte after byte 200 is not seen", std::string(191, '#') + line + "\0"s, 1},
    };
    TempDir dir;
    const std::string path = dir / "QuenlorV1.CFG";
    for (const WindowCase& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.contents);
        EXPECT_EQ(ReadLanguageSetting(path), c.index);
    }
}

TEST(WriteLanguageSetting, WritesTheOneLineExactly) {
    struct WriteCase {
        int32_t index;
        std::string bytes;
    };
    const WriteCase cases[] = {
        {0, "\x4C\x61\x6E\x67\x75\x65\x3D\x30\x3B\x0A\x0D"},
        {1, "\x4C\x61\x6E\x67\x75\x65\x3D\x31\x3B\x0A\x0D"},
        {-1, "Langue=-1;\n\r"},
    };
    TempDir dir;
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.index);
        const std::string path = dir / ("index" + std::to_string(c.index) + ".CFG");
        WriteLanguageSetting(path, c.index);
        EXPECT_EQ(ReadBytes(path), c.bytes);
        EXPECT_EQ(ReadLanguageSetting(path), c.index);
    }
}

TEST(WriteLanguageSetting, RewritesALongerFileToElevenBytes) {
    TempDir dir;
    const std::string path = dir / "QuenlorV1.CFG";
    WriteBytes(path, std::string(150, '#') + "Langue=0;\n\r" + std::string(300, 'z'));
    WriteLanguageSetting(path, 1);
    EXPECT_EQ(ReadBytes(path), "Langue=1;\n\r");
}

TEST(ReadLanguageSetting, MissingFileRaisesTheOpenError) {
    TempDir dir;
    const std::string path = dir / "QuenlorV1.CFG";
    EXPECT_EQ(ErrorOf([&] { ReadLanguageSetting(path); }),
              "Impossible d'ouvrir le fichier " + path);
}

TEST(SettingsFile, AFileHeldOpenCanBeNeitherReadNorCreated) {
    TempDir dir;
    const std::string path = dir / "QuenlorV1.CFG";
    const std::string contents = std::string(40, '#') + "Langue=1;\n\r";
    WriteBytes(path, contents);

    file_access::Handle holder = file_access::OpenExisting(path);
    ASSERT_NE(holder, file_access::kInvalidFile);
    EXPECT_EQ(ErrorOf([&] { ReadLanguageSetting(path); }),
              "Impossible d'ouvrir le fichier " + path);
    EXPECT_EQ(ErrorOf([&] { WriteLanguageSetting(path, 0); }),
              "Impossible de créer le fichier " + path);
    file_access::Close(holder);
    EXPECT_EQ(ReadBytes(path), contents) << "the failed create cut the held file";

    // Once the holder lets go, both work again.
    EXPECT_EQ(ReadLanguageSetting(path), 1);
    WriteLanguageSetting(path, 0);
    EXPECT_EQ(ReadBytes(path), "Langue=0;\n\r");
}

TEST(SettingsFile, AFileBeingCreatedCannotBeOpened) {
    TempDir dir;
    const std::string path = dir / "QuenlorV1.CFG";
    file_access::Handle writer = file_access::CreateAlways(path);
    ASSERT_NE(writer, file_access::kInvalidFile);
    EXPECT_EQ(ErrorOf([&] { ReadLanguageSetting(path); }),
              "Impossible d'ouvrir le fichier " + path);
    EXPECT_EQ(ErrorOf([&] { WriteLanguageSetting(path, 1); }),
              "Impossible de créer le fichier " + path);
    file_access::Close(writer);
}

TEST(WriteLanguageSetting, MissingFolderRaisesTheCreateError) {
    TempDir dir;
    const std::string path = dir / "absent/QuenlorV1.CFG";
    EXPECT_EQ(ErrorOf([&] { WriteLanguageSetting(path, 0); }),
              "Impossible de créer le fichier " + path);
}

}  // namespace
