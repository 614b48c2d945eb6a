// Every text of the main window, French beside English: its captions, what a screen reader
// says of the controls whose captions say nothing, the instruction lines and the lines and
// message of a reading. %s is the device's name (or, in the last instruction, the read
// button's caption); %u and %010u are numbers read from the unit.
#pragma once

#include "dialogs/Language.h"

namespace main_window_texts {

inline constexpr TextPair kCaptionFormat = {"Lecture des Information de l'appareil %s", " "};
inline constexpr TextPair kQuitCaption = {"&Quitter", "&Exit"};
inline constexpr TextPair kReadCaption = {"Lecture des informations", " "};
inline constexpr TextPair kPortCaption = {"Configuration du Port", "Serial port settings"};
inline constexpr TextPair kLanguageCaption = {"Choix de la Langue", "Language choice"};

// Accessible names and descriptions. The English window caption, read button and
// instructions are single spaces, and the text box has no caption at all; an empty name
// leaves the caption to name the control.
inline constexpr TextPair kWindowName = {"", "Reading the %s unit"};
inline constexpr TextPair kReadName = {"", "Read the unit"};
inline constexpr TextPair kMemoName = {"Instructions et résultats de la lecture",
                                       "Instructions and reading results"};
// The English instructions, for a screen reader; the French ones are in the text box.
inline constexpr TextPair kMemoDescription = {
    "",
    "Connect your %s unit to the PC and switch it on. Then choose the serial port to use, "
    "and to read the information, press the < Read the unit > button."};

inline constexpr TextPair kInstructions[] = {
    {"Lecture des Informations de l'appareil %s", " "},
    {" ", " "},
    {"Connecter votre appareil %s au PC", " "},
    {"Allumer l'appareil %s.", " "},
    {"Choisir ensuite le port serie à utiliser.", " "},
    {"Et pour lire les informations, appuyer sur le bouton < %s >.", " "},
};
// The instruction line shown as it stands, without formatting, and the one that names the
// read button.
inline constexpr int kUnformattedInstruction = 4;
inline constexpr int kReadButtonInstruction = 5;

inline constexpr TextPair kConnected = {"Appareil connecté", "Device Connected"};
inline constexpr TextPair kChecking = {"Vérification du type d'appareil.", "Checking of the unit."};
inline constexpr TextPair kTypeConfirmed = {"Vous avez bien connecté un appareil %s.",
                                            "You have connected the %s unit."};
inline constexpr TextPair kSerialNumber = {"Le numéro de série est : %010u.",
                                           "Serial number is : %010u."};
inline constexpr TextPair kCircuitVersion = {" La version du circuit est %u ", " "};
inline constexpr TextPair kSoftwareVersion = {" La version du logiciel est %u.%u", " "};
inline constexpr TextPair kTransmissionDone = {"Transmission réussie", "Transfert successfully"};
inline constexpr TextPair kWrongTypeTitle = {"Mauvais type d'appareil", "Wrong unit type"};
inline constexpr TextPair kWrongTypeMessage = {
    "Le type d'appareil ne correspond pas à un appareil %s.\n\n\r"
    "L'appareil n'est pas un appareil %s!",
    "The device is not a %s unit.\n\n\rThe device is not a %s unit."};
inline constexpr TextPair kTransmissionErrorTitle = {"Erreur de transmission",
                                                     "Transmission error"};
inline constexpr TextPair kTransmissionErrorMessage = {
    "La lecture de l'appareil %s n'a pas abouti.\n\n"
    "Vérifiez le câble et l'alimentation de l'appareil, puis recommencez la lecture.",
    "The %s unit could not be read.\n\nCheck the cable and the unit's power, then read it "
    "again."};
inline constexpr TextPair kTransferDone = {" Le transfert des données est reussi.", " "};
inline constexpr TextPair kNewReading = {
    "Vous pouvez effectuer une nouvelle lecture sur un autre appareil %s", " "};
// The same in both languages.
inline constexpr const char* kBlank = " ";
inline constexpr const char* kSeparator = "---------------------------";

}  // namespace main_window_texts
