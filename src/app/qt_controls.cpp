#include "app/qt_controls.h"

#include <algorithm>
#include <atomic>

#include <QAbstractButton>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>

#include <QProgressBar>
#include <QThread>
#include <QWidget>
#include "app/status_box.h"

namespace kelvora {

QtControls::QtControls(QObject* owner, std::map<Control, QWidget*> widgets)
    : owner_(owner), widgets_(std::move(widgets)) {}

QWidget* QtControls::widget(Control c) const {
  const auto it = widgets_.find(c);
  return it == widgets_.end() ? nullptr : it->second;
}

void QtControls::onWindowThread(const std::function<void()>& work) {
  if (owner_ == nullptr) return;
  // A blocking call from the window's own thread to itself would never return.
  if (QThread::currentThread() == owner_->thread()) {
    work();
  } else {
    // The blocking call orders the two threads through Qt's own locks, which the thread
    // sanitizer cannot see; the handover through this atomic shows it the same order:
    // what the job wrote before the call is read on the window's thread, what the
    // window wrote is read by the job after.
    std::atomic<bool> handed{false};
    handed.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        owner_,
        [&] {
          (void)handed.load(std::memory_order_acquire);
          work();
          handed.store(false, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    (void)handed.load(std::memory_order_acquire);
  }
}

void QtControls::notify(const std::string& call) {
  if (observer_) observer_(call);
}

void QtControls::enable(Control c, bool enabled) {
  onWindowThread([&] {
    if (QWidget* w = widget(c)) w->setEnabled(enabled);
    notify("enable");
  });
}

void QtControls::show(Control c, bool visible) {
  onWindowThread([&] {
    if (QWidget* w = widget(c)) w->setVisible(visible);
    notify("show");
  });
}

void QtControls::setText(Control c, const std::string& text) {
  onWindowThread([&] {
    QString value = QString::fromStdString(text);
    if (auto* status = qobject_cast<StatusBox*>(widget(c))) {
      status->setBlock(value.remove(QLatin1Char('\r')));
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget(c))) {
      box->setPlainText(value.remove(QLatin1Char('\r')));
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget(c))) {
      edit->setText(value);
    }
    notify("setText " + text);
  });
}

void QtControls::showWarning(const std::string& text) {
  onWindowThread([&] {
    if (auto* status = qobject_cast<StatusBox*>(widget(Control::Status)))
      status->addWarning(QString::fromStdString(text));
    notify("showWarning " + text);
  });
}

std::string QtControls::text(Control c) {
  std::string result;
  onWindowThread([&] {
    if (auto* status = qobject_cast<StatusBox*>(widget(c))) {
      result = status->block().toStdString();
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget(c))) {
      result = box->toPlainText().toStdString();
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget(c))) {
      result = edit->text().toStdString();
    }
  });
  return result;
}

void QtControls::redraw(Control c) {
  onWindowThread([&] {
    if (QWidget* w = widget(c)) w->repaint();
    notify("redraw");
  });
}

bool QtControls::isChecked(Control c) {
  bool checked = false;
  onWindowThread([&] {
    if (auto* button = qobject_cast<QAbstractButton*>(widget(c))) checked = button->isChecked();
  });
  return checked;
}

void QtControls::setProgressRange(int lower, int upper) {
  onWindowThread([&] {
    if (auto* bar = qobject_cast<QProgressBar*>(widget(Control::Progress)))
      bar->setRange(lower, upper);
    notify("setProgressRange");
  });
}

void QtControls::setProgressStep(int step) {
  onWindowThread([&] { progressStep_ = step; });
}

void QtControls::stepProgress() {
  onWindowThread([&] {
    if (auto* bar = qobject_cast<QProgressBar*>(widget(Control::Progress))) {
      const int from = std::max(bar->value(), bar->minimum());
      bar->setValue(std::min(from + progressStep_, bar->maximum()));
    }
    notify("stepProgress");
  });
}

void QtControls::setProgressPosition(int position) {
  onWindowThread([&] {
    if (auto* bar = qobject_cast<QProgressBar*>(widget(Control::Progress))) bar->setValue(position);
    notify("setProgressPosition");
  });
}

}  // namespace kelvora
