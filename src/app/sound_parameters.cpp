#include "app/sound_parameters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "app/dialog_units.h"

namespace kelvora {

SoundParameters::SoundParameters(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle("Sound Parameters");
  DialogLayout layout(*this);

  layout.place(new QGroupBox("Sound Image Parameters", this), 7, 7, 141, 46);
  layout.place(new QLabel("Image color element", this), 20, 19, 66, 8);
  colorList = new QComboBox(this);
  colorList->addItems({"B", "G", "R", "Y"});
  layout.place(colorList, 88, 16, 48, 13);
  cutBySoundtrackCheck = new QCheckBox("Cut by soundtrack analize", this);
  layout.place(cutBySoundtrackCheck, 17, 36, 99, 10);

  layout.place(new QGroupBox("Sound Correciton", this), 149, 7, 65, 47);
  removeDCCheck = new QCheckBox("-DC", this);
  layout.place(removeDCCheck, 155, 18, 28, 10);
  crossfadeCheck = new QCheckBox("Crossfade", this);
  layout.place(crossfadeCheck, 155, 30, 49, 10);
  aChainCheck = new QCheckBox("A-Chain", this);
  layout.place(aChainCheck, 155, 41, 41, 10);

  // The sound file, below the reading settings.
  layout.place(new QGroupBox("Sound File", this), 7, 56, 207, 31);
  layout.place(new QLabel("Format", this), 14, 69, 26, 8);
  formatList = new QComboBox(this);
  formatList->addItems(
      {"WAV 8-bit", "WAV 16-bit", "WAV 24-bit", "WAV 32-bit float", "FLAC 24-bit"});
  layout.place(formatList, 40, 66, 74, 13);
  layout.place(new QLabel("Rate", this), 122, 69, 18, 8);
  rateList = new QComboBox(this);
  rateList->addItems({"Film", "48000 Hz", "96000 Hz"});
  layout.place(rateList, 142, 66, 64, 13);

  // How the film is read: the classic reader or the precise one.
  layout.place(new QLabel("Reader", this), 14, 95, 26, 8);
  readerList = new QComboBox(this);
  readerList->addItems({"Classic", "Precise"});
  layout.place(readerList, 40, 92, 74, 13);

  okButton = new QPushButton("Ok", this);
  layout.place(okButton, 29, 111, 50, 14);
  cancelButton = new QPushButton("Cancel", this);
  layout.place(cancelButton, 127, 111, 50, 14);
  layout.apply(*this, 223, 132);

  connect(okButton, &QPushButton::clicked, this, &SoundParameters::OnBnClickedButton1);
  connect(cancelButton, &QPushButton::clicked, this, &SoundParameters::OnBnClickedButton2);
}

void SoundParameters::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) DoDataExchange();
  QDialog::showEvent(event);
}

void SoundParameters::DoDataExchange() {
  colorList->setCurrentIndex(colorElement);
  removeDCCheck->setChecked(removeDC == 1);
  cutBySoundtrackCheck->setChecked(cutBySoundtrack);
  crossfadeCheck->setChecked(crossfade == 1);
  aChainCheck->setChecked(aChain);
  formatList->setCurrentIndex(soundFormat);
  rateList->setCurrentIndex(soundRate);
  readerList->setCurrentIndex(reader);
}

void SoundParameters::OnBnClickedButton1() {
  colorElement = colorList->currentIndex();
  removeDC = removeDCCheck->isChecked() ? 1 : 0;
  crossfade = crossfadeCheck->isChecked() ? 1 : 0;
  cutBySoundtrack = cutBySoundtrackCheck->isChecked();
  aChain = aChainCheck->isChecked();
  soundFormat = formatList->currentIndex();
  soundRate = rateList->currentIndex();
  reader = readerList->currentIndex();
  accept();
}

void SoundParameters::OnBnClickedButton2() { reject(); }

}  // namespace kelvora
