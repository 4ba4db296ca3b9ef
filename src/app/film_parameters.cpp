#include "app/film_parameters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>

#include "app/dialog_units.h"
#include "app/frame_rotation_picture.h"

namespace kelvora {

namespace {

QLineEdit* resolutionEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setMaxLength(4);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
  return edit;
}

}  // namespace

FilmParameters::FilmParameters(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle("Film Parameters");
  DialogLayout layout(*this);

  layout.place(new QGroupBox("Film parameters", this), 7, 7, 165, 54);
  layout.place(new QLabel("Soundtrack type", this), 17, 16, 54, 8);
  soundtrackList = new QComboBox(this);
  soundtrackList->addItems({"35mm variable area", "35mm variable density", "16mm variable area"});
  layout.place(soundtrackList, 72, 12, 99, 13);
  layout.place(new QLabel("Film speed", this), 17, 31, 34, 8);
  speedList = new QComboBox(this);
  speedList->addItems({"24", "25"});
  layout.place(speedList, 72, 27, 48, 13);
  inverseCheck = new QCheckBox("Inverse", this);
  layout.place(inverseCheck, 127, 30, 41, 10);
  longStripCheck = new QCheckBox("Long strip", this);
  layout.place(longStripCheck, 15, 45, 47, 10);
  frameCorrectionCheck = new QCheckBox("Frame correction", this);
  layout.place(frameCorrectionCheck, 71, 44, 70, 10);

  layout.place(new QGroupBox("Frame rotation", this), 177, 7, 95, 54);
  auto* upPicture = new QLabel(this);
  upPicture->setPixmap(frameRotationPicture(true));
  layout.place(upPicture, 181, 16, 37, 33);
  auto* downPicture = new QLabel(this);
  downPicture->setPixmap(frameRotationPicture(false));
  layout.place(downPicture, 227, 16, 37, 33);
  upCheck = new QCheckBox("UP", this);
  layout.place(upCheck, 181, 50, 25, 10);
  downCheck = new QCheckBox("DOWN", this);
  layout.place(downCheck, 229, 49, 37, 10);

  layout.place(new QGroupBox("Resolution", this), 7, 60, 268, 25);
  manualCheck = new QCheckBox("Manual resolution", this);
  layout.place(manualCheck, 16, 71, 72, 10);
  resolutionXLabel = new QLabel("Resoluiton X:", this);
  layout.place(resolutionXLabel, 94, 71, 43, 8);
  resolutionXEdit = resolutionEdit(this);
  layout.place(resolutionXEdit, 140, 68, 35, 14);
  resolutionYLabel = new QLabel("Resolution Y:", this);
  layout.place(resolutionYLabel, 182, 71, 43, 8);
  resolutionYEdit = resolutionEdit(this);
  layout.place(resolutionYEdit, 226, 68, 36, 14);

  autoCheck = new QCheckBox("Take the film settings from the first scan", this);
  layout.place(autoCheck, 16, 89, 160, 10);

  okButton = new QPushButton("Ok", this);
  layout.place(okButton, 61, 103, 50, 14);
  cancelButton = new QPushButton("Cancel", this);
  layout.place(cancelButton, 151, 103, 50, 14);
  layout.apply(*this, 282, 124);

  connect(okButton, &QPushButton::clicked, this, &FilmParameters::OnBnClickedOk);
  connect(cancelButton, &QPushButton::clicked, this, &FilmParameters::OnBnClickedCancel);
  connect(manualCheck, &QCheckBox::clicked, this, &FilmParameters::OnBnClickedCheck1);
  connect(upCheck, &QCheckBox::clicked, this, &FilmParameters::OnBnClickedCheck3);
  connect(downCheck, &QCheckBox::clicked, this, &FilmParameters::OnBnClickedCheck4);
}

void FilmParameters::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) DoDataExchange();
  QDialog::showEvent(event);
}

void FilmParameters::showResolutionBoxes(bool visible) {
  resolutionXEdit->setVisible(visible);
  resolutionYEdit->setVisible(visible);
  resolutionXLabel->setVisible(visible);
  resolutionYLabel->setVisible(visible);
}

void FilmParameters::DoDataExchange() {
  frameCorrectionCheck->setChecked(frameCorrection);
  speedList->setCurrentIndex(speedIndex);
  soundtrackList->setCurrentIndex(soundtrackType);
  longStripCheck->setChecked(longStrip == 1);
  upCheck->setChecked(directionUp);
  downCheck->setChecked(!directionUp);
  manualCheck->setChecked(manualResolution == 1);
  showResolutionBoxes(manualResolution == 1);
  if (manualResolution == 0) {
    resolutionX = "0";
    resolutionY = "0";
  }
  resolutionXEdit->setText(resolutionX);
  resolutionYEdit->setText(resolutionY);
  inverseCheck->setChecked(inverse == 1);
  autoCheck->setChecked(autoFilm == 1);
}

void FilmParameters::OnBnClickedOk() {
  accept();
  inverse = inverseCheck->isChecked() ? 1 : 0;
  soundtrackType = soundtrackList->currentIndex();
  speedIndex = speedList->currentIndex();
  longStrip = longStripCheck->isChecked() ? 1 : 0;
  manualResolution = manualCheck->isChecked() ? 1 : 0;
  resolutionX = resolutionXEdit->text();
  resolutionY = resolutionYEdit->text();
  frameCorrection = frameCorrectionCheck->isChecked();
  autoFilm = autoCheck->isChecked() ? 1 : 0;
  upCheck->setChecked(directionUp);
  downCheck->setChecked(!directionUp);
}

void FilmParameters::OnBnClickedCancel() { reject(); }

void FilmParameters::OnBnClickedCheck1() { showResolutionBoxes(manualCheck->isChecked()); }

void FilmParameters::OnBnClickedCheck3() {
  downCheck->setChecked(false);
  upCheck->setChecked(true);
  directionUp = true;
}

void FilmParameters::OnBnClickedCheck4() {
  upCheck->setChecked(false);
  downCheck->setChecked(true);
  directionUp = false;
}

}  // namespace kelvora
