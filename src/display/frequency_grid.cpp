#include "display/frequency_grid.h"

#include <algorithm>
#include <limits>
#include <string>

#include "display/gl_font.h"
#include "display/scene_colours.h"
#include "display/spectrum_plane.h"
#include "display/view_transform.h"

namespace bandscope {

namespace {

// Odd multiples of the step a row lower.
int rowOf(int32_t f, int32_t step) {
  return (f / step) % 2;
}

float rowY(int row) {
  return static_cast<float>(0.35 - 0.1 * row);
}

// Where each row's last drawn label ends, in window pixels, so that a label is drawn only
// clear of the one before it on its row, and of a label that must follow. Without metrics or
// a view nothing is measured.
class LabelRows {
 public:
  explicit LabelRows(const SceneInput& in) : metrics_(in.textMetrics), view_(in.view) {
    if (metrics_) gap_ = std::max<int>(1, metrics_->advance[static_cast<unsigned char>(' ')]);
  }

  bool measuring() const { return metrics_ && view_; }

  // Whether text at raster position (x, y) can be drawn; if so, it now ends its row.
  bool place(int row, float x, float y, const std::string& text) {
    if (!measuring()) return true;
    const WindowPoint p = view_->project(x, y, 0);
    if (!view_->inViewport(p)) return false;  // GL would drop it: it blocks nothing
    const double end = p.x + metrics_->width(text) + gap_;
    if (p.x < end_[row] || end > limit_[row]) return false;
    end_[row] = end;
    return true;
  }

  // From now on labels on row must end before the window point of (x, y), until liftStops.
  void stopBefore(int row, float x, float y) {
    if (!measuring()) return;
    const WindowPoint p = view_->project(x, y, 0);
    if (view_->inViewport(p)) limit_[row] = p.x;
  }
  void liftStops() { limit_[0] = limit_[1] = kNone; }

 private:
  static constexpr double kNone = std::numeric_limits<double>::max();

  const TextMetrics* metrics_;
  const ViewTransform* view_;
  int gap_ = 0;
  double end_[2] = {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest()};
  double limit_[2] = {kNone, kNone};
};

// The channel's labels that fit on rows, lowest frequency first, each given to draw.
template <class Draw>
void placeLabels(const SceneInput& in, int channel, int32_t step, int32_t top, LabelRows& rows,
                 Draw draw) {
  for (int32_t f = step; f <= top; f += step) {
    const int row = rowOf(f, step);
    const float x = frequencyLineX(in, f, channel);
    const std::string label = hzLabel(static_cast<float>(f), in.decimalSeparator);
    if (rows.place(row, x, rowY(row), label)) draw(label, x, rowY(row));
  }
}

}  // namespace

// On the bars' axis: a tone's bar stands on its frequency's line.
float frequencyLineX(const SceneInput& in, int32_t f, int channel) {
  const int32_t band = hzToBand(f, in.settings);
  return static_cast<float>(in.bandX.bandX[band] + channelAxisOffset(channel)) / 200.0f;
}

void drawFrequencyGrid(const SceneInput& in, int channel) {
  const GlTable& gl = in.gl;
  const int32_t step = 1000 / in.settings.timeScale;
  if (step == 0) return;
  // Beyond the top band every frequency would land on the same line.
  const int32_t top = bandToHz(in.settings.bandCount - 1, in.settings);

  setSceneColour(gl, kGridColour);
  gl.glBegin(GL_LINES);
  for (int32_t f = step; f <= top; f += step) {
    const float x = frequencyLineX(in, f, channel);
    gl.glVertex3f(x, 0.35f, -0.1f);
    gl.glVertex3f(x, -0.8f, -0.1f);
  }
  gl.glEnd();

  setSceneColour(gl, kFrequencyLabelColour);
  beginText(gl);
  // In stereo the left grid's labels stop short of the right grid's first label, and the
  // right grid's keep clear of the left's, as both share the rows.
  LabelRows rows(in);
  if (in.options.StereoCheckBox && rows.measuring()) {
    rows.stopBefore(rowOf(step, step), frequencyLineX(in, step, 1), rowY(rowOf(step, step)));
    if (channel == 1) {
      placeLabels(in, 0, step, top, rows, [](const std::string&, float, float) {});
      rows.liftStops();
    }
  }
  placeLabels(in, channel, step, top, rows, [&](const std::string& label, float x, float y) {
    drawText(gl, in.fontListBase, label, x, y);
  });
  endText(gl);
}

}  // namespace bandscope
