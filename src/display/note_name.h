#pragma once
// Musical names of frequencies. Pure; any thread.

#include <string>

namespace bandscope {

// The nearest note of equal temperament to hz (A4 = 440 Hz), named with sharps, and how far
// hz lies from it in whole cents: "A4 +0 ct", "C#5 -12 ct". Empty for a frequency that is not
// positive, or is beyond ten octaves from A4.
std::string noteName(double hz);

}  // namespace bandscope
