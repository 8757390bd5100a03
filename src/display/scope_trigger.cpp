#include "display/scope_trigger.h"

namespace bandscope {

int32_t staticTriggerStart(const uint8_t* samples, int bandCount, bool static_check) {
  int32_t start = 0;
  if (!static_check) return 0;
  while (start < bandCount && samples[start] <= 128) ++start;
  while (start < bandCount && samples[start] > 128) ++start;
  while (start < bandCount && samples[start] <= 128) ++start;
  return start;
}

}  // namespace bandscope
