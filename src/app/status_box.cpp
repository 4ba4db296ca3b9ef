#include "app/status_box.h"

#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

namespace kelvora {

StatusBox::StatusBox(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    // The window empties the box ("All" unchecked): the earlier blocks go too.
    if (!updating_ && document()->isEmpty()) {
      block_.clear();
      blockStart_ = 0;
    }
  });
}

void StatusBox::addWarning(const QString& text) {
  const QString whole = toPlainText();
  if (blockStart_ > whole.size() + 1) blockStart_ = 0;
  // Everything before the current block, the warning, then the block as it is.
  QString shown = whole.left(std::max(0, blockStart_ - 1));
  if (!shown.isEmpty()) shown += QLatin1Char('\n');
  shown += "warning: " + text;
  blockStart_ = static_cast<int>(shown.size()) + 1;
  shown += QLatin1Char('\n') + block_;
  updating_ = true;
  setPlainText(shown);
  updating_ = false;
  moveCursor(QTextCursor::End);
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void StatusBox::setBlock(const QString& text) {
  const QString whole = toPlainText();
  const bool carriesOn = !block_.isEmpty() && text.startsWith(block_);
  if (!carriesOn && !whole.isEmpty() && !block_.isEmpty()) {
    blockStart_ = static_cast<int>(whole.size()) + 1;  // a new block under the old
  }
  if (blockStart_ > whole.size() + 1) blockStart_ = 0;
  QString shown = whole.left(std::max(0, blockStart_ - 1));
  if (blockStart_ > 0) shown += QLatin1Char('\n');
  shown += text;
  updating_ = true;
  setPlainText(shown);
  updating_ = false;
  block_ = text;
  moveCursor(QTextCursor::End);
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

}  // namespace kelvora
