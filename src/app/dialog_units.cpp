#include "app/dialog_units.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QLabel>
#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

int px(double units, double scale) { return static_cast<int>(std::lround(units * scale)); }

bool showsText(const QWidget* w) {
  if (const auto* label = qobject_cast<const QLabel*>(w)) return !label->text().isEmpty();
  if (const auto* button = qobject_cast<const QAbstractButton*>(w))
    return !button->text().isEmpty();
  return false;
}

}  // namespace

DialogLayout::DialogLayout(const QWidget& dialog) {
  const QFontMetricsF metrics(dialog.font());
  const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
  dx_ = metrics.horizontalAdvance(letters) / letters.size() / 4.0;
  dy_ = metrics.height() / 8.0;
}

void DialogLayout::place(QWidget* child, int x, int y, int w, int h) {
  items_.push_back(Item{child, x, y, w, h});
}

void DialogLayout::apply(QWidget& dialog, int w, int h, int top) {
  double dx = dx_;
  for (const Item& item : items_) {
    if (!showsText(item.widget) || item.w <= 0) continue;
    dx = std::max(dx, item.widget->sizeHint().width() / static_cast<double>(item.w));
  }
  for (const Item& item : items_) {
    item.widget->setGeometry(px(item.x, dx), top + px(item.y, dy_), px(item.w, dx),
                             px(item.h, dy_));
  }
  dialog.setFixedSize(px(w, dx), top + px(h, dy_));
}

}  // namespace kelvora
