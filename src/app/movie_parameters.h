#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace kelvora {

// "Movie Parameters": the movie's frame size, codec and whether the soundtrack is
// cut off the pictures.
class MovieParameters : public QDialog {
  Q_OBJECT

 public:
  explicit MovieParameters(QWidget* parent = nullptr);

  int filmSize = 0;
  int compression = 0;
  int cutSoundtrack = 0;

  void DoDataExchange();
  void OnBnClickedOk();

  QComboBox* sizeList;
  QComboBox* compressionList;
  QCheckBox* cutSoundtrackCheck;
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kelvora
