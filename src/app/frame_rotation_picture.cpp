#include "app/frame_rotation_picture.h"

#include <QPainter>

namespace kelvora {

QPixmap frameRotationPicture(bool soundtrackUp) {
  QPixmap pixmap(55, 53);
  pixmap.fill(QColor(236, 236, 236));
  QPainter p(&pixmap);
  const QRect strip(0, 6, 55, 41);
  p.fillRect(strip, QColor(40, 32, 26));
  // Perforations along both edges.
  for (int x = 2; x < 55; x += 6) {
    p.fillRect(QRect(x, 8, 3, 4), QColor(236, 236, 236));
    p.fillRect(QRect(x, 41, 3, 4), QColor(236, 236, 236));
  }
  // The soundtrack band beside the upper or the lower perforations.
  const int bandTop = soundtrackUp ? 14 : 35;
  p.fillRect(QRect(0, bandTop, 55, 4), QColor(70, 60, 50));
  for (int x = 0; x < 55; x += 2) {
    const int swing = (x * 7) % 3;
    p.fillRect(QRect(x, bandTop + 1, 2, 1 + swing % 2 + 1), QColor(230, 220, 190));
  }
  // Three frames between the perforations and clear of the band.
  const int frameTop = soundtrackUp ? 20 : 15;
  for (int i = 0; i < 3; ++i) {
    const QRect frame(2 + i * 18, frameTop, 15, 18);
    p.fillRect(frame, QColor(150 + i * 20, 175, 205 - i * 15));
    p.setPen(QColor(20, 20, 20));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
  }
  return pixmap;
}

QPixmap applicationIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(QColor(40, 32, 26));
  QPainter p(&pixmap);
  for (int y = 2; y < 32; y += 6) {
    p.fillRect(QRect(2, y, 3, 3), Qt::white);
    p.fillRect(QRect(27, y, 3, 3), Qt::white);
  }
  p.fillRect(QRect(7, 0, 4, 32), QColor(230, 220, 190));
  p.fillRect(QRect(13, 4, 12, 24), QColor(150, 180, 210));
  return pixmap;
}

}  // namespace kelvora
