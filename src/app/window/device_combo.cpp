#include "app/window/device_combo.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace bandscope {

DeviceCombo::DeviceCombo(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(1);
  // The preferred width follows the entries.
  const auto changed = [this] { updateGeometry(); };
  connect(model(), &QAbstractItemModel::rowsInserted, this, changed);
  connect(model(), &QAbstractItemModel::rowsRemoved, this, changed);
  connect(model(), &QAbstractItemModel::modelReset, this, changed);
  connect(model(), &QAbstractItemModel::dataChanged, this, changed);
}

QSize DeviceCombo::boxFor(const QString& text) const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const QSize contents(fontMetrics().horizontalAdvance(text) + 4, fontMetrics().height());
  return style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, this);
}

QSize DeviceCombo::minimumSizeHint() const {
  return boxFor(QStringLiteral("AudioDevice #00 \u2014 Test signal"));
}

QSize DeviceCombo::sizeHint() const {
  QSize size = minimumSizeHint();
  for (int i = 0; i < count(); ++i) size = size.expandedTo(boxFor(itemText(i)));
  return size;
}

QString DeviceCombo::shownText() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const int room =
      style()
          ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
          .width() -
      4;  // the label's own margins
  return fontMetrics().elidedText(currentText(), Qt::ElideRight, room);
}

void DeviceCombo::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  option.currentText = shownText();
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace bandscope
