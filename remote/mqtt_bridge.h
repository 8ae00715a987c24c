// MQTT for the remote hub: every unit's state as retained topics below a prefix, sets through
// ".../set" topics, an availability topic with the broker's last will, and Home Assistant's
// discovery of the levels and the program recall. libmosquitto runs its network thread; its
// messages are handed to the event loop, so the hub is only ever touched on the loop's thread.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "remote/reactor.h"
#include "remote/remote_hub.h"

struct mosquitto;
struct mosquitto_message;

namespace corvella::remote {

struct MqttSettings {
  std::string host = "localhost";
  int port = 1883;
  std::string prefix = "corvella";
  std::optional<std::string> user;
  std::string password;
  std::optional<std::string> caFile;  // TLS, checking the broker against this CA
};

// "HOST", "HOST:PORT", "[V6]:PORT"; nullopt when the port is not 1..65535.
std::optional<MqttSettings> ParseBroker(std::string_view text);

inline constexpr std::string_view kDiscoveryPrefix = "homeassistant";
inline constexpr std::string_view kAvailabilityTopic = "availability";
inline constexpr std::string_view kErrorTopic = "error";
inline constexpr std::string_view kSetSuffix = "/set";

// The Home Assistant discovery messages of one unit (topic, JSON payload): a number entity for
// each level and a select for the program recall, in one device.
struct Discovery {
  std::string topic;
  std::string payload;
};
std::vector<Discovery> DiscoveryFor(std::string_view prefix, std::string_view unit,
                                    std::string_view deviceName);

class MqttBridge final : public RemoteFrontEnd {
 public:
  MqttBridge(Reactor& loop, RemoteHub& hub, MqttSettings settings,
             std::function<void(const std::string&)> log);
  ~MqttBridge() override;
  MqttBridge(const MqttBridge&) = delete;
  MqttBridge& operator=(const MqttBridge&) = delete;

  // Starts connecting; Connected() or Refused() tell how it went. False (with why) when it cannot
  // even start (a bad CA file, a host that does not resolve).
  bool Start(std::string& error);
  // Connected, with the broker's confirmation that sets are taken.
  bool Connected() const { return connected_ && subscribed_; }
  // The broker refused the connection (its reason in RefusedWhy()); it is not tried again.
  bool Refused() const { return !refusal_.empty(); }
  const std::string& RefusedWhy() const { return refusal_; }
  // "offline" on the availability topic, then a clean disconnect.
  void Stop();

  void Changed(std::string_view unit, const Node& node, const Value& value,
               const std::vector<Client>& requesters) override;
  void Failed(Client client, std::string_view unit, const Node& node,
              std::string_view why) override;

 private:
  static void OnConnect(mosquitto* m, void* self, int rc);
  static void OnMessage(mosquitto* m, void* self, const mosquitto_message* message);
  static void OnSubscribe(mosquitto* m, void* self, int mid, int count, const int* granted);
  // On the loop's thread.
  void Connect(int rc);
  void Take(const std::string& topic, const std::string& payload);
  void Publish(const std::string& topic, std::string_view payload, bool retain);
  std::string Topic(std::string_view unit, const Node& node) const;

  Reactor& loop_;
  RemoteHub& hub_;
  MqttSettings settings_;
  std::function<void(const std::string&)> log_;
  mosquitto* client_ = nullptr;
  bool connected_ = false;
  bool subscribed_ = false;
  bool threadStarted_ = false;
  std::string refusal_;
  // Tasks posted by the network thread run only while the bridge lives.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace corvella::remote
