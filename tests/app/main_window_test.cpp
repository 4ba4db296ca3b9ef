// The window through its real widgets, on the offscreen platform.
#include <sndfile.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <functional>

#include "app/main_window.h"
#include "movie/muxed_movie.h"
#include "reel/reel.h"
#include "support/sound_file.h"
#include "support/temp_dir.h"
#include "support/wav_file.h"

namespace kelvora {

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // A small reel shared by the tests that run jobs.
  std::unique_ptr<test::TempDir> dir_;
  reel::Reel reel_;
  QStringList messages_;

  void prepare(CKelvoraMFCDlg& w) {
    messages_.clear();
    w.messageBox = [this](const QString& text) { messages_ << text; };
    w.inputPath = QString::fromStdString(reel_.scanPaths.front());
    w.output = OutputChoice{dir_->path().string()};
  }

  // Starts the checked job with a click and waits until its thread has ended.
  bool runJob(CKelvoraMFCDlg& w) {
    QSignalSpy finished(&w, &CKelvoraMFCDlg::jobFinished);
    QTest::mouseClick(w.startButton, Qt::LeftButton);
    return finished.wait(60000);
  }

  // What the job put in the status box (earlier blocks stay above it).
  QString statusText(CKelvoraMFCDlg& w) { return w.statusBox->block(); }

 private slots:
  void initTestCase() {
    dir_ = std::make_unique<test::TempDir>();
    // Remembered settings go to the test's own directory, never the user's.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_->file("config")));
    reel::ReelOptions options;
    options.scans = 4;
    options.dpi = 450;
    reel_ = reel::writeReel(options, dir_->file("scans"));
  }

  void defaultsOnFirstOpen() {
    CKelvoraMFCDlg w;
    QCOMPARE(w.windowTitle(), QString("Kelvora"));
    QCOMPARE(w.startEdit->text(), QString("1"));
    QCOMPARE(w.stopEdit->text(), QString("2"));
    QVERIFY(w.soundCheck->isChecked());
    QVERIFY(!w.filmCheck->isChecked());
    QVERIFY(w.stopButton->isHidden());
    QVERIFY(w.progress->isHidden());
    QCOMPARE(w.soundFileName, QString("sound"));
    QCOMPARE(w.movieFileName, QString("movie"));

    const JobSettings s = w.settings();
    QCOMPARE(s.film.fps, 25);
    QCOMPARE(s.sound.color, kRed);
    QVERIFY(s.sound.removeDC);
    QVERIFY(s.sound.crossfade);
    QVERIFY(s.sound.aChain);
    QVERIFY(isUp(s.film.direction));
    QVERIFY(w.filmParameters.resolutionX.isEmpty());

    w.filmParameters.show();
    QCOMPARE(w.filmParameters.speedList->currentText(), QString("25"));
    QCOMPARE(w.filmParameters.soundtrackList->currentText(), QString("35mm variable area"));
    QVERIFY(w.filmParameters.upCheck->isChecked());
    QVERIFY(!w.filmParameters.downCheck->isChecked());
    QVERIFY(w.filmParameters.resolutionXEdit->isHidden());
    QCOMPARE(w.filmParameters.resolutionXEdit->text(), QString("0"));
    w.filmParameters.reject();
    w.soundParameters.show();
    QCOMPARE(w.soundParameters.colorList->currentText(), QString("R"));
    QVERIFY(w.soundParameters.removeDCCheck->isChecked());
    QVERIFY(!w.soundParameters.cutBySoundtrackCheck->isChecked());
    w.soundParameters.reject();
  }

  void startChecksShowTheirBoxesAndStartNothing() {
    const std::string scan = reel_.scanPaths[1];
    std::vector<std::pair<std::function<void(CKelvoraMFCDlg&)>, QString>> cases = {
        {[](CKelvoraMFCDlg& w) { w.startEdit->clear(); }, "Start frame can't have 0 value"},
        {[](CKelvoraMFCDlg& w) { w.startEdit->setText("5"), w.stopEdit->setText("3"); },
         "Stop frame can't have lower value than start frame"},
        {[](CKelvoraMFCDlg& w) { w.inputPath = "/films/reel1"; },
         "Input directory has no tif files!!!"},
        // An output chosen over one of the scans would destroy it.
        {[scan](CKelvoraMFCDlg& w) {
           w.output = OutputChoice{scan, true, false};
         },
         "Output file is one of the input scans!"},
    };
    // A typed resolution no scanner makes would declare a WAV of a few samples a second.
    for (const char* dpi : {"0", "99", "", "20001"})
      cases.push_back({[dpi](CKelvoraMFCDlg& w) {
                         w.filmParameters.manualResolution = 1;
                         w.filmParameters.resolutionX = "1800";
                         w.filmParameters.resolutionY = dpi;
                       },
                       "Resolution must be between 100 and 20000 dpi"});
    for (const auto& [set, message] : cases) {
      CKelvoraMFCDlg w;
      prepare(w);
      set(w);
      QTest::mouseClick(w.startButton, Qt::LeftButton);
      QCOMPARE(messages_, QStringList{message});
      QVERIFY(!w.jobRunning());
    }
  }

  // Six digits can be typed; what "All" puts in the boxes is never cut, and the job
  // runs over every scan.
  void frameBoxesReachEveryScanOfALongReel() {
    CKelvoraMFCDlg w;
    prepare(w);
    w.stopEdit->clear();
    QTest::keyClicks(w.stopEdit, "150");
    QCOMPARE(w.stopEdit->text(), QString("150"));
    w.stopEdit->clear();
    QTest::keyClicks(w.stopEdit, "1234567");
    QCOMPARE(w.stopEdit->text(), QString("123456"));

    test::TempDir longReel;
    for (int i = 0; i < 137; ++i)
      std::filesystem::create_hard_link(
          reel_.scanPaths[static_cast<size_t>(i) % reel_.scanPaths.size()],
          longReel.file(std::to_string(i + 1).append(".tif")));
    w.inputPath = QString::fromStdString(longReel.file("1.tif"));
    w.output = OutputChoice{dir_->file("long.wav"), true, false};
    QTest::mouseClick(w.allCheck, Qt::LeftButton);
    QCOMPARE(w.stopEdit->text(), QString("137"));
    bool lastFrameSeen = false;
    connect(w.statusBox, &QPlainTextEdit::textChanged, [&] {
      lastFrameSeen = lastFrameSeen || statusText(w).contains("Translating frame number : 137...");
    });
    QVERIFY(runJob(w));
    QVERIFY(lastFrameSeen);
    QVERIFY(statusText(w).endsWith("Pictures were tranlated succesfully!"));
    // The job's earlier blocks of six lines stay above the last one, its warnings (the
    // reel repeats itself every four scans) above the block they were found in.
    const QString whole = w.statusBox->toPlainText();
    QVERIFY(
        whole.startsWith("warning: the sound does not continue where frame 5 (5.tif) takes over"));
    QVERIFY(whole.contains("\nTranslating frame number : 1...\nPicture resolution"));
    QVERIFY(whole.contains("Translating frame number : 77..."));
    QVERIFY(whole.endsWith(statusText(w)));
    QVERIFY(test::readWav(dir_->file("long.wav")).valid);
  }

  void outputPathFollowsTheJobKindUntilAFileIsChosen() {
    CKelvoraMFCDlg w;
    prepare(w);
    const QString d = QString::fromStdString(dir_->path().string());
    // An inverted range keeps jobs from starting; the path is completed anyway.
    w.startEdit->setText("3");
    w.stopEdit->setText("2");
    QTest::mouseClick(w.startButton, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(w.output.outputPath), d + "/sound.wav");
    QTest::mouseClick(w.filmCheck, Qt::LeftButton);
    QVERIFY(!w.soundCheck->isChecked());
    QTest::mouseClick(w.startButton, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(w.output.outputPath), d + "/movie.avi");
    QTest::mouseClick(w.filmCheck, Qt::LeftButton);  // clicking the checked one
    QVERIFY(w.filmCheck->isChecked());
    QTest::mouseClick(w.soundCheck, Qt::LeftButton);
    QTest::mouseClick(w.startButton, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(w.output.outputPath), d + "/sound.wav");

    QString offeredName;
    w.chooseOutputFile = [&](const QString&, const QString& name, bool) {
      offeredName = name;
      return d + "/take1.wav";
    };
    w.OnFileOutput();
    QCOMPARE(offeredName, QString("sound"));
    QCOMPARE(w.soundFileName, QString("take1.wav"));
    QTest::mouseClick(w.filmCheck, Qt::LeftButton);
    QTest::mouseClick(w.startButton, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(w.output.outputPath), d + "/take1.wav");
  }

  void allCountsTheScans() {
    CKelvoraMFCDlg w;
    prepare(w);
    QTest::mouseClick(w.allCheck, Qt::LeftButton);
    QCOMPARE(w.startEdit->text(), QString("1"));
    QCOMPARE(w.stopEdit->text(), QString("4"));
    QVERIFY(!w.startEdit->isEnabled());
    QVERIFY(!w.stopEdit->isEnabled());
    QTest::mouseClick(w.allCheck, Qt::LeftButton);
    QCOMPARE(w.stopEdit->text(), QString("2"));
    QVERIFY(w.stopEdit->isEnabled());
    QVERIFY(statusText(w).isEmpty());

    test::TempDir empty;
    w.inputPath = QString::fromStdString(empty.path().string());
    w.stopEdit->setText("7");
    QTest::mouseClick(w.allCheck, Qt::LeftButton);
    QCOMPARE(statusText(w), QString("No *.tif files in current directory!"));
    QVERIFY(!w.startEdit->isEnabled());
    QCOMPARE(w.stopEdit->text(), QString("7"));

    // Choosing an input file with "All" checked counts again.
    w.chooseInputFile = [this](const QString&) {
      return QString::fromStdString(reel_.scanPaths[1]);
    };
    w.OnFileInput();
    QCOMPARE(w.stopEdit->text(), QString("4"));
    QVERIFY(statusText(w).isEmpty());
    // With "All" unchecked it returns the range to 1 and 2.
    QTest::mouseClick(w.allCheck, Qt::LeftButton);
    w.stopEdit->setText("3");
    w.OnFileInput();
    QCOMPARE(w.stopEdit->text(), QString("2"));
    QVERIFY(w.stopEdit->isEnabled());
  }

  void aJobRunsBetweenTheRunningAndIdleStates() {
    CKelvoraMFCDlg w;
    prepare(w);
    w.show();
    w.stopEdit->setText("4");
    bool seen = false;
    w.controls().setObserver([&](const std::string& call) {
      if (call != "stepProgress" || seen) return;
      seen = true;
      QVERIFY(!w.startButton->isEnabled());
      QVERIFY(w.stopButton->isVisible());
      QVERIFY(w.stopButton->isEnabled());
      QVERIFY(!w.soundCheck->isEnabled());
      QVERIFY(!w.filmCheck->isEnabled());
      QVERIFY(!w.allCheck->isEnabled());
      QVERIFY(!w.startEdit->isEnabled());
      QVERIFY(w.progress->isVisible());
      QCOMPARE(w.progress->maximum(), 4);
    });
    QVERIFY(runJob(w));
    QVERIFY(seen);
    QVERIFY(w.startButton->isEnabled());
    QVERIFY(w.stopButton->isHidden());
    QVERIFY(w.progress->isHidden());
    QVERIFY(w.startEdit->isEnabled());
    QVERIFY(statusText(w).endsWith("Pictures were tranlated succesfully!"));
    const test::WavFile wav = test::readWav(dir_->file("sound.wav"));
    QVERIFY(wav.valid);
    QCOMPARE(static_cast<int>(wav.sampleRate), reel_.geometry.sampleRate);
  }

  void allStaysAfterAFinishedJobButNotAfterAStop() {
    CKelvoraMFCDlg w;
    prepare(w);
    w.show();
    QTest::mouseClick(w.allCheck, Qt::LeftButton);
    QVERIFY(runJob(w));
    QVERIFY(!w.startEdit->isEnabled());
    QVERIFY(!w.stopEdit->isEnabled());
    QCOMPARE(w.stopEdit->text(), QString("4"));

    bool stopEnabledAtStart = false;
    w.controls().setObserver([&](const std::string& call) {
      if (call != "stepProgress") return;
      if (!w.stopButton->isEnabled()) return;
      stopEnabledAtStart = w.stopButton->isEnabled();
      QTest::mouseClick(w.stopButton, Qt::LeftButton);
    });
    QVERIFY(runJob(w));
    QVERIFY(stopEnabledAtStart);
    QCOMPARE(statusText(w), QString("Operation stopped !!!!"));
    QVERIFY(w.allCheck->isChecked());
    QVERIFY(w.startEdit->isEnabled());
    QVERIFY(w.stopEdit->isEnabled());

    // The next Start shows an enabled Stop button again.
    stopEnabledAtStart = false;
    w.controls().setObserver([&](const std::string& call) {
      if (call == "stepProgress" && !stopEnabledAtStart)
        stopEnabledAtStart = w.stopButton->isEnabled();
    });
    QVERIFY(runJob(w));
    QVERIFY(stopEnabledAtStart);
  }

  void settingsChangedDuringAJobApplyToTheNextOne() {
    CKelvoraMFCDlg w;
    prepare(w);
    w.show();
    bool changed = false;
    w.controls().setObserver([&](const std::string& call) {
      if (call != "stepProgress" || changed) return;
      changed = true;
      w.filmParameters.speedIndex = 0;  // as if "24" were chosen and Ok pressed
    });
    QVERIFY(runJob(w));
    QCOMPARE(test::readWav(dir_->file("sound.wav")).sampleRate,
             static_cast<std::uint32_t>(25 * reel_.geometry.pitch));
    w.controls().setObserver({});
    QVERIFY(runJob(w));
    QCOMPARE(test::readWav(dir_->file("sound.wav")).sampleRate,
             static_cast<std::uint32_t>(24 * reel_.geometry.pitch));
  }

  // The Sound Parameters choices reach the job: a job started with "Precise" is read by
  // the precise reader and written in the chosen format and rate, and the default name
  // follows the format.
  void theSoundDialogsChoicesReachTheJob() {
    CKelvoraMFCDlg w;
    prepare(w);
    w.soundParameters.show();
    QCOMPARE(w.soundParameters.readerList->currentText(), QString("Classic"));
    w.soundParameters.readerList->setCurrentIndex(1);
    QCOMPARE(w.soundParameters.readerList->currentText(), QString("Precise"));
    w.soundParameters.formatList->setCurrentIndex(4);  // FLAC 24-bit
    w.soundParameters.rateList->setCurrentIndex(1);    // 48000 Hz
    QTest::mouseClick(w.soundParameters.okButton, Qt::LeftButton);
    QVERIFY(runJob(w));
    QVERIFY(statusText(w).endsWith("Pictures were tranlated succesfully!"));
    QVERIFY(w.lastSoundReport().reader == Reader::Precise);
    QVERIFY(w.lastSoundReport().reading.framePitch > 0.0);
    const test::SoundFile f = test::readSound(dir_->file("sound.flac"));
    QVERIFY(f.opened);
    QCOMPARE(f.rate, 48000);
    QCOMPARE(f.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    QCOMPARE(QString::fromStdString(w.output.outputPath),
             QString::fromStdString(dir_->file("sound.wav")));
  }

  // Around the window's own controls: the path line, the preview, the last job's plot and
  // the remembered settings.
  void pathLineShowsWhatStartWouldUse() {
    CKelvoraMFCDlg w;
    prepare(w);
    const auto line = [&] { return w.pathLineText(); };
    QVERIFY(line().contains(w.inputPath));
    QVERIFY(line().endsWith(QString::fromStdString(dir_->file("sound.wav"))));
    QTest::mouseClick(w.filmCheck, Qt::LeftButton);
    QVERIFY(line().endsWith("movie.avi"));
    QTest::mouseClick(w.soundCheck, Qt::LeftButton);
    w.soundParameters.soundFormat = 4;  // FLAC
    QVERIFY(line().endsWith("sound.flac"));
    QCOMPARE(w.output.outputPath, dir_->path().string());  // nothing completed before Start
  }

  void previewAndLastJobShowWhatWasFoundAndDone() {
    CKelvoraMFCDlg w;
    prepare(w);
    w.OnViewPreview();
    QVERIFY(w.previewWindow->isVisible());
    QVERIFY(w.previewWindow->hasPicture());
    QVERIFY(w.previewWindow->notes().isEmpty());
    w.filmParameters.directionUp = false;  // as if chosen in Film Parameters
    w.OnViewPreview();
    QVERIFY(w.previewWindow->notes().contains("did you mean UP?"));
    // The notes take room below the picture: the picture, legend and all, shrinks to fit.
    QTest::qWait(50);
    const QLabel* shown = w.previewWindow->findChild<QLabel*>();
    QVERIFY(shown != nullptr);
    QVERIFY(!shown->pixmap().isNull());
    QVERIFY(shown->pixmap().height() <= shown->height());
    QVERIFY(shown->pixmap().width() <= shown->width());
    w.filmParameters.directionUp = true;

    test::TempDir gap;
    for (size_t i = 0; i < reel_.scanPaths.size(); ++i)
      if (i != 2)
        std::filesystem::copy_file(reel_.scanPaths[i],
                                   gap.file("scan_000" + std::to_string(i + 1) + ".tif"));
    w.inputPath = QString::fromStdString(gap.file("scan_0001.tif"));
    w.stopEdit->setText("3");
    QVERIFY(runJob(w));
    w.OnViewLastJob();
    QVERIFY(w.lastJobWindow->isVisible());
    QVERIFY(w.lastJobWindow->hasPicture());
    QVERIFY(w.lastJobWindow->notes().contains("flagged join into frame 3 (scan_0004.tif)"));
  }

  void settingsAreRememberedOnlyWhenAsked() {
    const auto colourAfterReopening = [](bool remember, int colour) {
      {
        CKelvoraMFCDlg w;
        w.rememberAction->setChecked(remember);
        w.soundParameters.colorElement = colour;
        w.reject();
      }
      CKelvoraMFCDlg again;
      return std::pair(again.rememberAction->isChecked(), again.soundParameters.colorElement);
    };
    QCOMPARE(colourAfterReopening(false, 0), std::pair(false, 2));
    QCOMPARE(colourAfterReopening(true, 0), std::pair(true, 0));
    QCOMPARE(colourAfterReopening(false, 1), std::pair(false, 2));  // asked no more: forgotten
  }

  void aMovieJobRunsFromTheWindow() {
    CKelvoraMFCDlg w;
    prepare(w);
    w.show();
    QTest::mouseClick(w.filmCheck, Qt::LeftButton);
    QVERIFY(runJob(w));
    QVERIFY(statusText(w).contains("Film was made succesfully!!!"));
    QVERIFY(std::filesystem::file_size(dir_->file("movie.avi")) > 1000);
  }

  // What the command line makes, the window makes too: the movie with its sound,
  // decoded in the same run, and the film taken from the first scan.
  void aMovieWithItsSoundRunsFromTheWindow() {
    std::filesystem::remove(dir_->file("movie.avi"));
    CKelvoraMFCDlg w;
    prepare(w);
    w.show();
    w.filmParameters.soundtrackType = 2;  // wrong on purpose: the first scan says 35 mm
    w.filmParameters.show();
    w.filmParameters.autoCheck->setChecked(true);
    QTest::mouseClick(w.filmParameters.okButton, Qt::LeftButton);
    w.movieParameters.show();
    w.movieParameters.withSoundCheck->setChecked(true);
    w.movieParameters.compressionList->setCurrentIndex(4);  // FFV1
    QTest::mouseClick(w.movieParameters.okButton, Qt::LeftButton);
    QTest::mouseClick(w.filmCheck, Qt::LeftButton);
    QTest::mouseClick(w.allCheck, Qt::LeftButton);
    QVERIFY(w.pathLineText().endsWith("movie.mkv"));
    QVERIFY(runJob(w));
    QVERIFY(statusText(w).contains("Film was made succesfully!!!"));
    const MuxedMovieContents m = readMuxedMovie(dir_->file("movie.mkv"), true);
    QVERIFY(m.opened);
    QCOMPARE(m.videoCodec, std::string("ffv1"));
    QCOMPARE(m.audioCodec, std::string("flac"));
    QCOMPARE(m.videoPackets, reel_.options.scans);
    QCOMPARE(w.lastMovie().report.framesWritten, reel_.options.scans);
    QVERIFY(w.lastMovie().filmChosen.find("35 mm variable area") != std::string::npos);
    // The sound runs as long as the pictures, give or take a frame.
    QVERIFY(std::abs(static_cast<double>(m.sound.size()) / m.audioRate - m.videoSeconds) <
            1.0 / 25);
    QVERIFY(!std::filesystem::exists(dir_->file("movie.avi")));
  }

  void closingDuringAJobStopsItAndWaits() {
    auto w = std::make_unique<CKelvoraMFCDlg>();
    prepare(*w);
    w->show();
    w->stopEdit->setText("4");
    bool asked = false;
    w->controls().setObserver([&](const std::string& call) {
      if (call != "stepProgress" || asked) return;
      asked = true;
      QMetaObject::invokeMethod(w.get(), &QWidget::close, Qt::QueuedConnection);
    });
    QSignalSpy finished(w.get(), &CKelvoraMFCDlg::jobFinished);
    QTest::mouseClick(w->startButton, Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QVERIFY(asked);
    QVERIFY(!w->isVisible());
    QVERIFY(!w->jobRunning());
    QCOMPARE(statusText(*w), QString("Operation stopped !!!!"));
    w.reset();
  }

  void filmParametersRules() {
    FilmParameters film;
    film.show();
    QTest::mouseClick(film.downCheck, Qt::LeftButton);
    QVERIFY(!film.upCheck->isChecked());
    QTest::mouseClick(film.cancelButton, Qt::LeftButton);
    QVERIFY(!film.directionUp);  // stored at the click, kept after Cancel

    film.show();
    QVERIFY(film.downCheck->isChecked());
    QTest::mouseClick(film.downCheck, Qt::LeftButton);  // the checked one stays checked
    QVERIFY(film.downCheck->isChecked());
    QTest::mouseClick(film.manualCheck, Qt::LeftButton);
    QVERIFY(film.resolutionXEdit->isVisible());
    QCOMPARE(film.resolutionXEdit->text(), QString("0"));
    film.resolutionXEdit->clear();
    QTest::keyClicks(film.resolutionXEdit, "18a00x");
    QCOMPARE(film.resolutionXEdit->text(), QString("1800"));
    QTest::mouseClick(film.manualCheck, Qt::LeftButton);
    QVERIFY(film.resolutionXEdit->isHidden());
    film.speedList->setCurrentIndex(0);
    QTest::mouseClick(film.okButton, Qt::LeftButton);
    QCOMPARE(film.resolutionX, QString("1800"));
    QCOMPARE(film.manualResolution, 0);
    QCOMPARE(film.speedIndex, 0);
    film.show();
    QCOMPARE(film.resolutionX, QString("0"));  // reopened with Manual resolution off
    film.inverseCheck->setChecked(true);
    QTest::mouseClick(film.cancelButton, Qt::LeftButton);
    QCOMPARE(film.inverse, 0);
  }

  void soundAndMovieParametersTakeValuesOnlyOnOk() {
    SoundParameters sound;
    sound.show();
    sound.colorList->setCurrentIndex(3);
    sound.crossfadeCheck->setChecked(false);
    QTest::mouseClick(sound.cancelButton, Qt::LeftButton);
    QCOMPARE(sound.colorElement, 2);
    QCOMPARE(sound.crossfade, 1);
    sound.show();
    QCOMPARE(sound.colorList->currentIndex(), 2);
    sound.colorList->setCurrentIndex(0);
    sound.cutBySoundtrackCheck->setChecked(true);
    QTest::mouseClick(sound.okButton, Qt::LeftButton);
    QCOMPARE(sound.colorElement, 0);
    QVERIFY(sound.cutBySoundtrack);

    MovieParameters movie;
    movie.show();
    QCOMPARE(movie.compressionList->currentText(), QString("MPG4"));
    movie.compressionList->setCurrentIndex(2);
    movie.reject();  // Escape or the close box
    QCOMPARE(movie.compression, 0);
    movie.show();
    movie.sizeList->setCurrentIndex(1);
    movie.cutSoundtrackCheck->setChecked(true);
    QTest::mouseClick(movie.okButton, Qt::LeftButton);
    QCOMPARE(movie.filmSize, 1);
    QCOMPARE(movie.cutSoundtrack, 1);
  }
};

}  // namespace kelvora

QTEST_MAIN(kelvora::MainWindowTest)
#include "main_window_test.moc"
