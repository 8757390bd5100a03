#pragma once
// The files a scripted run writes at its end, named by the bytes of their path: nothing
// decodes or re-encodes the name. Any thread; one caller per file at a time.

#include <stdexcept>
#include <string>
#include <string_view>

namespace bandscope {

// A file that could not be written: a scripted run ends on it with exit status 2.
class OutputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why the file cannot be written, in the system's words; empty when it can. Leaves the disk
// as it was: an existing file is opened without truncating it, a new one is removed again.
std::string whyNotWritable(const std::string& path);

// Replaces the file's contents with `bytes`. False when they could not all be written; a
// file opened but not written completely is removed rather than left cut off or empty.
bool writeWholeFile(const std::string& path, std::string_view bytes);

}  // namespace bandscope
