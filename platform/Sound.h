// The bench program's sounds, by type as MessageBeep takes them: the finished reading and the
// unit of another type must sound different on the bench PC.
#pragma once

inline constexpr unsigned kBeepOk = 0x00;
inline constexpr unsigned kBeepIconHand = 0x10;

// Plays the platform's sound of that type; silence where the machine has no sound device.
void PlayBeep(unsigned type);
