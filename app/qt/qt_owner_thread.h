// Hands work from any thread (the serial worker) to the Qt thread this object lives on.
#pragma once

#include <QObject>
#include <functional>

#include "link/port.h"

namespace corvella {

class QtOwnerThread : public QObject, public link::OwnerThread {
  Q_OBJECT

 public:
  explicit QtOwnerThread(QObject* parent = nullptr);

  // Queues `task` on this object's thread and returns at once; tasks run in posting order. Tasks
  // still queued when this object is destroyed are dropped.
  void Post(std::function<void()> task) override;
};

}  // namespace corvella
