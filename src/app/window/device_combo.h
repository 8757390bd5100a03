#pragma once
// The device list devCombo: a drop-down list (no typing) whose closed box shows as much of the
// chosen entry as its width allows, cut with an ellipsis; the open list shows the entries
// whole (QComboBox widens it to the longest). It would like the width of its longest entry and
// makes do with that of "AudioDevice #00 — Test signal". UI thread only.

#include <QComboBox>

namespace bandscope {

class DeviceCombo final : public QComboBox {
 public:
  explicit DeviceCombo(QWidget* parent);

  // What the closed box shows of the current entry.
  QString shownText() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QSize boxFor(const QString& text) const;  // the closed box's size around that text
};

}  // namespace bandscope
