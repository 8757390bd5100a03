#include "app/window/control_panel.h"

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
#include <variant>

#include "analysis/band_settings.h"
#include "app/window/column_flow.h"
#include "app/window/device_combo.h"

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

// The kinds of control in the strip. A view box switches something the picture shows; its
// caption stands in the highlight colour. A value is the label beside a bar, showing its setting.
enum class Kind { Check, View, Bar, Devices, Range, Button, Value };

// Where the control is kept in the panel.
using Member = std::variant<QCheckBox * ControlPanel::*, QScrollBar * ControlPanel::*,
                            QComboBox * ControlPanel::*, QPushButton * ControlPanel::*,
                            QLabel * ControlPanel::*>;

struct BarRange {
  int min = 0;
  int max = 0;
  int small = 0;     // the arrows' and the wheel's step
  int large = 0;     // the page step
  int minWidth = 0;  // pixels
};

struct Control {
  Kind kind;
  Member member;
  const char* name;              // the object name
  const char* caption;           // a box's or the button's text; a value's text before start-up
  const char* hint;              // the tooltip
  int start = 0;                 // a bar's position; a box checked (1) or not
  BarRange range{};              // a bar's
  const char* widest = nullptr;  // the widest text a value shows
};

constexpr const char* kTimeHint = "Scale time in order to analyze (sub)Bass";
constexpr const char* kBandsHint = "Number of Bands";
constexpr const char* kSonoHint = "Sonogram Length";

// In tab order, the order they are created in.
// clang-format off
const Control kControls[] = {
    {Kind::Bar, &ControlPanel::ScrollBar1, "ScrollBar1", nullptr, kTimeHint,
     2, {1, 8, 1, 4, 128}},
    {Kind::View, &ControlPanel::Hz_check, "Hz_check", "&Hz", "Show peak Hz"},
    {Kind::View, &ControlPanel::sono_check, "sono_check", "&sono",
     "Show the sonogram: the recent spectra as a landscape", 1},
    {Kind::View, &ControlPanel::fps_Check, "fps_Check", "&fps", "Show the frame rate", 1},
    {Kind::View, &ControlPanel::dB_check, "dB_check", "&dB",
     "Show a volume scale (not really dB)", 1},
    {Kind::View, &ControlPanel::rot8_check, "rot8_check", "r&ot8",
     "Turn the sonogram round continuously instead of tilting it"},
    {Kind::Check, &ControlPanel::boostHi_check, "boostHi_check", "&phon",
     "Boost high freq's. DISTORTS the diagram - but makes it look more \"natural\" "
     "(approximated Phon-correction)", 1},
    {Kind::View, &ControlPanel::stereoSpreadCheckBox, "stereoSpreadCheckBox", "sp&read",
     "Show the stereo spread and the back-to-back spectrum", 1},
    {Kind::Devices, &ControlPanel::devCombo, "devCombo", nullptr,
     "Sound Device to be used as input"},
    {Kind::Check, &ControlPanel::StereoCheckBox, "StereoCheckBox", "&stereo",
     "Analyse and show both channels; off: the left channel alone", 1},
    {Kind::Check, &ControlPanel::AlwaysOnTopCheckBox, "AlwaysOnTopCheckBox", "on &top",
     "Keep window always on top", 1},
    {Kind::Check, &ControlPanel::static_check, "static_check", "st&atic osc",
     "Try to keep Oscillators \"static\" (i.e. begin at a zero sample)", 1},
    {Kind::Check, &ControlPanel::col_check, "col_check", "&colours",
     "Colour the values by level; off: a plain grey-green ramp", 1},
    {Kind::Button, &ControlPanel::Button1, "Button1", "rec &mixer", "Opens the recording mixer"},
    {Kind::Bar, &ControlPanel::bands_ScrollBar, "bands_ScrollBar", nullptr, kBandsHint,
     8, {8, 1024, 4, 16, 128}},
    {Kind::Bar, &ControlPanel::sono_steps_ScrollBar, "sono_steps_ScrollBar", nullptr, kSonoHint,
     2, {2, 256, 1, 16, 160}},
    {Kind::View, &ControlPanel::zBuffer_CheckBox, "zBuffer_CheckBox", "&z-Buffer",
     "Enable zBuffer (slower)"},
    {Kind::Check, &ControlPanel::bits16CheckBox, "bits16CheckBox", "16 &bit",
     "Record 16-bit samples: levels in dB down to the range below; off: 8-bit samples"},
    {Kind::Range, &ControlPanel::rangeCombo, "rangeCombo", nullptr,
     "With 16 bit: how far below a full-scale sine the levels reach (the floor of the picture)"},
    {Kind::Value, &ControlPanel::bands_Label, "bands_Label", "256", kBandsHint,
     0, {}, "1024 Bands"},
    {Kind::Value, &ControlPanel::Label1, "Label1", "Time Scale", kTimeHint,
     0, {}, "128x Timing"},
    {Kind::Value, &ControlPanel::sono_steps_Label, "sono_steps_Label", "2 rows", kSonoHint,
     0, {}, "512 rows"},
};
// clang-format on

QCheckBox* checkBox(QWidget* parent, const Control& c) {
  auto* box = make<QCheckBox>(parent, c.name);
  box->setText(QString::fromUtf8(c.caption));
  box->setChecked(c.start != 0);
  box->setToolTip(QString::fromUtf8(c.hint));
  if (c.kind == Kind::View) {
    QPalette p = box->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Highlight));
    box->setPalette(p);
  }
  return box;
}

QScrollBar* scrollBar(QWidget* parent, const Control& c) {
  auto* bar = make<QScrollBar>(parent, c.name);
  bar->setOrientation(Qt::Horizontal);
  bar->setMinimumWidth(c.range.minWidth);
  bar->setFocusPolicy(Qt::StrongFocus);  // Tab reaches it; the arrow and page keys move it
  bar->setRange(c.range.min, c.range.max);
  bar->setValue(c.start);
  bar->setSingleStep(c.range.small);
  bar->setPageStep(c.range.large);
  bar->setToolTip(QString::fromUtf8(c.hint));
  return bar;
}

// A value label wide enough for the widest text it will show, so it never clips nor moves.
QLabel* valueLabel(QWidget* parent, const Control& c) {
  auto* label = make<QLabel>(parent, c.name);
  const QString text = QString::fromLatin1(c.caption);
  label->setText(text);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const int width = std::max(label->fontMetrics().horizontalAdvance(text),
                             label->fontMetrics().horizontalAdvance(QString::fromLatin1(c.widest)));
  label->setMinimumWidth(width + 2);
  label->setToolTip(QString::fromUtf8(c.hint));
  return label;
}

QComboBox* rangeList(QWidget* parent, const Control& c) {
  auto* list = make<QComboBox>(parent, c.name);
  list->setEditable(false);
  for (const int db : kRangesDb) list->addItem(QStringLiteral("%1 dB").arg(db), db);
  list->setToolTip(QString::fromUtf8(c.hint));
  list->setCurrentIndex(list->findData(kDefaultRangeDb));
  return list;
}

QComboBox* comboOf(QWidget* parent, const Control& c) {
  if (c.kind == Kind::Range) return rangeList(parent, c);
  QComboBox* list = new DeviceCombo(parent);
  list->setObjectName(QString::fromLatin1(c.name));
  list->setToolTip(QString::fromUtf8(c.hint));
  return list;
}

QPushButton* button(QWidget* parent, const Control& c) {
  auto* b = make<QPushButton>(parent, c.name);
  b->setText(QString::fromUtf8(c.caption));
  b->setToolTip(QString::fromUtf8(c.hint));
  return b;
}

// Makes the control of a row into its member of the panel.
struct Maker {
  ControlPanel& panel;
  QWidget* parent;
  const Control& c;
  QWidget* operator()(QCheckBox* ControlPanel::*m) const { return panel.*m = checkBox(parent, c); }
  QWidget* operator()(QScrollBar* ControlPanel::*m) const {
    return panel.*m = scrollBar(parent, c);
  }
  QWidget* operator()(QComboBox* ControlPanel::*m) const { return panel.*m = comboOf(parent, c); }
  QWidget* operator()(QPushButton* ControlPanel::*m) const { return panel.*m = button(parent, c); }
  QWidget* operator()(QLabel* ControlPanel::*m) const { return panel.*m = valueLabel(parent, c); }
};

// Strip and Panel1 in the buttons' face colour.
void paintFace(QWidget* w) {
  w->setAutoFillBackground(true);
  QPalette face = w->palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  w->setPalette(face);
}

}  // namespace

ControlPanel::ControlPanel(QWidget* parent) {
  statusRow = new QLabel;
  statusRow->setObjectName(QStringLiteral("statusLabel"));
  Panel1 = new QWidget;
  Panel1->setObjectName(QStringLiteral("Panel1"));
  strip = new StripHolder(parent, statusRow, Panel1);
  strip->setObjectName(QStringLiteral("strip"));
  statusRow->setParent(strip);
  Panel1->setParent(strip);
  paintFace(strip);
  paintFace(Panel1);
  QWidget* previous = nullptr;
  for (const Control& c : kControls) {
    QWidget* made = std::visit(Maker{*this, Panel1, c}, c.member);
    if (c.kind == Kind::Value) continue;  // no focus: outside the tab order
    if (previous) QWidget::setTabOrder(previous, made);
    previous = made;
  }
  layOut();
}

// Each column holds a pair of controls as the strip always had them, left to right; a narrow
// window wraps the columns into more bands of two rows.
void ControlPanel::layOut() {
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
}

int ControlPanel::rangeDb() const {
  return rangeCombo->currentData().toInt();
}

void ControlPanel::setRangeDb(int db) {
  const int entry = rangeCombo->findData(isValidRange(db) ? db : kDefaultRangeDb);
  rangeCombo->setCurrentIndex(entry);
}

}  // namespace bandscope
