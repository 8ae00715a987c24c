// The protocol engine's timers on Qt's event loop: one precise Qt timer per engine timer ID.
#pragma once

#include <QObject>
#include <map>

#include "link/timer_host.h"

namespace corvella {

class QtTimerHost : public QObject, public link::TimerHost {
  Q_OBJECT

 public:
  explicit QtTimerHost(QObject* parent = nullptr);
  ~QtTimerHost() override;

  // Ticks go to `client`; nullptr drops them (the timers keep running).
  void SetClient(link::TimerClient* client) override { client_ = client; }

  void ArmTimer(int id, int intervalMs) override;
  void KillTimer(int id) override;
  bool IsArmed(int id) const override;
  void KillAll();

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  link::TimerClient* client_ = nullptr;
  std::map<int, int> qtIdByEngineId_;
  std::map<int, int> engineIdByQtId_;
};

}  // namespace corvella
