#include "app/movie_parameters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "app/dialog_units.h"

namespace kelvora {

MovieParameters::MovieParameters(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Movie Parameters");
  DialogLayout layout(*this);

  layout.place(new QGroupBox("Movie Parameters", this), 7, 7, 169, 56);
  layout.place(new QLabel("Film size", this), 18, 19, 27, 8);
  sizeList = new QComboBox(this);
  sizeList->addItems({"640X480", "320X240", "Native"});
  layout.place(sizeList, 47, 17, 44, 13);
  cutSoundtrackCheck = new QCheckBox("Cut Soundtrack", this);
  layout.place(cutSoundtrackCheck, 98, 17, 65, 10);
  layout.place(new QLabel("Compression", this), 14, 34, 42, 8);
  compressionList = new QComboBox(this);
  compressionList->addItems({"MPG4", "DIVX", "XVID", "H264", "FFV1"});
  layout.place(compressionList, 58, 33, 33, 13);
  withSoundCheck = new QCheckBox("With its sound (MKV or MP4)", this);
  layout.place(withSoundCheck, 14, 49, 120, 10);

  okButton = new QPushButton("OK", this);
  okButton->setDefault(true);
  layout.place(okButton, 30, 67, 50, 14);
  cancelButton = new QPushButton("Cancel", this);
  layout.place(cancelButton, 103, 67, 50, 14);
  layout.apply(*this, 183, 88);

  connect(okButton, &QPushButton::clicked, this, &MovieParameters::OnBnClickedOk);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void MovieParameters::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) DoDataExchange();
  QDialog::showEvent(event);
}

void MovieParameters::DoDataExchange() {
  compressionList->setCurrentIndex(compression);
  sizeList->setCurrentIndex(filmSize);
  cutSoundtrackCheck->setChecked(cutSoundtrack == 1);
  withSoundCheck->setChecked(withSound == 1);
}

void MovieParameters::OnBnClickedOk() {
  accept();
  compression = compressionList->currentIndex();
  cutSoundtrack = cutSoundtrackCheck->isChecked() ? 1 : 0;
  filmSize = sizeList->currentIndex();
  withSound = withSoundCheck->isChecked() ? 1 : 0;
}

}  // namespace kelvora
