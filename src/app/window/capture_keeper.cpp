#include "app/window/capture_keeper.h"

#include <QComboBox>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/window/plain_text.h"
#include "sound/capture_entries.h"

namespace bandscope {

namespace {

QString quotedText(const std::string& text) {
  return QStringLiteral("\u201c%1\u201d").arg(QString::fromStdString(text));
}

// "AudioDevice #n — description"; the closed list cuts it to its width.
QString entryText(int n, const QString& description) {
  return QStringLiteral("AudioDevice #%1 \u2014 %2").arg(QString::number(n), description);
}

struct Source {
  std::string name;
  std::string description;
  std::string detail;
};

// Each source's description, with its detail (port or card) where another source reads the
// same, or its name where the detail does not tell them apart either.
std::vector<std::string> toldApart(const std::vector<Source>& sources) {
  std::vector<std::string> out;
  out.reserve(sources.size());
  for (const Source& s : sources) {
    bool twin = false;
    bool sameDetail = s.detail.empty();
    for (const Source& other : sources) {
      if (&other == &s || other.description != s.description) continue;
      twin = true;
      sameDetail = sameDetail || other.detail == s.detail;
    }
    if (!twin) {
      out.push_back(s.description);
    } else {
      out.push_back(s.description + " (" + (sameDetail ? s.name : s.detail) + ")");
    }
  }
  return out;
}

}  // namespace

CaptureKeeper::CaptureKeeper(QComboBox& list, sound::DeviceList& inputs,
                             sound::WaveInService* server, std::function<int64_t()> clockUs)
    : list_(list), inputs_(inputs), server_(server), clockUs_(std::move(clockUs)) {
  retryTimer_.setSingleShot(true);
  QObject::connect(&retryTimer_, &QTimer::timeout, [this] { retry(); });
}

// The entry's description, and what the entry shows of it as its tooltip letter for letter:
// any client of the server may name a source, markup included.
void CaptureKeeper::setDescription(int entry, const std::string& description,
                                   const std::string& shown) {
  list_.setItemData(entry, QString::fromStdString(description), kDescriptionRole);
  list_.setItemData(entry, plainToolTip(QString::fromStdString(shown)), Qt::ToolTipRole);
}

void CaptureKeeper::fillList() {
  list_.clear();
  const unsigned n = inputs_.numDevs();
  std::vector<Source> sources(n);
  for (unsigned i = 0; i < n; ++i)
    sources[i] = {inputs_.deviceName(i), inputs_.deviceDescription(i), inputs_.deviceDetail(i)};
  const std::vector<std::string> shown = toldApart(sources);
  int selected = -1;
  for (unsigned i = 0; i < n; ++i) {
    const auto entry = static_cast<int>(i);
    list_.addItem(entryText(entry, QString::fromStdString(shown[i])),
                  QString::fromStdString(sources[i].name));
    setDescription(entry, sources[i].description, shown[i]);
    if (wanted_ && sources[i].name == chosen_) selected = entry;
  }
  if (wanted_ && selected < 0) selected = keepAway(chosen_);  // it stays chosen
  if (selected >= 0) list_.setCurrentIndex(selected);
}

// An entry for a source that is not there now (an application that plays nothing), at the end.
int CaptureKeeper::keepAway(const std::string& name) {
  const int entry = list_.count();
  const std::optional<std::string> application = sound::applicationOf(name);
  std::string away = application ? *application + " (not playing)" : chosenText_ + " (not there)";
  list_.addItem(entryText(entry, QString::fromStdString(away)), QString::fromStdString(name));
  setDescription(entry, away, away);
  return entry;
}

int CaptureKeeper::entryFor(const std::string& name) {
  const int found = list_.findData(QString::fromStdString(name));
  if (found >= 0 || !sound::applicationOf(name)) return found;
  return keepAway(name);
}

std::string CaptureKeeper::describe(const std::string& name) {
  const int i = inputs_.indexOf(name);
  return i >= 0 ? inputs_.deviceDescription(static_cast<unsigned>(i)) : name;
}

void CaptureKeeper::chooseAtStart(std::function<void()> choose) {
  startChoice_ = std::move(choose);
  takeList();  // what the server said before the window was there
  if (!makeStartChoice()) composeStatus(clockUs_());
}

// Takes in the list the services know now: the server's, while it is connected.
void CaptureKeeper::takeList() {
  inputs_.takeDevicesChanged();  // before the refresh, so no later change is missed
  if (inputs_.refresh()) fillList();
}

bool CaptureKeeper::makeStartChoice() {
  if (!startChoice_ || inputs_.listPending()) return false;
  std::exchange(startChoice_, nullptr)();
  return true;
}

void CaptureKeeper::chooseCurrentEntry() {
  if (!audio_) return;
  startChoice_ = nullptr;
  const int entry = list_.currentIndex();
  const std::string name = list_.itemData(entry).toString().toStdString();
  if (name != chosen_ || chosenText_.empty())  // a kept entry's tooltip says it is away
    chosenText_ = list_.itemData(entry, kDescriptionRole).toString().toStdString();
  chosen_ = name;
  wanted_ = true;
  retryTimer_.stop();
  retryMs_ = kFirstRetryMs;
  absentSinceUs_ = -1;
  waiting_.clear();
  recording_.clear();
  lastBlockUs_ = clockUs_();
  if (!startOn(chosen_)) retry();  // says why, and tries again
  composeStatus(clockUs_());
}

void CaptureKeeper::restart() {
  if (!audio_ || !wanted_ || recording_.empty()) return;
  if (!startOn(recording_)) retry();  // says why, and tries again
  composeStatus(clockUs_());
}

bool CaptureKeeper::startOn(const std::string& name) {
  const int index = inputs_.indexOf(name);
  if (index < 0) return false;
  audio::TRecorder& recorder = *audio_->Recorder;
  recorder.Stop();
  audio_->setAudioDeviceID(index);
  if (!recorder.Start()) {
    recording_.clear();
    return false;
  }
  recording_ = name;
  retryMs_ = kFirstRetryMs;
  lastBlockUs_ = clockUs_();
  return true;
}

void CaptureKeeper::setWaiting(QString why) {
  waiting_ = std::move(why);
}

void CaptureKeeper::scheduleRetry() {
  retryTimer_.start(retryMs_);
  retryMs_ = std::min(2 * retryMs_, kLongestRetryMs);
}

void CaptureKeeper::retry() {
  if (!audio_ || !wanted_) return;
  const bool serverUp = inputs_.refresh();
  if (serverUp) fillList();
  if (startOn(chosen_)) {
    absentSinceUs_ = -1;
    waiting_.clear();
    return;
  }
  const int64_t now = clockUs_();
  const bool present = inputs_.indexOf(chosen_) >= 0;
  if (!serverUp && server_) {
    absentSinceUs_ = -1;  // nothing can be known about the source while the server is away
    const QString error = QString::fromStdString(audio_->ErrorText);
    setWaiting((error.isEmpty() ? QStringLiteral("The sound server is not there") : error) +
               QStringLiteral(" \u2014 waiting for the sound server"));
  } else if (const std::optional<std::string> application = sound::applicationOf(chosen_);
             !present && application) {
    // An application that plays nothing is waited for as long as it takes, in silence.
    absentSinceUs_ = -1;
    setWaiting(QStringLiteral("%1 is not playing").arg(quotedText(*application)));
  } else if (!present) {
    if (absentSinceUs_ < 0) absentSinceUs_ = now;
    if (now - absentSinceUs_ >= kGoneForGoodUs && server_ && server_->numDevs() > 0 &&
        startOn(server_->deviceName(0))) {
      return;  // on the default source until the chosen one comes back
    }
    setWaiting(
        QStringLiteral("%1 is not there \u2014 waiting for it").arg(quotedText(chosenText_)));
  } else {
    setWaiting(QString::fromStdString(audio_->ErrorText) + QStringLiteral(" \u2014 trying again"));
  }
  scheduleRetry();
}

void CaptureKeeper::watchSilence(SampleBuffer& samples, int64_t now) {
  const uint64_t blocks = blocks_.load(std::memory_order_relaxed);
  if (blocks != blocksSeen_) {
    blocksSeen_ = blocks;
    lastBlockUs_ = now;
    silenced_ = false;
  } else if (!silenced_ && now - lastBlockUs_ > kSilentAfterUs) {
    samples.silence();  // what no sound looks like, instead of the last buffer for ever
    silenced_ = true;
  }
}

void CaptureKeeper::tick(SampleBuffer& samples, bool live) {
  if (startChoice_ && audio_) {
    if (inputs_.takeDevicesChanged() && inputs_.refresh()) fillList();
    if (!makeStartChoice()) {
      composeStatus(clockUs_());
      return;
    }
  }
  if (!audio_ || !wanted_) {
    status_.clear();
    return;
  }
  const int64_t now = clockUs_();
  const bool opened = audio_->Recorder->Opened;
  if (inputs_.takeDevicesChanged()) {
    if (inputs_.refresh()) fillList();
    // A source came or went: the chosen one may be back, or the recording gone.
    if (!opened || recording_ != chosen_) {
      retryTimer_.stop();
      retry();
    }
  } else if (!opened && !retryTimer_.isActive() && !recording_.empty() && leftBehind()) {
    // The entry now stands for another device, or its device went: on at once, saying so.
    recording_.clear();
    retryMs_ = kFirstRetryMs;
    retry();
  } else if (!opened && !retryTimer_.isActive()) {
    // Stopped by a failure of the device or the server: say why, then try again.
    if (!recording_.empty()) {
      recording_.clear();
      retryMs_ = kFirstRetryMs;
      setWaiting(QString::fromStdString(audio_->ErrorText));
    }
    scheduleRetry();
  }
  live_ = live;
  if (live) watchSilence(samples, now);
  composeStatus(now);
}

// The recording stopped because its entry moved on (a new default output, the application's
// new stream) or left the list the server gave: nothing to wait for before trying again. The
// recorder keeps only the text of its failure, which ends with the service's text for it.
bool CaptureKeeper::leftBehind() {
  const std::string moved = inputs_.errorText(sound::WAVE_DEVICE_MOVED);
  const std::string& why = audio_->ErrorText;
  return inputs_.indexOf(recording_) < 0 ||
         (!moved.empty() && why.size() >= moved.size() &&
          why.compare(why.size() - moved.size(), moved.size(), moved) == 0);
}

void CaptureKeeper::composeStatus(int64_t now) {
  status_.clear();
  if (startChoice_) {
    status_ =
        QStringLiteral("The sound server has not answered yet \u2014 waiting for the sound server");
    return;
  }
  if (!audio_ || !wanted_) return;
  if (!audio_->Recorder->Opened) {
    status_ = waiting_.isEmpty() ? QString::fromStdString(audio_->ErrorText) : waiting_;
  } else if (recording_ != chosen_) {
    status_ = QStringLiteral("%1 is gone \u2014 recording from the server's default source %2")
                  .arg(quotedText(chosenText_), quotedText(describe(recording_)));
  } else if (live_ && now - lastBlockUs_ > kReportSilenceUs) {
    status_ = QStringLiteral("No sound arrives from the input device.");
  }
}

}  // namespace bandscope
