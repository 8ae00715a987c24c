#include "app/qt/qt_reactor.h"

#include <QSocketNotifier>
#include <QTimer>

namespace corvella {

QtReactor::QtReactor(QObject* parent) : QObject(parent) {}

QtReactor::~QtReactor() = default;

void QtReactor::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void QtReactor::Watch(int fd, std::function<void()> onReadable) {
  Unwatch(fd);
  auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [task = std::move(onReadable)] { task(); });
  notifiers_[fd] = notifier;
}

void QtReactor::Unwatch(int fd) {
  const auto it = notifiers_.find(fd);
  if (it == notifiers_.end()) return;
  // It may be the notifier whose signal runs now: it goes once that is over.
  it->second->setEnabled(false);
  it->second->deleteLater();
  notifiers_.erase(it);
}

const void* QtReactor::Every(int ms, std::function<void()> task) {
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [task = std::move(task)] { task(); });
  timer->start(ms);
  timers_[timer] = timer;
  return timer;
}

void QtReactor::Cancel(const void* periodic) {
  const auto it = timers_.find(periodic);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second->deleteLater();
  timers_.erase(it);
}

}  // namespace corvella
