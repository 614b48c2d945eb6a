// What p06-read says to the technician besides the window's lines, French beside English,
// as --lang chooses. %1, %2... stand for the port, the device, a figure or the system's
// reason, in that message's order.
#pragma once

#include <initializer_list>
#include <string>

#include "dialogs/Language.h"

namespace reader_texts {

inline constexpr TextPair kNoAdapter = {
    "aucun adaptateur USB-série de l'émetteur trouvé ; branchez-le, ou choisissez un port "
    "avec --port (voir --list)",
    "no USB-serial adapter of the transmitter found; plug it in, or choose a port with --port "
    "(see --list)"};
inline constexpr TextPair kWaitingForAdapter = {
    "en attente du branchement de l'adaptateur USB-série de l'émetteur",
    "waiting for the transmitter's USB-serial adapter to be plugged in"};

}  // namespace reader_texts

// The text in the language with %1, %2... replaced by the arguments in turn.
std::string Say(const TextPair& text, Language language,
                std::initializer_list<std::string> arguments = {});
