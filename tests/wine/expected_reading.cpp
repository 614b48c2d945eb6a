// Prints what the bench program's window must show, one line each, for the run of the
// installed Windows program to compare with what it copies out of the window:
//   expected_reading success <fr|en> <serial> <circuit> <software>
//   expected_reading wrong-type <fr|en>         the text box's lines of a unit of another type
//   expected_reading wrong-type-box <fr|en>     the error box's two sentences
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/ExpectedReading.h"

int main(int argc, char** argv) {
    const std::string what = argc > 2 ? argv[1] : "";
    const std::string language = argc > 2 ? argv[2] : "";
    if (language != "fr" && language != "en") return 2;
    const int32_t index = language == "en" ? kEnglish : kFrench;
    std::string text;
    if (what == "success" && argc == 6) {
        const ReadUnit unit{static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)),
                            static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10)), argv[5]};
        text = AsOutput(SuccessfulReading(index, unit));
    } else if (what == "wrong-type" && argc == 3) {
        text = AsOutput(WrongTypeReading(index));
    } else if (what == "wrong-type-box" && argc == 3) {
        text = WrongTypeMessage(index, "\n") + "\n";
    } else {
        return 2;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}
