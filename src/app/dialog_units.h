#pragma once

#include <QRect>
#include <QWidget>
#include <vector>

namespace kelvora {

// Lays out a dialog from its template in dialog units. A horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of its
// height; when a label or check box would not show its whole text at that scale,
// the horizontal unit grows for the whole dialog, so proportions are kept and no
// text is clipped.
class DialogLayout {
 public:
  explicit DialogLayout(const QWidget& dialog);

  // Remembers where `child` goes; nothing moves before `apply`.
  void place(QWidget* child, int x, int y, int w, int h);

  // Sets every child's geometry and fixes `dialog` at w x h units, `top` pixels
  // further down (room for a menu bar).
  void apply(QWidget& dialog, int w, int h, int top = 0);

 private:
  struct Item {
    QWidget* widget;
    int x, y, w, h;
  };
  double dx_;
  double dy_;
  std::vector<Item> items_;
};

}  // namespace kelvora
