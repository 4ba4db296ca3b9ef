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

#include "app/dialog_units.h"
#include "app/frame_rotation_picture.h"
#include "app/info_close.h"
#include "jobs/frame_listing.h"
#include "jobs/sound_job.h"
#include "jobs/start_checks.h"
#include "movie/movie_job.h"

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

  statusBox = new QPlainTextEdit(this);
  statusBox->setReadOnly(true);
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
  layout.apply(*this, 317, 105, menu->sizeHint().height());

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
  job_ = std::thread([this, sound] {
    if (sound) {
      ThreadPicture(pictureRecord);
    } else {
      ThreadMovie(imageRecord);
    }
    jobThreadDone_ = true;
    QMetaObject::invokeMethod(
        this, [this] { onJobThreadEnded(); }, Qt::QueuedConnection);
  });
}

void CKelvoraMFCDlg::onJobThreadEnded() {
  if (!job_.joinable() || !jobThreadDone_) return;
  job_.join();
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
}

void CKelvoraMFCDlg::OnBnClickedCheck2() {
  if (filmCheck->isChecked()) {
    soundCheck->setChecked(false);
  } else {
    filmCheck->setChecked(true);
  }
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
}

void CKelvoraMFCDlg::OnFileClose() {
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CKelvoraMFCDlg::OnOptionsPar() { filmParameters.exec(); }

void CKelvoraMFCDlg::OnOptionsSound() { soundParameters.exec(); }

void CKelvoraMFCDlg::OnOptionsVideo() { movieParameters.exec(); }

void CKelvoraMFCDlg::OnHelpInfo() {
  InfoClose info(this);
  info.exec();
}

void CKelvoraMFCDlg::reject() {
  stopJobAndWait();
  QDialog::reject();
}

void CKelvoraMFCDlg::closeEvent(QCloseEvent* event) {
  stopJobAndWait();
  QDialog::closeEvent(event);
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
