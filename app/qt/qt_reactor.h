// The remote-control servers' event loop on Qt's: posted tasks, watched sockets and periodic tasks
// all run on the thread this object lives on (the window's).
#pragma once

#include <QObject>
#include <map>

#include "remote/reactor.h"

class QSocketNotifier;
class QTimer;

namespace corvella {

class QtReactor final : public QObject, public remote::Reactor {
  Q_OBJECT

 public:
  explicit QtReactor(QObject* parent = nullptr);
  ~QtReactor() override;

  void Post(std::function<void()> task) override;
  void Watch(int fd, std::function<void()> onReadable) override;
  void Unwatch(int fd) override;
  const void* Every(int ms, std::function<void()> task) override;
  void Cancel(const void* periodic) override;

 private:
  std::map<int, QSocketNotifier*> notifiers_;
  std::map<const void*, QTimer*> timers_;
};

}  // namespace corvella
