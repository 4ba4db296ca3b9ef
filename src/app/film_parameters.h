#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvora {

// "Film Parameters": what film was scanned and how. The values live here between
// openings; every opening shows them, and only Ok stores the controls back, except
// UP and DOWN, which are stored at the click.
class FilmParameters : public QDialog {
  Q_OBJECT

 public:
  explicit FilmParameters(QWidget* parent = nullptr);

  int soundtrackType = 0;
  int speedIndex = 1;
  int longStrip = 0;
  int manualResolution = 0;
  int inverse = 0;
  bool directionUp = true;
  bool frameCorrection = false;
  int autoFilm = 0;  // take the soundtrack type, the direction and Long strip from the first scan
  QString resolutionX;
  QString resolutionY;

  // Shows the stored values in the controls.
  void DoDataExchange();

  void OnBnClickedOk();
  void OnBnClickedCancel();
  void OnBnClickedCheck1();  // "Manual resolution"
  void OnBnClickedCheck3();  // "UP"
  void OnBnClickedCheck4();  // "DOWN"

  QComboBox* soundtrackList;
  QComboBox* speedList;
  QCheckBox* inverseCheck;
  QCheckBox* longStripCheck;
  QCheckBox* frameCorrectionCheck;
  QCheckBox* upCheck;
  QCheckBox* downCheck;
  QCheckBox* manualCheck;
  QCheckBox* autoCheck;
  QLabel* resolutionXLabel;
  QLabel* resolutionYLabel;
  QLineEdit* resolutionXEdit;
  QLineEdit* resolutionYEdit;
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void showResolutionBoxes(bool visible);
};

}  // namespace kelvora
