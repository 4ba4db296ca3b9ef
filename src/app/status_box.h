#pragma once

#include <QPlainTextEdit>

namespace kelvora {

// The status box: a job fills its current block (at most six lines, emptied for the
// seventh); the blocks before stay above it, so the whole text of a job can be
// scrolled back to. Emptying the box (`clear`) forgets them too.
class StatusBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit StatusBox(QWidget* parent = nullptr);

  // Shows `text` as the current block. Text that carries on the block (lines added
  // to it) replaces it in place; anything else starts a new block under it.
  void setBlock(const QString& text);
  // Shows "warning: TEXT" on a line of its own above the current block, where it stays
  // while the block changes.
  void addWarning(const QString& text);
  // What the job last put there.
  const QString& block() const { return block_; }

 private:
  QString block_;
  int blockStart_ = 0;  // where the current block begins in the document
  bool updating_ = false;
};

}  // namespace kelvora
