#include "app/control_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>
#include <initializer_list>

#include "analysis/band_settings.h"
#include "app/column_flow.h"
#include "app/device_combo.h"

namespace bandscope {

namespace {

// Holds the status row over Panel1 without a layout, so that no control's width becomes the
// window's least width: Panel1 gets the strip's width (or, in a window narrower than its widest
// column, that column's) and the height its columns need at that width.
class StripHolder : public QWidget {
 public:
  StripHolder(QWidget* parent, QLabel* row, QWidget* panel)
      : QWidget(parent), row_(row), panel_(panel) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override {
    return rowHeight() + panel_->heightForWidth(panelWidth(width));
  }
  // At the width it has now, so the window keeps room for every row of the strip.
  QSize sizeHint() const override { return {0, heightForWidth(width())}; }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    if (e->size().width() != e->oldSize().width()) updateGeometry();  // rows come or go
    place();
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::LayoutRequest) {  // Panel1's hint changed
      updateGeometry();
      place();
    }
    return QWidget::event(e);
  }

 private:
  int rowHeight() const { return row_->fontMetrics().height() + 2; }
  int panelWidth(int width) const { return std::max(width, panel_->minimumSizeHint().width()); }
  void place() {
    const int rowH = rowHeight();
    const int panelW = panelWidth(width());
    row_->setGeometry(0, 0, width(), rowH);
    panel_->setGeometry(0, rowH, panelW, panel_->heightForWidth(panelW));
  }
  QLabel* row_;
  QWidget* panel_;
};

template <typename W>
W* make(QWidget* parent, const char* name) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const char* caption, bool checked,
                    bool captionColour, const char* hint = nullptr) {
  auto* box = make<QCheckBox>(parent, name);
  box->setText(QString::fromUtf8(caption));
  box->setChecked(checked);
  if (hint) box->setToolTip(QString::fromUtf8(hint));
  if (captionColour) {
    QPalette p = box->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Highlight));
    box->setPalette(p);
  }
  return box;
}

QScrollBar* scrollBar(QWidget* parent, const char* name, int minWidth, int min, int max,
                      int position, int small, int large, const char* hint = nullptr) {
  auto* bar = make<QScrollBar>(parent, name);
  bar->setOrientation(Qt::Horizontal);
  bar->setMinimumWidth(minWidth);
  bar->setFocusPolicy(Qt::StrongFocus);  // Tab reaches it; the arrow and page keys move it
  bar->setRange(min, max);
  bar->setValue(position);
  bar->setSingleStep(small);
  bar->setPageStep(large);
  if (hint) bar->setToolTip(QString::fromUtf8(hint));
  return bar;
}

// A value label wide enough for the widest text it will show, so it never clips nor moves.
QLabel* valueLabel(QWidget* parent, const char* name, const QString& text,
                   std::initializer_list<const char*> widest) {
  auto* label = make<QLabel>(parent, name);
  label->setText(text);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  int width = label->fontMetrics().horizontalAdvance(text);
  for (const char* w : widest)
    width = std::max(width, label->fontMetrics().horizontalAdvance(QString::fromLatin1(w)));
  label->setMinimumWidth(width + 2);
  return label;
}

}  // namespace

ControlPanel::ControlPanel(QWidget* parent) {
  auto* row = new QLabel;
  row->setObjectName(QStringLiteral("statusLabel"));
  Panel1 = new QWidget;
  Panel1->setObjectName(QStringLiteral("Panel1"));
  strip = new StripHolder(parent, row, Panel1);
  strip->setObjectName(QStringLiteral("strip"));
  row->setParent(strip);
  Panel1->setParent(strip);
  statusRow = row;
  for (QWidget* w : {strip, static_cast<QWidget*>(Panel1)}) {
    w->setAutoFillBackground(true);
    QPalette face = w->palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    w->setPalette(face);
  }
  QWidget* p = Panel1;

  // Created in tab order.
  ScrollBar1 =
      scrollBar(p, "ScrollBar1", 128, 1, 8, 2, 1, 4, "Scale time in order to analyze (sub)Bass");
  Hz_check = checkBox(p, "Hz_check", "&Hz", false, true, "Show peak Hz");
  sono_check = checkBox(p, "sono_check", "&sono", true, true,
                        "Show the sonogram: the recent spectra as a landscape");
  fps_Check = checkBox(p, "fps_Check", "&fps", true, true, "Show the frame rate");
  dB_check = checkBox(p, "dB_check", "&dB", true, true, "Show a volume scale (not really dB)");
  rot8_check = checkBox(p, "rot8_check", "r&ot8", false, true,
                        "Turn the sonogram round continuously instead of tilting it");
  boostHi_check = checkBox(p, "boostHi_check", "&phon", true, false,
                           "Boost high freq's. DISTORTS the diagram - but makes it look more "
                           "\"natural\" (approximated Phon-correction)");
  stereoSpreadCheckBox = checkBox(p, "stereoSpreadCheckBox", "sp&read", true, true,
                                  "Show the stereo spread and the back-to-back spectrum");
  devCombo = new DeviceCombo(p);
  devCombo->setObjectName(QStringLiteral("devCombo"));
  devCombo->setToolTip(QStringLiteral("Sound Device to be used as input"));
  StereoCheckBox = checkBox(p, "StereoCheckBox", "&stereo", true, false,
                            "Analyse and show both channels; off: the left channel alone");
  AlwaysOnTopCheckBox =
      checkBox(p, "AlwaysOnTopCheckBox", "on &top", true, false, "Keep window always on top");
  static_check = checkBox(p, "static_check", "st&atic osc", true, false,
                          "Try to keep Oscillators \"static\" (i.e. begin at a zero sample)");
  col_check = checkBox(p, "col_check", "&colours", true, false,
                       "Colour the values by level; off: a plain grey-green ramp");
  Button1 = make<QPushButton>(p, "Button1");
  Button1->setText(QStringLiteral("rec &mixer"));
  Button1->setToolTip(QStringLiteral("Opens the recording mixer"));
  bands_ScrollBar = scrollBar(p, "bands_ScrollBar", 128, 8, 1024, 8, 4, 16, "Number of Bands");
  sono_steps_ScrollBar =
      scrollBar(p, "sono_steps_ScrollBar", 160, 2, 256, 2, 1, 16, "Sonogram Length");
  zBuffer_CheckBox =
      checkBox(p, "zBuffer_CheckBox", "&z-Buffer", false, true, "Enable zBuffer (slower)");

  bits16CheckBox = checkBox(p, "bits16CheckBox", "16 &bit", false, false,
                            "Record 16-bit samples: levels in dB down to the range below; "
                            "off: 8-bit samples");
  rangeCombo = make<QComboBox>(p, "rangeCombo");
  rangeCombo->setEditable(false);
  for (const int db : kRangesDb) rangeCombo->addItem(QStringLiteral("%1 dB").arg(db), db);
  rangeCombo->setToolTip(QStringLiteral(
      "With 16 bit: how far below a full-scale sine the levels reach (the floor of the picture)"));
  setRangeDb(kDefaultRangeDb);

  bands_Label = valueLabel(p, "bands_Label", QStringLiteral("256"), {"1024 Bands"});
  bands_Label->setToolTip(bands_ScrollBar->toolTip());
  Label1 = valueLabel(p, "Label1", QStringLiteral("Time Scale"), {"128x Timing"});
  Label1->setToolTip(ScrollBar1->toolTip());
  sono_steps_Label = valueLabel(p, "sono_steps_Label", QStringLiteral("2 rows"), {"512 rows"});
  sono_steps_Label->setToolTip(sono_steps_ScrollBar->toolTip());

  // Each column holds a pair of controls as the strip always had them, left to right; a
  // narrow window wraps the columns into more bands of two rows.
  auto* flow = new ColumnFlow(Panel1);
  flow->setContentsMargins(3, 1, 3, 1);
  flow->setSpacing(6);
  flow->setVerticalSpacing(1);
  auto* topLeft = new QHBoxLayout;
  topLeft->addWidget(AlwaysOnTopCheckBox);
  topLeft->addStretch(1);
  topLeft->addWidget(Button1);
  // A wider window widens the device list and the bars.
  flow->addColumn(topLeft, devCombo, 1);
  flow->addColumn(bands_Label, Label1, 0, true);  // a value stays next to its bar
  flow->addColumn(bands_ScrollBar, ScrollBar1, 1);
  QWidget* pairs[][2] = {{boostHi_check, StereoCheckBox},  {Hz_check, sono_check},
                         {dB_check, stereoSpreadCheckBox}, {static_check, col_check},
                         {rot8_check, fps_Check},          {bits16CheckBox, rangeCombo}};
  for (QWidget** pair : pairs) flow->addColumn(pair[0], pair[1]);
  auto* topRight = new QHBoxLayout;
  topRight->addWidget(zBuffer_CheckBox);
  topRight->addStretch(1);
  topRight->addWidget(sono_steps_Label);
  flow->addColumn(topRight, sono_steps_ScrollBar, 2);

  QWidget* order[] = {ScrollBar1,       Hz_check,       sono_check,          fps_Check,
                      dB_check,         rot8_check,     boostHi_check,       stereoSpreadCheckBox,
                      devCombo,         StereoCheckBox, AlwaysOnTopCheckBox, static_check,
                      col_check,        Button1,        bands_ScrollBar,     sono_steps_ScrollBar,
                      zBuffer_CheckBox, bits16CheckBox, rangeCombo};
  for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

int ControlPanel::rangeDb() const {
  return rangeCombo->currentData().toInt();
}

void ControlPanel::setRangeDb(int db) {
  const int entry = rangeCombo->findData(isValidRange(db) ? db : kDefaultRangeDb);
  rangeCombo->setCurrentIndex(entry);
}

}  // namespace bandscope
