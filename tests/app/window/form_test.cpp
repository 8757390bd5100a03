// The window under the test's own Xvfb: its controls, the start-up, the change procedures,
// the wheel, the stay-on-top toggle and the command line of the real program.

#include "app/window/form.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "analysis/scales.h"
#include "app/run/stop_signals.h"
#include "app/window/capture_session.h"
#include "app/window/column_flow.h"
#include "app/window/device_combo.h"
#include "app/window/display_panel.h"
#include "app/window/frame_loop.h"
#include "app/window/key_commands.h"
#include "app/window/plain_text.h"
#include "display/gl_font.h"
#include "display/spectrum_plane.h"
#include "gl/frame_view.h"
#include "platform/glyph_raster.h"
#include "sound/capture_entries.h"
#include "support/gl_window.h"
#include "support/sound_fixture.h"

namespace bandscope {
namespace {

using test::waitFor;

struct Started {
  explicit Started(const CommandLine& line = {})
      : sound(test::testSignalServices()), form(line, *sound) {
    form.show();
    EXPECT_TRUE(waitFor([&] { return form.framesDrawn() > 2; })) << "no frames drawn";
  }
  std::unique_ptr<SoundServices> sound;
  TForm1 form;
};

// What the strip's table must give every control: a name of its own (the boxes are remembered
// by it), one Alt key in its caption, a hint (a value label's is its bar's), a bar's start
// inside its range, and a place in one Tab cycle through the strip, in the strip's order.
TEST(Form, EveryControlIsNamedHintedAndReachedByTab) {
  const auto sound = test::testSignalServices();
  TForm1 form{CommandLine{}, *sound};
  const ControlPanel& c = form.controls;
  const QList<QWidget*> controls = c.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  QSet<QString> names;
  QList<QWidget*> focusable;
  for (QWidget* control : controls) {
    const std::string name = control->objectName().toStdString();
    EXPECT_FALSE(name.empty());
    EXPECT_FALSE(names.contains(control->objectName())) << name << " twice";
    names.insert(control->objectName());
    EXPECT_FALSE(control->toolTip().isEmpty()) << name;
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
      EXPECT_EQ(button->text().count(QLatin1Char('&')), 1) << name;
    }
    if (const auto* bar = qobject_cast<const QScrollBar*>(control)) {
      EXPECT_TRUE(bar->minimum() < bar->maximum() && bar->minimum() <= bar->value() &&
                  bar->value() <= bar->maximum())
          << name;
      EXPECT_LT(bar->singleStep(), bar->pageStep()) << name;
    }
    if (control->focusPolicy() & Qt::TabFocus) focusable.append(control);
  }
  const std::pair<const QLabel*, const QScrollBar*> values[] = {
      {c.bands_Label, c.bands_ScrollBar},
      {c.Label1, c.ScrollBar1},
      {c.sono_steps_Label, c.sono_steps_ScrollBar}};
  for (const auto& [label, bar] : values)
    EXPECT_EQ(label->toolTip().toStdString(), bar->toolTip().toStdString());
  ASSERT_GT(focusable.size(), 15);
  EXPECT_EQ(focusable.first(), c.ScrollBar1);
  QWidget* w = focusable.last();
  for (QWidget* next : focusable) {
    w = w->nextInFocusChain();
    while (w->parentWidget() != c.Panel1 || !(w->focusPolicy() & Qt::TabFocus))
      w = w->nextInFocusChain();  // the window's other widgets between the strip's end and start
    EXPECT_EQ(w, next) << next->objectName().toStdString();
  }
  ASSERT_EQ(c.rangeCombo->count(), static_cast<int>(std::size(kRangesDb)));
  for (int i = 0; i < c.rangeCombo->count(); ++i) {
    EXPECT_EQ(c.rangeCombo->itemText(i), QStringLiteral("%1 dB").arg(kRangesDb[i]));
    EXPECT_EQ(c.rangeCombo->itemData(i).toInt(), kRangesDb[i]);
  }
  EXPECT_EQ(c.rangeDb(), kDefaultRangeDb);
  EXPECT_FALSE(c.rangeCombo->isEnabled()) << "for 16 bits only";
}

TEST(Form, StartUpSetsTheBarsLabelsAndStartsTheFrames) {
  Started s;
  const ControlPanel& c = s.form.controls;
  EXPECT_EQ(c.bands_ScrollBar->maximum(), 512);
  EXPECT_EQ(c.bands_ScrollBar->value(), 192);
  EXPECT_EQ(c.bands_Label->text(), QStringLiteral("192 Bands"));
  EXPECT_EQ(c.Label1->text(), QStringLiteral("2x Timing"));
  EXPECT_EQ(c.sono_steps_ScrollBar->value(), 64);
  EXPECT_EQ(s.form.frameModel().settings.sonoSteps, 64);
  EXPECT_EQ(s.form.camera().cameraPanY, 1.0f);
  EXPECT_TRUE(s.form.Timer1.isActive());
  EXPECT_EQ(s.form.pacer().targetFps(), 60) << "the display's rate: Xvfb says 60";
  EXPECT_LE(s.form.Timer1.interval(), 17) << "sleeps until the next frame is due";
}

// Every caption and value of the strip fits its box, inside the window's strip and over no
// other box, and the boxes stand in the strip's table: column after column, in as many bands
// of two rows as the width needs. The device list shows what its width allows of its entry.
void expectTextsWhole(const TForm1& f, const std::string& where) {
  const ControlPanel& c = f.controls;
  const QRect panel(c.Panel1->mapTo(&f, QPoint()), c.Panel1->size());
  EXPECT_TRUE(f.rect().contains(panel)) << where << " the strip lies in the window";
  const QList<QWidget*> widgets = c.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (const QWidget* w : widgets) {
    const std::string name = where + " " + w->objectName().toStdString();
    EXPECT_TRUE(w->isVisible() && c.Panel1->rect().contains(w->geometry())) << name;
    const QFontMetrics fm = w->fontMetrics();
    const QStyle* style = w->style();
    int needed = 0;
    int room = w->contentsRect().width();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
      needed = fm.horizontalAdvance(QString(button->text()).remove(QLatin1Char('&')));
      if (qobject_cast<const QCheckBox*>(w))
        needed += style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                  style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
    } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
      needed = fm.horizontalAdvance(label->text());
    } else if (const auto* list = qobject_cast<const QComboBox*>(w)) {
      QStyleOptionComboBox option;
      option.initFrom(list);
      room = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, w)
                 .width();
      const auto* devices = dynamic_cast<const DeviceCombo*>(list);
      const QString shown = devices ? devices->shownText() : list->currentText();
      needed = fm.horizontalAdvance(shown);
      EXPECT_TRUE(
          shown == list->currentText() ||
          (shown.endsWith(QChar(0x2026)) && list->currentText().startsWith(shown.chopped(1))))
          << name;
      // Cut only where the whole entry would not fit.
      EXPECT_EQ(shown == list->currentText(), fm.horizontalAdvance(list->currentText()) <= room - 4)
          << name;
    }
    EXPECT_LE(needed, room) << name;
    EXPECT_TRUE(qobject_cast<const QScrollBar*>(w) || fm.height() <= w->height()) << name;
    for (const QWidget* other : widgets)
      EXPECT_TRUE(other == w || !w->geometry().intersects(other->geometry())) << name;
  }
  // Each column's top and bottom control, left to right; a column either stands right of the
  // one before in the same band or starts a band below it.
  const QWidget* table[][2] = {
      {c.Button1, c.devCombo},           {c.bands_Label, c.Label1},
      {c.bands_ScrollBar, c.ScrollBar1}, {c.boostHi_check, c.StereoCheckBox},
      {c.Hz_check, c.sono_check},        {c.dB_check, c.stereoSpreadCheckBox},
      {c.static_check, c.col_check},     {c.rot8_check, c.fps_Check},
      {c.bits16CheckBox, c.rangeCombo},  {c.zBuffer_CheckBox, c.sono_steps_ScrollBar}};
  for (size_t k = 0; k < std::size(table); ++k) {
    EXPECT_LT(table[k][0]->geometry().bottom(), table[k][1]->y()) << where << " " << k;
    if (k == 0) continue;
    const QRect before = table[k - 1][0]->geometry() | table[k - 1][1]->geometry();
    const QRect now = table[k][0]->geometry() | table[k][1]->geometry();
    const bool sameBand = now.top() <= before.bottom();
    EXPECT_TRUE(sameBand ? before.right() < now.left() : before.bottom() < now.top())
        << where << " " << k;
  }
  EXPECT_EQ(c.bands_Label->y(), c.bands_ScrollBar->y()) << where << " a value by its bar";
  EXPECT_LT(c.AlwaysOnTopCheckBox->geometry().right(), c.Button1->x());
  EXPECT_LT(c.zBuffer_CheckBox->geometry().right(), c.sono_steps_Label->x());
  EXPECT_LT(c.sono_steps_Label->geometry().bottom(), c.sono_steps_ScrollBar->y());
}

// At 441x350, 800x600 and 1920x1080, at this run's device-pixel ratio, then at 1.5 and 2 in a
// child process of this test program.
TEST(Form, EveryCaptionAndValueIsWholeAtEverySize) {
  Started s;
  TForm1& f = s.form;
  const ControlPanel& c = f.controls;
  EXPECT_DOUBLE_EQ(f.devicePixelRatio(), qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
  EXPECT_LE(f.minimumSizeHint().width(), TForm1::kStartWidth) << "the strip does not widen it";
  // The start size, taller only as far as the strip's rows need for the least picture.
  EXPECT_EQ(f.width(), TForm1::kStartWidth);
  EXPECT_GE(f.height(), TForm1::kStartHeight);
  const int screenHeight = f.screen()->availableGeometry().height();
  if (f.height() < screenHeight) {
    EXPECT_GE(f.mainDisp->height(), TForm1::leastStartPicture());
  }
  if (f.height() > TForm1::kStartHeight && f.height() < screenHeight) {
    EXPECT_EQ(f.mainDisp->height(), TForm1::leastStartPicture()) << "no taller than needed";
  }
  int bands = 0;
  for (const QSize size : {QSize(441, 350), QSize(800, 600), QSize(1920, 1080)}) {
    f.resize(size);
    ASSERT_TRUE(waitFor([&] { return c.strip->width() == size.width(); }));
    QCoreApplication::processEvents();
    const std::string at = std::to_string(size.width());
    // The picture takes what the strip leaves.
    EXPECT_EQ(f.mainDisp->height() + c.strip->height(), f.height()) << at;
    EXPECT_EQ(c.strip->height(), c.strip->heightForWidth(size.width())) << at;
    const int rows = c.Panel1->findChild<ColumnFlow*>()->bandsAt(c.Panel1->width());
    if (bands > 0) {
      EXPECT_LT(rows, bands) << at << " a wider strip takes fewer bands";
    }
    bands = rows;
    for (const int n : {192, 512}) {
      c.bands_ScrollBar->setValue(n);
      c.ScrollBar1->setValue(n == 192 ? 8 : 1);
      c.sono_steps_ScrollBar->setValue(n);
      QCoreApplication::processEvents();
      EXPECT_EQ(c.bands_Label->text(), QStringLiteral("%1 Bands").arg(n));
      EXPECT_EQ(c.Label1->text(), QStringLiteral("%1x Timing").arg(n == 192 ? 128 : 1));
      EXPECT_EQ(c.sono_steps_Label->text(), QStringLiteral("%1 rows").arg(n));
      expectTextsWhole(f, at + " " + std::to_string(n));
    }
  }
  EXPECT_EQ(bands, 1) << "the whole strip in one band of two rows";
  if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) return;  // the child
  for (const char* factor : {"1.5", "2"}) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(factor));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=Form.EveryCaptionAndValueIsWholeAtEverySize")});
    ASSERT_TRUE(child.waitForFinished(120000)) << factor;
    EXPECT_EQ(child.exitCode(), 0) << factor << "\n" << child.readAll().toStdString();
  }
}

TEST(Form, TheBandLabelShowsTheCountInUse) {
  CommandLine eight;
  eight.bandParameter = 8;
  Started s(eight);
  EXPECT_EQ(s.form.controls.bands_Label->text(), QStringLiteral("8 Bands"));
  EXPECT_EQ(s.form.frameModel().settings.windowLength, 16);
}

TEST(Form, ChangeProceduresKeepTheArraysAndTheTimer) {
  Started s;
  TForm1& f = s.form;
  f.frameModel().spectrum.bandFast[0][300] = 1234;
  f.controls.bands_ScrollBar->setValue(512);
  EXPECT_EQ(f.frameModel().settings.windowLength, 1024);
  EXPECT_FALSE(f.frameModel().settings.tablesBuilt);
  EXPECT_EQ(f.frameModel().spectrum.bandFast[0][300], 1234) << "no array is cleared";
  EXPECT_EQ(f.controls.bands_Label->text(), QStringLiteral("512 Bands"));
  EXPECT_TRUE(f.Timer1.isActive()) << "restarted";
  f.Timer1.stop();
  f.controls.bands_ScrollBar->setValue(100);
  EXPECT_FALSE(f.Timer1.isActive()) << "a stopped timer stays stopped";
  f.controls.sono_steps_ScrollBar->setValue(4);
  EXPECT_EQ(f.frameModel().settings.sonoSteps, 4);
}

TEST(Form, TheWheelHalvesAndDoublesTheTimeScaleWithinItsRange) {
  Started s;
  TForm1& f = s.form;
  f.FormMouseWheel(-120);
  EXPECT_EQ(f.frameModel().settings.timeScale, 1);
  EXPECT_EQ(f.controls.Label1->text(), QStringLiteral("1x Timing"));
  f.FormMouseWheel(-120);
  EXPECT_EQ(f.frameModel().settings.timeScale, 1);
  f.controls.ScrollBar1->setValue(8);
  EXPECT_EQ(f.frameModel().settings.timeScale, 128);
  f.FormMouseWheel(120);
  EXPECT_EQ(f.controls.ScrollBar1->value(), 8);

  // A wheel message over a bar moves that bar by its small step; over anything else of the
  // window it steps the time scale.
  const ControlPanel& c = f.controls;
  struct Row {
    QWidget* under;
    int delta;
    QScrollBar* moved;
    int step;
  } rows[] = {{c.bands_ScrollBar, 120, c.bands_ScrollBar, 4},
              {c.bands_ScrollBar, -120, c.bands_ScrollBar, -4},
              {c.sono_steps_ScrollBar, -15, c.sono_steps_ScrollBar, -1},
              {c.ScrollBar1, -120, c.ScrollBar1, -1},
              {c.bands_Label, -120, c.ScrollBar1, -1},
              {c.StereoCheckBox, 120, c.ScrollBar1, 1},
              {c.devCombo, 120, c.ScrollBar1, 1}};
  for (const Row& r : rows) {
    const std::string name = r.under->objectName().toStdString() + " " + std::to_string(r.delta);
    QScrollBar* bars[] = {c.ScrollBar1, c.bands_ScrollBar, c.sono_steps_ScrollBar};
    for (QScrollBar* bar : bars) bar->setValue((bar->minimum() + bar->maximum()) / 2);
    int before[3];
    for (int i = 0; i < 3; ++i) before[i] = bars[i]->value();
    const QPointF at(2, 2);
    QWheelEvent wheel(at, r.under->mapToGlobal(at), QPoint(), QPoint(0, r.delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(r.under, &wheel);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(bars[i]->value() - before[i], bars[i] == r.moved ? r.step : 0) << name;
  }
  EXPECT_EQ(f.frameModel().settings.timeScale, 1 << (c.ScrollBar1->value() - 1));
}

TEST(Form, DrawingGoesOnAfterTheStayOnTopToggle) {
  Started s;
  TForm1& f = s.form;
  for (const bool onTop : {false, true}) {
    f.controls.AlwaysOnTopCheckBox->setChecked(onTop);
    const int before = f.framesDrawn();
    EXPECT_TRUE(waitFor([&] { return f.framesDrawn() > before + 10; })) << onTop;
    EXPECT_EQ(f.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), onTop);
  }
}

// A form over a scripted input with two devices, as a sound server's sources, and with
// serverSources the sources it names, followed by the test signal, as the program lists them.
struct ScriptedInput {
  explicit ScriptedInput(std::vector<std::string> serverSources = {}) {
    auto fake = std::make_unique<test::FakeWaveIn>();
    device = fake.get();
    device->devices = 2;
    device->texts[2] = "There is no such device.";
    device->names = std::move(serverSources);
    sound = test::testSignalServices();
    sound->serverInput = std::move(fake);
    std::vector<sound::WaveInService*> members{device};
    if (!device->names.empty()) members.push_back(sound->testSignal.get());
    sound->inputs = std::make_unique<sound::DeviceList>(members);
  }
  test::FakeWaveIn* device;
  std::unique_ptr<SoundServices> sound;
};

TEST(Form, DeviceChoiceRestartsCaptureAndShowsWhyItFails) {
  ScriptedInput input;
  TForm1 f(CommandLine{}, *input.sound);
  f.show();
  ASSERT_TRUE(waitFor([&] { return f.framesDrawn() > 2; }));
  QComboBox* list = f.controls.devCombo;
  ASSERT_EQ(list->count(), 2);
  // The number and the description, as much of it as the list's width shows.
  const QString whole = QStringLiteral("AudioDevice #1 \u2014 Fake input 1");
  const QString shown = list->itemText(1);
  EXPECT_TRUE(shown == whole || (shown.endsWith(QChar(0x2026)) && shown.size() > 18 &&
                                 whole.startsWith(shown.chopped(1))))
      << shown.toStdString();
  EXPECT_EQ(list->itemData(1, CaptureKeeper::kDescriptionRole).toString(),
            QStringLiteral("Fake input 1"));
  EXPECT_EQ(input.device->openedDevice(), 0);
  EXPECT_TRUE(f.statusLine().isHidden());

  input.device->failures["open"] = 2;  // fails with "no such device"
  list->setCurrentIndex(1);
  f.devComboChange();
  EXPECT_TRUE(f.statusLine().isVisible());
  EXPECT_EQ(f.statusLine().text(),
            QStringLiteral("Could not open the input device for recording: There is no such "
                           "device. \u2014 trying again"))
      << f.statusLine().text().toStdString();
  const int drawn = f.framesDrawn();
  EXPECT_TRUE(waitFor([&] { return f.framesDrawn() > drawn + 5; })) << "the display goes on";

  input.device->failures.clear();  // no user action: the next try records
  EXPECT_TRUE(waitFor([&] { return f.audio()->Recorder->Opened && f.statusLine().isHidden(); }));
  EXPECT_EQ(input.device->openedDevice(), 1);
  f.devComboChange();  // the same entry again: stopped and started anew
  EXPECT_EQ(input.device->openedDevice(), 1);
  EXPECT_TRUE(f.statusLine().isHidden());
}

// Long descriptions: cut in the closed list of a narrow window, whole in a wide one and in the
// open list; sources that read the same are told apart by their port or card, else their name.
TEST(Form, TheDeviceListShowsWholeNamesWhereThereIsRoomAndTellsTwinsApart) {
  ScriptedInput input({"a.monitor", "b.monitor", "mic.front", "mic.rear", "usb"});
  const std::string monitor = "Monitor of Built-in Audio Analog Stereo";
  input.device->descriptions = {monitor, monitor, "Built-in Audio", "Built-in Audio",
                                "USB Audio Device With A Rather Long Name"};
  input.device->details = {"", "", "Front Microphone", "Rear Microphone", "Some Card"};
  TForm1 f(CommandLine{}, *input.sound);
  f.show();
  ASSERT_TRUE(waitFor([&] { return f.framesDrawn() > 2; }));
  auto* list = dynamic_cast<DeviceCombo*>(f.controls.devCombo);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 6);
  const char* expected[] = {"Monitor of Built-in Audio Analog Stereo (a.monitor)",
                            "Monitor of Built-in Audio Analog Stereo (b.monitor)",
                            "Built-in Audio (Front Microphone)",
                            "Built-in Audio (Rear Microphone)",
                            "USB Audio Device With A Rather Long Name",
                            "Test signal"};
  for (int i = 0; i < 6; ++i) {
    const QString whole = QStringLiteral("AudioDevice #%1 \u2014 %2")
                              .arg(QString::number(i), QString::fromLatin1(expected[i]));
    EXPECT_EQ(list->itemText(i), whole);
    EXPECT_EQ(list->itemData(i, Qt::ToolTipRole).toString(),
              plainToolTip(QString::fromLatin1(expected[i])));
  }
  EXPECT_EQ(list->itemData(0, CaptureKeeper::kDescriptionRole).toString(),
            QString::fromStdString(monitor));
  list->setCurrentIndex(0);
  for (const int width : {1920, 441}) {
    f.resize(width, f.height());
    ASSERT_TRUE(waitFor([&] { return f.controls.strip->width() == width; }));
    QCoreApplication::processEvents();
    const QString shown = list->shownText();
    if (width == 441) {
      EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    } else {
      EXPECT_EQ(shown, list->currentText());
    }
  }
  list->showPopup();  // in the narrow window
  const QWidget* open = list->view()->window();
  ASSERT_TRUE(waitFor([&] { return open->isVisible(); }));
  EXPECT_GE(list->view()->viewport()->width(), list->view()->sizeHintForColumn(0))
      << "as wide as its longest entry";
  EXPECT_LE(open->width(), list->screen()->availableGeometry().width());
  list->hidePopup();
}

// The analysis keeps its own clock: a tone that stops leaves the same peaks and averages
// after 1 s of silence whether the window draws 60, 144 or 250 frames a second.
TEST(Form, DecayTakesTheSameTimeAtEveryDrawingRate) {
  std::vector<uint8_t> tone(512), silence(512, 128);
  for (size_t j = 0; j < tone.size(); ++j)
    tone[j] = static_cast<uint8_t>(128 + std::lround(100 * std::sin(0.3 * double(j))));
  using Rows = std::vector<int16_t>;
  std::vector<Rows> results;
  for (const int fps : {60, 144, 250}) {
    ScriptedInput input;  // delivers nothing: the test feeds the window itself
    TForm1 f(CommandLine{}, *input.sound);
    const int64_t start = 1'000'000;
    int64_t now = start;
    f.setClock([&] { return now; });
    f.show();
    ASSERT_TRUE(waitFor([&] { return f.framesDrawn() > 0; }));
    f.Timer1.stop();                           // from here on the test ticks
    f.controls.sono_check->setChecked(false);  // the costliest view: not needed here
    auto runUntil = [&](int64_t us) {
      for (int64_t k = 1; now < start + us; ++k) {
        now = std::min(start + us, start + (k * 1'000'000) / fps);
        f.Timer1Timer();
      }
    };
    for (int b = 0; b < 2; ++b) f.Audio1Record(nullptr, tone.data(), tone.data(), 512);
    runUntil(500'000);
    const int16_t tonePeak = f.frameModel().spectrum.bandPeak[0][37];
    for (int b = 0; b < 2; ++b) f.Audio1Record(nullptr, silence.data(), silence.data(), 512);
    runUntil(1'500'000);
    const SpectrumState& st = f.frameModel().spectrum;
    EXPECT_LT(st.bandPeak[0][37], tonePeak) << fps << " fps: the held peak has fallen";
    Rows r;
    for (const auto* row : {st.bandPeak, st.peakHold, st.bandFast, st.bandSlow})
      for (int c = 0; c < 2; ++c) r.insert(r.end(), row[c], row[c] + 192);
    results.push_back(std::move(r));
  }
  EXPECT_EQ(results[0], results[1]) << "60 and 144 fps";
  EXPECT_EQ(results[0], results[2]) << "60 and 250 fps";
}

// A shown form over scripted sources, on a clock the test can move ahead.
struct KeptCapture : ScriptedInput {
  explicit KeptCapture(std::vector<std::string> sources, const CommandLine& line = {})
      : ScriptedInput(std::move(sources)), form(line, *sound) {
    form.setClock([this] {
      using namespace std::chrono;
      return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count() + aheadUs;
    });
    form.showRemembered();
    EXPECT_TRUE(waitFor([&] { return form.framesDrawn() > 2; }));
  }
  // Ends the run as Ctrl+Q does, or by a stop signal sent to the process (as at a logout).
  void end(int signal = 0) {
    if (signal == 0) {
      form.close();
      return;
    }
    ASSERT_TRUE(catchStopSignals(&form, [this] { form.close(); }));
    ASSERT_EQ(::kill(::getpid(), signal), 0);
    EXPECT_TRUE(waitFor([&] { return !form.isVisible(); })) << "still open after " << signal;
    EXPECT_EQ(stopSignal(), signal);
  }
  void choose(int entry) {
    form.controls.devCombo->setCurrentIndex(entry);
    form.devComboChange();
  }
  bool recordsFrom(const std::string& name) {
    return form.audio()->Recorder->Opened && device->openedName() == name;
  }
  void deliverBlock() { device->deliver(std::vector<uint8_t>(1024, 200)); }
  QString status() const { return form.statusLine().isVisible() ? form.statusLine().text() : ""; }
  int64_t aheadUs = 0;
  TForm1 form;
};

TEST(Form, CaptureComesBackOnTheSameSourceByItselfAndNeverOnAnother) {
  KeptCapture k({"a", "b"});
  QComboBox* list = k.form.controls.devCombo;
  ASSERT_EQ(list->count(), 3) << "two sources and the test signal";
  k.choose(0);
  ASSERT_TRUE(k.recordsFrom("a"));
  k.device->texts[sound::SERVICE_ERROR_BASE + 1] = "Connection terminated";
  k.device->serverUp = false;  // the server dies: its sources go, the stream fails
  k.device->fail(sound::SERVICE_ERROR_BASE + 1);
  ASSERT_TRUE(waitFor([&] {
    return k.status().contains(QStringLiteral("waiting for the sound server"));
  })) << k.status().toStdString();
  EXPECT_TRUE(k.status().startsWith(QStringLiteral("The input device stopped recording:")));
  EXPECT_EQ(list->count(), 3) << "the entries stay while the server is away";
  k.choose(0);  // the user insists: still the server's source, never the test signal
  EXPECT_FALSE(k.form.audio()->Recorder->Opened);
  EXPECT_TRUE(k.status().contains(QStringLiteral("waiting for the sound server")));

  k.device->names = {"b", "a"};  // back, in another order
  k.device->serverUp = true;
  ASSERT_TRUE(waitFor([&] { return k.recordsFrom("a"); }, 3000)) << "by name, within 2 s";
  EXPECT_EQ(list->currentIndex(), 1);
  k.deliverBlock();
  EXPECT_TRUE(waitFor([&] { return k.status().isEmpty(); })) << k.status().toStdString();
}

// The "16 bit" box: recording starts again on the same source in 16 bits, whose samples reach
// the 16-bit rows whole and the 8-bit ones by their high bytes; the range sets the level
// axis; unchecked, it is 8 bits again.
TEST(Form, TheSixteenBitBoxRecordsSixteenBitsFromTheSameSource) {
  KeptCapture k({"a", "b"});
  const ControlPanel& c = k.form.controls;
  const BandSettings& s = k.form.frameModel().settings;
  k.choose(1);
  ASSERT_TRUE(k.recordsFrom("b"));
  EXPECT_EQ(k.device->openedFormat().bitsPerSample, 8);
  c.bits16CheckBox->setChecked(true);
  EXPECT_TRUE(k.recordsFrom("b"));
  const sound::WaveFormat& f = k.device->openedFormat();
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.samplesPerSec, 44100u);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(s.sampleBits, 16);
  EXPECT_TRUE(c.rangeCombo->isEnabled());
  std::vector<uint8_t> block;
  for (int frame = 0; frame < 512; ++frame)
    block.insert(block.end(), {0x34, 0x12, 0xD4, 0xFE});  // 4660 and -300
  ASSERT_TRUE(k.device->deliver(block));
  const SampleRows& rows = k.form.frameModel().snapshot;
  const int last = s.bufferLength - 1;
  EXPECT_TRUE(waitFor([&] {
    return rows.sampleBuffer16[0][last] == 4660 && rows.sampleBuffer16[1][last] == -300;
  })) << "a frame takes the block";
  EXPECT_EQ(rows.sampleBuffer[0][last], 0x12 + 128);
  EXPECT_EQ(rows.sampleBuffer[1][last], 128 - 2);
  EXPECT_TRUE(k.status().isEmpty()) << k.status().toStdString();

  c.rangeCombo->setCurrentIndex(c.rangeCombo->findData(120));
  EXPECT_EQ(s.rangeDb, 120);
  c.bits16CheckBox->setChecked(false);
  EXPECT_TRUE(k.recordsFrom("b"));
  EXPECT_EQ(k.device->openedFormat().bitsPerSample, 8);
  EXPECT_EQ(k.device->openedFormat().blockAlign, 2);
  EXPECT_EQ(s.sampleBits, 8);
  EXPECT_FALSE(c.rangeCombo->isEnabled());
}

TEST(Form, AGoneSourceStaysChosenGivesWayToTheDefaultAndComesBack) {
  KeptCapture k({"a", "b"});
  QComboBox* list = k.form.controls.devCombo;
  k.choose(1);
  ASSERT_TRUE(k.recordsFrom("b"));
  k.device->names = {"a"};  // unplugged
  k.device->changed = true;
  k.device->fail(2);
  ASSERT_TRUE(waitFor([&] { return k.status().contains(QStringLiteral("is not there")); }))
      << k.status().toStdString();
  EXPECT_EQ(k.status(), QStringLiteral("\u201cFake b\u201d is not there \u2014 waiting for it"));
  EXPECT_EQ(list->currentIndex(), 2) << "kept, after the source and the test signal";
  EXPECT_TRUE(list->itemData(2, CaptureKeeper::kDescriptionRole)
                  .toString()
                  .endsWith(QStringLiteral("(not there)")));
  k.aheadUs = 6'000'000;  // gone for good
  ASSERT_TRUE(waitFor([&] { return k.recordsFrom("a"); }, 3000));
  EXPECT_TRUE(waitFor([&] {
    return k.status().contains(QStringLiteral("recording from the server's default source"));
  }));

  k.device->names = {"a", "c", "b"};  // back, with another one
  k.device->changed = true;
  ASSERT_TRUE(waitFor([&] { return k.recordsFrom("b"); }));
  EXPECT_EQ(list->count(), 4);
  EXPECT_EQ(list->currentIndex(), 2) << "the chosen source stays selected";
  k.deliverBlock();
  EXPECT_TRUE(waitFor([&] { return k.status().isEmpty(); }));
  k.aheadUs += 2'000'000;  // no sound for a while: the picture and the line say so
  EXPECT_TRUE(waitFor(
      [&] { return k.status() == QStringLiteral("No sound arrives from the input device."); }));
}

// An application's entry: its stream ends, and the picture is silent, the line says it plays
// nothing, however long that lasts (no default source stands in), and its next stream is
// recorded; an entry that now stands for another device is opened again at once, no failure
// shown. Remembered, it is chosen at the next start also while it plays nothing.
TEST(Form, AnApplicationIsWaitedForInSilenceAndAMovedEntryOpensAgainAtOnce) {
  const std::string app = sound::applicationEntryName("Player", "player");
  const QString notPlaying = QStringLiteral("\u201cPlayer\u201d is not playing");
  {
    KeptCapture k({"a", app});
    QComboBox* list = k.form.controls.devCombo;
    k.choose(1);
    ASSERT_TRUE(k.recordsFrom(app));
    k.device->names = {"a"};  // its stream ended
    k.device->changed = true;
    k.device->fail(2);
    ASSERT_TRUE(waitFor([&] { return k.status() == notPlaying; })) << k.status().toStdString();
    EXPECT_EQ(list->itemData(list->currentIndex()).toString().toStdString(), app);
    EXPECT_EQ(list->itemData(list->currentIndex(), CaptureKeeper::kDescriptionRole).toString(),
              QStringLiteral("Player (not playing)"));
    k.aheadUs = 6'000'000;
    EXPECT_FALSE(waitFor([&] { return k.form.audio()->Recorder->Opened; }, 2500))
        << "recording from " << k.device->openedName();
    EXPECT_EQ(k.status(), notPlaying);
    k.device->names = {"a", app};  // its next stream
    k.device->changed = true;
    ASSERT_TRUE(waitFor([&] { return k.recordsFrom(app); }));
    k.deliverBlock();
    EXPECT_TRUE(waitFor([&] { return k.status().isEmpty(); })) << k.status().toStdString();

    const auto opens = [&] {
      const std::vector<std::string> log = k.device->log();
      return std::count(log.begin(), log.end(), "open");
    };
    const auto before = opens();
    k.device->fail(sound::WAVE_DEVICE_MOVED);
    QStringList said;
    EXPECT_TRUE(waitFor([&] {
      if (!k.status().isEmpty() && !said.contains(k.status())) said << k.status();
      return opens() > before && k.recordsFrom(app);
    }));
    EXPECT_TRUE(said.isEmpty()) << said.join(QStringLiteral(" | ")).toStdString();
    k.end();
  }
  KeptCapture next({"a"});
  EXPECT_FALSE(next.form.audio()->Recorder->Opened) << next.device->openedName();
  EXPECT_TRUE(waitFor([&] { return next.status() == notPlaying; })) << next.status().toStdString();
}

// Runs one after the other, each closing its window or ended by a stop signal: what one
// changed comes back in the next, by the source's name, and so does a maximised or full-screen
// window over its normal place; the command line's values count for their run only.
TEST(Form, SettingsComeBackInTheNextRunUnlessTheCommandLineSaysOtherwise) {
  {
    KeptCapture k({"a", "b"});
    k.choose(1);
    const ControlPanel& c = k.form.controls;
    c.bands_ScrollBar->setValue(64);
    c.ScrollBar1->setValue(5);
    c.sono_steps_ScrollBar->setValue(100);
    c.Hz_check->setChecked(true);
    c.AlwaysOnTopCheckBox->setChecked(false);
    c.bits16CheckBox->setChecked(true);
    c.rangeCombo->setCurrentIndex(c.rangeCombo->findData(120));
    k.form.setGeometry(30, 40, 500, 400);
    k.form.showFullScreen();
    k.end(SIGTERM);
  }
  CommandLine others;
  others.bandParameter = 32;
  others.timeScale = 4;
  others.mono = others.noPhon = true;
  others.device = 0;
  others.sampleBits = 8;
  others.rangeDb = 60;
  CommandLine none;
  none.noSettings = true;
  CommandLine scripted;  // a scripted run: the same result whatever was used last
  scripted.frames = 1'000'000;
  const struct {
    CommandLine line;
    const char* source;
    int bands;
    const char* timing;
    bool remembered;  // the other values
    int bits, rangeDb;
    Qt::WindowStates shown, left;  // at the start, at the end
    int endedBy;                   // a signal; 0: closed
  } runs[] = {
      {{}, "b", 64, "16x Timing", true, 16, 120, Qt::WindowFullScreen, Qt::WindowFullScreen, 0},
      {others, "c", 32, "4x Timing", true, 8, 60, Qt::WindowFullScreen, Qt::WindowMaximized,
       SIGHUP},
      {none, "c", 192, "2x Timing", false, 8, 90, Qt::WindowNoState, Qt::WindowNoState, SIGINT},
      {scripted, "c", 192, "2x Timing", false, 8, 90, Qt::WindowNoState, Qt::WindowNoState, 0},
      {{}, "b", 64, "16x Timing", true, 16, 120, Qt::WindowMaximized, Qt::WindowNoState, 0}};
  for (const auto& run : runs) {
    KeptCapture k({"c", "a", "b"}, run.line);
    const ControlPanel& c = k.form.controls;
    EXPECT_TRUE(k.recordsFrom(run.source)) << run.source;
    EXPECT_EQ(c.bands_ScrollBar->value(), run.bands);
    EXPECT_EQ(c.Label1->text().toStdString(), run.timing);
    EXPECT_EQ(c.StereoCheckBox->isChecked(), !run.line.mono);
    EXPECT_EQ(c.boostHi_check->isChecked(), !run.line.noPhon);
    EXPECT_EQ(c.bits16CheckBox->isChecked(), run.bits == 16);
    EXPECT_EQ(k.form.frameModel().settings.sampleBits, run.bits);
    EXPECT_EQ(k.device->openedFormat().bitsPerSample, run.bits);
    EXPECT_EQ(k.form.frameModel().settings.rangeDb, run.rangeDb);
    EXPECT_EQ(k.form.frameModel().settings.sonoSteps, run.remembered ? 100 : 64);
    EXPECT_EQ(c.Hz_check->isChecked(), run.remembered);
    EXPECT_NE(k.form.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), run.remembered);
    EXPECT_EQ(k.form.normalGeometry() == QRect(30, 40, 500, 400), run.remembered);
    EXPECT_EQ(k.form.windowState() & ~Qt::WindowActive, run.shown);
    c.sono_steps_ScrollBar->setValue(run.remembered ? 100 : 8);  // --no-settings keeps it
    k.form.setWindowState(run.left);
    k.end(run.endedBy);
  }
}

// Two windows at once, each closed in turn: each writes back only what it changed, over what
// the other wrote. A remembered place on no screen, and a size larger than the screen, are
// fitted to it at start-up, and the fitted ones are remembered.
TEST(Form, RunsAtOnceKeepEachOthersChangesAndAPlaceOffTheScreensIsFitted) {
  {
    auto first = std::make_unique<KeptCapture>(std::vector<std::string>{"a", "b"});
    KeptCapture second({"a", "b"});
    first->form.controls.bands_ScrollBar->setValue(64);
    first->form.close();
    first.reset();
    second.form.controls.sono_steps_ScrollBar->setValue(100);
    second.form.controls.setRangeDb(60);
    second.form.close();
  }
  const std::string path = settingsPath();
  SavedSettings values = loadSettings(path).values;
  EXPECT_EQ(values.bandCount, 64) << "the first window's change";
  EXPECT_EQ(values.sonoSteps, 100) << "the second window's change";
  EXPECT_EQ(values.rangeDb, 60) << "the second window's change";
  values.position = QPoint(30000, 30000);
  values.size = QSize(32767, 32767);
  ASSERT_TRUE(saveSettings(path, values));
  {
    KeptCapture k({"a", "b"});
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(k.form.geometry()))
        << "within " << screen.width() << "x" << screen.height();
    k.form.close();
  }
  values = loadSettings(path).values;
  EXPECT_NE(values.position, QPoint(30000, 30000));
  EXPECT_NE(values.size, QSize(32767, 32767));
}

// Ctrl+S proposes a new name and writes only a new file there: a link someone put at that
// name while the dialog was open is not written through.
TEST(Form, TheProposedScreenshotNameGetsANewFileNeverOneThroughALink) {
  Started s;
  TForm1& f = s.form;
  QTemporaryDir dir;
  const QString home = QDir::currentPath();
  QDir::setCurrent(dir.path());
  QString said;  // by a message box
  // Accepts the next modal window once it shows, after `meanwhile`.
  auto acceptNext = [&](const std::function<void()>& meanwhile) {
    auto* poll = new QTimer(&f);
    QObject::connect(poll, &QTimer::timeout, [poll, meanwhile, &said] {
      auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!modal) return;
      if (auto* box = qobject_cast<QMessageBox*>(modal)) said = box->text();
      if (meanwhile) meanwhile();
      modal->accept();
      poll->deleteLater();
    });
    poll->start(20);
  };
  acceptNext(nullptr);
  f.saveScreenshot();
  EXPECT_TRUE(waitFor([] { return QFileInfo::exists(QStringLiteral("FFT_shot000.bmp")); }));
  acceptNext([&] { QFile::link(dir.filePath(QStringLiteral("victim")), "FFT_shot001.bmp"); });
  f.saveScreenshot();
  // Why not stands in the status line, and the picture goes on: no box, no stopped timer.
  const QString why =
      "cannot write the screenshot " + dir.filePath("FFT_shot001.bmp") + ": File exists";
  EXPECT_TRUE(waitFor([&] { return f.statusLine().text() == why; }))
      << f.statusLine().text().toStdString();
  const int drawn = f.framesDrawn();
  EXPECT_TRUE(waitFor([&] { return f.framesDrawn() > drawn + 10; })) << "the picture stopped";
  EXPECT_TRUE(said.isEmpty()) << said.toStdString();
  EXPECT_TRUE(QFileInfo(QStringLiteral("FFT_shot001.bmp")).isSymLink());
  EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("victim"))));
  QDir::setCurrent(home);
}

// Start-up while the server has not answered: its sources are not listed yet, so nothing is
// chosen (the test signal would pass for the server's default) and the status line says why.
// The choice is made with the list of the first answer: the remembered source, else entry 0,
// the test signal when the server failed; a remembered source missing then stays remembered.
TEST(Form, TheStartUpChoiceWaitsForTheServersFirstAnswer) {
  {
    KeptCapture k({"a", "b"});
    k.choose(1);
    k.form.close();  // remembers "b"
  }
  const struct {
    std::vector<std::string> answer;  // the server's sources; none: it failed
    const char* chosen;
  } runs[] = {{{"a", "b"}, "b"}, {{"a"}, "a"}, {{}, "Test signal"}, {{"a", "b"}, "b"}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.chosen);
    ScriptedInput input(run.answer.empty() ? std::vector<std::string>{"a"} : run.answer);
    input.device->serverUp = false;
    input.device->pending = true;
    TForm1 form(CommandLine{}, *input.sound);
    form.show();
    ASSERT_TRUE(waitFor([&] { return form.framesDrawn() > 2; }));
    EXPECT_FALSE(form.audio()->Recorder->Opened) << "nothing chosen yet";
    EXPECT_TRUE(form.statusLine().text().contains(QStringLiteral("waiting for the sound server")))
        << form.statusLine().text().toStdString();
    EXPECT_EQ(form.controls.devCombo->count(), 1);
    input.device->serverUp = !run.answer.empty();
    input.device->pending = false;
    input.device->changed = true;
    ASSERT_TRUE(waitFor([&] { return form.audio()->Recorder->Opened; }));
    EXPECT_EQ(form.capture().recordingSource(), run.chosen);
    EXPECT_EQ(form.controls.devCombo->count(), int(run.answer.size()) + 1);
    EXPECT_TRUE(form.statusLine().isHidden()) << form.statusLine().text().toStdString();
    form.close();
  }
}

TEST(Form, MixerButtonLeavesStayOnTopAndStartsTheFirstMixerFound) {
  Started s;
  TForm1& f = s.form;
  QTemporaryDir bin;
  const QString called = bin.filePath(QStringLiteral("called"));
  {
    QFile script(bin.filePath(QStringLiteral("pavucontrol")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    // Written whole and then renamed: the test must not read a file the shell has only opened.
    script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1.part' && /bin/mv '%1.part' '%1'\n")
                     .arg(called)
                     .toUtf8());
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
  }
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.path().toLocal8Bit());
  f.controls.AlwaysOnTopCheckBox->setChecked(true);
  f.Button1Click();
  EXPECT_FALSE(f.controls.AlwaysOnTopCheckBox->isChecked());
  EXPECT_TRUE(waitFor([&] { return QFile::exists(called); }));
  QFile args(called);
  ASSERT_TRUE(args.open(QIODevice::ReadOnly));
  EXPECT_EQ(args.readAll().trimmed(), QByteArray("--tab=4"));
  EXPECT_TRUE(f.statusLine().isHidden());

  const int panelHeight = f.mainDisp->height();
  QFile::remove(bin.filePath(QStringLiteral("pavucontrol")));
  f.Button1Click();  // nothing to start: a hint, no box
  qputenv("PATH", path);
  EXPECT_TRUE(f.statusLine().isVisible());
  EXPECT_TRUE(f.statusLine().text().contains(QStringLiteral("pavucontrol")));
  EXPECT_EQ(f.width(), TForm1::kStartWidth);
  EXPECT_LE(f.statusLine().fontMetrics().horizontalAdvance(f.statusLine().text()),
            f.statusLine().contentsRect().width())
      << "whole at the start width";
  QCoreApplication::processEvents();  // the window's layout runs
  EXPECT_EQ(f.mainDisp->height(), panelHeight) << "the line takes the strip's room";
  // The viewport reaches as far below the panel as ever, whatever the strip's height.
  EXPECT_EQ(f.clientHeight(), qRound((panelHeight + kPanelHeight) * f.devicePixelRatio()));
  EXPECT_EQ(f.hintTimer.interval(), 10'000);
  EXPECT_TRUE(f.hintTimer.isActive()) << "the hint clears itself";
  f.hintTimer.start(1);
  EXPECT_TRUE(waitFor([&] { return f.statusLine().isHidden(); }));
}

void press(QObject* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent down(QEvent::KeyPress, key, modifiers);
  QCoreApplication::sendEvent(target, &down);
}

// The keys reach the window wherever its focus is: on a control or on the picture.
TEST(Form, KeysFreezeShowTheHelpGoFullscreenAndLeaveInnermostFirst) {
  Started s;
  TForm1& f = s.form;
  press(f.controls.ScrollBar1, Qt::Key_Space);
  EXPECT_TRUE(f.frozen());
  press(f.mainDisp, Qt::Key_Space);
  EXPECT_FALSE(f.frozen());
  press(f.controls.StereoCheckBox, Qt::Key_Space);
  EXPECT_TRUE(f.controls.StereoCheckBox->isChecked()) << "the key is the window's, not the box's";
  press(f.mainDisp, Qt::Key_F1);
  EXPECT_TRUE(f.helpShown());
  press(f.mainDisp, Qt::Key_F11);
  EXPECT_TRUE(f.isFullScreen());
  press(f.controls.ScrollBar1, Qt::Key_Escape);
  EXPECT_FALSE(f.helpShown());
  EXPECT_TRUE(f.isFullScreen());
  press(f.controls.ScrollBar1, Qt::Key_Escape);
  EXPECT_FALSE(f.isFullScreen());
  EXPECT_TRUE(f.isVisible());
  press(f.mainDisp, Qt::Key_Escape);
  EXPECT_FALSE(f.isVisible());
  f.show();
  press(f.controls.ScrollBar1, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(f.isVisible());
}

// Turned away or moved off, the picture says how to come back, and Home brings the start view.
TEST(Form, ALostViewShowsTheWayBackAndHomeBringsTheStartView) {
  Started s;
  TForm1& f = s.form;
  const Camera start = f.camera();
  const auto framesLater = [&] {
    const int drawn = f.framesDrawn();
    return waitFor([&] { return f.framesDrawn() > drawn + 1; });
  };
  ASSERT_TRUE(framesLater());
  EXPECT_FALSE(f.startViewHinted()) << "the start view shows the scene";
  // A long drag down with the left button: the eye passes the scene.
  QMouseEvent down(QEvent::MouseButtonPress, QPointF(200, 10),
                   f.mainDisp->mapToGlobal(QPointF(200, 10)), Qt::LeftButton, Qt::LeftButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(f.mainDisp, &down);
  for (int y = 10; y <= 810; y += 50) {
    QMouseEvent move(QEvent::MouseMove, QPointF(200, y), f.mainDisp->mapToGlobal(QPointF(200, y)),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.mainDisp, &move);
  }
  QMouseEvent up(QEvent::MouseButtonRelease, QPointF(200, 810),
                 f.mainDisp->mapToGlobal(QPointF(200, 810)), Qt::LeftButton, Qt::NoButton,
                 Qt::NoModifier);
  QCoreApplication::sendEvent(f.mainDisp, &up);
  ASSERT_TRUE(framesLater());
  EXPECT_TRUE(f.startViewHinted()) << "dolly " << f.camera().cameraDolly;
  press(f.controls.ScrollBar1, Qt::Key_Home);
  EXPECT_EQ(std::memcmp(&f.camera(), &start, sizeof start), 0);
  ASSERT_TRUE(framesLater());
  EXPECT_FALSE(f.startViewHinted());
}

void movePointer(TForm1& f, QPointF at) {
  QMouseEvent move(QEvent::MouseMove, at, f.mainDisp->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(f.mainDisp, &move);
}

// The box around every pixel that is not black (whatever its alpha).
QRect litBox(const QImage& picture) {
  QRect box;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      if ((picture.pixel(x, y) & 0xffffff) != 0) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// Fullscreen on a 1920 x 1080 screen (its own Xvfb, in a child process): the picture alone,
// the scene across its width; the strip comes while the pointer rests at the bottom edge and
// goes when it returns to the picture; leaving fullscreen brings it back for good.
TEST(Form, FullscreenShowsThePictureAloneWithTheSceneAcrossItsWidth) {
  const QSize screen(1920, 1080);
  if (QGuiApplication::primaryScreen()->size() != screen) {
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("xvfb-run"),
                {QStringLiteral("-a"), QStringLiteral("-s"),
                 QStringLiteral("-screen 0 1920x1080x24 -nolisten tcp"),
                 QCoreApplication::applicationFilePath(),
                 QStringLiteral("--gtest_filter=Form.FullscreenShowsThePictureAlone*")});
    ASSERT_TRUE(child.waitForFinished(120000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    return;
  }
  Started s;
  TForm1& f = s.form;
  f.controls.fps_Check->setChecked(false);  // the scene's own pixels only
  press(f.mainDisp, Qt::Key_F11);
  ASSERT_TRUE(f.isFullScreen());
  f.windowHandle()->setGeometry(QRect(QPoint(0, 0), screen));  // a window manager's part
  ASSERT_TRUE(f.isFullScreen());
  ASSERT_TRUE(waitFor([&] { return f.controls.strip->isHidden() && f.mainDisp->size() == screen; }))
      << f.mainDisp->width() << "x" << f.mainDisp->height();
  EXPECT_TRUE(f.statusLine().isHidden() || !f.statusLine().isVisible());
  const int drawn = f.framesDrawn();
  ASSERT_TRUE(waitFor([&] { return f.framesDrawn() > drawn + 2; }));
  const QImage picture = f.mainDisp->screen()->grabWindow(f.mainDisp->winId()).toImage();
  const QRect scene = litBox(picture);
  EXPECT_GE(scene.width(), 0.9 * screen.width()) << scene.left() << ".." << scene.right();

  movePointer(f, QPointF(960, 1079.5));
  EXPECT_TRUE(waitFor([&] { return f.controls.strip->isVisible(); })) << "at the bottom edge";
  movePointer(f, QPointF(960, 500));
  EXPECT_TRUE(f.controls.strip->isHidden()) << "back over the picture";
  press(f.mainDisp, Qt::Key_Escape);
  EXPECT_TRUE(waitFor([&] { return !f.isFullScreen() && f.controls.strip->isVisible(); }));
}

// Frozen, the picture holds while the samples and their analysis go on.
TEST(Form, FreezeHoldsThePictureWhileTheSampleBufferMoves) {
  Started s;
  TForm1& f = s.form;
  f.controls.fps_Check->setChecked(false);  // the readout changes by itself
  const auto picture = [&] {
    const int drawn = f.framesDrawn();
    EXPECT_TRUE(waitFor([&] { return f.framesDrawn() > drawn + 2; }));
    return f.mainDisp->screen()->grabWindow(f.mainDisp->winId()).toImage();
  };
  f.setFrozen(true);
  const QImage held = picture();
  const SampleRows before = f.frameModel().snapshot;
  const QImage later = picture();
  EXPECT_NE(std::memcmp(&before, &f.frameModel().snapshot, sizeof before), 0)
      << "the samples go on";
  EXPECT_EQ(held, later);
  int lit = 0;
  for (int y = 0; y < held.height(); ++y) {
    for (int x = 0; x < held.width(); ++x) lit += (held.pixel(x, y) & 0xffffff) != 0;  // any alpha
  }
  EXPECT_GT(lit, 1000) << "the frozen picture is the scene";
  f.setFrozen(false);
  EXPECT_TRUE(waitFor([&] { return picture() != held; })) << "live again";
}

// The pointer over a bar of channel 1's spectrum: the nearest peak's frequency, note and
// level by the pointer, in the picture too; gone when the pointer leaves.
TEST(Form, ThePointerOverASpectrumReadsItsBand) {
  Started s;
  TForm1& f = s.form;
  const FrameModel& m = f.frameModel();
  const int band = 40;
  const ViewTransform view =
      sceneTransform(FrameView{f.clientWidth(), f.clientHeight(), f.camera()});
  const WindowPoint bar =
      view.project(bandCentre(m.bandX, band, channelAxisOffset(1)) / 200.0, 100 / 256.0 - 1, 0);
  const qreal dpr = f.mainDisp->devicePixelRatio();
  const QPointF at(bar.x / dpr, f.mainDisp->height() - bar.y / dpr);
  QMouseEvent move(QEvent::MouseMove, at, f.mainDisp->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(f.mainDisp, &move);
  // The nearest peak: its frequency between the bands, its note and its level.
  const QRegularExpression reading(
      QStringLiteral("^\\d+([.,]\\d)? Hz  [A-G]#?-?\\d+ [+-]\\d+ ct  -?\\d+[.,]\\d dBFS$"));
  EXPECT_TRUE(waitFor([&] {
    return reading.match(QString::fromStdString(f.pointerText())).hasMatch();
  })) << f.pointerText();
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(f.mainDisp, &leave);
  EXPECT_TRUE(waitFor([&] { return f.pointerText().empty(); }));
}

// The whole help, legend included, fits the picture the window starts with, below the
// frame-rate line and "frozen", in the program's font.
TEST(Form, TheHelpFitsTheStartPicture) {
  Started s;
  const GlyphSet font = rasteriseGlyphs({"Smallfonts", kFontPixelHeight, true});
  int lines = 0;
  int widest = 0;
  int pen = 0;
  for (const HelpText& t : helpLines()) {
    if (!t.sameLine) {
      ++lines;
      pen = 12;  // the help's indent
    }
    for (const char c : t.text) pen += font.glyphs[static_cast<unsigned char>(c)].xAdvance;
    widest = std::max(widest, pen);
  }
  const qreal dpr = s.form.mainDisp->devicePixelRatio();
  EXPECT_LE(widest, qRound(s.form.mainDisp->width() * dpr));
  EXPECT_LE(kOverlayLineStep * (lines + 2), qRound(s.form.mainDisp->height() * dpr));
}

TEST(Form, NoRaiseWhileAPopUpOrDialogOfTheProgramIsOpen) {
  Started s;
  TForm1& f = s.form;
  EXPECT_FALSE(f.ownWindowOpen());
  QMenu menu;
  menu.addAction(QStringLiteral("x"));
  menu.popup(QPoint(10, 10));
  EXPECT_TRUE(waitFor([&] { return f.ownWindowOpen(); }));
  menu.close();
  QWidget dialog(nullptr, Qt::Dialog);
  dialog.show();
  EXPECT_TRUE(f.ownWindowOpen());
  dialog.hide();
  EXPECT_TRUE(waitFor([&] { return !f.ownWindowOpen(); }));
}

TEST(Form, SessionEndDestroysTheAudioComponentOnce) {
  Started s;
  TForm1& f = s.form;
  f.endSession();
  EXPECT_FALSE(f.audio());
  f.endSession();
  f.devComboChange();  // finds no component and does nothing
  const int drawn = f.framesDrawn();
  EXPECT_TRUE(waitFor([&] { return f.framesDrawn() > drawn + 5; }));
}

// A scripted run whose file cannot be written at its end (the folder went away): the
// message and status 2, as for a path refused at start-up.
TEST(Form, AScriptedRunEndsWithStatus2WhenItsFileCannotBeWritten) {
  CommandLine toCsv;
  toCsv.frames = 3;
  toCsv.exportCsv = "/nonexistent/bandscope/out.csv";
  CommandLine toPicture = toCsv;
  toPicture.exportCsv.clear();
  toPicture.screenshot = "/nonexistent/bandscope/out.png";
  for (const CommandLine& line : {toCsv, toPicture}) {
    const auto sound = test::testSignalServices();
    TForm1 form(line, *sound);
    form.show();
    QTimer::singleShot(20000, &form, [] { QCoreApplication::exit(-1); });
    EXPECT_EQ(QCoreApplication::exec(), 2) << line.exportCsv << line.screenshot;
  }
}

TEST(Program, FramesAndScreenshotWriteThePanelsPicture) {
  QTemporaryDir dir;
  // A name in no valid encoding, passed through the shell: the file has these very bytes.
  const std::string path = QFile::encodeName(dir.path()).toStdString() + "/caf\xe9.png";
  QProcess program;
  program.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("exec \"$0\" --frames 30 --screenshot \"$(printf '%s/caf\\351.png' "
                                "\"$1\")\""),
                 QStringLiteral(BANDSCOPE_BINARY), dir.path()});
  ASSERT_TRUE(program.waitForFinished(60000));
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  std::ifstream file(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), {}};
  std::remove(path.c_str());  // QTemporaryDir cannot name it to remove it
  const QImage picture = QImage::fromData(QByteArray::fromStdString(bytes), "PNG");
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.width(), 441);
  EXPECT_GE(picture.height(), TForm1::kLeastStartPicture) << "the panel over the control strip";
  EXPECT_LT(picture.height(), TForm1::kStartHeight - kPanelHeight);
  int lit = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) lit += picture.pixel(x, y) != qRgb(0, 0, 0);
  }
  EXPECT_GT(lit, 1000) << "something is drawn";
}

// The rows holding pixels of colour c (within 3 a channel) in the picture's left half.
int rowsOfColour(const QImage& picture, QRgb c) {
  int top = picture.height(), bottom = -1;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width() / 2; ++x) {
      const QRgb p = picture.pixel(x, y);
      if (std::abs(qRed(p) - qRed(c)) <= 3 && std::abs(qGreen(p) - qGreen(c)) <= 3 &&
          std::abs(qBlue(p) - qBlue(c)) <= 3) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  return bottom - top + 1;
}

// The program's own screenshot at scale factors 1 and 2: the "L" caption's glyph stands twice
// as tall at 2, as the widgets' text does.
TEST(Program, PictureTextGrowsWithTheScaleFactor) {
  std::map<int, int> glyphRows;
  for (const int factor : {1, 2}) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shot.png"));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(factor));
    program.setProcessEnvironment(env);
    program.start(
        QStringLiteral(BANDSCOPE_BINARY),
        {QStringLiteral("--frames"), QStringLiteral("20"), QStringLiteral("--screenshot"), path});
    ASSERT_TRUE(program.waitForFinished(60000));
    ASSERT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const QImage picture(path);
    ASSERT_EQ(picture.width(), 441 * factor);
    glyphRows[factor] = rowsOfColour(picture, qRgb(217, 217, 255));  // the captions' colour
  }
  EXPECT_GE(glyphRows[1], 6);
  EXPECT_NEAR(glyphRows[2], 2 * glyphRows[1], 1) << glyphRows[1] << " rows at 1x";
}

TEST(Program, ABadBandCountOpensNoWindow) {
  QProcess program;
  program.start(QStringLiteral(BANDSCOPE_BINARY), {QStringLiteral("abc")});
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitCode(), 2);
  EXPECT_TRUE(program.readAllStandardError().contains("'abc' is not a decimal integer"));
}

}  // namespace
}  // namespace bandscope
