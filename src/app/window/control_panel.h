#pragma once
// The strip of controls along the bottom of the window, Panel1, with every control's caption,
// range, step, initial state and hint, laid out in columns of two controls whose boxes are sized
// from their texts and the font in use; a window too narrow for one band of two rows wraps the
// columns into more bands (column_flow.h). Above Panel1 the strip keeps a row for the status
// line, so the line coming and going never moves the display panel. UI thread only.

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QWidget;

namespace bandscope {

// The strip's height the scene was framed for: the viewport reaches this far below the panel,
// however many rows the strip has.
inline constexpr int kPanelHeight = 44;

struct ControlPanel {
  explicit ControlPanel(QWidget* parent);

  // The range combo's choice in dB, and the entry of one (kDefaultRangeDb's for others).
  int rangeDb() const;
  void setRangeDb(int db);

  // What the window lays out: the status row over Panel1. Its width hint is nil, so the
  // strip never widens the window; its height is what Panel1's rows need at its width. Only
  // a window narrower than the widest column cuts Panel1 off at the right edge.
  QWidget* strip;
  QLabel* statusRow;  // hidden while there is nothing to say; its room stays reserved
  QWidget* Panel1;
  QScrollBar* ScrollBar1;
  QCheckBox* Hz_check;
  QCheckBox* sono_check;
  QCheckBox* fps_Check;
  QCheckBox* dB_check;
  QCheckBox* rot8_check;
  QCheckBox* boostHi_check;
  QCheckBox* stereoSpreadCheckBox;
  QComboBox* devCombo;  // a DeviceCombo (device_combo.h)
  QCheckBox* StereoCheckBox;
  QCheckBox* AlwaysOnTopCheckBox;
  QCheckBox* static_check;
  QCheckBox* col_check;
  QPushButton* Button1;
  QScrollBar* bands_ScrollBar;
  QScrollBar* sono_steps_ScrollBar;
  QCheckBox* zBuffer_CheckBox;
  QCheckBox* bits16CheckBox;  // "16 bit": record 16-bit samples
  QComboBox* rangeCombo;      // the 16-bit level axis' depth: "60 dB", "90 dB", "120 dB"
  QLabel* bands_Label;
  QLabel* Label1;
  QLabel* sono_steps_Label;

 private:
  void layOut();  // Panel1's columns
};

}  // namespace bandscope
