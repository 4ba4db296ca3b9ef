#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace kelvora {

// "Sound Parameters": how the soundtrack is read and joined.
class SoundParameters : public QDialog {
  Q_OBJECT

 public:
  explicit SoundParameters(QWidget* parent = nullptr);

  int colorElement = 2;
  int removeDC = 1;
  int crossfade = 1;
  bool cutBySoundtrack = false;
  bool aChain = true;

  void DoDataExchange();
  void OnBnClickedButton1();  // "Ok"
  void OnBnClickedButton2();  // "Cancel"

  QComboBox* colorList;
  QCheckBox* cutBySoundtrackCheck;
  QCheckBox* removeDCCheck;
  QCheckBox* crossfadeCheck;
  QCheckBox* aChainCheck;
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kelvora
