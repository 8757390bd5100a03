#include "app/run/picture_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

namespace bandscope {

Result<void> writePictureFile(const QImage& picture, const std::string& path, WriteMode mode) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
    return Failure{"its name has no suffix that names a picture format"};
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, QByteArray::fromStdString(path.substr(dot + 1)).toLower());
  if (!writer.write(picture)) return Failure{writer.errorString().toStdString()};
  return writeFileSafely(
      path, std::string_view(encoded.constData(), static_cast<size_t>(encoded.size())), mode);
}

}  // namespace bandscope
