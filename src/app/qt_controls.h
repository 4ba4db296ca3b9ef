#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "jobs/controls.h"

class QWidget;

namespace kelvora {

// The window's controls as a job sees them. Every call runs on the window's thread;
// a call from a job's thread waits until it has been carried out there. An optional
// observer hears every call, on the window's thread, after it took effect.
class QtControls : public Controls {
 public:
  // `owner` lives on the window's thread; the widgets are looked up by control.
  QtControls(QObject* owner, std::map<Control, QWidget*> widgets);

  void enable(Control c, bool enabled) override;
  void show(Control c, bool visible) override;
  void setText(Control c, const std::string& text) override;
  std::string text(Control c) override;
  void redraw(Control c) override;
  bool isChecked(Control c) override;
  void showWarning(const std::string& text) override;

  void setProgressRange(int lower, int upper) override;
  void setProgressStep(int step) override;
  void stepProgress() override;
  void setProgressPosition(int position) override;

  using Observer = std::function<void(const std::string& call)>;
  void setObserver(Observer observer) { observer_ = std::move(observer); }

 private:
  // Runs `work` on the window's thread and waits for it.
  void onWindowThread(const std::function<void()>& work);
  void notify(const std::string& call);
  QWidget* widget(Control c) const;

  QPointer<QObject> owner_;
  std::map<Control, QWidget*> widgets_;
  Observer observer_;
  int progressStep_ = 1;
};

}  // namespace kelvora
