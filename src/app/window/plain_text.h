#pragma once
// Texts that come from outside the program (source and application names, file names,
// libraries' error texts) are shown as they are: Qt takes any text that looks like markup for
// rich text, so a source named "<img src=…>" would otherwise load and draw that image. UI
// thread (Qt's widgets).

#include <QString>

namespace bandscope {

// A tooltip that shows `text` letter for letter, line breaks and spaces kept.
QString plainToolTip(const QString& text);

}  // namespace bandscope
