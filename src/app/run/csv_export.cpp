#include "app/run/csv_export.h"

#include <locale>
#include <sstream>

#include "analysis/scales.h"
#include "app/run/output_file.h"

namespace bandscope {

std::string analysisCsv(const FrameModel& m, int channels) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << "channel,band,hz,level,fast,slow,peak,hold,loudness,deviation\n";
  const SpectrumState& st = m.spectrum;
  for (int c = 0; c < channels; ++c)
    for (int b = 0; b < m.settings.bandCount; ++b)
      out << c << ',' << b << ',' << bandToHz(b, m.settings) << ',' << st.bandLevel[c][b] << ','
          << st.bandFast[c][b] << ',' << st.bandSlow[c][b] << ',' << st.bandPeak[c][b] << ','
          << st.peakHold[c][b] << ',' << st.loudnessMeter[c] << ',' << st.deviationMeter[c] << '\n';
  return out.str();
}

Result<void> writeAnalysisCsvFile(const std::string& path, const FrameModel& model, int channels) {
  return writeFileSafely(path, analysisCsv(model, channels));
}

}  // namespace bandscope
