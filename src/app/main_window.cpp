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

#include "app/dialog_settings.h"
#include "app/dialog_units.h"
#include "app/frame_rotation_picture.h"
#include "app/info_close.h"
#include "app/status_box.h"
#include "jobs/frame_listing.h"
#include "jobs/start_checks.h"
#include "readers/sound_reader.h"
#include "runner/preview.h"
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
    // A movie with its sound is an MKV or MP4.
    const bool flac = static_cast<SoundFormat>(soundParameters.soundFormat) == SoundFormat::Flac;
    const bool muxed = movieParameters.withSound != 0;
    QFileDialog dialog(this, QString(), directory,
                       sound   ? (flac ? "Flac Files (*.flac)" : "Wav Files (*.wav)")
                       : muxed ? "Matroska Files (*.mkv);;MP4 Files (*.mp4)"
                               : "Avi Files (*.avi)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(sound ? (flac ? "flac" : "wav") : muxed ? "mkv" : "avi");
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

  showSettings(JobSettings{}, filmParameters, soundParameters, movieParameters);

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
  return settingsOf(filmParameters, soundParameters, movieParameters);
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
  if (!resolutionAcceptable(settings().film)) {
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
  // What the runner would refuse is refused here, before anything starts.
  const bool sound = soundCheck->isChecked();
  const ReelRequest reel = reelRequest();
  const std::string problem =
      sound ? soundRequestProblem(reel, soundRequest()) : movieRequestProblem(reel, movieRequest());
  if (!problem.empty()) {
    messageBox(QString::fromStdString(problem));
    return;
  }
  // Never a second job: the running one reads its settings until it ends.
  if (job_.joinable()) {
    if (!jobThreadDone_) return;
    job_.join();
  }
  startJob(sound);
}

ReelRequest CKelvoraMFCDlg::reelRequest() {
  ReelRequest reel;
  reel.controls = controls_.get();
  reel.stopRequested = &stopRequested_;
  reel.inputPath = inputPath.toStdString();
  reel.startFrame = leadingNumber(startEdit->text().toStdString());
  reel.stopFrame = leadingNumber(stopEdit->text().toStdString());
  reel.film = settings().film;
  reel.filmFromFirstScan = filmParameters.autoFilm != 0;
  return reel;
}

SoundRequest CKelvoraMFCDlg::soundRequest() const {
  SoundRequest request;
  request.sound = settings().sound;
  request.output = jobOutputPath(true);
  request.drawPlot = true;  // for "Last job"
  return request;
}

MovieRequest CKelvoraMFCDlg::movieRequest() const {
  MovieRequest request;
  const JobSettings s = settings();
  request.movie = s.movie;
  if (movieParameters.withSound != 0) {
    request.sound.source = MovieSound::Source::Decode;
    request.sound.sound = s.sound;
    // With its sound the pictures are H.264 unless FFV1 is chosen.
    if (!isMuxedCodec(request.movie.codec)) request.movie.codec = MovieCodec::H264;
  }
  request.output = jobOutputPath(false);
  return request;
}

std::string CKelvoraMFCDlg::jobOutputPath(bool sound) const {
  return sound ? soundOutputNamed(output.outputPath,
                                  static_cast<SoundFormat>(soundParameters.soundFormat))
               : movieOutputNamed(output.outputPath, movieParameters.withSound != 0);
}

void CKelvoraMFCDlg::startJob(bool sound) {
  const ReelRequest reel = reelRequest();
  stopRequested_ = false;
  jobThreadDone_ = false;
  lastJobWasSound_ = sound;
  if (sound) {
    job_ = std::thread([this, reel, request = soundRequest()] {
      lastSound_ = decodeSound(reel, request);
      jobThreadDone_ = true;
      QMetaObject::invokeMethod(
          this, [this] { onJobThreadEnded(); }, Qt::QueuedConnection);
    });
  } else {
    job_ = std::thread([this, reel, request = movieRequest()] {
      lastMovie_ = makeMovie(reel, request);
      jobThreadDone_ = true;
      QMetaObject::invokeMethod(
          this, [this] { onJobThreadEnded(); }, Qt::QueuedConnection);
    });
  }
}

void CKelvoraMFCDlg::onJobThreadEnded() {
  if (!job_.joinable() || !jobThreadDone_) return;
  job_.join();
  describeLastJob();
  emit jobFinished();
}

void CKelvoraMFCDlg::stopJobAndWait() {
  if (!job_.joinable()) return;
  stopRequested_ = true;
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
  stopRequested_ = true;
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
  const QString out = QString::fromStdString(
      soundCheck->isChecked()
          ? soundOutputNamed(next.outputPath, static_cast<SoundFormat>(soundParameters.soundFormat))
          : movieOutputNamed(next.outputPath, movieParameters.withSound != 0));
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
  const JobSettings chosen = settings();
  InspectSettings s;
  s.film = chosen.film;
  s.cutBySoundtrack = chosen.sound.cutBySoundtrack;
  s.cutSoundtrack = chosen.movie.cutSoundtrack;
  const int start = std::max(1, leadingNumber(startEdit->text().toStdString()));
  const Preview preview = previewScan(inputPath.toStdString(), start, s);
  if (!preview.error.empty()) {
    previewWindow->setPicture(cv::Mat(), QString::fromStdString(preview.error));
    previewWindow->setNotes({});
    return;
  }
  previewWindow->setPicture(preview.view.image);
  QStringList notes;
  for (const std::string& w : preview.view.warnings)
    notes << QString::fromStdString("warning: " + w);
  previewWindow->setNotes(notes);
}

void CKelvoraMFCDlg::OnViewLastJob() {
  lastJobWindow->show();
  lastJobWindow->raise();
}

void CKelvoraMFCDlg::describeLastJob() {
  const RunEnding& ending =
      lastJobWasSound_ ? static_cast<const RunEnding&>(lastSound_) : lastMovie_;
  const std::vector<std::string>& warnings =
      lastJobWasSound_ ? lastSound_.report.warnings : lastMovie_.report.warnings;
  QStringList notes;
  if (!ending.filmChosen.empty()) notes << QString::fromStdString(ending.filmChosen);
  for (const std::string& w : warnings) notes << QString::fromStdString("warning: " + w);
  if (!ending.error.empty()) notes << QString::fromStdString(ending.error);
  if (!lastJobWasSound_) {
    lastJobWindow->setPicture(cv::Mat(), "A movie was made: there is no sound to draw.");
    lastJobWindow->setNotes(notes);
    return;
  }
  if (lastSound_.plot.empty()) {
    lastJobWindow->setPicture(cv::Mat(), "No sound was written.");
    lastJobWindow->setNotes(notes);
    return;
  }
  const SoundJobReport& r = lastSound_.report;
  const std::vector<JoinMark> joins =
      joinsOfSoundJob(r, settings().film.inverse, r.samplesWritten, r.sampleRate);
  for (const JoinMark& j : joins) {
    if (j.flagged)
      notes << QString(
                   "flagged join into %1: advance %2 % from the reel's, overlapping film %3 "
                   "alike")
                   .arg(QString::fromStdString(frameAndFile(j.frame, j.file)))
                   .arg(100.0 * j.deviation, 0, 'f', 1)
                   .arg(j.match, 0, 'f', 2);
  }
  lastJobWindow->setPicture(lastSound_.plot);
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
  exchange(stored, save, "film/auto", f.autoFilm);
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
  exchange(stored, save, "movie/withSound", m.withSound);
  // A list index read back from another version stays inside its list.
  a.soundFormat = std::clamp(a.soundFormat, 0, 4);
  a.soundRate = std::clamp(a.soundRate, 0, 2);
  a.reader = std::clamp(a.reader, 0, 1);
  m.filmSize = std::clamp(m.filmSize, 0, 2);
  m.compression = std::clamp(m.compression, 0, 4);
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
