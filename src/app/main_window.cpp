#include "app/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <optional>

#include "app/dialog_units.h"
#include "app/frame_rotation_picture.h"
#include "app/info_close.h"
#include "app/status_box.h"
#include "audio/archive_writer.h"
#include "jobs/frame_listing.h"
#include "jobs/movie_job.h"
#include "jobs/sound_job.h"
#include "jobs/start_checks.h"
#include "scans/scan_header.h"
#include "scans/scan_loader.h"
#include "views/inspect_view.h"
#include "views/job_plot.h"

namespace kelvora {

namespace {

QLineEdit* frameEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  // Six typed digits reach any reel; what the program puts there ("All") is never cut.
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,6}"), edit));
  return edit;
}

}  // namespace

CKelvoraMFCDlg::CKelvoraMFCDlg(QWidget* parent)
    : QDialog(parent), filmParameters(nullptr), soundParameters(nullptr), movieParameters(nullptr) {
  setWindowTitle("Kelvora");
  setWindowIcon(QIcon(applicationIcon()));
  buildMenu();
  DialogLayout layout(*this);

  statusBox = new StatusBox(this);
  layout.place(statusBox, 7, 7, 225, 55);
  layout.place(new QGroupBox("Frame numbers", this), 7, 61, 224, 24);
  layout.place(new QLabel("Start file number:", this), 22, 71, 57, 8);
  startEdit = frameEdit(this);
  layout.place(startEdit, 79, 69, 17, 15);
  layout.place(new QLabel("Stop file number:", this), 104, 72, 56, 8);
  stopEdit = frameEdit(this);
  layout.place(stopEdit, 167, 70, 15, 13);
  allCheck = new QCheckBox("All", this);
  layout.place(allCheck, 203, 71, 23, 10);
  progress = new QProgressBar(this);
  progress->setTextVisible(false);
  layout.place(progress, 7, 87, 103, 11);

  layout.place(new QGroupBox("Process", this), 239, 7, 71, 78);
  startButton = new QPushButton("Start", this);
  startButton->setDefault(true);
  layout.place(startButton, 245, 18, 50, 16);
  stopButton = new QPushButton("Stop", this);
  layout.place(stopButton, 245, 37, 50, 14);
  soundCheck = new QCheckBox("make soundtrack", this);
  layout.place(soundCheck, 241, 56, 69, 10);
  filmCheck = new QCheckBox("make film", this);
  layout.place(filmCheck, 241, 71, 45, 10);
  // Below the window's own controls: the input and output a job would use.
  pathLine = new QLabel(this);
  pathLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout.place(pathLine, 7, 101, 303, 9);
  layout.apply(*this, 317, 112, menu->sizeHint().height());
  previewWindow = new ImageWindow("Preview", this);
  lastJobWindow = new ImageWindow("Last job", this);

  controls_ = std::make_unique<QtControls>(
      this, std::map<Control, QWidget*>{{Control::Progress, progress},
                                        {Control::Status, statusBox},
                                        {Control::StartButton, startButton},
                                        {Control::StopButton, stopButton},
                                        {Control::StartEdit, startEdit},
                                        {Control::StopEdit, stopEdit},
                                        {Control::SoundCheck, soundCheck},
                                        {Control::FilmCheck, filmCheck},
                                        {Control::AllCheck, allCheck}});

  chooseInputFile = [this](const QString& directory) {
    QFileDialog dialog(this, QString(), directory,
                       "Soundtrack Tif Files (*.tif);;Soundtrack Dpx Files (*.dpx)");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("tif");
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  };
  chooseOutputFile = [this](const QString& directory, const QString& name, bool sound) {
    // The sound's filter follows the format chosen in Sound Parameters.
    const bool flac = static_cast<SoundFormat>(soundParameters.soundFormat) == SoundFormat::Flac;
    QFileDialog dialog(this, QString(), directory,
                       !sound ? "Avi Files (*.avi)"
                       : flac ? "Flac Files (*.flac)"
                              : "Wav Files (*.wav)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(!sound ? "avi" : flac ? "flac" : "wav");
    dialog.selectFile(name);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  };
  messageBox = [this](const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, "Kelvora", text, QMessageBox::Ok, this);
    box.exec();
  };

  connect(startButton, &QPushButton::clicked, this, &CKelvoraMFCDlg::OnBnClickedOk);
  connect(stopButton, &QPushButton::clicked, this, &CKelvoraMFCDlg::OnBnClickedButton1);
  connect(soundCheck, &QCheckBox::clicked, this, &CKelvoraMFCDlg::OnBnClickedCheck1);
  connect(filmCheck, &QCheckBox::clicked, this, &CKelvoraMFCDlg::OnBnClickedCheck2);
  connect(allCheck, &QCheckBox::clicked, this, &CKelvoraMFCDlg::OnBnClickedCheck4);

  // Set-up: Stop hidden; input and output start in the start-up directory.
  stopButton->hide();
  const QString startup = QDir::currentPath();
  inputPath = startup;
  const FrameListing listing = FrameListing::open(startup.toStdString());
  if (listing.size() > 0) inputPath += "/" + QString::fromStdString(listing.names().front());
  output.outputPath = startup.toStdString();
  OnInitDialog();
}

CKelvoraMFCDlg::~CKelvoraMFCDlg() { stopJobAndWait(); }

void CKelvoraMFCDlg::OnInitDialog() {
  soundFileName = "sound";
  movieFileName = "movie";
  progress->hide();
  startEdit->setText("1");
  stopEdit->setText("2");

  const JobSettings defaults;
  filmParameters.soundtrackType = defaults.soundtrackType;
  filmParameters.speedIndex = defaults.speedIndex;
  filmParameters.longStrip = defaults.longStrip;
  filmParameters.manualResolution = defaults.manualResolution;
  filmParameters.inverse = defaults.inverse;
  filmParameters.directionUp = defaults.directionUp;
  filmParameters.frameCorrection = defaults.frameCorrection;
  filmParameters.resolutionX = QString::fromStdString(defaults.resolutionX);
  filmParameters.resolutionY = QString::fromStdString(defaults.resolutionY);
  soundParameters.colorElement = defaults.colorElement;
  soundParameters.removeDC = defaults.removeDC;
  soundParameters.crossfade = defaults.crossfade;
  soundParameters.cutBySoundtrack = defaults.cutBySoundtrack;
  soundParameters.aChain = defaults.aChain;
  movieParameters.filmSize = defaults.filmSize;
  movieParameters.compression = defaults.compression;
  movieParameters.cutSoundtrack = defaults.cutSoundtrack;

  soundCheck->setChecked(true);
  filmCheck->setChecked(false);
  output.outputIsSound = false;
  output.outputIsMovie = false;
  loadRememberedSettings();
  updatePathLine();
}

void CKelvoraMFCDlg::buildMenu() {
  menu = new QMenuBar(this);
  QMenu* file = menu->addMenu("File");
  file->addAction("Input Directory", this, &CKelvoraMFCDlg::OnFileInput);
  file->addAction("Output Directory", this, &CKelvoraMFCDlg::OnFileOutput);
  file->addSeparator();
  file->addAction("Close", this, &CKelvoraMFCDlg::OnFileClose);
  QMenu* options = menu->addMenu("Options");
  options->addAction("Film Parameters", this, &CKelvoraMFCDlg::OnOptionsPar);
  options->addSeparator();
  options->addAction("Sound Parameters", this, &CKelvoraMFCDlg::OnOptionsSound);
  options->addAction("Movie Parameters", this, &CKelvoraMFCDlg::OnOptionsVideo);
  options->addSeparator();
  rememberAction = options->addAction("Remember settings");
  rememberAction->setCheckable(true);
  QMenu* view = menu->addMenu("View");
  view->addAction("Preview", this, &CKelvoraMFCDlg::OnViewPreview);
  view->addAction("Last job", this, &CKelvoraMFCDlg::OnViewLastJob);
  QMenu* help = menu->addMenu("Help");
  help->addAction("Info", this, &CKelvoraMFCDlg::OnHelpInfo);
}

JobSettings CKelvoraMFCDlg::settings() const {
  JobSettings s;
  s.soundtrackType = filmParameters.soundtrackType;
  s.speedIndex = filmParameters.speedIndex;
  s.longStrip = filmParameters.longStrip;
  s.manualResolution = filmParameters.manualResolution;
  s.inverse = filmParameters.inverse;
  s.directionUp = filmParameters.directionUp;
  s.frameCorrection = filmParameters.frameCorrection;
  s.resolutionX = filmParameters.resolutionX.toStdString();
  s.resolutionY = filmParameters.resolutionY.toStdString();
  s.colorElement = soundParameters.colorElement;
  s.removeDC = soundParameters.removeDC;
  s.crossfade = soundParameters.crossfade;
  s.cutBySoundtrack = soundParameters.cutBySoundtrack;
  s.aChain = soundParameters.aChain;
  s.soundFormat = static_cast<SoundFormat>(soundParameters.soundFormat);
  s.soundRate = kSoundRates[soundParameters.soundRate];
  s.reader = soundParameters.reader == 1 ? Reader::Precise : Reader::Classic;
  s.filmSize = movieParameters.filmSize;
  s.compression = movieParameters.compression;
  s.cutSoundtrack = movieParameters.cutSoundtrack;
  return s;
}

void CKelvoraMFCDlg::OnBnClickedOk() {
  const int stop = leadingNumber(stopEdit->text().toStdString());
  const int start = leadingNumber(startEdit->text().toStdString());
  if (start < 1) messageBox("Start frame can't have 0 value");
  if (stop < start) messageBox("Stop frame can't have lower value than start frame");
  completeOutputPath(output, soundCheck->isChecked());
  updatePathLine();
  const bool tif = inputPath.contains("tif") || inputPath.contains("dpx");
  if (!tif) messageBox("Input directory has no tif files!!!");
  if (start > stop || stop == 0 || start == 0 || !tif) return;
  if (!resolutionAcceptable(settings())) {
    messageBox(kResolutionRangeMessage);
    return;
  }
  const std::string input = inputPath.toStdString();
  const FrameListing listing =
      FrameListing::open(JobDirectory(input, static_cast<int>(input.size())));
  if (!scanNamedBy(listing, jobOutputPath(soundCheck->isChecked())).empty()) {
    messageBox(kOutputIsInputMessage);
    return;
  }
  // Never a second job: the running one reads its record until it ends.
  if (job_.joinable()) {
    if (!jobThreadDone_) return;
    job_.join();
  }
  startJob(soundCheck->isChecked());
}

std::string CKelvoraMFCDlg::jobOutputPath(bool sound) const {
  return sound ? soundOutputNamed(output.outputPath,
                                  static_cast<SoundFormat>(soundParameters.soundFormat))
               : output.outputPath;
}

void CKelvoraMFCDlg::startJob(bool sound) {
  const JobRequest request{controls_.get(), inputPath.toStdString(), jobOutputPath(sound),
                           leadingNumber(startEdit->text().toStdString()),
                           leadingNumber(stopEdit->text().toStdString())};
  if (sound) {
    fillPictureParameters(pictureRecord, settings(), request);
  } else {
    fillImageParameters(imageRecord, settings(), request);
  }
  jobThreadDone_ = false;
  lastJobWasSound_ = sound;
  lastJobInput_ = request.inputPath;
  lastJobOutput_ = request.outputPath;
  lastJobInverse_ = settings().inverse != 0;
  job_ = std::thread([this, sound] {
    if (sound) {
      ThreadPicture(pictureRecord, &lastSoundReport_);
    } else {
      ThreadMovie(imageRecord, &lastMovieReport_);
    }
    jobThreadDone_ = true;
    QMetaObject::invokeMethod(
        this, [this] { onJobThreadEnded(); }, Qt::QueuedConnection);
  });
}

void CKelvoraMFCDlg::onJobThreadEnded() {
  if (!job_.joinable() || !jobThreadDone_) return;
  job_.join();
  describeLastJob();
  emit jobFinished();
}

void CKelvoraMFCDlg::stopJobAndWait() {
  if (!job_.joinable()) return;
  pictureRecord.stopRequested = true;
  imageRecord.stopRequested = true;
  stopButton->setEnabled(false);
  if (!jobThreadDone_) {
    // The job's calls to the controls are carried out by this loop.
    QEventLoop loop;
    connect(this, &CKelvoraMFCDlg::jobFinished, &loop, &QEventLoop::quit);
    if (!jobThreadDone_) loop.exec();
  }
  if (job_.joinable()) job_.join();
}

void CKelvoraMFCDlg::OnBnClickedButton1() {
  stopButton->setEnabled(false);
  if (soundCheck->isChecked()) {
    pictureRecord.stopRequested = true;
  } else {
    imageRecord.stopRequested = true;
  }
}

void CKelvoraMFCDlg::OnBnClickedCheck1() {
  if (soundCheck->isChecked()) {
    filmCheck->setChecked(false);
  } else {
    soundCheck->setChecked(true);
  }
  updatePathLine();
}

void CKelvoraMFCDlg::OnBnClickedCheck2() {
  if (filmCheck->isChecked()) {
    soundCheck->setChecked(false);
  } else {
    filmCheck->setChecked(true);
  }
  updatePathLine();
}

void CKelvoraMFCDlg::OnBnClickedCheck4() {
  if (allCheck->isChecked()) {
    countScansForAll(*controls_, inputPath.toStdString());
  } else {
    statusBox->clear();
    startEdit->setEnabled(true);
    stopEdit->setEnabled(true);
    startEdit->setText("1");
    stopEdit->setText("2");
  }
}

void CKelvoraMFCDlg::OnFileInput() {
  const QString chosen = chooseInputFile(
      QFileInfo(inputPath).isDir() ? inputPath : QFileInfo(inputPath).absolutePath());
  if (chosen.isEmpty()) return;
  inputPath = chosen;
  if (allCheck->isChecked()) statusBox->clear();
  OnBnClickedCheck4();
  updatePathLine();
  refreshPreview();
}

void CKelvoraMFCDlg::OnFileOutput() {
  const bool sound = soundCheck->isChecked();
  const QString current = QString::fromStdString(output.outputPath);
  const QString directory =
      QFileInfo(current).isDir() ? current : QFileInfo(current).absolutePath();
  const QString chosen = chooseOutputFile(directory, sound ? soundFileName : movieFileName, sound);
  if (chosen.isEmpty()) return;
  output.outputPath = chosen.toStdString();
  if (sound) {
    soundFileName = QFileInfo(chosen).fileName();
    output.outputIsSound = true;
  } else {
    movieFileName = QFileInfo(chosen).fileName();
    output.outputIsMovie = true;
  }
  updatePathLine();
}

void CKelvoraMFCDlg::OnFileClose() {
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CKelvoraMFCDlg::OnOptionsPar() {
  filmParameters.exec();
  refreshPreview();
}

void CKelvoraMFCDlg::OnOptionsSound() {
  soundParameters.exec();
  refreshPreview();
  updatePathLine();
}

void CKelvoraMFCDlg::OnOptionsVideo() {
  movieParameters.exec();
  refreshPreview();
}

void CKelvoraMFCDlg::OnHelpInfo() {
  InfoClose info(this);
  info.exec();
}

void CKelvoraMFCDlg::reject() {
  stopJobAndWait();
  saveRememberedSettings();
  QDialog::reject();
}

void CKelvoraMFCDlg::closeEvent(QCloseEvent* event) {
  stopJobAndWait();
  saveRememberedSettings();
  QDialog::closeEvent(event);
}

QString CKelvoraMFCDlg::pathLineText() const {
  OutputChoice next = output;
  completeOutputPath(next, soundCheck->isChecked());
  QString out = QString::fromStdString(next.outputPath);
  if (soundCheck->isChecked())
    out = QString::fromStdString(
        soundOutputNamed(next.outputPath, static_cast<SoundFormat>(soundParameters.soundFormat)));
  return "in: " + inputPath + "    out: " + out;
}

void CKelvoraMFCDlg::updatePathLine() {
  const QString text = pathLineText();
  pathLine->setToolTip(text);
  pathLine->setText(pathLine->fontMetrics().elidedText(text, Qt::ElideMiddle, pathLine->width()));
}

void CKelvoraMFCDlg::OnViewPreview() {
  previewWindow->show();
  previewWindow->raise();
  refreshPreview();
}

void CKelvoraMFCDlg::refreshPreview() {
  if (!previewWindow->isVisible()) return;
  const std::string input = inputPath.toStdString();
  const FrameListing listing =
      FrameListing::open(JobDirectory(input, static_cast<int>(input.size())));
  const int start = std::max(1, leadingNumber(startEdit->text().toStdString()));
  const std::optional<std::string> path = listing.path(start);
  if (!path) {
    previewWindow->setPicture(cv::Mat(),
                              "No scan " + QString::number(start) + " in the input directory");
    previewWindow->setNotes({});
    return;
  }
  LoadedScan scan = loadScan(*path);
  requireAFrame(scan);
  if (!scan.ok()) {
    previewWindow->setPicture(cv::Mat(), QString::fromStdString(*path + ": " + scan.error));
    previewWindow->setNotes({});
    return;
  }
  const InspectSettings s = inspectSettingsFor(settings(), readScanHeader(*path).dpiY);
  const InspectView view = inspectScan(scan.image, s);
  previewWindow->setPicture(view.image);
  QStringList notes;
  for (const std::string& w : view.warnings) notes << QString::fromStdString("warning: " + w);
  previewWindow->setNotes(notes);
}

void CKelvoraMFCDlg::OnViewLastJob() {
  lastJobWindow->show();
  lastJobWindow->raise();
}

void CKelvoraMFCDlg::describeLastJob() {
  QStringList notes;
  const std::vector<std::string>& warnings =
      lastJobWasSound_ ? lastSoundReport_.warnings : lastMovieReport_.warnings;
  for (const std::string& w : warnings) notes << QString::fromStdString("warning: " + w);
  if (!lastJobWasSound_) {
    lastJobWindow->setPicture(cv::Mat(), "A movie was made: there is no sound to draw.");
    lastJobWindow->setNotes(notes);
    return;
  }
  std::vector<float> samples;
  int rate = 0;
  const std::string& sound = lastJobOutput_;
  if (lastSoundReport_.samplesWritten == 0 || !readSoundSamples(sound, samples, rate).empty()) {
    lastJobWindow->setPicture(cv::Mat(), "No sound was written.");
    lastJobWindow->setNotes(notes);
    return;
  }
  const std::vector<JoinMark> joins =
      joinsOfSoundJob(lastSoundReport_, lastJobInverse_, samples.size(), rate);
  for (const JoinMark& j : joins) {
    if (j.flagged)
      notes << QString(
                   "flagged join into frame %1: advance %2 % from the reel's, overlapping film %3 "
                   "alike")
                   .arg(j.frame)
                   .arg(100.0 * j.deviation, 0, 'f', 1)
                   .arg(j.match, 0, 'f', 2);
  }
  lastJobWindow->setPicture(plotSound(samples, rate, joins, lastJobInput_ + "  ->  " + sound,
                                      overlapOf(lastSoundReport_)));
  lastJobWindow->setNotes(notes);
}

namespace {

// One setting kept between sessions: written with `save`, otherwise read back (a
// value that is not there leaves the setting as it is).
template <typename T>
void exchange(QSettings& stored, bool save, const char* key, T& value) {
  if (save) {
    stored.setValue(key, value);
  } else {
    value = stored.value(key, QVariant::fromValue(value)).template value<T>();
  }
}

}  // namespace

void CKelvoraMFCDlg::exchangeSettings(QSettings& stored, bool save) {
  FilmParameters& f = filmParameters;
  exchange(stored, save, "film/soundtrackType", f.soundtrackType);
  exchange(stored, save, "film/speedIndex", f.speedIndex);
  exchange(stored, save, "film/longStrip", f.longStrip);
  exchange(stored, save, "film/manualResolution", f.manualResolution);
  exchange(stored, save, "film/inverse", f.inverse);
  exchange(stored, save, "film/directionUp", f.directionUp);
  exchange(stored, save, "film/frameCorrection", f.frameCorrection);
  exchange(stored, save, "film/resolutionX", f.resolutionX);
  exchange(stored, save, "film/resolutionY", f.resolutionY);
  SoundParameters& a = soundParameters;
  exchange(stored, save, "sound/colorElement", a.colorElement);
  exchange(stored, save, "sound/removeDC", a.removeDC);
  exchange(stored, save, "sound/crossfade", a.crossfade);
  exchange(stored, save, "sound/cutBySoundtrack", a.cutBySoundtrack);
  exchange(stored, save, "sound/aChain", a.aChain);
  exchange(stored, save, "sound/format", a.soundFormat);
  exchange(stored, save, "sound/rate", a.soundRate);
  exchange(stored, save, "sound/reader", a.reader);
  MovieParameters& m = movieParameters;
  exchange(stored, save, "movie/filmSize", m.filmSize);
  exchange(stored, save, "movie/compression", m.compression);
  exchange(stored, save, "movie/cutSoundtrack", m.cutSoundtrack);
  // A list index read back from another version stays inside its list.
  a.soundFormat = std::clamp(a.soundFormat, 0, 4);
  a.soundRate = std::clamp(a.soundRate, 0, 2);
  a.reader = std::clamp(a.reader, 0, 1);
}

void CKelvoraMFCDlg::loadRememberedSettings() {
  QSettings stored("Kelvora", "Kelvora");
  if (!stored.value("remember", false).toBool()) return;
  rememberAction->setChecked(true);
  exchangeSettings(stored, false);
}

void CKelvoraMFCDlg::saveRememberedSettings() {
  QSettings stored("Kelvora", "Kelvora");
  if (!rememberAction->isChecked()) {
    if (stored.contains("remember")) stored.clear();  // asked no more: nothing is kept
    return;
  }
  stored.setValue("remember", true);
  exchangeSettings(stored, true);
}

CKelvoraMFCApp::CKelvoraMFCApp(int& argc, char** argv) : app_(argc, argv) {}

int CKelvoraMFCApp::InitInstance() {
  QCoreApplication::setOrganizationName("Local AppWizard-Generated Applications");
  QCoreApplication::setApplicationName("Kelvora");
  CKelvoraMFCDlg window;
  window.exec();
  return 0;
}

}  // namespace kelvora
