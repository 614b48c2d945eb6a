// The COM port numbers the device link can name, on every system: COM1 to COM100.
#pragma once

inline constexpr int kLowestComNumber = 1;
inline constexpr int kHighestComNumber = 100;

inline constexpr bool IsComNumber(long long number) {
    return number >= kLowestComNumber && number <= kHighestComNumber;
}
