// Tools > Remote Control...: the window's connected unit served over OSC with the address tree of
// `corvella-cli serve` (docs/remote-control.md). A remote set changes the PC's set as a page edit
// does: the pages follow and the history takes the step; the edit goes through the core's queue.
// Serving goes on while the window is hidden, until Stop.
#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace corvella {
class QtReactor;
namespace remote {
class CoreLine;
class OscServer;
class RemoteHub;
}  // namespace remote
}  // namespace corvella

namespace corvella::app {

class MainView;

inline constexpr char kRemoteControlTitle[] = "Remote Control";
inline constexpr char kConnectFirstText[] = "Connect a unit first (Enable Communications).";

class RemoteControlWindow : public QDialog {
  Q_OBJECT

 public:
  explicit RemoteControlWindow(MainView& view, QWidget* parent = nullptr);
  ~RemoteControlWindow() override;

  // Starts serving on the address and ports the window shows; false (with why in the status)
  // when no unit is connected or a port cannot be had.
  bool Start();
  void Stop();
  bool Serving() const { return osc_ != nullptr; }
  // The ports bound (0 when not serving over that transport).
  int UdpPort() const;
  int TcpPort() const;

  QLineEdit* listenEdit() const { return listen_; }
  QSpinBox* udpPortBox() const { return udp_; }
  QSpinBox* tcpPortBox() const { return tcp_; }
  QPushButton* startButton() const { return start_; }
  QLabel* statusLabel() const { return status_; }
  QPlainTextEdit* logView() const { return log_; }

 private:
  void Log(const std::string& line);
  void Follow();

  MainView& view_;
  std::unique_ptr<QtReactor> reactor_;
  std::unique_ptr<remote::RemoteHub> hub_;
  std::unique_ptr<remote::CoreLine> line_;
  std::unique_ptr<remote::OscServer> osc_;
  QLineEdit* listen_;
  QSpinBox* udp_;
  QSpinBox* tcp_;
  QPushButton* start_;
  QLabel* status_;
  QPlainTextEdit* log_;
};

}  // namespace corvella::app
