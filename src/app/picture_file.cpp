#include "app/picture_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include "app/output_file.h"

namespace bandscope {

bool savePicture(const QImage& picture, const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, QByteArray::fromStdString(path.substr(dot + 1)).toLower());
  if (!writer.write(picture)) return false;
  return writeWholeFile(path,
                        std::string_view(encoded.constData(), static_cast<size_t>(encoded.size())));
}

}  // namespace bandscope
