#include "textlib/wide/pause/machpause.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <thread>

namespace textlib {

TMachPause::TMachPause(QObject* owner) : QObject(owner), timer_(new QTimer(this)) {
  timer_->setInterval(1000);
  // A coarse timer may fire a little early; the pause must last its whole interval.
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, [this] { fired_ = true; });
}

TMachPause::~TMachPause() {
  delete timer_;
  timer_ = nullptr;
}

int TMachPause::Interval() const { return timer_ ? timer_->interval() : 0; }

void TMachPause::SetInterval(int milliseconds) {
  if (timer_) timer_->setInterval(milliseconds < 0 ? 0 : milliseconds);
}

void TMachPause::Pause(int milliseconds) {
  if (!timer_) return;
  // A timer with a negative interval never fires, which would make the wait endless.
  if (milliseconds < 0) milliseconds = 0;
  if (timer_->interval() != milliseconds) timer_->setInterval(milliseconds);
  if (!QCoreApplication::instance()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  fired_ = false;
  timer_->start();
  // A handler run during the wait may delete the component.
  QPointer<TMachPause> self(this);
  // Waiting for more events instead of spinning: each round still serves everything
  // pending, without burning a processor for the whole pause.
  while (self && !fired_)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  if (self) timer_->stop();
}

}  // namespace textlib
