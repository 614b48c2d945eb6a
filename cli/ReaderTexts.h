// What p06-read says to the technician besides the window's lines, French beside English,
// as --lang chooses. %1, %2... stand for the port, the device, a figure or the system's
// reason, in that message's order.
#pragma once

#include <initializer_list>
#include <string>

#include "dialogs/Language.h"

namespace reader_texts {

// Choosing the port.
inline constexpr TextPair kNoAdapter = {
    "aucun adaptateur USB-série de l'émetteur trouvé ; branchez-le, ou choisissez un port "
    "avec --port (voir --list)",
    "no USB-serial adapter of the transmitter found; plug it in, or choose a port with --port "
    "(see --list)"};
inline constexpr TextPair kWaitingForAdapter = {
    "en attente du branchement de l'adaptateur USB-série de l'émetteur",
    "waiting for the transmitter's USB-serial adapter to be plugged in"};
inline constexpr TextPair kNoSuchDevice = {
    "%1 : aucun périphérique de ce nom ; branchez l'adaptateur, ou voyez les ports avec --list",
    "%1: no such device; plug the adapter in, or see the ports with --list"};
// The command line.
inline constexpr TextPair kBadPort = {"port '%1' invalide : donnez un numéro de COM de 1 à %2",
                                      "invalid port '%1': give a COM number from 1 to %2"};
inline constexpr TextPair kBadWait = {
    "attente '%1' invalide : donnez des secondes entières de 0 à %2",
    "invalid wait '%1': give whole seconds from 0 to %2"};
inline constexpr TextPair kBadLanguage = {"langue '%1' invalide : donnez fr ou en",
                                          "invalid language '%1': give fr or en"};
inline constexpr TextPair kNeedsFileName = {"l'option '--%1' demande un nom de fichier",
                                            "option '--%1' needs a file name"};
inline constexpr TextPair kPortOrDevice = {"donnez --port ou --device, pas les deux",
                                           "give --port or --device, not both"};
inline constexpr TextPair kCsvOrJson = {"donnez --csv ou --json, pas les deux",
                                        "give --csv or --json, not both"};
inline constexpr TextPair kWaitOrRepeat = {
    "donnez --wait ou --repeat, pas les deux : --repeat attend chaque unité",
    "give --wait or --repeat, not both: --repeat waits for each unit"};
inline constexpr TextPair kNeedsValue = {"l'option '%1' demande une valeur",
                                         "option '%1' needs a value"};
inline constexpr TextPair kTakesNoValue = {"l'option '%1' ne prend pas de valeur",
                                           "option '%1' takes no value"};
inline constexpr TextPair kUnknownOption = {"option inconnue '%1'", "unknown option '%1'"};
inline constexpr TextPair kAmbiguousOption = {"l'option '%1' est ambiguë : ce peut être %2",
                                              "option '%1' is ambiguous: it may be %2"};
inline constexpr TextPair kUnexpectedArgument = {"argument inattendu '%1'",
                                                 "unexpected argument '%1'"};
inline constexpr TextPair kTryHelp = {"Essayez '%1 --help' pour en savoir plus.",
                                      "Try '%1 --help' for more information."};
inline constexpr TextPair kCannotWriteTrace = {"impossible d'écrire la trace dans '%1' : %2",
                                               "cannot write the trace to '%1': %2"};
inline constexpr TextPair kListedNotAPort = {"pas un port : %1", "not a port: %1"};
// Why the port table left an alias out, as the table says it in English.
inline constexpr TextPair kLeftOutReasons[] = {
    {"pas nommé COM1 à COM100", "not named COM1 to COM100"},
    {"numéro hors de 1 à 100", "number outside 1 to 100"},
    {"ne mène à rien", "leads to nothing"},
    {"ne mène à aucun périphérique en mode caractère", "leads to no character device"}};

inline constexpr TextPair kNoAliases = {
    "sans alias de port : le dossier %1 est inaccessible : %2 ; les ports gardent leur numéro "
    "du noyau",
    "no port aliases: the folder %1 cannot be used: %2; the ports keep their kernel numbers"};
inline constexpr TextPair kNoFolder = {"pas un dossier", "not a folder"};
inline constexpr TextPair kNotAPort = {"'%1' n'est pas un port série ; voyez les ports avec --list",
                                       "'%1' is not a serial port; see the ports with --list"};

// Where the port leads: an alias and its target, or the kernel device.
inline constexpr TextPair kAbsent = {"absent", "absent"};
inline constexpr TextPair kNotADevice = {"pas un périphérique série", "not a serial device"};

// A port that cannot be opened or used.
inline constexpr TextPair kNotOpened = {"%1 n'a pas pu être ouvert : %2",
                                        "%1 could not be opened: %2"};
inline constexpr TextPair kNotASerialLine = {
    "%1 n'est pas une ligne série ; choisissez le port de l'adaptateur (voir --list) : %2",
    "%1 is not a serial line; choose the adapter's port (see --list): %2"};
inline constexpr TextPair kNotUsed = {"%1 n'a pas pu être utilisé : %2",
                                      "%1 could not be used: %2"};
inline constexpr TextPair kMissing = {
    "%1 n'a pas pu être ouvert : aucun périphérique ; branchez l'adaptateur, ou voyez les "
    "ports avec --list : %2",
    "%1 could not be opened: no such device; plug the adapter in, or see the ports with "
    "--list: %2"};
inline constexpr TextPair kInUse = {
    "%1 est utilisé par un autre programme ; fermez-le et réessayez : %2",
    "%1 is in use by another program; close it and try again: %2"};
inline constexpr TextPair kNoAccess = {"pas d'accès à %1 : %2 : %3", "no access to %1: %2: %3"};
inline constexpr TextPair kJoinGroup = {
    "ajoutez votre utilisateur au groupe %1 (sudo usermod -aG %1 $USER), puis reconnectez-vous",
    "add your user to the %1 group (sudo usermod -aG %1 $USER), then log in again"};
inline constexpr TextPair kAliasNotADevice = {
    "%1 mène à %2, qui est un %3, pas un périphérique : supprimez ou corrigez l'alias (%4)",
    "%1 leads to %2, which is a %3, not a device: remove or fix the alias (%4)"};
inline constexpr TextPair kFile = {"fichier", "file"};
inline constexpr TextPair kFolder = {"dossier", "folder"};
inline constexpr TextPair kHeldByOthers = {
    "%1 est ouvert aussi par %2 : il prendrait les réponses de l'appareil ; fermez-le et "
    "réessayez",
    "%1 is open in another program too, %2: it would take the unit's answers; close it and "
    "try again"};
inline constexpr TextPair kRootOnly = {
    "seul root peut ouvrir %1 (mode %2) : utilisez un adaptateur sur un port USB, ou demandez "
    "une règle udev à l'administrateur",
    "only root may open %1 (mode %2): use an adapter on a USB port, or ask the administrator "
    "for a udev rule"};
inline constexpr TextPair kUdevRule = {
    "la règle udev 60-quenlor-cp210x.rules donne l'adaptateur CP210x à l'utilisateur connecté "
    "sur le PC : connectez-vous sur le PC et rebranchez l'adaptateur, ou %1",
    "the udev rule 60-quenlor-cp210x.rules gives the CP210x adapter to the user logged in at "
    "the PC: log in there and plug the adapter in again, or %1"};
inline constexpr TextPair kGone = {
    "le port %1 a disparu pendant la lecture (adaptateur débranché ?) : %2",
    "the port %1 went away during the reading (adapter unplugged?): %2"};

// How a reading ended.
inline constexpr TextPair kWrongType = {
    "l'appareil sur %1 est de type %2, pas \"P06\" (%3) : branchez un appareil \"P06\"",
    "the unit on %1 is of type %2, not \"P06\" (%3): plug in a \"P06\" unit"};
inline constexpr TextPair kIncomplete = {"lecture incomplète sur %1, en échec : %2",
                                         "incomplete reading on %1, failed: %2"};
inline constexpr TextPair kNoAnswer = {
    "pas de réponse de l'appareil sur %1 en %2 s : l'appareil est-il allumé et son câble "
    "branché ? Est-ce bien le port de l'appareil ?",
    "no answer from the unit on %1 within %2 s: is the unit switched on and its cable plugged "
    "in? Is this the unit's port?"};
// After the failed steps, when the first failed on a spoiled answer.
inline constexpr TextPair kSpoiledRemedy = {
    "%1 ; la ligne a abîmé une réponse : vérifiez le câble et relisez",
    "%1; the line spoiled an answer: check the cable and read again"};
inline constexpr TextPair kEcho = {
    "%1 renvoie ce qu'il reçoit : est-ce bien l'adaptateur de l'émetteur ?",
    "%1 sends back what it receives: is it the transmitter's adapter?"};
inline constexpr TextPair kRefused = {
    "l'appareil sur %1 a refusé l'appel (0x85) : il est occupé ou pas prêt ; réessayez",
    "the unit on %1 refused the poll (0x85): it is busy or not ready; try again"};
inline constexpr TextPair kStoppedAtOnce = {
    "arrêté aussitôt par un second signal : la lecture en cours n'a pas pu finir",
    "stopped at once by a second signal: the reading in progress could not end"};
inline constexpr TextPair kStopped = {"arrêté avant la fin de la lecture",
                                      "stopped before the reading ended"};

// A failed step: its name and what went wrong, with the code for support.
inline constexpr TextPair kStepType = {"type", "type"};
inline constexpr TextPair kStepSerial = {"numéro de série", "serial number"};
inline constexpr TextPair kStepCircuit = {"version du circuit", "circuit version"};
inline constexpr TextPair kStepSoftware = {"version du logiciel", "software version"};
inline constexpr TextPair kStepEnd = {"fin de la conversation", "end of conversation"};
inline constexpr TextPair kErrorCode = {"%1 (erreur %2)", "%1 (error %2)"};
inline constexpr TextPair kNotADigit = {"l'octet %1 n'est pas un chiffre",
                                        "the byte %1 is not a digit"};
inline constexpr TextPair kBytesOutOfTurn = {"%1 octets sont arrivés hors de leur tour, dès %2",
                                             "%1 bytes came out of turn, from %2"};
inline constexpr TextPair kByteOutOfTurn = {"l'octet %1 est arrivé hors de son tour",
                                            "the byte %1 came out of turn"};
inline constexpr TextPair kLineError = {
    "l'octet %1 est arrivé avec une erreur de parité, de trame ou de débordement",
    "the byte %1 came with a parity, framing or overrun error"};
inline constexpr TextPair kNotConnected = {"pas connecté", "not connected"};
inline constexpr TextPair kNothingReceived = {"pas de réponse", "no answer"};
inline constexpr TextPair kRateRefused = {"changement de vitesse refusé", "rate change refused"};
inline constexpr TextPair kPortClosed = {"port fermé", "port closed"};

// Unit after unit (--repeat).
inline constexpr TextPair kRepeatStart = {"lecture unité après unité sur %1 ; Ctrl+C pour arrêter",
                                          "reading unit after unit on %1; Ctrl+C to stop"};
inline constexpr TextPair kWaitingForPort = {"en attente de l'apparition de %1",
                                             "waiting for %1 to appear"};
inline constexpr TextPair kTryingAgain = {"%1 ; nouvel essai chaque seconde",
                                          "%1; trying again every second"};
inline constexpr TextPair kSummary = {
    "unités présentées : %1 ; lues : %2, relues : %3, incomplètes : %4, de mauvais type : %5, "
    "refusées : %6, arrêtées : %7 ; unités distinctes : %8",
    "units presented: %1; read: %2, read again: %3, incomplete: %4, wrong type: %5, "
    "refused: %6, stopped: %7; distinct units: %8"};

// The records on their way to the log and to standard output.
inline constexpr TextPair kLogLocked = {
    "en attente du journal '%1', verrouillé par un autre programme ; les enregistrements sont "
    "gardés jusqu'à ce qu'il soit libre",
    "waiting for the log '%1', locked by another program; the records are kept until it is "
    "free"};
inline constexpr TextPair kLogFree = {
    "le journal '%1' est de nouveau libre ; les enregistrements gardés y sont",
    "the log '%1' is free again; the records kept are in it"};
inline constexpr TextPair kOutputFullWaiting = {
    "la sortie standard n'est pas lue ; attente de son lecteur",
    "the standard output is not being read; waiting for it"};
inline constexpr TextPair kOutputFullLogOnly = {
    "la sortie standard n'est pas lue ; les enregistrements ne vont qu'au journal '%1' "
    "jusqu'à ce qu'elle le soit",
    "the standard output is not being read; records go to the log '%1' only until it is"};
inline constexpr TextPair kNotInLockedLog = {
    "enregistrements absents du journal '%1', verrouillé par un autre programme : %2 ; ils sont "
    "sur la sortie standard",
    "records not in the log '%1', locked by another program: %2; they are on the standard "
    "output"};
inline constexpr TextPair kNotInLog = {
    "enregistrements absents du journal '%1' : %2 ; ils sont sur la sortie standard",
    "records not in the log '%1': %2; they are on the standard output"};
inline constexpr TextPair kNotWrittenOut = {
    "textes non écrits sur la sortie standard, qui n'est pas lue : %1",
    "texts not written to the standard output, which is not being read: %1"};
inline constexpr TextPair kCannotWriteOut = {"impossible d'écrire la sortie standard : %1",
                                             "cannot write the standard output: %1"};
inline constexpr TextPair kCannotWriteLog = {"impossible d'écrire le journal dans '%1' : %2",
                                             "cannot write the log to '%1': %2"};
inline constexpr TextPair kWriteError = {"erreur d'écriture", "write error"};
inline constexpr TextPair kNotRegularFile = {"pas un fichier ordinaire", "not a regular file"};

}  // namespace reader_texts

// The text in the language with %1, %2... replaced by the arguments in turn.
std::string Say(const TextPair& text, Language language,
                std::initializer_list<std::string> arguments = {});
