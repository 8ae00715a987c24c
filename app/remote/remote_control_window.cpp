#include "app/remote/remote_control_window.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/qt/qt_reactor.h"
#include "app/tools/tuning_history.h"
#include "app/window/main_view.h"
#include "remote/core_line.h"
#include "remote/osc_server.h"
#include "remote/remote_hub.h"

namespace corvella::app {
namespace {

constexpr int kDefaultUdpPort = 9000;
constexpr int kLogLines = 500;

}  // namespace

RemoteControlWindow::RemoteControlWindow(MainView& view, QWidget* parent)
    : QDialog(parent), view_(view), reactor_(std::make_unique<QtReactor>()) {
  setWindowTitle(QString::fromLatin1(kRemoteControlTitle));
  auto* form = new QFormLayout;
  listen_ = new QLineEdit(QStringLiteral("127.0.0.1"), this);
  udp_ = new QSpinBox(this);
  udp_->setRange(0, 65535);
  udp_->setValue(kDefaultUdpPort);
  udp_->setSpecialValueText(QStringLiteral("any free port"));
  tcp_ = new QSpinBox(this);
  tcp_->setRange(-1, 65535);
  tcp_->setValue(-1);
  tcp_->setSpecialValueText(QStringLiteral("off"));
  form->addRow(QStringLiteral("Listen on:"), listen_);
  form->addRow(QStringLiteral("OSC over UDP, port:"), udp_);
  form->addRow(QStringLiteral("OSC over TCP, port:"), tcp_);
  start_ = new QPushButton(QStringLiteral("Start"), this);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  log_ = new QPlainTextEdit(this);
  log_->setReadOnly(true);
  log_->setMaximumBlockCount(kLogLines);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(start_);
  layout->addWidget(status_);
  layout->addWidget(log_);
  connect(start_, &QPushButton::clicked, this, [this] {
    if (Serving()) {
      Stop();
    } else {
      Start();
    }
  });
}

RemoteControlWindow::~RemoteControlWindow() {
  Stop();
}

int RemoteControlWindow::UdpPort() const {
  return osc_ ? osc_->UdpPort() : 0;
}

int RemoteControlWindow::TcpPort() const {
  return osc_ ? osc_->TcpPort() : 0;
}

void RemoteControlWindow::Log(const std::string& line) {
  log_->appendPlainText(QString::fromLatin1(line.c_str()));
}

bool RemoteControlWindow::Start() {
  if (Serving()) return true;
  if (view_.session().link.linkConnected == 0) {
    status_->setText(QString::fromLatin1(kConnectFirstText));
    return false;
  }
  const auto log = [this](const std::string& line) { Log(line); };
  hub_ = std::make_unique<remote::RemoteHub>(log);
  line_ = std::make_unique<remote::CoreLine>(view_.controller(), *reactor_, hub_->Observer(),
                                             [this](const ParameterRef& ref) {
                                               // As a page edit: a step of the history, and every
                                               // page shows the new value.
                                               view_.history().ParameterEdited(ref);
                                               view_.ShowSet();
                                             });
  hub_->AddLine(*line_);
  osc_ = std::make_unique<remote::OscServer>(*reactor_, *hub_, log);
  const std::string address = listen_->text().toStdString();
  std::string error;
  bool ok = osc_->ListenUdp(address, udp_->value(), error);
  if (ok && tcp_->value() >= 0) ok = osc_->ListenTcp(address, tcp_->value(), error);
  if (!ok) {
    Stop();
    status_->setText(QString::fromLocal8Bit(error.c_str()));
    return false;
  }
  Follow();
  QString text = QStringLiteral("Serving unit %1 over OSC on %2, UDP port %3")
                     .arg(QString::fromStdString(hub_->UnitKeys().front()), listen_->text())
                     .arg(osc_->UdpPort());
  if (osc_->TcpPort() != 0) text += QStringLiteral(", TCP port %1").arg(osc_->TcpPort());
  status_->setText(text + QLatin1Char('.'));
  start_->setText(QStringLiteral("Stop"));
  for (QWidget* w : std::initializer_list<QWidget*>{listen_, udp_, tcp_}) w->setEnabled(false);
  return true;
}

void RemoteControlWindow::Follow() {
  MainView::Follower follower;
  follower.chainEnded = [this](link::Chain chain, link::Outcome outcome) {
    if (line_) line_->ChainEnded(chain, outcome);
  };
  follower.editAnswered = [this](const ParameterRef& ref, std::string_view frame, bool right) {
    if (line_) line_->EditAnswered(ref, frame, right);
  };
  follower.linkStateChanged = [this] {
    if (line_) line_->LinkStateChanged();
  };
  view_.SetFollower(std::move(follower));
}

void RemoteControlWindow::Stop() {
  view_.SetFollower({});
  osc_.reset();
  line_.reset();
  hub_.reset();
  start_->setText(QStringLiteral("Start"));
  status_->setText(QStringLiteral("Not serving."));
  for (QWidget* w : std::initializer_list<QWidget*>{listen_, udp_, tcp_}) w->setEnabled(true);
}

}  // namespace corvella::app
