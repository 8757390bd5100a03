#include "app/window/plain_text.h"

namespace bandscope {

QString plainToolTip(const QString& text) {
  if (text.isEmpty()) return text;  // no tooltip at all
  // Escaped inside markup of our own: taken as rich text, whatever the text holds.
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
         QStringLiteral("</p>");
}

}  // namespace bandscope
