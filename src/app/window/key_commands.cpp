#include "app/window/key_commands.h"

#include <array>
#include <cstdint>

#include "analysis/palette.h"
#include "display/scene_colours.h"

namespace bandscope {

KeyCommand keyCommand(int key, Qt::KeyboardModifiers modifiers) {
  // Shift and the keypad flag come with '?' on many layouts; they change nothing here.
  const Qt::KeyboardModifiers held =
      modifiers & ~Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::KeypadModifier);
  if (held == Qt::ControlModifier) return key == Qt::Key_Q ? KeyCommand::Quit : KeyCommand::None;
  if (held != Qt::NoModifier) return KeyCommand::None;
  switch (key) {
    case Qt::Key_Space:
      return KeyCommand::Freeze;
    case Qt::Key_F11:
      return KeyCommand::Fullscreen;
    case Qt::Key_Escape:
      return KeyCommand::Leave;
    case Qt::Key_F1:
    case Qt::Key_Question:
      return KeyCommand::Help;
    case Qt::Key_Home:
      return KeyCommand::StartView;
    default:
      return KeyCommand::None;
  }
}

namespace {

// The colour the bars and meters have at level v.
std::array<GLfloat, 3> levelColour(int32_t v) {
  const uint32_t c = paletteColour(v);
  const auto part = [c](int shift) { return static_cast<GLfloat>((c >> shift) & 0xff) / 256.0f; };
  return {part(0), part(8), part(16)};
}

}  // namespace

std::span<const HelpText> helpLines() {
  static const auto kHelp = std::to_array<HelpText>({
      {"Mouse: left drag: turn, come closer; right: turn, tilt"},
      {"  shift-drag, both buttons: move; double-click, Home: reset"},
      {"Keys: Space freeze (recording goes on), F11 full screen"},
      {"  Escape: close help, leave full screen, quit"},
      {"  Ctrl+Q quit, Ctrl+S screenshot, F1 or ?: this help"},
      {"Pointer on a spectrum: nearest peak's Hz, note, dBFS"},
      {"Spectra "},
      {"L", kCaptionColour, true},
      {", ", kHelpColour, true},
      {"R", kCaptionColour, true},
      {" (", kHelpColour, true},
      {"mono", kCaptionColour, true},
      {"); bars, peak marks and Hz, meters,", kHelpColour, true},
      {"  balance, spread, L|R bars, sonogram go by level:"},
      {"    quiet ", levelColour(56)},
      {" soft ", levelColour(100), true},
      {" medium ", levelColour(150), true},
      {" loud ", levelColour(210), true},
      {" full", levelColour(256), true},
      {"  green: fast average", kFastAverageColour},
      {", ", kHelpColour, true},
      {"orange: slow", kSlowAverageColour, true},
      {", ", kHelpColour, true},
      {"dark red: held peaks", kPeakCurveColour, true},
      {"  white: waves (sides, L+R above), vector scope", kWhite},
      {"  red: side (L-R)/2 and vector scope", kSideColour},
      {", ", kHelpColour, true},
      {"red box: clipping", kClippingColour, true},
      {"  grey: dB and Hz lines", kGridColour},
      {", ", kHelpColour, true},
      {"frames", kScopeFrameColour, true},
      {", ", kHelpColour, true},
      {"cross", kVectorCrossColour, true},
      {"; ", kHelpColour, true},
      {"-20", kLevelLabelColour, true},
      {" dBFS, ", kHelpColour, true},
      {"1k", kFrequencyLabelColour, true},
      {" Hz", kHelpColour, true},
      {"dB lines: dBFS of a bar reaching them (0: a full-scale"},
      {"  sine; phon lifts the highs); 16-bit: every 10 dB"},
      {"Time scale N (the wheel halves or doubles it): bands"},
      {"  from 44100/(bands x N) Hz to about 22050/N: 1 22k,"},
      {"  2 11k, 4 5.5k, 8 2.8k, 16 1.4k, 32 690, 64 345, 128 172"},
  });
  return kHelp;
}

}  // namespace bandscope
