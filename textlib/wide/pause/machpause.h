#pragma once
// A pause that keeps the program responsive: it waits for its own timer while serving
// every pending event, so cancel buttons and other timers run during the wait. Callers
// must expect their state to change across a pause. QtCore only, no widgets.
#include <QObject>

class QTimer;

namespace textlib {

class TMachPause : public QObject {
 public:
  explicit TMachPause(QObject* owner = nullptr);
  ~TMachPause() override;

  // Milliseconds (negative values count as 0); 0 without a timer.
  int Interval() const;
  void SetInterval(int milliseconds);

  // Returns at the first event of the timer, so it lasts at least one interval (also for
  // 0 ms). A pause started during this one on the same component ends both. Without an
  // application object there are no events to serve, and it only sleeps.
  void Pause(int milliseconds);

 private:
  QTimer* timer_ = nullptr;
  bool fired_ = false;
};

}  // namespace textlib
