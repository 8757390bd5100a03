#include "app/window/form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <new>
#include <span>
#include <vector>

#include "app/frame/overlays.h"
#include "app/run/failure_report.h"
#include "app/run/output_file.h"
#include "app/run/start_guard.h"
#include "app/version.h"
#include "app/window/capture_session.h"
#include "app/window/display_panel.h"
#include "app/window/frame_loop.h"
#include "app/window/fullscreen_strip.h"
#include "app/window/key_commands.h"
#include "app/window/mixer_launcher.h"
#include "app/window/plain_text.h"
#include "app/window/saved_settings.h"
#include "app/window/window_place.h"

namespace bandscope {

namespace {

int64_t steadyUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TForm1::TForm1(const CommandLine& line, SoundServices& sound)
    : controls(this),
      mainDisp(new DisplayPanel),
      line_(line),
      // A scripted run (--frames) gives the same result whatever was used last.
      settings_(line.noSettings || line.frames ? std::string() : settingsPath()),
      saved_(settings_.read()),
      clockUs_(steadyUs),
      session_(std::make_unique<CaptureSession>(*controls.devCombo, sound,
                                                [this] { return clockUs_(); })),
      loop_(std::make_unique<FrameLoop>(*this, line_, controls, *mainDisp, Timer1, camera_,
                                        *session_, [this] { return clockUs_(); })),
      fullscreenStrip_(std::make_unique<FullscreenStrip>(*this, *controls.strip)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(
      QStringLiteral("bandscope " BANDSCOPE_VERSION " \u2014 real-time spectrum analyser"));
  applyChecks(saved_, controls);  // before the stay-on-top flag follows its box
  setWindowFlag(Qt::WindowStaysOnTopHint, controls.AlwaysOnTopCheckBox->isChecked());
  buildLayout();
  placeRemembered();
  applyStartValues();
  startTimers();
  wireControls();
  wirePanel();
  qApp->installEventFilter(this);
  controls.ScrollBar1->setFocus();
}

// Start values: the remembered ones unless the command line gives others, set before the
// handlers are connected.
void TForm1::applyStartValues() {
  if (line_.mono) controls.StereoCheckBox->setChecked(false);
  if (line_.noPhon) controls.boostHi_check->setChecked(false);
  const int timeScale = line_.timeScale.value_or(saved_.timeScale);
  controls.ScrollBar1->setValue(std::countr_zero(static_cast<unsigned>(timeScale)) + 1);
  controls.bits16CheckBox->setChecked(line_.sampleBits.value_or(saved_.sampleBits) == 16);
  controls.rangeCombo->setEnabled(controls.bits16CheckBox->isChecked());
  controls.setRangeDb(line_.rangeDb.value_or(saved_.rangeDb));
}

void TForm1::startTimers() {
  Timer1.setObjectName(QStringLiteral("Timer1"));
  // Offline: frames back to back, one step each. Live: the first interval is the old 4 ms;
  // each tick then sets the time to the next frame.
  Timer1.setInterval(line_.offline ? 0 : 4);
  Timer1.setTimerType(Qt::PreciseTimer);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  hintTimer.setSingleShot(true);
  hintTimer.setInterval(10'000);
  connect(&hintTimer, &QTimer::timeout, this, [this] { showNote({}); });
}

// The display panel over the control strip, whose top row is the status line's.
void TForm1::buildLayout() {
  QWidget* container = QWidget::createWindowContainer(mainDisp, this);
  container->setObjectName(QStringLiteral("mainDispContainer"));
  container->setMinimumSize(1, 1);
  QPalette navy = palette();
  navy.setColor(QPalette::Window, Qt::darkBlue);
  container->setPalette(navy);
  container->setAutoFillBackground(true);
  statusLabel = controls.statusRow;
  statusLabel->setStyleSheet(QStringLiteral("color: #c00000; padding: 0px 4px;"));
  statusLabel->setTextFormat(Qt::PlainText);  // it names sources and files
  statusLabel->hide();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(container, 1);
  layout->addWidget(controls.strip);
  int height = controls.strip->heightForWidth(kStartWidth) + leastStartPicture();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    height = std::min(height, screen->availableGeometry().height());
  resize(kStartWidth, std::max(kStartHeight, height));
  move(0, 0);
}

int TForm1::leastStartPicture() {
  const std::span<const HelpText> help = helpLines();
  const auto lines =
      std::count_if(help.begin(), help.end(), [](const HelpText& t) { return !t.sameLine; });
  return std::max(kLeastStartPicture, kOverlayLineStep * static_cast<int>(lines + 2));
}

// The remembered place and size of the client area, fitted to the screens there are now.
void TForm1::placeRemembered() {
  if (!saved_.position && !saved_.size) return;
  const QRect wanted(saved_.position.value_or(pos()), saved_.size.value_or(size()));
  std::vector<QRect> screens;
  if (const QScreen* primary = QGuiApplication::primaryScreen())
    screens.push_back(primary->availableGeometry());
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen != QGuiApplication::primaryScreen()) screens.push_back(screen->availableGeometry());
  const QRect fitted = fitToScreens(wanted, screens);
  setGeometry(fitted);  // the client area, as normalGeometry() gave it: no frame counted
  placeFitted_ = fitted != wanted;
}

void TForm1::showRemembered() {
  switch (saved_.windowState) {
    case WindowState::Maximized:
      showMaximized();
      break;
    case WindowState::FullScreen:
      showFullScreen();
      break;
    case WindowState::Normal:
      show();
      break;
  }
}

// The strip's handlers, the screenshot action and the session's end.
void TForm1::wireControls() {
  connect(controls.ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });
  connect(controls.bands_ScrollBar, &QScrollBar::valueChanged, this,
          [this] { bands_ScrollBarChange(); });
  connect(controls.sono_steps_ScrollBar, &QScrollBar::valueChanged, this,
          [this] { sono_steps_ScrollBarChange(); });
  connect(controls.AlwaysOnTopCheckBox, &QCheckBox::toggled, this,
          [this] { AlwaysOnTopCheckBoxClick(); });
  connect(controls.zBuffer_CheckBox, &QCheckBox::toggled, this,
          [this] { zBuffer_CheckBoxClick(); });
  // Activated, not changed: choosing the entry already selected restarts the recording too.
  connect(controls.devCombo, &QComboBox::activated, this, [this] { devComboChange(); });
  connect(controls.bits16CheckBox, &QCheckBox::toggled, this, [this] { bits16CheckBoxClick(); });
  connect(controls.rangeCombo, &QComboBox::currentIndexChanged, this,
          [this] { rangeComboChange(); });
  connect(controls.Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { endSession(); });
  wireScreenshot();
}

// Ctrl+S and the strip's context menu.
void TForm1::wireScreenshot() {
  auto* shot = new QAction(QStringLiteral("&Save Screenshot"), this);
  shot->setObjectName(QStringLiteral("SaveScreenshot1"));
  shot->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  shot->setShortcutContext(Qt::WindowShortcut);
  connect(shot, &QAction::triggered, this, [this] { saveScreenshot(); });
  addAction(shot);
  controls.Panel1->addAction(shot);
  controls.Panel1->setContextMenuPolicy(Qt::ActionsContextMenu);
}

// The display panel's mouse camera, wheel, resize and expose.
void TForm1::wirePanel() {
  mainDisp->onMousePress = [this](QMouseEvent* e) { panelMouse(e, MouseEventKind::Press); };
  mainDisp->onMouseRelease = [this](QMouseEvent* e) { panelMouse(e, MouseEventKind::Release); };
  mainDisp->onMouseMove = [this](QMouseEvent* e) { panelMouse(e, MouseEventKind::Move); };
  mainDisp->onLeft = [this] { loop_->setPointer(std::nullopt); };
  mainDisp->onDoubleClick = [this](QMouseEvent*) { CameraDrag::mainDispDblClick(camera_); };
  mainDisp->onWheel = [this](QWheelEvent* e) { FormMouseWheel(e->angleDelta().y()); };
  mainDisp->onResized = [this] {
    loop_->pictureMoved();
    loop_->surface().mainDispResize();
  };
  mainDisp->onExposed = [this] { panelExposedNow(); };
}

// Start-up waits for the panel to be shown: drawing into it before it is exposed is not
// safe with every GL driver. Later exposes finish a surface rebuild.
void TForm1::panelExposedNow() {
  if (!mainDisp->readyToDraw()) return;
  loop_->pictureMoved();
  if (Timer1.isActive()) Timer1.start(0);  // seen again: a frame at once, not at the next upkeep
  if (!created_) {
    created_ = true;
    FormCreate();
    return;
  }
  try {
    loop_->surface().panelExposed();
  } catch (const std::exception& e) {
    showError(e);
  }
}

TForm1::~TForm1() {
  qApp->removeEventFilter(this);
  Timer1.stop();
  session_->close();  // stops the capture thread before the sample buffer goes
}

void TForm1::showError(const std::exception& e) {
  // Under a tight limit a failed start ends here, naming the resource that ran out.
  const bool noMemory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
  endStartIfExhausted(noMemory ? "start-up failed" : e.what());
  const Failure failure{noMemory ? outOfMemoryReason() : e.what()};
  if (line_.frames) {  // a scripted run: nobody is there to close a box
    printFailure(failure.text);
    return;
  }
  // Plain text: the message may carry a file name or a library's words.
  QMessageBox box(QMessageBox::Critical, QStringLiteral("bandscope"), statusText(failure),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void TForm1::FormCreate() {
  try {
    setUpAnalysis();
    session_->open(loop_->model().settings.sampleBits);
    ScrollBar1Change();  // sets the time scale and starts the frame timer
    chooseStartSource();
    fixStartView();
    started_ = currentSettings();
  } catch (const std::exception& e) {
    Timer1.stop();
    showError(e);
    if (line_.frames) QCoreApplication::exit(1);  // a scripted run would wait for ever
  }
}

// The model for the start's band count and sample width, the bars that show them, the
// surface, and the frame rate to pace to.
void TForm1::setUpAnalysis() {
  // BANDS below 8 raised to 8, above 512 to 512.
  const uint16_t bands =
      line_.bandParameter ? bandCountFor(line_) : static_cast<uint16_t>(saved_.bandCount);
  FrameModel& model = loop_->model();
  initFrameModel(model, bands);
  BandSettings& s = model.settings;
  s.sampleBits = controls.bits16CheckBox->isChecked() ? 16 : 8;
  s.rangeDb = static_cast<int16_t>(controls.rangeDb());
  session_->samples().setLayout(s.bufferLength, s.timeScale, s.sampleBits);
  controls.bands_ScrollBar->setMaximum(512);
  controls.bands_ScrollBar->setValue(bands);  // runs the band-count change if it moves
  controls.bands_Label->setText(QStringLiteral("%1 Bands").arg(model.settings.bandCount));
  controls.sono_steps_ScrollBar->setMaximum(512);
  controls.sono_steps_ScrollBar->setValue(saved_.sonoSteps);
  loop_->surface().create();
  loop_->pacer().setTargetFps(line_.maxFps ? *line_.maxFps : displayRate());
}

// The remembered source where it is there (an application also while it plays nothing), else
// entry 0; chosen once the sound server has answered, so that entry 0 is its default source
// and not the test signal.
void TForm1::chooseStartSource() {
  QComboBox* list = controls.devCombo;
  CaptureKeeper& keeper = session_->keeper();
  keeper.chooseAtStart([this, list, &keeper] {
    const int remembered = keeper.entryFor(saved_.source);
    list->setCurrentIndex(line_.device ? std::min(*line_.device, list->count() - 1)
                                       : std::max(remembered, 0));
    devComboChange();
    if (started_) started_->source = keeper.chosenSource();  // made later: still start-up's
  });
}

// The start view: the camera's pan, and the viewport's shape at the start window's size: 441
// wide, and the picture over the strip's rows at that width (shown or not) with the
// viewport's reach below it.
void TForm1::fixStartView() {
  camera_.cameraPanY = 1.0f;
  const int stripAtStart = controls.strip->heightForWidth(kStartWidth);
  const int startPicture =
      std::max(kStartHeight, stripAtStart + leastStartPicture()) - stripAtStart;
  loop_->setStartAspect(kStartWidth /
                        static_cast<double>(std::max(1, startPicture + kPanelHeight)));
}

void TForm1::bands_ScrollBarChange() {
  const bool running = Timer1.isActive();
  Timer1.stop();
  FrameModel& model = loop_->model();
  BandSettings& s = model.settings;
  s.bandCount = static_cast<uint16_t>(controls.bands_ScrollBar->value());
  controls.bands_Label->setText(QStringLiteral("%1 Bands").arg(s.bandCount));
  deriveBandSettings(s);
  fillBandX(model.bandX, s.bandCount);
  s.tablesBuilt = false;
  session_->samples().setLayout(s.bufferLength, s.timeScale, s.sampleBits);
  if (running) Timer1.start();
}

void TForm1::ScrollBar1Change() {
  BandSettings& s = loop_->model().settings;
  s.timeScale = 1 << (controls.ScrollBar1->value() - 1);
  controls.Label1->setText(QStringLiteral("%1x Timing").arg(s.timeScale));
  session_->samples().setLayout(s.bufferLength, s.timeScale, s.sampleBits);
  Timer1.stop();
  if (loop_->surface().hasSurface()) Timer1.start();  // the tick needs a current context
}

// Stops the recording and starts it on the chosen entry's source (found by its name).
void TForm1::devComboChange() {
  if (!session_->audio()) return;
  session_->keeper().chooseCurrentEntry();
  updateStatus();
}

void TForm1::bits16CheckBoxClick() {
  controls.rangeCombo->setEnabled(controls.bits16CheckBox->isChecked());
  if (!session_->audio()) return;  // start-up takes the box as it is then
  BandSettings& s = loop_->model().settings;
  const uint8_t bits = controls.bits16CheckBox->isChecked() ? 16 : 8;
  if (s.sampleBits == bits) return;
  s.sampleBits = bits;
  session_->setSampleBits(bits, s.bufferLength, s.timeScale);
  updateStatus();
}

void TForm1::rangeComboChange() {
  loop_->model().settings.rangeDb = static_cast<int16_t>(controls.rangeDb());
}

// Capture thread.
void TForm1::Audio1Record(void* Sender, const uint8_t* LP, const uint8_t* RP, uint16_t BufferSize) {
  session_->Audio1Record(Sender, LP, RP, BufferSize);
}

void TForm1::Button1Click() {
  if (controls.AlwaysOnTopCheckBox->isChecked()) {
    controls.AlwaysOnTopCheckBox->setChecked(false);  // its handler leaves stay-on-top mode
  }
  const std::optional<ProgramCall> mixer = recordingMixer();
  if (!mixer) {
    showNote(
        QStringLiteral("No recording mixer: install pavucontrol, pavucontrol-qt or alsamixer."));
  } else if (!LaunchProgram(mixer->program, mixer->arguments)) {
    showNote(QStringLiteral("The recording mixer %1 could not be started.").arg(mixer->program));
  } else {
    showNote({});
  }
}

void TForm1::endSession() {
  rememberSettings();
  session_->endSession();
}

void TForm1::closeEvent(QCloseEvent* event) {
  rememberSettings();
  QWidget::closeEvent(event);
}

SavedSettings TForm1::currentSettings() const {
  SavedSettings s;
  s.source = session_->keeper().chosenSource();
  s.bandCount = controls.bands_ScrollBar->value();
  s.timeScale = 1 << (controls.ScrollBar1->value() - 1);
  s.sonoSteps = controls.sono_steps_ScrollBar->value();
  s.sampleBits = controls.bits16CheckBox->isChecked() ? 16 : 8;
  s.rangeDb = controls.rangeDb();
  s.checks = checksOf(controls);
  // Maximised or full screen, the place it returns to is kept, not the screen's.
  QRect normal = normalGeometry();
  if (!normal.isValid()) normal = geometry();
  s.position = normal.topLeft();
  s.size = normal.size();
  s.windowState = isFullScreen()  ? WindowState::FullScreen
                  : isMaximized() ? WindowState::Maximized
                                  : WindowState::Normal;
  return s;
}

// What this run changed; the rest as the file has it now.
void TForm1::rememberSettings() {
  if (!started_) return;
  SavedSettings started = *started_;
  if (placeFitted_) {  // the file's place is out of reach: the window's own counts as changed
    started.position.reset();
    started.size.reset();
  }
  settings_.write(currentSettings(), started);
}

// A recorder that should run and does not shows why until capture works again.
// A note stands in the status line for 10 s, unless capture has something to say.
void TForm1::showNote(const QString& text) {
  note_ = text;
  if (note_.isEmpty()) {
    hintTimer.stop();
  } else {
    hintTimer.start();
  }
  updateStatus();
}

void TForm1::updateStatus() {
  QString text = note_;
  if (!session_->keeper().status().isEmpty()) text = session_->keeper().status();
  if (text == statusLabel->text()) return;
  statusLabel->setText(text);
  statusLabel->setToolTip(plainToolTip(text));  // the whole line, where the row cuts it off
  statusLabel->setVisible(!text.isEmpty());
}

void TForm1::sono_steps_ScrollBarChange() {
  BandSettings& s = loop_->model().settings;
  s.sonoSteps = static_cast<uint16_t>(controls.sono_steps_ScrollBar->value());
  controls.sono_steps_Label->setText(QStringLiteral("%1 rows").arg(s.sonoSteps));
}

void TForm1::AlwaysOnTopCheckBoxClick() {
  if (!created_) return;
  try {
    loop_->surface().recreateSurface();
  } catch (const std::exception& e) {
    showError(e);
  }
}

void TForm1::applyStayOnTop() {
  const bool onTop = controls.AlwaysOnTopCheckBox->isChecked();
  QWindow* top = windowHandle();
  if (!top) {
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);  // not shown yet: nothing to re-create
    return;
  }
  // Changed on the native window itself, which keeps it and the panel inside it. Changing
  // the widget's flag instead re-creates both, and the GL driver then corrupted its memory
  // on the first frame drawn into the new panel, even after waiting for it to be exposed.
  top->setFlag(Qt::WindowStaysOnTopHint, onTop);
}

void TForm1::zBuffer_CheckBoxClick() {
  loop_->surface().zBuffer_CheckBoxClick();
}

// The refresh rate of the window's screen, where the platform knows one; else 60.
int TForm1::displayRate() const {
  const QScreen* s = screen();
  const qreal hz = s ? s->refreshRate() : 0;
  return hz >= 1 && hz <= 1000 ? qRound(hz) : FramePacer::kDefaultFps;
}

SurfaceHandle TForm1::panelSurface() {
  return mainDisp;
}

bool TForm1::panelExposed() {
  return mainDisp->readyToDraw();
}

double TForm1::pixelRatio() {
  return mainDisp->devicePixelRatio();
}

bool TForm1::zBufferChecked() {
  return controls.zBuffer_CheckBox->isChecked();
}

int TForm1::clientWidth() {
  return std::max(1, static_cast<int>(width() * devicePixelRatio()));
}

int TForm1::clientHeight() {
  // The scene was framed for a viewport that reaches kPanelHeight below the panel, under the
  // strip of that height: kept so, whatever the strip's real height, so a taller strip (larger
  // font, status row) cuts no more of the scene and the status line never moves it. Fullscreen
  // without the strip, the viewport is the picture.
  // At least 1: a collapsed window must not give the projection an infinite aspect ratio.
  const int below = controls.strip->isHidden() ? 0 : kPanelHeight;
  return std::max(1, static_cast<int>((mainDisp->height() + below) * devicePixelRatio()));
}

}  // namespace bandscope
