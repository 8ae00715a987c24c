#include "remote/mqtt_bridge.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "model/bounded_number.h"

namespace corvella::remote {
namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kStateQos = 1;

// A unit key or a path as Home Assistant takes it in an object ID.
std::string ObjectId(std::string_view text) {
  std::string out(text);
  std::replace_if(
      out.begin(), out.end(),
      [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-'; }, '_');
  return out;
}

// The unit's name without the dots that pad it.
std::string Trimmed(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

// The library is set up once for the whole program.
void InitLibrary() {
  static const int once = mosquitto_lib_init();
  (void)once;
}

}  // namespace

std::optional<MqttSettings> ParseBroker(std::string_view text) {
  MqttSettings s;
  std::string_view host = text;
  std::optional<std::string_view> port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return std::nullopt;
      port = text.substr(close + 2);
    }
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (host.empty()) return std::nullopt;
  s.host = std::string(host);
  if (port) {
    const auto number = BoundedNumber(*port, 1, 65535);
    if (!number) return std::nullopt;
    s.port = *number;
  }
  return s;
}

std::vector<Discovery> DiscoveryFor(std::string_view prefix, std::string_view unit,
                                    std::string_view deviceName) {
  using json = nlohmann::ordered_json;
  const std::string base = std::string(prefix) + "/" + std::string(unit) + "/";
  const std::string id = "corvella_" + ObjectId(unit);
  const std::string name = Trimmed(std::string(deviceName));
  const json device = {{"identifiers", json::array({id})},
                       {"name", name.empty() ? "Corvella " + std::string(unit) : name},
                       {"manufacturer", "Corvella"},
                       {"model", "two-way active loudspeaker DSP unit"}};
  const json availability =
      json::array({{{"topic", std::string(prefix) + "/" + std::string(kAvailabilityTopic)}},
                   {{"topic", base + "link"}}});
  const auto entity = [&](const std::string& path, const std::string& title) {
    json e = {{"name", title},
              {"unique_id", id + "_" + ObjectId(path)},
              {"state_topic", base + path},
              {"command_topic", base + path + std::string(kSetSuffix)},
              {"availability", availability},
              {"availability_mode", "all"},
              {"device", device}};
    return e;
  };
  std::vector<Discovery> out;
  const struct {
    const char* path;
    const char* title;
  } levels[] = {{"input/mic/level", "MIC level"},
                {"input/line/level", "LINE level"},
                {"output/high/level", "HIGH level"},
                {"output/low/level", "LOW level"}};
  for (const auto& level : levels) {
    json e = entity(level.path, level.title);
    e["min"] = -90.0;
    e["max"] = 12.0;
    e["step"] = 0.5;
    e["unit_of_measurement"] = "dB";
    e["mode"] = "slider";
    out.push_back(
        {std::string(kDiscoveryPrefix) + "/number/" + id + "_" + ObjectId(level.path) + "/config",
         e.dump()});
  }
  json recall = entity("program/recall", "Program");
  recall["options"] = json::array({"1", "2", "3", "4", "5", "6"});
  out.push_back(
      {std::string(kDiscoveryPrefix) + "/select/" + id + "_program_recall/config", recall.dump()});
  return out;
}

MqttBridge::MqttBridge(Reactor& loop, RemoteHub& hub, MqttSettings settings,
                       std::function<void(const std::string&)> log)
    : loop_(loop), hub_(hub), settings_(std::move(settings)), log_(std::move(log)) {
  InitLibrary();
  const std::string id = "corvella-" + std::to_string(::getpid());
  client_ = mosquitto_new(id.c_str(), true, this);
  hub_.AddFrontEnd(this);
}

MqttBridge::~MqttBridge() {
  *alive_ = false;
  hub_.RemoveFrontEnd(this);
  if (threadStarted_) {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
  }
  if (client_ != nullptr) mosquitto_destroy(client_);
}

bool MqttBridge::Start(std::string& error) {
  if (client_ == nullptr) {
    error = "cannot make an MQTT client";
    return false;
  }
  const std::string will = settings_.prefix + "/" + std::string(kAvailabilityTopic);
  mosquitto_will_set(client_, will.c_str(), 7, "offline", kStateQos, true);
  if (settings_.user) {
    mosquitto_username_pw_set(client_, settings_.user->c_str(), settings_.password.c_str());
  }
  if (settings_.caFile) {
    const int rc =
        mosquitto_tls_set(client_, settings_.caFile->c_str(), nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      error = *settings_.caFile + ": " + mosquitto_strerror(rc);
      return false;
    }
  }
  mosquitto_connect_callback_set(client_, &MqttBridge::OnConnect);
  mosquitto_message_callback_set(client_, &MqttBridge::OnMessage);
  mosquitto_subscribe_callback_set(client_, &MqttBridge::OnSubscribe);
  mosquitto_reconnect_delay_set(client_, 1, 30, true);
  int rc = mosquitto_loop_start(client_);
  if (rc == MOSQ_ERR_SUCCESS) {
    threadStarted_ = true;
    rc =
        mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port, kKeepAliveSeconds);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    error = settings_.host + ":" + std::to_string(settings_.port) + ": " +
            (rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc));
    return false;
  }
  return true;
}

void MqttBridge::Stop() {
  if (!connected_) return;
  // Said before the goodbye, in order on the one connection; the will is for a crash.
  Publish(settings_.prefix + "/" + std::string(kAvailabilityTopic), "offline", true);
  connected_ = false;
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, false);
  threadStarted_ = false;
}

void MqttBridge::OnConnect(mosquitto*, void* self, int rc) {
  auto* bridge = static_cast<MqttBridge*>(self);
  bridge->loop_.Post([bridge, rc, alive = std::weak_ptr<std::atomic<bool>>(bridge->alive_)] {
    if (const auto live = alive.lock(); live && *live) bridge->Connect(rc);
  });
}

void MqttBridge::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
  auto* bridge = static_cast<MqttBridge*>(self);
  bridge->loop_.Post([bridge, alive = std::weak_ptr<std::atomic<bool>>(bridge->alive_)] {
    if (const auto live = alive.lock(); live && *live) bridge->subscribed_ = true;
  });
}

void MqttBridge::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  // A retained set is an old command, not one sent now.
  if (message->retain || message->topic == nullptr) return;
  auto* bridge = static_cast<MqttBridge*>(self);
  std::string topic = message->topic;
  std::string payload(static_cast<const char*>(message->payload),
                      static_cast<std::size_t>(std::max(message->payloadlen, 0)));
  bridge->loop_.Post([bridge, topic = std::move(topic), payload = std::move(payload),
                      alive = std::weak_ptr<std::atomic<bool>>(bridge->alive_)] {
    if (const auto live = alive.lock(); live && *live) bridge->Take(topic, payload);
  });
}

void MqttBridge::Connect(int rc) {
  if (rc != 0) {
    // Refused credentials or a refused protocol do not get better by trying again.
    refusal_ = mosquitto_connack_string(rc);
    log_("MQTT: the broker refused the connection: " + refusal_);
    mosquitto_disconnect(client_);
    return;
  }
  connected_ = true;
  log_("MQTT: connected to " + settings_.host + ":" + std::to_string(settings_.port));
  Publish(settings_.prefix + "/" + std::string(kAvailabilityTopic), "online", true);
  hub_.ForEachValue([this](std::string_view unit, const Node& node, const Value& value) {
    Publish(Topic(unit, node), ValueText(value), true);
  });
  for (const std::string& unit : hub_.UnitKeys()) {
    for (const Discovery& d : DiscoveryFor(settings_.prefix, unit, hub_.DeviceName(unit))) {
      Publish(d.topic, d.payload, true);
    }
  }
  // Subscribed last: the broker takes one connection's packets in order, so once it confirms
  // the subscription (Connected()) every state above is retained there.
  const std::string sets = settings_.prefix + "/+/#";
  mosquitto_subscribe(client_, nullptr, sets.c_str(), 1);
}

void MqttBridge::Take(const std::string& topic, const std::string& payload) {
  const std::string head = settings_.prefix + "/";
  if (topic.size() <= head.size() + kSetSuffix.size() || topic.compare(0, head.size(), head) != 0 ||
      topic.compare(topic.size() - kSetSuffix.size(), kSetSuffix.size(), kSetSuffix) != 0) {
    return;  // our own state, the availability, an error
  }
  const std::string path =
      topic.substr(head.size(), topic.size() - head.size() - kSetSuffix.size());
  const std::size_t slash = path.find('/');
  const auto error = [&](std::string_view why) {
    log_("MQTT error: " + topic + ": " + std::string(why));
    Publish(settings_.prefix + "/" + std::string(kErrorTopic), topic + ": " + std::string(why),
            false);
  };
  const auto node =
      slash == std::string::npos ? std::nullopt : ParseNodePath(path.substr(slash + 1));
  if (!node) {
    error(kUnknownAddress);
    return;
  }
  const auto value = ParseValueText(KindOf(*node), payload);
  if (!value) {
    error(kWrongType);
    return;
  }
  if (const auto refused = hub_.Set(path.substr(0, slash), *node, *value, {this, 1})) {
    error(*refused);
  }
}

void MqttBridge::Publish(const std::string& topic, std::string_view payload, bool retain) {
  mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                    payload.data(), kStateQos, retain);
}

std::string MqttBridge::Topic(std::string_view unit, const Node& node) const {
  return settings_.prefix + "/" + std::string(unit) + "/" + NodePath(node);
}

void MqttBridge::Changed(std::string_view unit, const Node& node, const Value& value,
                         const std::vector<Client>&) {
  if (connected_) Publish(Topic(unit, node), ValueText(value), true);
}

void MqttBridge::Failed(Client, std::string_view unit, const Node& node, std::string_view why) {
  if (!connected_) return;
  Publish(settings_.prefix + "/" + std::string(kErrorTopic),
          Topic(unit, node) + std::string(kSetSuffix) + ": " + std::string(why), false);
}

}  // namespace corvella::remote
