#include "support/fake_mixer_service.h"

namespace bandscope::test {

using namespace sound;

namespace {
// Line ids: destination << 16 | k, k 0 for the destination line and source + 1 for a source.
constexpr std::uint32_t lineIdOf(std::uint32_t destination, std::uint32_t k) {
  return destination << 16 | k;
}

MixerLine describe(const FakeMixerLine& fake, std::uint32_t destination, std::uint32_t k,
                   std::uint32_t connections) {
  MixerLine line;
  line.lineId = lineIdOf(destination, k);
  line.destination = destination;
  line.source = k == 0 ? 0 : k - 1;
  line.name = fake.name;
  line.componentType = fake.componentType;
  line.channels = fake.channels;
  line.connections = connections;
  line.controls = static_cast<std::uint32_t>(fake.controls.size());
  return line;
}
}  // namespace

void FakeMixerService::changeControl(MixerHandle handle, std::uint32_t controlId) {
  const auto it = open_.find(handle);
  if (it != open_.end()) it->second.pending.push_back(controlId);
}

MMResult FakeMixerService::getDevCaps(unsigned id, MixerCaps& caps) {
  if (id >= devices.size()) return MMSYSERR_BADDEVICEID;
  caps.productName = devices[id].name;
  caps.destinations = static_cast<std::uint32_t>(devices[id].destinations.size());
  return MMSYSERR_NOERROR;
}

MMResult FakeMixerService::open(MixerHandle& handle, unsigned id, MessageQueue* queue,
                                WindowHandle callbackWindow) {
  ++opens_;
  if (id >= devices.size()) return MMSYSERR_BADDEVICEID;
  if (devices[id].openResult != MMSYSERR_NOERROR) return devices[id].openResult;
  handle = nextHandle_++;
  open_[handle] = Open{id, queue, callbackWindow, {}};
  if (watcher_ && queue && callbackWindow) watcher_->watch(handle, {});
  return MMSYSERR_NOERROR;
}

MMResult FakeMixerService::close(MixerHandle handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return MMSYSERR_INVALHANDLE;
  if (watcher_ && it->second.queue && it->second.window) watcher_->unwatch(handle);
  open_.erase(it);
  closed_.push_back(handle);
  return MMSYSERR_NOERROR;
}

const FakeMixerDevice* FakeMixerService::deviceOf(MixerHandle handle) const {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &devices[it->second.id];
}

const FakeMixerLine* FakeMixerService::lineOf(MixerHandle handle, std::uint32_t destination,
                                              std::uint32_t k) const {
  const FakeMixerDevice* device = deviceOf(handle);
  if (!device || destination >= device->destinations.size()) return nullptr;
  const FakeMixerDestination& d = device->destinations[destination];
  if (k == 0) return &d.line;
  return k - 1 < d.sources.size() ? &d.sources[k - 1] : nullptr;
}

MMResult FakeMixerService::getDestinationLine(MixerHandle handle, std::uint32_t destination,
                                              MixerLine& line) {
  if (!deviceOf(handle)) return MMSYSERR_INVALHANDLE;
  const FakeMixerLine* fake = lineOf(handle, destination, 0);
  if (!fake || fake->failInfo) return MIXERR_INVALLINE;
  const auto sources = deviceOf(handle)->destinations[destination].sources.size();
  line = describe(*fake, destination, 0, static_cast<std::uint32_t>(sources));
  return MMSYSERR_NOERROR;
}

MMResult FakeMixerService::getSourceLine(MixerHandle handle, std::uint32_t destination,
                                         std::uint32_t source, MixerLine& line) {
  if (!deviceOf(handle)) return MMSYSERR_INVALHANDLE;
  const FakeMixerLine* fake = lineOf(handle, destination, source + 1);
  if (!fake || fake->failInfo) return MIXERR_INVALLINE;
  line = describe(*fake, destination, source + 1, 0);
  return MMSYSERR_NOERROR;
}

MMResult FakeMixerService::getLineControls(MixerHandle handle, std::uint32_t lineId,
                                           std::span<MixerControl> controls) {
  if (!deviceOf(handle)) return MMSYSERR_INVALHANDLE;
  const FakeMixerLine* fake = lineOf(handle, lineId >> 16, lineId & 0xFFFF);
  if (!fake) return MIXERR_INVALLINE;
  if (fake->failControls) return MMSYSERR_ERROR;
  if (controls.size() != fake->controls.size()) return MMSYSERR_INVALPARAM;
  for (std::size_t i = 0; i < controls.size(); ++i)
    controls[i] = MixerControl{fake->controls[i].id, fake->controls[i].type, fake->name};
  return MMSYSERR_NOERROR;
}

MMResult FakeMixerService::getControlDetails(MixerHandle handle, std::uint32_t controlId,
                                             std::span<std::uint32_t> values) {
  const FakeMixerDevice* device = deviceOf(handle);
  if (!device) return MMSYSERR_INVALHANDLE;
  for (const FakeMixerDestination& d : device->destinations) {
    std::vector<const FakeMixerLine*> lines{&d.line};
    for (const FakeMixerLine& s : d.sources) lines.push_back(&s);
    for (const FakeMixerLine* line : lines) {
      for (const FakeMixerControl& c : line->controls) {
        if (c.id != controlId) continue;
        if (c.failQuery) return MMSYSERR_ERROR;
        if (values.empty() || values.size() > c.values.size()) return MMSYSERR_INVALPARAM;
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = c.values[i];
        return MMSYSERR_NOERROR;
      }
    }
  }
  return MIXERR_INVALCONTROL;
}

void FakeMixerService::dispatch(MixerHandle handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return;
  const std::vector<std::uint32_t> pending = std::move(it->second.pending);
  it->second.pending.clear();
  for (const std::uint32_t id : pending) {
    const auto now = open_.find(handle);  // a handler may have closed it
    if (now == open_.end()) return;
    if (now->second.queue)
      now->second.queue->send(now->second.window, MM_MIXM_CONTROL_CHANGE, handle, id);
  }
}

}  // namespace bandscope::test
