#include "tests/support/ExpectedReading.h"

namespace {

const char* const kDevice = "Emetteur Radio TALVERN8";

// The serial number on ten digits, zeros in front.
std::string TenDigits(uint32_t number) {
    std::string digits = std::to_string(number);
    return std::string(10 - digits.size(), '0') + digits;
}

}  // namespace

TextLines SuccessfulReading(int32_t language, const ReadUnit& unit) {
    const std::string device = kDevice;
    if (language == kEnglish) {
        return {"Device Connected",
                " ",
                "Checking of the unit.",
                "You have connected the " + device + " unit.",
                " ",
                "Serial number is : " + TenDigits(unit.serialNumber) + ".",
                " ",
                " ",
                "Transfert successfully",
                " ",
                " ",
                " ",
                "---------------------------",
                " "};
    }
    return {"Appareil connecté",
            " ",
            "Vérification du type d'appareil.",
            "Vous avez bien connecté un appareil " + device + ".",
            " ",
            "Le numéro de série est : " + TenDigits(unit.serialNumber) + ".",
            " La version du circuit est " + std::to_string(unit.circuitVersion) + " ",
            " La version du logiciel est " + unit.softwareVersion,
            "Transmission réussie",
            " ",
            " Le transfert des données est reussi.",
            " ",
            "---------------------------",
            "Vous pouvez effectuer une nouvelle lecture sur un autre appareil " + device};
}

TextLines WrongTypeReading(int32_t language) {
    if (language == kEnglish)
        return {"Device Connected", " ", "Checking of the unit.", " ", "Wrong unit type"};
    return {"Appareil connecté", " ", "Vérification du type d'appareil.", " ",
            "Mauvais type d'appareil"};
}

std::string WrongTypeMessage(int32_t language, const std::string& separator) {
    const std::string device = kDevice;
    if (language == kEnglish) {
        const std::string sentence = "The device is not a " + device + " unit.";
        return sentence + separator + sentence;
    }
    return "Le type d'appareil ne correspond pas à un appareil " + device + "." + separator +
           "L'appareil n'est pas un appareil " + device + "!";
}

TextLines FailedReading(int32_t language, int32_t failedStep, const ReadUnit& unit) {
    // How many of the successful reading's lines come before each step's result.
    const size_t kept[] = {0, 0, 3, 5, 6, 7, 8};
    TextLines lines = SuccessfulReading(language, unit);
    lines.resize(kept[failedStep]);
    lines.push_back(" ");
    lines.push_back(language == kEnglish ? "Transmission error" : "Erreur de transmission");
    return lines;
}

std::string TransmissionErrorMessage(int32_t language) {
    const std::string device = kDevice;
    if (language == kEnglish) {
        return "The " + device +
               " unit could not be read.\n\nCheck the cable and the unit's power, then read it "
               "again.";
    }
    return "La lecture de l'appareil " + device +
           " n'a pas abouti.\n\nVérifiez le câble et l'alimentation de l'appareil, puis "
           "recommencez la lecture.";
}

const char* const kReadingExchange =
    // poll and acceptance
    "> 80,< 81,"
    // type: 'P' '0' '6', each digit acknowledged
    "> 86,< 35,> 84,< 30,> 84,< 33,> 84,< 30,> 84,< 33,> 84,< 36,> 84,"
    // serial number 4660 = 0x00001234: memory 0x78..0x7B, low byte first
    "> 89,> 37,> 38,< 33,> 84,< 34,> 84,"
    "> 89,> 37,> 39,< 31,> 84,< 32,> 84,"
    "> 89,> 37,> 41,< 30,> 84,< 30,> 84,"
    "> 89,> 37,> 42,< 30,> 84,< 30,> 84,"
    // circuit version 3
    "> 87,< 30,> 84,< 33,> 84,"
    // software version 2.5 at 0x7E and 0x7F
    "> 89,> 37,> 45,< 30,> 84,< 32,> 84,"
    "> 89,> 37,> 46,< 30,> 84,< 35,> 84,"
    // back to 9600 bit/s
    "> 9E,> 38,> 31,< 84,";

std::string AsOutput(const TextLines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}
