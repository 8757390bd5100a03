#pragma once
// The fuzz target of the file device's open-and-decode path, shared by the libFuzzer build
// (tests/fuzz/CMakeLists.txt, clang) and the corpus replay (file_input_replay, the normal
// builds). Every input must end in a message that names the file, or in a sound that the
// device delivers; anything else aborts with a report.
//
// Threads: one caller at a time (the file device belongs to one thread).

#include <cstddef>
#include <cstdint>
#include <string>

#include "sound/file_wave_input.h"

namespace bandscope::fuzz {

// Small, so that every input runs in milliseconds; the logic is that of the defaults.
inline constexpr sound::FileLoadLimits kLimits{2, std::int64_t{2} * 96000,
                                               std::int64_t{2} * 48000 * 8};

// Loads path in both modes and checks the outcome; aborts on a wrong one. True when it loaded.
bool checkFileLoad(const std::string& path);
// The same for a file holding these bytes, written to an anonymous file in memory.
bool checkFileBytes(const std::uint8_t* data, std::size_t size);

}  // namespace bandscope::fuzz

// libFuzzer's entry: checkFileBytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
