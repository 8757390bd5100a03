#include "sound/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

// alsa-lib 1.2.8 declares snd_lib_error_set_local outside its extern "C" block, so C++ would
// look for a mangled name: the C symbol, under a name of our own.
extern "C" snd_local_error_handler_t alsaErrorSetLocal(snd_local_error_handler_t func) __asm__(
    "snd_lib_error_set_local");

namespace bandscope::sound {

namespace {

// The four controls an element can have, in control-id order.
enum Kind : unsigned { kPlaybackVolume, kPlaybackSwitch, kCaptureVolume, kCaptureSwitch };
constexpr unsigned kKinds = 4;
constexpr std::size_t kMaxElements = 16383;  // keeps every control id below 0xFFFF
constexpr std::uint32_t kDestinations = 2;   // 0 playback, 1 capture

constexpr unsigned sideOf(unsigned kind) {
  return kind / 2;
}
constexpr bool isVolume(unsigned kind) {
  return kind % 2 == 0;
}

struct Element {
  snd_mixer_elem_t* elem = nullptr;  // null once ALSA removed the element
  std::uint32_t number = 0;          // place in the device's element list
  std::string name;
  std::array<bool, kKinds> has{};
  std::array<std::vector<snd_mixer_selem_channel_id_t>, 2> channels;  // per side
  std::array<long, 2> minimum{}, maximum{};                           // volume range per side
  std::array<std::vector<long>, kKinds> seen;                         // raw values last reported
  bool touched = false;  // ALSA reported a change since the last look

  bool onSide(unsigned side) const { return has[side * 2] || has[side * 2 + 1]; }
};

int elementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
  auto* element = static_cast<Element*>(snd_mixer_elem_get_callback_private(elem));
  if (!element) return 0;
  if (mask == SND_CTL_EVENT_MASK_REMOVE) {
    element->elem = nullptr;
    element->touched = false;
  } else if (mask & (SND_CTL_EVENT_MASK_VALUE | SND_CTL_EVENT_MASK_INFO)) {
    element->touched = true;
  }
  return 0;
}

MMResult fromAlsa(int err) {
  switch (-err) {
    case ENOMEM:
      return MMSYSERR_NOMEM;
    case EBUSY:
      return MMSYSERR_ALLOCATED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return MMSYSERR_BADDEVICEID;
    default:
      return MMSYSERR_ERROR;
  }
}

// Raw readings of one control, one per channel of its side (a switch reads 1 when on).
std::vector<long> readRaw(const Element& e, unsigned kind) {
  std::vector<long> values;
  const auto& channels = e.channels[sideOf(kind)];
  values.reserve(channels.size());
  for (const auto channel : channels) {
    long v = 0;
    int sw = 0;
    switch (kind) {
      case kPlaybackVolume:
        snd_mixer_selem_get_playback_volume(e.elem, channel, &v);
        break;
      case kCaptureVolume:
        snd_mixer_selem_get_capture_volume(e.elem, channel, &v);
        break;
      case kPlaybackSwitch:
        snd_mixer_selem_get_playback_switch(e.elem, channel, &sw);
        v = sw;
        break;
      default:
        snd_mixer_selem_get_capture_switch(e.elem, channel, &sw);
        v = sw;
        break;
    }
    values.push_back(v);
  }
  return values;
}

// A volume from the element's range to 0..65535 (rounded), a switch to mute (1 while off).
std::uint32_t toMixerValue(const Element& e, unsigned kind, long raw) {
  if (!isVolume(kind)) return raw ? 0 : 1;
  const long long lo = e.minimum[sideOf(kind)], hi = e.maximum[sideOf(kind)];
  if (hi <= lo) return 0;
  const long long v = std::clamp<long long>(raw, lo, hi) - lo;
  return static_cast<std::uint32_t>((v * 65535 + (hi - lo) / 2) / (hi - lo));
}

std::vector<snd_mixer_selem_channel_id_t> channelsOf(snd_mixer_elem_t* elem, unsigned side) {
  std::vector<snd_mixer_selem_channel_id_t> channels;
  for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
    const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
    if (side == 0 ? snd_mixer_selem_has_playback_channel(elem, channel)
                  : snd_mixer_selem_has_capture_channel(elem, channel))
      channels.push_back(channel);
  }
  return channels;
}

std::string elementName(snd_mixer_elem_t* elem) {
  std::string name = snd_mixer_selem_get_name(elem);
  // Appended in two steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "," + std::string.
  if (const unsigned index = snd_mixer_selem_get_index(elem)) {
    name += ',';
    name += std::to_string(index);
  }
  return name;
}

// An element with a volume or a switch on either side: its name, channels, ranges and values
// as they are; null for enumerations and the like.
std::unique_ptr<Element> elementOf(snd_mixer_elem_t* elem) {
  auto e = std::make_unique<Element>();
  e->elem = elem;
  e->has = {snd_mixer_selem_has_playback_volume(elem) != 0,
            snd_mixer_selem_has_playback_switch(elem) != 0,
            snd_mixer_selem_has_capture_volume(elem) != 0,
            snd_mixer_selem_has_capture_switch(elem) != 0};
  if (!e->onSide(0) && !e->onSide(1)) return nullptr;
  e->name = elementName(elem);
  for (unsigned side = 0; side < kDestinations; ++side) {
    if (!e->onSide(side)) continue;
    e->channels[side] = channelsOf(elem, side);
    if (side == 0)
      snd_mixer_selem_get_playback_volume_range(elem, &e->minimum[0], &e->maximum[0]);
    else
      snd_mixer_selem_get_capture_volume_range(elem, &e->minimum[1], &e->maximum[1]);
  }
  for (unsigned kind = 0; kind < kKinds; ++kind)
    if (e->has[kind]) e->seen[kind] = readRaw(*e, kind);
  return e;
}

}  // namespace

struct AlsaMixer::Device {
  snd_mixer_t* mixer = nullptr;
  MessageQueue* queue = nullptr;
  WindowHandle window = 0;
  std::vector<std::unique_ptr<Element>> elements;  // callbacks hold their addresses
  // Per side the numbers of its elements: the first is the destination line, the rest its
  // sources.
  std::array<std::vector<std::size_t>, kDestinations> sides;

  bool notifies() const { return queue && window; }

  // Opens the mixer of an ALSA control device with its simple elements; ALSA's error (< 0)
  // on failure.
  int load(const char* card) {
    int err = snd_mixer_open(&mixer, 0);
    if (err < 0) return err;
    err = snd_mixer_attach(mixer, card);
    if (err >= 0) err = snd_mixer_selem_register(mixer, nullptr, nullptr);
    if (err >= 0) err = snd_mixer_load(mixer);
    if (err < 0) {
      snd_mixer_close(mixer);
      mixer = nullptr;
    }
    return err;
  }

  // The loaded mixer's elements, each on its sides and watched through ALSA's callback.
  void addElements() {
    for (snd_mixer_elem_t* elem = snd_mixer_first_elem(mixer);
         elem && elements.size() < kMaxElements; elem = snd_mixer_elem_next(elem)) {
      std::unique_ptr<Element> e = elementOf(elem);
      if (!e) continue;  // enumerations and the like
      e->number = static_cast<std::uint32_t>(elements.size());
      for (unsigned side = 0; side < kDestinations; ++side)
        if (e->onSide(side)) sides[side].push_back(elements.size());
      snd_mixer_elem_set_callback_private(elem, e.get());
      snd_mixer_elem_set_callback(elem, elementEvent);
      elements.push_back(std::move(e));
    }
  }

  // Line k of destination d: 0 the destination line, k >= 1 source k - 1. Null element for a
  // destination line without one; false when there is no such line.
  bool line(std::uint32_t d, std::uint32_t k, const Element*& element) const {
    element = nullptr;
    if (d >= kDestinations) return false;
    const auto& side = sides[d];
    if (k == 0) {
      if (!side.empty()) element = elements[side.front()].get();
      return true;
    }
    if (k >= side.size()) return false;
    element = elements[side[k]].get();
    return true;
  }

  MixerLine describe(std::uint32_t d, std::uint32_t k, const Element* element) const {
    MixerLine line;
    line.destination = d;
    line.source = k == 0 ? 0 : k - 1;
    line.lineId = k == 0 ? d : (k << 16) | d;
    if (k == 0) {
      line.componentType =
          d == 0 ? MIXERLINE_COMPONENTTYPE_DST_SPEAKERS : MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
      line.connections = sides[d].empty() ? 0 : static_cast<std::uint32_t>(sides[d].size() - 1);
    } else {
      line.componentType = MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
    }
    if (element) {
      line.name = element->name;
      line.channels = static_cast<std::uint32_t>(element->channels[d].size());
      line.controls = static_cast<std::uint32_t>(element->has[d * 2] + element->has[d * 2 + 1]);
    } else {
      line.name = d == 0 ? "Playback" : "Capture";
    }
    return line;
  }

  // The element and kind of a control id, or null when the id names no live control.
  Element* control(std::uint32_t id, unsigned& kind) const {
    const std::size_t index = id / kKinds;
    kind = id % kKinds;
    if (index >= elements.size()) return nullptr;
    Element* e = elements[index].get();
    return e->elem && e->has[kind] ? e : nullptr;
  }
};

// What a try of "default" found; the thread fills it in and may outlive the mixer.
struct AlsaMixer::DefaultTry {
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  bool found = false;
  std::string product = "default";

  void run() {
    alsaErrorSetLocal(quiet);  // this thread's messages only
    snd_ctl_t* ctl = nullptr;
    const bool opened = snd_ctl_open(&ctl, "default", 0) >= 0;
    std::string name = "default";
    if (opened) {
      snd_ctl_card_info_t* info = nullptr;
      if (snd_ctl_card_info_malloc(&info) >= 0) {
        if (snd_ctl_card_info(ctl, info) >= 0 && *snd_ctl_card_info_get_name(info))
          name = snd_ctl_card_info_get_name(info);
        snd_ctl_card_info_free(info);
      }
      snd_ctl_close(ctl);
    }
    {
      std::lock_guard lock(mutex);
      found = opened;
      product = std::move(name);
      done = true;
    }
    answered.notify_all();
  }

  // A missing "default" is expected where no sound server runs and no card exists.
  static void quiet(const char*, int, const char*, int, const char*, va_list) {}
};

AlsaMixer::AlsaMixer() = default;

std::optional<std::string> AlsaMixer::tryDefault() {
  if (defaultTry_) {
    std::lock_guard lock(defaultTry_->mutex);
    if (!defaultTry_->done) return std::nullopt;  // still waiting for the server
  }
  auto attempt = std::make_shared<DefaultTry>();
  try {
    std::thread([attempt] { attempt->run(); }).detach();
  } catch (const std::system_error&) {
    return std::nullopt;
  }
  defaultTry_ = attempt;
  std::unique_lock lock(attempt->mutex);
  if (!attempt->answered.wait_for(lock, std::chrono::milliseconds(kDefaultWaitMs),
                                  [&] { return attempt->done; }) ||
      !attempt->found)
    return std::nullopt;
  return attempt->product;
}

AlsaMixer::~AlsaMixer() {
  while (!open_.empty()) closeDevice(open_.begin());
}

void AlsaMixer::enumerate() {
  cards_.clear();
  enumerated_ = true;
  if (std::optional<std::string> product = tryDefault())
    cards_.push_back({"default", std::move(*product)});
  int card = -1;
  while (snd_card_next(&card) >= 0 && card >= 0) {
    std::string name = "hw:" + std::to_string(card);
    std::string product = name;
    char* cardName = nullptr;
    if (snd_card_get_name(card, &cardName) >= 0 && cardName) product = cardName;
    std::free(cardName);
    cards_.push_back({std::move(name), std::move(product)});
  }
}

unsigned AlsaMixer::numDevs() {
  enumerate();
  return static_cast<unsigned>(cards_.size());
}

std::string AlsaMixer::deviceName(unsigned id) {
  if (!enumerated_) enumerate();
  return id < cards_.size() ? cards_[id].name : std::string();
}

MMResult AlsaMixer::getDevCaps(unsigned id, MixerCaps& caps) {
  if (!enumerated_) enumerate();
  if (id >= cards_.size()) return MMSYSERR_BADDEVICEID;
  caps.productName = cards_[id].product;
  caps.destinations = kDestinations;
  return MMSYSERR_NOERROR;
}

MMResult AlsaMixer::open(MixerHandle& handle, unsigned id, MessageQueue* queue,
                         WindowHandle callbackWindow) {
  handle = 0;
  if (!enumerated_) enumerate();
  if (id >= cards_.size()) return MMSYSERR_BADDEVICEID;

  auto device = std::make_unique<Device>();
  const int err = device->load(cards_[id].name.c_str());
  if (err < 0) return fromAlsa(err);
  device->queue = queue;
  device->window = callbackWindow;
  device->addElements();

  handle = nextHandle_++;
  const bool notifies = device->notifies();
  open_.emplace(handle, std::move(device));
  if (watcher_ && notifies) watcher_->watch(handle, pollDescriptors(handle));
  return MMSYSERR_NOERROR;
}

void AlsaMixer::closeDevice(std::map<MixerHandle, std::unique_ptr<Device>>::iterator it) {
  if (watcher_ && it->second->notifies()) watcher_->unwatch(it->first);
  // Closing runs the elements' remove callbacks, so the elements must still exist.
  snd_mixer_close(it->second->mixer);
  open_.erase(it);
}

MMResult AlsaMixer::close(MixerHandle handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return MMSYSERR_INVALHANDLE;
  closeDevice(it);
  return MMSYSERR_NOERROR;
}

AlsaMixer::Device* AlsaMixer::find(MixerHandle handle) {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : it->second.get();
}

MMResult AlsaMixer::getDestinationLine(MixerHandle handle, std::uint32_t destination,
                                       MixerLine& line) {
  const Device* device = find(handle);
  if (!device) return MMSYSERR_INVALHANDLE;
  const Element* element = nullptr;
  if (!device->line(destination, 0, element)) return MIXERR_INVALLINE;
  line = device->describe(destination, 0, element);
  return MMSYSERR_NOERROR;
}

MMResult AlsaMixer::getSourceLine(MixerHandle handle, std::uint32_t destination,
                                  std::uint32_t source, MixerLine& line) {
  const Device* device = find(handle);
  if (!device) return MMSYSERR_INVALHANDLE;
  const Element* element = nullptr;
  if (source >= 0xFFFF || !device->line(destination, source + 1, element)) return MIXERR_INVALLINE;
  line = device->describe(destination, source + 1, element);
  return MMSYSERR_NOERROR;
}

MMResult AlsaMixer::getLineControls(MixerHandle handle, std::uint32_t lineId,
                                    std::span<MixerControl> controls) {
  const Device* device = find(handle);
  if (!device) return MMSYSERR_INVALHANDLE;
  const std::uint32_t d = lineId & 0xFFFF, k = lineId >> 16;
  const Element* element = nullptr;
  if (!device->line(d, k, element)) return MIXERR_INVALLINE;
  const std::uint32_t count = element ? device->describe(d, k, element).controls : 0;
  if (controls.size() != count) return MMSYSERR_INVALPARAM;
  if (!element) return MMSYSERR_NOERROR;
  std::size_t n = 0;
  for (unsigned kind = d * 2; kind < d * 2 + 2; ++kind) {
    if (!element->has[kind]) continue;
    MixerControl& c = controls[n++];
    c.controlId = element->number * kKinds + kind;
    c.controlType =
        isVolume(kind) ? MIXERCONTROL_CONTROLTYPE_VOLUME : MIXERCONTROL_CONTROLTYPE_MUTE;
    c.name = element->name + (isVolume(kind) ? " Volume" : " Mute");
  }
  return MMSYSERR_NOERROR;
}

MMResult AlsaMixer::getControlDetails(MixerHandle handle, std::uint32_t controlId,
                                      std::span<std::uint32_t> values) {
  const Device* device = find(handle);
  if (!device) return MMSYSERR_INVALHANDLE;
  unsigned kind = 0;
  const Element* e = device->control(controlId, kind);
  if (!e) return MIXERR_INVALCONTROL;
  if (values.empty() || values.size() > e->channels[sideOf(kind)].size())
    return MMSYSERR_INVALPARAM;
  const std::vector<long> raw = readRaw(*e, kind);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = toMixerValue(*e, kind, raw[i]);
  return MMSYSERR_NOERROR;
}

std::vector<pollfd> AlsaMixer::pollDescriptors(MixerHandle handle) {
  const Device* device = find(handle);
  if (!device) return {};
  const int count = snd_mixer_poll_descriptors_count(device->mixer);
  if (count <= 0) return {};
  std::vector<pollfd> fds(static_cast<std::size_t>(count));
  const int filled =
      snd_mixer_poll_descriptors(device->mixer, fds.data(), static_cast<unsigned>(count));
  fds.resize(static_cast<std::size_t>(std::max(filled, 0)));
  return fds;
}

void AlsaMixer::dispatch(MixerHandle handle) {
  Device* device = find(handle);
  if (!device) return;
  // Let the plugins see the readiness first (the pulse plugin clears its wake-up there).
  std::vector<pollfd> fds = pollDescriptors(handle);
  if (!fds.empty() && ::poll(fds.data(), fds.size(), 0) > 0) {
    unsigned short revents = 0;
    snd_mixer_poll_descriptors_revents(device->mixer, fds.data(), static_cast<unsigned>(fds.size()),
                                       &revents);
  }
  snd_mixer_handle_events(device->mixer);

  std::vector<std::uint32_t> changed;
  for (std::size_t i = 0; i < device->elements.size(); ++i) {
    Element& e = *device->elements[i];
    if (!e.touched || !e.elem) continue;
    e.touched = false;
    for (unsigned kind = 0; kind < kKinds; ++kind) {
      if (!e.has[kind]) continue;
      std::vector<long> now = readRaw(e, kind);
      if (now == e.seen[kind]) continue;
      e.seen[kind] = std::move(now);
      changed.push_back(static_cast<std::uint32_t>(i * kKinds + kind));
    }
  }
  // A handler may close the device: look it up again before each message.
  for (const std::uint32_t id : changed) {
    device = find(handle);
    if (!device || !device->notifies()) return;
    device->queue->send(device->window, MM_MIXM_CONTROL_CHANGE, handle, id);
  }
}

void AlsaMixer::setEventWatcher(EventWatcher* watcher) {
  if (watcher == watcher_) return;
  if (watcher_)
    for (const auto& [handle, device] : open_)
      if (device->notifies()) watcher_->unwatch(handle);
  watcher_ = watcher;
  if (watcher_)
    for (const auto& [handle, device] : open_)
      if (device->notifies()) watcher_->watch(handle, pollDescriptors(handle));
}

}  // namespace bandscope::sound
