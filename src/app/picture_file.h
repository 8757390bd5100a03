#pragma once
// A picture as a file: encoded in the format its name's suffix names (.png, .bmp ...) and
// written to the path's bytes as given, so a name in no valid encoding is kept. UI thread.

#include <string>

class QImage;

namespace bandscope {

// False when the suffix names no format Qt can write or the file cannot be written.
bool savePicture(const QImage& picture, const std::string& path);

}  // namespace bandscope
