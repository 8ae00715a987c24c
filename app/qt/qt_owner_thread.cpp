#include "app/qt/qt_owner_thread.h"

#include <QMetaObject>
#include <utility>

namespace corvella {

QtOwnerThread::QtOwnerThread(QObject* parent) : QObject(parent) {}

void QtOwnerThread::Post(std::function<void()> task) {
  if (!task) return;
  // A queued invocation only appends an event to the receiver's queue, so the poster never waits
  // for the Qt thread, not even when it is busy in a modal dialog.
  QMetaObject::invokeMethod(
      this, [task = std::move(task)]() { task(); }, Qt::QueuedConnection);
}

}  // namespace corvella
