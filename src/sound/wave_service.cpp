#include "sound/wave_service.h"

namespace bandscope::sound {

std::string genericErrorText(MMResult code) {
  switch (code) {
    case MMSYSERR_NOERROR:
      return "The operation completed successfully.";
    case MMSYSERR_ERROR:
      return "An unspecified error occurred.";
    case MMSYSERR_BADDEVICEID:
      return "There is no such sound device.";
    case MMSYSERR_ALLOCATED:
      return "The sound device is already in use.";
    case MMSYSERR_INVALHANDLE:
      return "The sound device is not open.";
    case MMSYSERR_NODRIVER:
      return "The sound server cannot be reached.";
    case MMSYSERR_NOMEM:
      return "Not enough memory for the sound device.";
    case MMSYSERR_INVALPARAM:
      return "An invalid parameter was passed to the sound device.";
    case WAVERR_BADFORMAT:
      return "The sound device does not support this sample format.";
    case WAVERR_STILLPLAYING:
      return "The buffer is still in use by the sound device.";
    case WAVERR_UNPREPARED:
      return "The buffer has not been prepared.";
    case WAVE_DEVICE_MOVED:
      return "The sound device now stands for another one.";
    default:
      return {};
  }
}

}  // namespace bandscope::sound
