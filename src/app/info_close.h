#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kelvora {

// "Info": the program's name and version.
class InfoClose : public QDialog {
  Q_OBJECT

 public:
  explicit InfoClose(QWidget* parent = nullptr);
  void OnBnClickedClose();

  QLabel* versionText;
  QPushButton* closeButton;
};

}  // namespace kelvora
