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
inline constexpr TextPair kNotAPort = {"'%1' n'est pas un port série ; voyez les ports avec --list",
                                       "'%1' is not a serial port; see the ports with --list"};

// Where the port leads: an alias and its target, or the kernel device.
inline constexpr TextPair kAbsent = {"absent", "absent"};
inline constexpr TextPair kNotADevice = {"pas un périphérique série", "not a serial device"};

// A port that cannot be opened or used.
inline constexpr TextPair kNotOpened = {"%1 n'a pas pu être ouvert : %2",
                                        "%1 could not be opened: %2"};
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
inline constexpr TextPair kUdevRule = {
    "la règle udev 60-quenlor-cp210x.rules donne l'adaptateur CP210x à l'utilisateur connecté "
    "sur le PC : connectez-vous sur le PC et rebranchez l'adaptateur, ou %1",
    "the udev rule 60-quenlor-cp210x.rules gives the CP210x adapter to the user logged in at "
    "the PC: log in there and plug the adapter in again, or %1"};
inline constexpr TextPair kGone = {
    "le port %1 a disparu pendant la lecture (adaptateur débranché ?) : %2",
    "the port %1 went away during the reading (adapter unplugged?): %2"};

// How a reading ended.
inline constexpr TextPair kIncomplete = {"lecture incomplète sur %1, en échec : %2",
                                         "incomplete reading on %1, failed: %2"};
inline constexpr TextPair kNoAnswer = {"pas de réponse de l'appareil sur %1 en %2 s",
                                       "no answer from the unit on %1 within %2 s"};
inline constexpr TextPair kEcho = {
    "%1 renvoie ce qu'il reçoit : est-ce bien l'adaptateur de l'émetteur ?",
    "%1 sends back what it receives: is it the transmitter's adapter?"};
inline constexpr TextPair kRefused = {
    "l'appareil sur %1 a refusé l'appel (0x85) : il est occupé ou pas prêt ; réessayez",
    "the unit on %1 refused the poll (0x85): it is busy or not ready; try again"};
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
inline constexpr TextPair kNotConnected = {"pas connecté", "not connected"};
inline constexpr TextPair kNothingReceived = {"pas de réponse", "no answer"};
inline constexpr TextPair kRateRefused = {"changement de vitesse refusé", "rate change refused"};
inline constexpr TextPair kPortClosed = {"port fermé", "port closed"};

}  // namespace reader_texts

// The text in the language with %1, %2... replaced by the arguments in turn.
std::string Say(const TextPair& text, Language language,
                std::initializer_list<std::string> arguments = {});
