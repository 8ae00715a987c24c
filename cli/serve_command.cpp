#include "cli/serve_command.h"

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/unit_commands.h"
#include "core/unit_controller.h"
#include "fleet/fleet.h"
#include "link/journal.h"
#include "remote/event_loop.h"
#include "remote/mqtt_bridge.h"
#include "remote/osc_server.h"
#include "remote/remote_hub.h"
#include "remote/served_line.h"
#include "remote/web_protocol.h"
#include "remote/web_server.h"
#include "sim/demo_unit.h"

namespace corvella::cli {
namespace {

// How long the broker may take to take the connection at start.
constexpr int kBrokerWaitMs = 15000;

}  // namespace

int RunServeCommand(const Invocation& inv, link::PortTable ports, std::FILE* err) {
  const auto say = [err](const std::string& line) {
    std::fprintf(err, "corvella-cli: serve: %s\n", line.c_str());
    std::fflush(err);
  };
  const auto log = [&](const std::string& line) {
    if (!inv.quiet) say(line);
  };
  remote::EventLoop loop;
  if (!loop.Ok()) {
    say("cannot start the event loop");
    return kExitUnit;
  }
  std::unique_ptr<sim::VirtualUnitHost> demo;
  if (inv.demo) {
    std::string error;
    demo = sim::StartDemoUnit(&error);
    if (!demo) {
      say("cannot start the virtual unit: " + error);
      return kExitUnit;
    }
    ports.PutFirst(demo->SlavePath());
  }
  fleet::Request scan;
  scan.job = fleet::Job::Scan;
  const std::vector<std::string> served = fleet::PortsToWork(ports, scan);
  if (served.empty()) {
    say("no serial ports to search (--ports LIST)");
    return kExitUnit;
  }

  // The broker and the password are checked before any port is opened.
  std::optional<remote::MqttSettings> mqttSettings;
  if (inv.mqttBroker) {
    mqttSettings = remote::ParseBroker(*inv.mqttBroker);
    if (!mqttSettings) {
      say("--mqtt needs HOST or HOST:PORT (port 1..65535): " + *inv.mqttBroker);
      return kExitUsage;
    }
    mqttSettings->prefix = inv.mqttPrefix;
    mqttSettings->user = inv.mqttUser;
    mqttSettings->caFile = inv.mqttCaFile;
    if (inv.mqttPasswordFile) {
      std::ifstream file(*inv.mqttPasswordFile);
      if (!file || !std::getline(file, mqttSettings->password)) {
        say(*inv.mqttPasswordFile + ": cannot be read");
        return kExitUsage;
      }
      if (!mqttSettings->password.empty() && mqttSettings->password.back() == '\r') {
        mqttSettings->password.pop_back();
      }
    }
  }

  // Every line's frames into one journal, each under its port's name; it outlives the lines.
  link::Journal journal;
  if (inv.logPath && !journal.Open(*inv.logPath)) {
    say(journal.LastError());
    return kExitUsage;
  }
  loop.StopOnSignals();
  remote::RemoteHub hub(log);
  std::vector<std::unique_ptr<remote::ServedLine>> lines;
  for (const std::string& port : served) {
    lines.push_back(std::make_unique<remote::ServedLine>(loop, port, hub.Observer(), inv.fast,
                                                         inv.logPath ? &journal : nullptr));
    hub.AddLine(*lines.back());
  }
  for (auto& line : lines) line->Start();
  // Every step of a search and a reading ends by itself; only a signal cuts this short.
  if (!loop.RunUntil([&hub] { return hub.Ready(); })) {
    say("stopped before the units were read");
    loop.ClearStop();
    hub.SayGoodbye();
    loop.RunUntil([&hub] { return hub.Finished(); }, core::UnitController::ChainLimitMs());
    return kExitOk;
  }
  const std::vector<std::string> keys = hub.UnitKeys();
  if (keys.empty()) {
    say("no unit found");
    return kExitUnit;
  }
  for (const std::string& key : keys) {
    const auto number = hub.Query(key, {remote::NodeKind::ProgramNumber, {}}).value;
    const auto name = hub.Query(key, {remote::NodeKind::ProgramName, {}}).value;
    log("unit " + key + " \"" + hub.DeviceName(key) + "\": program " +
        (number ? remote::ValueText(*number) : "-") + " " +
        (name ? remote::ValueText(*name) : "-"));
  }

  int status = kExitOk;
  {
    remote::OscServer osc(loop, hub, log);
    std::unique_ptr<remote::MqttBridge> mqtt;
    std::string error;
    if (inv.oscUdp) {
      if (osc.ListenUdp(inv.listen, *inv.oscUdp, error)) {
        say("OSC over UDP on " + inv.listen + " port " + std::to_string(osc.UdpPort()));
      } else {
        say("OSC over UDP: " + error);
        status = kExitUnit;
      }
    }
    if (inv.oscTcp && status == kExitOk) {
      if (osc.ListenTcp(inv.listen, *inv.oscTcp, error)) {
        say("OSC over TCP on " + inv.listen + " port " + std::to_string(osc.TcpPort()));
      } else {
        say("OSC over TCP: " + error);
        status = kExitUnit;
      }
    }
    std::unique_ptr<remote::WebServer> web;
    if (inv.httpPort && status == kExitOk) {
      const std::string token = remote::web::NewToken();
      web = std::make_unique<remote::WebServer>(loop, hub, token, log);
      if (token.empty()) {
        say("web page: no random source for the token");
        status = kExitUnit;
      } else if (web->Listen(inv.listen, *inv.httpPort, error)) {
        // The address with the token after '#' opens the page already let in; the part after
        // '#' never leaves the browser.
        const std::string host =
            inv.listen.find(':') != std::string::npos ? "[" + inv.listen + "]" : inv.listen;
        say("web page on http://" + host + ":" + std::to_string(web->Port()) + "/ token " + token +
            " (http://" + host + ":" + std::to_string(web->Port()) + "/#token=" + token + ")");
      } else {
        say("web page: " + error);
        status = kExitUnit;
      }
    }
    if (mqttSettings && status == kExitOk) {
      mqtt = std::make_unique<remote::MqttBridge>(loop, hub, *mqttSettings, log);
      if (!mqtt->Start(error)) {
        say("MQTT: " + error);
        status = kExitUnit;
      } else if (!loop.RunUntil([&mqtt] { return mqtt->Connected() || mqtt->Refused(); },
                                kBrokerWaitMs) ||
                 mqtt->Refused()) {
        say("MQTT: " + (mqtt->Refused() ? "refused: " + mqtt->RefusedWhy()
                                        : std::string("no connection to the broker")));
        status = kExitUnit;
      }
    }
    if (status == kExitOk && !loop.Stopped()) {
      say("serving " + std::to_string(keys.size()) + " unit(s) until SIGINT or SIGTERM");
      loop.RunUntil([] { return false; });
    }
    say("stopping: a goodbye to every unit");
    osc.Close();
    if (web) web->Close();
    if (mqtt) mqtt->Stop();
  }
  loop.ClearStop();
  hub.SayGoodbye();
  // A second signal gives up the goodbyes.
  if (!loop.RunUntil([&hub] { return hub.Finished(); }, core::UnitController::ChainLimitMs())) {
    say("not every unit had its goodbye");
  }
  return status;
}

}  // namespace corvella::cli
