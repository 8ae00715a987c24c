// OSC over UDP and TCP for the remote hub: queries, sets with their echoes, subscriptions with a
// lease, reply ports for one-shot senders, and errors, as docs/remote-control.md describes. The
// sockets are the event loop's; liblo encodes and decodes the packets (osc_packet.h).
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "remote/osc_packet.h"
#include "remote/reactor.h"
#include "remote/remote_hub.h"

namespace corvella::remote {

// How long a subscription or a reply port lasts unless renewed.
inline constexpr std::chrono::seconds kLease{10};
inline constexpr std::size_t kMaxSubscribers = 64;
inline constexpr std::size_t kMaxTcpConnections = 64;

inline constexpr std::string_view kSubscribeAddress = "/corvella/subscribe";
inline constexpr std::string_view kUnsubscribeAddress = "/corvella/unsubscribe";
inline constexpr std::string_view kReplyPortAddress = "/corvella/replyport";
inline constexpr std::string_view kUnitsAddress = "/corvella/units";
inline constexpr std::string_view kErrorAddress = "/corvella/error";

class OscServer final : public RemoteFrontEnd {
 public:
  OscServer(Reactor& loop, RemoteHub& hub, std::function<void(const std::string&)> log);
  ~OscServer() override;
  OscServer(const OscServer&) = delete;
  OscServer& operator=(const OscServer&) = delete;

  // Binds `address` (a numeric address or a host name) and `port` (0: any free port). False with
  // the system's reason in `error`.
  bool ListenUdp(const std::string& address, int port, std::string& error);
  bool ListenTcp(const std::string& address, int port, std::string& error);
  // The ports bound, 0 when not listening.
  int UdpPort() const { return udpPort_; }
  int TcpPort() const { return tcpPort_; }
  // Closes every socket; nothing more is sent.
  void Close();

  void Changed(std::string_view unit, const Node& node, const Value& value,
               const std::vector<Client>& requesters) override;
  void Failed(Client client, std::string_view unit, const Node& node,
              std::string_view why) override;

 private:
  using Clock = std::chrono::steady_clock;
  enum class Framing { Unknown, Length, Slip };
  struct Peer {
    int tcpFd = -1;  // a TCP connection; else a UDP address
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    std::string host;  // numeric, as the reply ports are kept by it
    Clock::time_point lastSeen{};
    Framing framing = Framing::Unknown;
    std::vector<std::uint8_t> input;
    bool escaped = false;
  };

  void OnUdp();
  void OnAccept();
  void OnTcp(Client client);
  void DropConnection(Client client);
  // Splits a connection's stream into packets.
  void TakeStream(Client client, const std::uint8_t* data, std::size_t size);
  void TakePacket(Client client, const std::uint8_t* data, std::size_t size);
  void Handle(Client from, const OscMessage& message);
  void HandleSubscribe(Client from, const OscMessage& message, bool subscribe);
  void HandleReplyPort(Client from, const OscMessage& message);
  Client UdpPeer(const sockaddr_storage& address, socklen_t length);
  // Where answers for `client` go: its reply port when its host named one.
  Client Destination(Client client);
  void Send(Client to, const std::vector<std::uint8_t>& packet);
  void SendError(Client to, const std::string& text);
  void Purge();

  Reactor& loop_;
  RemoteHub& hub_;
  std::function<void(const std::string&)> log_;
  const void* purge_ = nullptr;
  int udpFd_ = -1;
  int tcpFd_ = -1;
  int udpPort_ = 0;
  int tcpPort_ = 0;
  Client nextClient_ = 1;
  std::map<Client, Peer> peers_;
  std::map<std::string, Client> udpPeers_;           // "host port" -> client
  std::map<Client, Clock::time_point> subscribers_;  // -> the lease's end
  struct ReplyPort {
    int port = 0;
    Clock::time_point until;
  };
  std::map<std::string, ReplyPort> replyPorts_;  // by host
};

}  // namespace corvella::remote
