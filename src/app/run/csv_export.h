#pragma once
// The analysis state as CSV: one row per analysed channel and band, numbers with "." and no
// grouping whatever the locale. UI thread.

#include <string>

#include "display/frame.h"
#include "failure/failure.h"

namespace bandscope {

// Header channel,band,hz,level,fast,slow,peak,hold,loudness,deviation; channels 0 .. n - 1.
std::string analysisCsv(const FrameModel& model, int channels);
// Fails saying why the file was not written (as writeFileSafely says); an earlier file stays
// then.
Result<void> writeAnalysisCsvFile(const std::string& path, const FrameModel& model, int channels);

}  // namespace bandscope
