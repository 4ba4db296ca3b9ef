#pragma once

#include <QApplication>
#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/film_parameters.h"
#include "app/image_window.h"
#include "app/movie_parameters.h"
#include "app/qt_controls.h"
#include "app/sound_parameters.h"
#include "app/status_box.h"
#include "jobs/output_path.h"
#include "jobs/settings.h"
#include "runner/reel_runner.h"

class QAction;
class QSettings;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace kelvora {

// The main window: input and output, the frame range, the job kind, Start and Stop,
// the status box and the progress bar. It owns the settings dialogs, whose values
// live as long as the window. A job runs through the reel runner on a thread of its
// own and changes the window only through `controls()`.
class CKelvoraMFCDlg : public QDialog {
  Q_OBJECT

 public:
  // What the last sound job measured, and which reader read it.
  const SoundJobReport& lastSoundReport() const { return lastSound_.report; }
  // What the last movie job made.
  const MovieResult& lastMovie() const { return lastMovie_; }

  explicit CKelvoraMFCDlg(QWidget* parent = nullptr);
  ~CKelvoraMFCDlg() override;

  // Menu and button handlers.
  void OnFileInput();
  void OnFileOutput();
  void OnBnClickedOk();  // Start
  void OnFileClose();
  void OnOptionsPar();
  void OnOptionsSound();
  void OnOptionsVideo();
  void OnHelpInfo();
  void OnBnClickedButton1();  // Stop
  void OnBnClickedCheck1();   // "make soundtrack"
  void OnBnClickedCheck2();   // "make film"
  void OnBnClickedCheck4();   // "All"
  void OnViewPreview();       // "View" > "Preview"
  void OnViewLastJob();       // "View" > "Last job"

  // The settings as the three dialogs hold them.
  JobSettings settings() const;
  bool jobRunning() const { return job_.joinable(); }
  QtControls& controls() { return *controls_; }

  // What the file dialogs and message boxes are; tests put their own in.
  std::function<QString(const QString& directory)> chooseInputFile;
  std::function<QString(const QString& directory, const QString& name, bool sound)>
      chooseOutputFile;
  std::function<void(const QString& text)> messageBox;

  QString inputPath;
  QString soundFileName;
  QString movieFileName;
  OutputChoice output;  // outputPath, outputIsSound, outputIsMovie

  FilmParameters filmParameters;
  SoundParameters soundParameters;
  MovieParameters movieParameters;

  QMenuBar* menu;
  StatusBox* statusBox;
  QPushButton* startButton;
  QPushButton* stopButton;
  QCheckBox* allCheck;
  QProgressBar* progress;
  QLineEdit* startEdit;
  QLineEdit* stopEdit;
  QCheckBox* soundCheck;
  QCheckBox* filmCheck;
  QLabel* pathLine;         // the input and the output Start would use
  QAction* rememberAction;  // "Options" > "Remember settings"
  ImageWindow* previewWindow;
  ImageWindow* lastJobWindow;

  // The input and the output a job started now would use, as the path line shows them.
  QString pathLineText() const;

 signals:
  // A job's thread has ended and been joined.
  void jobFinished();

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnInitDialog();
  void buildMenu();
  void startJob(bool sound);
  // The output the job writes: the sound's name follows the format chosen, the
  // movie's whether it is made with its sound.
  std::string jobOutputPath(bool sound) const;
  // What Start hands the runner.
  ReelRequest reelRequest();
  SoundRequest soundRequest() const;
  MovieRequest movieRequest() const;
  // Collects a job whose thread has finished.
  void onJobThreadEnded();
  void updatePathLine();
  // Draws the preview again for the current input and settings, if it is shown.
  void refreshPreview();
  // Fills the "Last job" window from the job that just ended.
  void describeLastJob();
  // The settings of the last session, when it asked for them to be remembered.
  void loadRememberedSettings();
  void saveRememberedSettings();
  void exchangeSettings(QSettings& stored, bool save);
  // Asks a running job to stop and serves its calls until it has ended.
  void stopJobAndWait();

  std::unique_ptr<QtControls> controls_;
  SoundResult lastSound_;
  MovieResult lastMovie_;
  bool lastJobWasSound_ = true;
  std::atomic<bool> stopRequested_{false};
  std::thread job_;
  std::atomic<bool> jobThreadDone_{false};
};

// The application: sets up the window and runs it.
class CKelvoraMFCApp {
 public:
  CKelvoraMFCApp(int& argc, char** argv);
  // Runs the window modally; returns when it closes.
  int InitInstance();

 private:
  QApplication app_;
};

}  // namespace kelvora
