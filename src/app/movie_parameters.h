#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace kelvora {

// "Movie Parameters": the movie's frame size, codec and whether the soundtrack is
// cut off the pictures; and whether the reel's sound is decoded into the movie (an MKV
// or MP4, by the output's name, in H.264 or lossless FFV1).
class MovieParameters : public QDialog {
  Q_OBJECT

 public:
  explicit MovieParameters(QWidget* parent = nullptr);

  int filmSize = 0;
  int compression = 0;
  int cutSoundtrack = 0;
  int withSound = 0;

  void DoDataExchange();
  void OnBnClickedOk();

  QComboBox* sizeList;
  QComboBox* compressionList;
  QCheckBox* cutSoundtrackCheck;
  QCheckBox* withSoundCheck;
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kelvora
