#pragma once
// The strip of controls along the bottom of the window, Panel1, with every control at its
// place, caption, range, step, initial state and hint. UI thread only.

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QWidget;

namespace bandscope {

inline constexpr int kPanelHeight = 44;

struct ControlPanel {
  explicit ControlPanel(QWidget* parent);

  QWidget* Panel1;
  QScrollBar* ScrollBar1;
  QCheckBox* Hz_check;
  QCheckBox* sono_check;
  QCheckBox* fps_Check;
  QCheckBox* dB_check;
  QCheckBox* rot8_check;
  QCheckBox* boostHi_check;
  QCheckBox* stereoSpreadCheckBox;
  QComboBox* devCombo;
  QCheckBox* StereoCheckBox;
  QCheckBox* AlwaysOnTopCheckBox;
  QCheckBox* static_check;
  QCheckBox* col_check;
  QPushButton* Button1;
  QScrollBar* bands_ScrollBar;
  QScrollBar* sono_steps_ScrollBar;
  QCheckBox* zBuffer_CheckBox;
  QLabel* bands_Label;
  QLabel* Label1;
};

}  // namespace bandscope
