#pragma once
// A picture as a file: encoded in the format its name's suffix names (.png, .bmp ...) and
// written to the path's bytes as given, so a name in no valid encoding is kept. UI thread.

#include <string>

#include "app/run/output_file.h"

class QImage;

namespace bandscope {

// Fails saying why the picture was not written: no format Qt can write is named by the
// suffix, it could not be encoded, or the file could not be written (as writeFileSafely says).
Result<void> writePictureFile(const QImage& picture, const std::string& path,
                              WriteMode mode = WriteMode::Replace);

}  // namespace bandscope
