// MessageBeep: Windows plays the sound the user set for each type.
#include <windows.h>

#include "platform/Sound.h"

static_assert(kBeepOk == MB_OK && kBeepIconHand == MB_ICONHAND,
              "the sound types are MessageBeep's own");

void PlayBeep(unsigned type) { ::MessageBeep(type); }
