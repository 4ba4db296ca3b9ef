#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace kelvora {

// "Sound Parameters": how the soundtrack is read and joined.
// The rates of the Rate list; 0 is the film's own.
inline constexpr int kSoundRates[] = {0, 48000, 96000};

class SoundParameters : public QDialog {
  Q_OBJECT

 public:
  explicit SoundParameters(QWidget* parent = nullptr);

  int colorElement = 2;
  int removeDC = 1;
  int crossfade = 1;
  bool cutBySoundtrack = false;
  bool aChain = true;
  int soundFormat = 0;  // index of formatList: SoundFormat
  int soundRate = 0;    // index of rateList: film, 48000, 96000
  int reader = 0;       // index of readerList: Reader

  void DoDataExchange();
  void OnBnClickedButton1();  // "Ok"
  void OnBnClickedButton2();  // "Cancel"

  QComboBox* colorList;
  QComboBox* readerList;
  QCheckBox* cutBySoundtrackCheck;
  QCheckBox* removeDCCheck;
  QCheckBox* crossfadeCheck;
  QCheckBox* aChainCheck;
  QComboBox* formatList;
  QComboBox* rateList;
  QPushButton* okButton;
  QPushButton* cancelButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kelvora
