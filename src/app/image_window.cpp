#include "app/image_window.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace kelvora {

QImage imageOf(const cv::Mat& bgr) {
  if (bgr.empty() || bgr.type() != CV_8UC3) return QImage();
  return QImage(bgr.data, bgr.cols, bgr.rows, static_cast<qsizetype>(bgr.step),
                QImage::Format_BGR888)
      .copy();
}

ImageWindow::ImageWindow(const QString& title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(title);
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  view_ = new QLabel(this);
  view_->setAlignment(Qt::AlignCenter);
  view_->setMinimumSize(320, 200);
  view_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  view_->installEventFilter(this);
  layout->addWidget(view_, 1);
  notes_ = new QPlainTextEdit(this);
  notes_->setReadOnly(true);
  notes_->setMaximumHeight(90);
  notes_->hide();
  layout->addWidget(notes_);
  resize(900, 640);
}

void ImageWindow::setPicture(const cv::Mat& bgr, const QString& missing) {
  picture_ = imageOf(bgr);
  if (picture_.isNull()) view_->setText(missing);
  showScaled();
}

void ImageWindow::setNotes(const QStringList& notes) {
  notes_->setPlainText(notes.join('\n'));
  notes_->setVisible(!notes.isEmpty());
}

QString ImageWindow::notes() const { return notes_->toPlainText(); }

bool ImageWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::Resize) showScaled();
  return QDialog::eventFilter(watched, event);
}

void ImageWindow::showScaled() {
  if (picture_.isNull()) return;
  view_->setPixmap(QPixmap::fromImage(
      picture_.scaled(view_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

}  // namespace kelvora
