#include "app/info_close.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/dialog_units.h"

namespace kelvora {

InfoClose::InfoClose(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle("Info");
  DialogLayout layout(*this);
  versionText = new QLabel("Kelvora application ver 0.9", this);
  versionText->setGeometry(QRect(QPoint(50, 30), QPoint(300, 60)).adjusted(0, 0, -1, -1));
  closeButton = new QPushButton("Close", this);
  layout.place(closeButton, 75, 45, 50, 14);
  layout.apply(*this, 211, 66);
  connect(closeButton, &QPushButton::clicked, this, &InfoClose::OnBnClickedClose);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void InfoClose::OnBnClickedClose() { accept(); }

}  // namespace kelvora
