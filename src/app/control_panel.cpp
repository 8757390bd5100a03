#include "app/control_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QWidget>
#include <algorithm>
#include <initializer_list>

#include "analysis/band_settings.h"

namespace bandscope {

namespace {

// Holds the status row and Panel1 without a layout, so Panel1's minimum width does not
// become the window's: Panel1 gets the strip's width or its own minimum, whichever is more.
class StripHolder : public QWidget {
 public:
  StripHolder(QWidget* parent, QLabel* row, QWidget* panel)
      : QWidget(parent), row_(row), panel_(panel) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  }
  QSize sizeHint() const override { return {0, rowHeight() + panel_->sizeHint().height()}; }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void resizeEvent(QResizeEvent*) override { place(); }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::LayoutRequest) {  // Panel1's hint changed
      updateGeometry();
      place();
    }
    return QWidget::event(e);
  }

 private:
  int rowHeight() const { return row_->fontMetrics().height() + 2; }
  void place() {
    const int rowH = rowHeight();
    row_->setGeometry(0, 0, width(), rowH);
    panel_->setGeometry(0, rowH, std::max(width(), panel_->minimumSizeHint().width()),
                        panel_->sizeHint().height());
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
  ScrollBar1 = scrollBar(p, "ScrollBar1", 128, 1, 8, 2, 1, 4);
  Hz_check = checkBox(p, "Hz_check", "&Hz", false, true, "Show peak Hz");
  sono_check = checkBox(p, "sono_check", "&sono", true, true);
  fps_Check = checkBox(p, "fps_Check", "&fps", true, true);
  dB_check = checkBox(p, "dB_check", "&dB", true, true, "Show a volume scale (not really dB)");
  rot8_check = checkBox(p, "rot8_check", "r&ot8", false, true);
  boostHi_check = checkBox(p, "boostHi_check", "&phon", true, false,
                           "Boost high freq's. DISTORTS the diagram - but makes it look more "
                           "\"natural\" (approximated Phon-correction)");
  stereoSpreadCheckBox = checkBox(p, "stereoSpreadCheckBox", "sp&read", true, true);
  devCombo = make<QComboBox>(p, "devCombo");
  devCombo->setEditable(false);
  devCombo->setToolTip(QStringLiteral("Sound Device to be used as input"));
  // Room for "AudioDevice #n" and a short description, the test signal's at least; longer
  // ones are cut with an ellipsis.
  devCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  devCombo->setMinimumContentsLength(1);
  QStyleOptionComboBox option;
  option.initFrom(devCombo);
  const QFontMetrics metrics = devCombo->fontMetrics();
  const QSize text(metrics.horizontalAdvance(QStringLiteral("AudioDevice #00 \u2014 Test signal")),
                   metrics.height());
  devCombo->setMinimumWidth(
      devCombo->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, devCombo).width());
  StereoCheckBox = checkBox(p, "StereoCheckBox", "&stereo", true, false);
  AlwaysOnTopCheckBox =
      checkBox(p, "AlwaysOnTopCheckBox", "on &top", true, false, "Keep window always on top");
  static_check = checkBox(p, "static_check", "st&atic osc", true, false,
                          "Try to keep Oscilaators \"static\" (i.e. begin at a zero sample)");
  col_check = checkBox(p, "col_check", "&colours", true, false);
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
  Label1 = valueLabel(p, "Label1", QStringLiteral("Time Scale"), {"128x Timing"});
  Label1->setToolTip(QStringLiteral("Scale time in order to analyze (sub)Bass"));
  sono_steps_Label = valueLabel(p, "sono_steps_Label", QStringLiteral("2 rows"), {"512 rows"});
  sono_steps_Label->setToolTip(sono_steps_ScrollBar->toolTip());

  // Two rows; each column holds a pair of controls as the strip always had them.
  auto* grid = new QGridLayout(Panel1);
  grid->setContentsMargins(3, 1, 3, 1);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(1);
  auto* topLeft = new QHBoxLayout;
  topLeft->addWidget(AlwaysOnTopCheckBox);
  topLeft->addStretch(1);
  topLeft->addWidget(Button1);
  grid->addLayout(topLeft, 0, 0);
  grid->addWidget(devCombo, 1, 0);
  grid->addWidget(bands_Label, 0, 1);
  grid->addWidget(bands_ScrollBar, 0, 2);
  grid->addWidget(Label1, 1, 1);
  grid->addWidget(ScrollBar1, 1, 2);
  QWidget* pairs[][2] = {{boostHi_check, StereoCheckBox},
                         {Hz_check, sono_check},
                         {dB_check, stereoSpreadCheckBox},
                         {static_check, col_check},
                         {rot8_check, fps_Check}};
  int column = 3;
  for (QWidget** pair : pairs) {
    grid->addWidget(pair[0], 0, column);
    grid->addWidget(pair[1], 1, column++);
  }
  grid->addWidget(bits16CheckBox, 0, column);
  grid->addWidget(rangeCombo, 1, column++);
  auto* topRight = new QHBoxLayout;
  topRight->addWidget(zBuffer_CheckBox);
  topRight->addStretch(1);
  topRight->addWidget(sono_steps_Label);
  grid->addLayout(topRight, 0, column);
  grid->addWidget(sono_steps_ScrollBar, 1, column);
  // A wider window widens the bars.
  grid->setColumnStretch(2, 1);
  grid->setColumnStretch(column, 2);

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
