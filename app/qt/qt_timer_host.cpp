#include "app/qt/qt_timer_host.h"

#include <QTimerEvent>

namespace corvella {

QtTimerHost::QtTimerHost(QObject* parent) : QObject(parent) {}

QtTimerHost::~QtTimerHost() {
  KillAll();
}

void QtTimerHost::ArmTimer(int id, int intervalMs) {
  KillTimer(id);
  // Coarse timers may fire up to 5% early or late; the engine counts ticks, so its timeouts would
  // drift with them.
  const int qtId = startTimer(intervalMs < 0 ? 0 : intervalMs, Qt::PreciseTimer);
  if (qtId == 0) return;
  qtIdByEngineId_[id] = qtId;
  engineIdByQtId_[qtId] = id;
}

void QtTimerHost::KillTimer(int id) {
  const auto it = qtIdByEngineId_.find(id);
  if (it == qtIdByEngineId_.end()) return;
  killTimer(it->second);
  engineIdByQtId_.erase(it->second);
  qtIdByEngineId_.erase(it);
}

bool QtTimerHost::IsArmed(int id) const {
  return qtIdByEngineId_.count(id) != 0;
}

void QtTimerHost::KillAll() {
  for (const auto& [engineId, qtId] : qtIdByEngineId_) killTimer(qtId);
  qtIdByEngineId_.clear();
  engineIdByQtId_.clear();
}

void QtTimerHost::timerEvent(QTimerEvent* event) {
  const auto it = engineIdByQtId_.find(event->timerId());
  // A tick already queued for a timer that was killed or re-armed since then is stale.
  if (it == engineIdByQtId_.end()) return;
  if (client_ != nullptr) client_->OnTimer(it->second);
}

}  // namespace corvella
