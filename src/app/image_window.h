#pragma once

#include <QDialog>
#include <QStringList>

#include <opencv2/core.hpp>

class QLabel;
class QPlainTextEdit;

namespace kelvora {

// A resizable window with a picture drawn by the views (a preview, a plot) and the
// notes that go with it (warnings, flagged joins).
class ImageWindow : public QDialog {
  Q_OBJECT

 public:
  ImageWindow(const QString& title, QWidget* parent);

  // Shows a blue-green-red picture, or `missing` in its place when there is none.
  void setPicture(const cv::Mat& bgr, const QString& missing = QString());
  void setNotes(const QStringList& notes);
  QString notes() const;
  bool hasPicture() const { return !picture_.isNull(); }
  const QImage& picture() const { return picture_; }

 protected:
  // The picture is scaled anew whenever its place changes size: the window's size, or
  // the notes taking room below it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showScaled();
  QImage picture_;
  QLabel* view_;
  QPlainTextEdit* notes_;
};

// The picture a view drew, as the window shows it.
QImage imageOf(const cv::Mat& bgr);

}  // namespace kelvora
