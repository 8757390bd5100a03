#include "app/frame/picture_watch.h"

#include <algorithm>
#include <cstring>

namespace bandscope {
namespace {

// Copies `now` over `last`; whether they were equal already.
template <class T>
bool keep(T& last, const T& now) {
  if (std::memcmp(&last, &now, sizeof last) == 0) return true;
  std::memcpy(&last, &now, sizeof last);
  return false;
}

// The same for values compared as numbers.
template <class T, size_t N>
bool keepValues(T (&last)[N], const T (&now)[N]) {
  if (std::equal(now, now + N, last)) return true;
  std::copy(now, now + N, last);
  return false;
}

}  // namespace

void PictureWatch::analysed(const FrameModel* drawn, int steps) {
  bool same = true;
  if (drawn) {
    const SpectrumState& s = drawn->spectrum;
    same &= keep(last_.bands[0], s.bandLevel);
    same &= keep(last_.bands[1], s.bandFast);
    same &= keep(last_.bands[2], s.bandSlow);
    same &= keep(last_.bands[3], s.bandPeak);
    same &= keep(last_.bands[4], s.peakHold);
    same &= keep(last_.meters[0], s.loudnessMeter);
    same &= keep(last_.meters[1], s.deviationMeter);
    same &= keep(last_.samples, drawn->snapshot);
    same &= keepValues(last_.scopeMean, drawn->scope.scopeMean);
    same &= keep(last_.triggerStart, drawn->scope.triggerStart);
    same &= keep(last_.spread, drawn->spread);
  }
  stillSteps_ = same ? stillSteps_ + steps : 0;
}

bool PictureWatch::still(int sonoRows) const {
  return stillSteps_ >= std::max(kLeastStillSteps, sonoRows);
}

}  // namespace bandscope
