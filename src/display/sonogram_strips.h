#pragma once
// The sonogram's strips, each built once: the strip between history rows t - 1 and t
// (their heights and colours, band positions across) is kept in a ring of client vertex
// arrays that follows the history as it scrolls, so a frame only replays them. A strip is
// built when its newer row is new at drawing time; all are built again when the band
// count, band step, colours or sonogram length change. Fixed capacity (kMaxSonoRows strips
// of 2 x kMaxBands vertices), part of the frame model, so nothing is allocated per frame;
// client arrays, unlike display lists, outlive a remade GL context.
//
// Threads: UI thread only. The analysis step notes scrolls and writes; drawing updates
// and reads.

#include <cstdint>

#include "analysis/band_processing.h"
#include "analysis/band_settings.h"
#include "analysis/palette.h"
#include "analysis/scales.h"
#include "platform/gl_table.h"

namespace bandscope {

class SonogramStrips {
 public:
  // The history moved up one row (scrollSonogram).
  void noteScroll() { ++scrolls_; }
  // The newest row was written.
  void noteNewestWritten() { ++writes_; }
  // Forgets every strip; the next update builds them all (the history was changed some
  // other way than by the analysis step).
  void invalidate() { key_ = Key{}; }

  struct Source {
    const SpectrumState& spectrum;
    const BandSettings& settings;
    const BandX& bandX;
    const Palette& palette;
    bool colours;  // col_check
  };
  // Builds the strips whose rows are new or stale since the last update.
  void update(const Source& in);

  // The strip from row t - 1 (at depth 0) to row t (at depth depthStep), t = 1 ..
  // sonoSteps - 1, as of the last update: vertexCount() vertices, older and newer edge
  // alternating band by band.
  const GLfloat (*positions(int t) const)[3] { return strips_[slot(t)].position; }
  const GLfloat (*colours(int t) const)[3] { return strips_[slot(t)].colour; }
  int vertexCount() const { return vertexCount_; }
  // How many strips were built by all updates so far.
  uint64_t stripsBuilt() const { return stripsBuilt_; }

 private:
  struct Key {
    int bandCount = 0;
    int bandStep = 0;
    int rows = 0;
    bool colours = false;
    bool tablesReady = false;
    uint16_t greyBandCount = 0;
    bool operator==(const Key&) const = default;
  };
  struct Strip {
    GLfloat position[2 * kMaxBands][3];
    GLfloat colour[2 * kMaxBands][3];
  };

  int slot(int t) const {
    return static_cast<int>((scrolls_ + static_cast<uint64_t>(t)) % kMaxSonoRows);
  }
  void build(const Source& in, int t);

  Strip strips_[kMaxSonoRows];
  Key key_;
  int vertexCount_ = 0;
  uint64_t scrolls_ = 0;
  uint64_t writes_ = 0;
  uint64_t builtScrolls_ = 0;
  uint64_t builtWrites_ = 0;
  uint64_t stripsBuilt_ = 0;
};

}  // namespace bandscope
