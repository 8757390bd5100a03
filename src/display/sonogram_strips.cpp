#include "display/sonogram_strips.h"

#include <algorithm>
#include <utility>

namespace bandscope {

void SonogramStrips::build(const Source& in, int t) {
  const int bandCount = in.settings.bandCount;
  const int bandStep = std::max<int>(1, in.settings.sonoBandStep);
  const float depthStep = 1.0f / static_cast<float>(std::max(1, in.settings.sonoSteps / 4));
  const int16_t* older = in.spectrum.sonoHistory[t - 1];
  const int16_t* newer = in.spectrum.sonoHistory[t];
  Strip& s = strips_[slot(t)];
  int n = 0;
  for (int i = 0; i < bandCount; i += bandStep) {
    const float x = static_cast<float>(in.bandX.bandX[i]) / 100.0f;
    for (const auto& [row, z] : {std::pair{older, 0.0f}, std::pair{newer, depthStep}}) {
      // The history is stored signed but holds magnitudes: read it unsigned.
      const uint16_t v = static_cast<uint16_t>(row[i]);
      const Rgb c = readyValueColour(v, in.colours, in.palette, in.settings.bandCount);
      s.position[n][0] = x;
      s.position[n][1] = static_cast<float>(v) / 512.0f;
      s.position[n][2] = z;
      s.colour[n][0] = c.red;
      s.colour[n][1] = c.green;
      s.colour[n][2] = c.blue;
      ++n;
    }
  }
  vertexCount_ = n;
  ++stripsBuilt_;
}

void SonogramStrips::update(const Source& in) {
  const Key key{in.settings.bandCount,
                std::max<int>(1, in.settings.sonoBandStep),
                std::min<int>(in.settings.sonoSteps, kMaxSonoRows),
                in.colours,
                in.palette.tablesReady,
                in.palette.greyBandCount};
  const int rows = key.rows;
  int first = 1;
  if (key == key_) {
    const uint64_t scrolled = scrolls_ - builtScrolls_;
    const uint64_t written = writes_ - builtWrites_;
    // Rows rows - scrolled .. rows - 1 are new; a write without a scroll also changed the
    // row that was newest at the last update, now scrolled rows up.
    const auto fresh = static_cast<int>(std::min<uint64_t>(scrolled, rows));
    first = std::max(1, rows - fresh - (written > scrolled ? 1 : 0));
    if (scrolled == 0 && written == 0) first = rows;
  }
  for (int t = first; t < rows; ++t) build(in, t);
  key_ = key;
  builtScrolls_ = scrolls_;
  builtWrites_ = writes_;
}

}  // namespace bandscope
