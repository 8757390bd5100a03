#include "app/control_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>

namespace bandscope {

namespace {

template <typename W>
W* place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  return w;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const char* caption, int left, int top,
                    int width, bool checked, bool captionColour, const char* hint = nullptr) {
  auto* box = place<QCheckBox>(parent, name, left, top, width, 17);
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

QScrollBar* scrollBar(QWidget* parent, const char* name, int left, int top, int width, int min,
                      int max, int position, int small, int large, const char* hint = nullptr) {
  auto* bar = place<QScrollBar>(parent, name, left, top, width, 18);
  bar->setOrientation(Qt::Horizontal);
  bar->setRange(min, max);
  bar->setValue(position);
  bar->setSingleStep(small);
  bar->setPageStep(large);
  if (hint) bar->setToolTip(QString::fromUtf8(hint));
  return bar;
}

}  // namespace

ControlPanel::ControlPanel(QWidget* parent) : Panel1(new QWidget(parent)) {
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(kPanelHeight);
  Panel1->setAutoFillBackground(true);
  QPalette face = Panel1->palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  Panel1->setPalette(face);
  QWidget* p = Panel1;

  // Created in tab order.
  ScrollBar1 = scrollBar(p, "ScrollBar1", 192, 23, 128, 1, 8, 2, 1, 4);
  Hz_check = checkBox(p, "Hz_check", "&Hz", 379, 3, 35, false, true, "Show peak Hz");
  sono_check = checkBox(p, "sono_check", "&sono", 379, 25, 45, true, true);
  fps_Check = checkBox(p, "fps_Check", "&fps", 551, 25, 39, true, true);
  dB_check =
      checkBox(p, "dB_check", "&dB", 425, 3, 34, true, true, "Show a volume scale (not really dB)");
  rot8_check = checkBox(p, "rot8_check", "r&ot8", 551, 3, 41, false, true);
  boostHi_check = checkBox(p, "boostHi_check", "&phon", 326, 3, 45, true, false,
                           "Boost high freq's. DISTORTS the diagram - but makes it look more "
                           "\"natural\" (approximated Phon-correction)");
  stereoSpreadCheckBox = checkBox(p, "stereoSpreadCheckBox", "sp&read", 425, 25, 53, true, true);
  devCombo = place<QComboBox>(p, "devCombo", 2, 23, 131, 21);
  devCombo->setEditable(false);
  devCombo->setToolTip(QStringLiteral("Sound Device to be used as input"));
  StereoCheckBox = checkBox(p, "StereoCheckBox", "&stereo", 326, 25, 49, true, false);
  AlwaysOnTopCheckBox = checkBox(p, "AlwaysOnTopCheckBox", "on &top", 3, 3, 51, true, false,
                                 "Keep window always on top");
  static_check = checkBox(p, "static_check", "st&atic osc", 481, 3, 66, true, false,
                          "Try to keep Oscilaators \"static\" (i.e. begin at a zero sample)");
  col_check = checkBox(p, "col_check", "&colours", 481, 25, 55, true, false);
  Button1 = place<QPushButton>(p, "Button1", 59, 0, 73, 22);
  Button1->setText(QStringLiteral("rec &mixer"));
  Button1->setToolTip(QStringLiteral("Opens the recording mixer"));
  bands_ScrollBar =
      scrollBar(p, "bands_ScrollBar", 192, 1, 128, 8, 1024, 8, 4, 16, "Number of Bands");
  sono_steps_ScrollBar =
      scrollBar(p, "sono_steps_ScrollBar", 600, 25, 256, 2, 256, 2, 1, 16, "Sonogram Length");
  zBuffer_CheckBox = checkBox(p, "zBuffer_CheckBox", "&z-Buffer", 599, 3, 66, false, true,
                              "Enable zBuffer (slower)");

  bands_Label = place<QLabel>(p, "bands_Label", 132, 3, 56, 13);
  bands_Label->setText(QStringLiteral("256"));
  Label1 = place<QLabel>(p, "Label1", 132, 25, 56, 13);
  Label1->setText(QStringLiteral("Time Scale"));
  Label1->setToolTip(QStringLiteral("Scale time in order to analyze (sub)Bass"));
  for (QLabel* l : {bands_Label, Label1}) l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  QWidget* order[] = {ScrollBar1,      Hz_check,       sono_check,          fps_Check,
                      dB_check,        rot8_check,     boostHi_check,       stereoSpreadCheckBox,
                      devCombo,        StereoCheckBox, AlwaysOnTopCheckBox, static_check,
                      col_check,       Button1,        bands_ScrollBar,     sono_steps_ScrollBar,
                      zBuffer_CheckBox};
  for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace bandscope
