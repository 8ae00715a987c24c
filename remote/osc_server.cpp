#include "remote/osc_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace corvella::remote {
namespace {

constexpr std::uint8_t kSlipEnd = 0xC0;
constexpr std::uint8_t kSlipEsc = 0xDB;
constexpr std::uint8_t kSlipEscEnd = 0xDC;
constexpr std::uint8_t kSlipEscEsc = 0xDD;
// UDP peers that neither subscribe nor wait for an echo are forgotten after this long.
constexpr std::chrono::seconds kIdlePeer{60};

std::string NumericHost(const sockaddr_storage& a) {
  char text[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
  } else if (a.ss_family == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
  }
  return text;
}

int PortOf(const sockaddr_storage& a) {
  if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
  if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
  return 0;
}

void SetPort(sockaddr_storage& a, int port) {
  const auto p = htons(static_cast<std::uint16_t>(port));
  if (a.ss_family == AF_INET) reinterpret_cast<sockaddr_in&>(a).sin_port = p;
  if (a.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6&>(a).sin6_port = p;
}

// A socket bound to `address`:`port`, or -1 with why.
int Bind(const std::string& address, int port, int type, int& bound, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = type;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found); rc != 0) {
    error = address + ": " + ::gai_strerror(rc);
    return -1;
  }
  int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd >= 0 && type == SOCK_STREAM) {
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 ||
      (type == SOCK_STREAM && ::listen(fd, 16) != 0)) {
    error = address + ":" + service + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    ::freeaddrinfo(found);
    return -1;
  }
  ::freeaddrinfo(found);
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  bound = PortOf(local);
  return fd;
}

std::optional<int> PortArgument(const OscMessage& m) {
  if (m.foreignType || m.args.size() != 1) return std::nullopt;
  const int* port = std::get_if<int>(&m.args[0]);
  if (port == nullptr || *port < 0 || *port > 65535) return std::nullopt;
  return *port;
}

}  // namespace

OscServer::OscServer(Reactor& loop, RemoteHub& hub, std::function<void(const std::string&)> log)
    : loop_(loop), hub_(hub), log_(std::move(log)) {
  hub_.AddFrontEnd(this);
  purge_ = loop_.Every(1000, [this] { Purge(); });
}

OscServer::~OscServer() {
  loop_.Cancel(purge_);
  Close();
  hub_.RemoveFrontEnd(this);
}

bool OscServer::ListenUdp(const std::string& address, int port, std::string& error) {
  udpFd_ = Bind(address, port, SOCK_DGRAM, udpPort_, error);
  if (udpFd_ < 0) return false;
  loop_.Watch(udpFd_, [this] { OnUdp(); });
  return true;
}

bool OscServer::ListenTcp(const std::string& address, int port, std::string& error) {
  tcpFd_ = Bind(address, port, SOCK_STREAM, tcpPort_, error);
  if (tcpFd_ < 0) return false;
  loop_.Watch(tcpFd_, [this] { OnAccept(); });
  return true;
}

void OscServer::Close() {
  for (int* fd : {&udpFd_, &tcpFd_}) {
    if (*fd < 0) continue;
    loop_.Unwatch(*fd);
    ::close(*fd);
    *fd = -1;
  }
  std::vector<Client> connections;
  for (const auto& [client, peer] : peers_) {
    if (peer.tcpFd >= 0) connections.push_back(client);
  }
  for (const Client c : connections) DropConnection(c);
  subscribers_.clear();
}

Client OscServer::UdpPeer(const sockaddr_storage& address, socklen_t length) {
  const std::string host = NumericHost(address);
  const std::string key = host + " " + std::to_string(PortOf(address));
  const auto known = udpPeers_.find(key);
  if (known != udpPeers_.end()) {
    peers_[known->second].lastSeen = Clock::now();
    return known->second;
  }
  const Client client = nextClient_++;
  Peer& peer = peers_[client];
  peer.address = address;
  peer.addressLength = length;
  peer.host = host;
  peer.lastSeen = Clock::now();
  udpPeers_[key] = client;
  return client;
}

void OscServer::OnUdp() {
  std::vector<std::uint8_t> buffer(kMaxPacketSize + 1);
  while (udpFd_ >= 0) {
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const ssize_t n = ::recvfrom(udpFd_, buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return;
    TakePacket(UdpPeer(from, length), buffer.data(), static_cast<std::size_t>(n));
  }
}

void OscServer::OnAccept() {
  while (tcpFd_ >= 0) {
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const int fd = ::accept4(tcpFd_, reinterpret_cast<sockaddr*>(&from), &length,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    const auto open = std::count_if(peers_.begin(), peers_.end(),
                                    [](const auto& p) { return p.second.tcpFd >= 0; });
    if (static_cast<std::size_t>(open) >= kMaxTcpConnections) {
      ::close(fd);
      continue;
    }
    const Client client = nextClient_++;
    Peer& peer = peers_[client];
    peer.tcpFd = fd;
    peer.address = from;
    peer.addressLength = length;
    peer.host = NumericHost(from);
    peer.lastSeen = Clock::now();
    loop_.Watch(fd, [this, client] { OnTcp(client); });
  }
}

void OscServer::OnTcp(Client client) {
  const auto it = peers_.find(client);
  if (it == peers_.end()) return;
  std::uint8_t buffer[4096];
  const ssize_t n = ::recv(it->second.tcpFd, buffer, sizeof buffer, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    DropConnection(client);
    return;
  }
  if (n > 0) TakeStream(client, buffer, static_cast<std::size_t>(n));
}

void OscServer::DropConnection(Client client) {
  const auto it = peers_.find(client);
  if (it == peers_.end()) return;
  loop_.Unwatch(it->second.tcpFd);
  ::close(it->second.tcpFd);
  peers_.erase(it);
  subscribers_.erase(client);
}

void OscServer::TakeStream(Client client, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    auto it = peers_.find(client);
    if (it == peers_.end()) return;
    Peer& peer = it->second;
    const std::uint8_t byte = data[i];
    if (peer.framing == Framing::Unknown) {
      // OSC 1.1 streams begin with a SLIP END; OSC 1.0 streams with a length.
      peer.framing = byte == kSlipEnd ? Framing::Slip : Framing::Length;
    }
    if (peer.framing == Framing::Slip) {
      if (byte == kSlipEnd) {
        if (!peer.input.empty()) {
          const std::vector<std::uint8_t> packet = std::move(peer.input);
          peer.input.clear();
          TakePacket(client, packet.data(), packet.size());
          continue;  // the handling may have dropped the connection
        }
      } else if (byte == kSlipEsc) {
        peer.escaped = true;
      } else {
        const std::uint8_t plain = !peer.escaped         ? byte
                                   : byte == kSlipEscEnd ? kSlipEnd
                                   : byte == kSlipEscEsc ? kSlipEsc
                                                         : byte;
        peer.escaped = false;
        peer.input.push_back(plain);
      }
      if (peer.input.size() > kMaxPacketSize) DropConnection(client);
      continue;
    }
    peer.input.push_back(byte);
    if (peer.input.size() < 4) continue;
    const std::uint32_t length = (std::uint32_t{peer.input[0]} << 24) |
                                 (std::uint32_t{peer.input[1]} << 16) |
                                 (std::uint32_t{peer.input[2]} << 8) | peer.input[3];
    if (length == 0 || length > kMaxPacketSize) {
      DropConnection(client);
      return;
    }
    if (peer.input.size() == 4 + length) {
      const std::vector<std::uint8_t> packet(peer.input.begin() + 4, peer.input.end());
      peer.input.clear();
      TakePacket(client, packet.data(), packet.size());
    }
  }
}

void OscServer::TakePacket(Client client, const std::uint8_t* data, std::size_t size) {
  const auto messages = DecodePacket(data, size);
  // A packet that is not well formed is dropped whole: none of it reaches a unit.
  if (!messages) return;
  for (const OscMessage& m : *messages) {
    if (peers_.count(client) == 0) return;
    Handle(client, m);
  }
}

void OscServer::Handle(Client from, const OscMessage& m) {
  if (m.path == kSubscribeAddress || m.path == kUnsubscribeAddress) {
    HandleSubscribe(from, m, m.path == kSubscribeAddress);
    return;
  }
  if (m.path == kReplyPortAddress) {
    HandleReplyPort(from, m);
    return;
  }
  if (m.path == kUnitsAddress && m.args.empty()) {
    std::vector<Value> keys;
    for (const std::string& key : hub_.UnitKeys()) keys.emplace_back(key);
    Send(Destination(from), EncodeMessage(kUnitsAddress, keys));
    return;
  }
  const auto address = ParseAddress(m.path);
  if (!address) {
    SendError(from, m.path + ": " + std::string(kUnknownAddress));
    return;
  }
  if (m.foreignType || m.args.size() > 1) {
    SendError(from, m.path + ": " + std::string(kWrongType));
    return;
  }
  if (m.args.empty()) {
    const RemoteHub::Answer answer = hub_.Query(address->unit, address->node);
    if (answer.value) {
      Send(Destination(from), EncodeMessage(m.path, {*answer.value}));
    } else {
      SendError(from, m.path + ": " + answer.error);
    }
    return;
  }
  if (const auto refused = hub_.Set(address->unit, address->node, m.args[0], {this, from})) {
    SendError(from, m.path + ": " + *refused);
  }
}

void OscServer::HandleSubscribe(Client from, const OscMessage& m, bool subscribe) {
  Client who = from;
  if (!m.args.empty()) {
    const auto port = PortArgument(m);
    const Peer& peer = peers_[from];
    if (!port || *port == 0) {
      SendError(from, m.path + ": " + std::string(kWrongType));
      return;
    }
    sockaddr_storage address = peer.address;
    SetPort(address, *port);
    who = UdpPeer(address, peer.addressLength);
  }
  if (!subscribe) {
    subscribers_.erase(who);
    return;
  }
  if (subscribers_.count(who) == 0 && subscribers_.size() >= kMaxSubscribers) {
    Purge();
    if (subscribers_.size() >= kMaxSubscribers) {
      SendError(from, m.path + ": too many subscribers");
      return;
    }
  }
  subscribers_[who] = Clock::now() + kLease;
}

void OscServer::HandleReplyPort(Client from, const OscMessage& m) {
  const auto port = PortArgument(m);
  if (!port) {
    SendError(from, m.path + ": " + std::string(kWrongType));
    return;
  }
  const std::string host = peers_[from].host;
  if (*port == 0) {
    replyPorts_.erase(host);
  } else {
    replyPorts_[host] = {*port, Clock::now() + kLease};
  }
}

Client OscServer::Destination(Client client) {
  const auto it = peers_.find(client);
  if (it == peers_.end() || it->second.tcpFd >= 0) return client;
  const auto reply = replyPorts_.find(it->second.host);
  if (reply == replyPorts_.end() || reply->second.until < Clock::now()) return client;
  sockaddr_storage address = it->second.address;
  SetPort(address, reply->second.port);
  return UdpPeer(address, it->second.addressLength);
}

void OscServer::Send(Client to, const std::vector<std::uint8_t>& packet) {
  const auto it = peers_.find(to);
  if (it == peers_.end() || packet.empty()) return;
  Peer& peer = it->second;
  if (peer.tcpFd < 0) {
    if (udpFd_ >= 0) {
      ::sendto(udpFd_, packet.data(), packet.size(), MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&peer.address), peer.addressLength);
    }
    return;
  }
  std::vector<std::uint8_t> framed;
  if (peer.framing == Framing::Slip) {
    framed.push_back(kSlipEnd);
    for (const std::uint8_t b : packet) {
      if (b == kSlipEnd || b == kSlipEsc) {
        framed.push_back(kSlipEsc);
        framed.push_back(b == kSlipEnd ? kSlipEscEnd : kSlipEscEsc);
      } else {
        framed.push_back(b);
      }
    }
    framed.push_back(kSlipEnd);
  } else {
    const auto n = static_cast<std::uint32_t>(packet.size());
    framed = {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
              static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
    framed.insert(framed.end(), packet.begin(), packet.end());
  }
  // A client that does not read its replies is let go rather than let it hold up the units.
  const ssize_t sent =
      ::send(peer.tcpFd, framed.data(), framed.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent != static_cast<ssize_t>(framed.size())) DropConnection(to);
}

void OscServer::SendError(Client to, const std::string& text) {
  log_("OSC error: " + text);
  Send(Destination(to), EncodeMessage(kErrorAddress, {text}));
}

void OscServer::Changed(std::string_view unit, const Node& node, const Value& value,
                        const std::vector<Client>& requesters) {
  const auto now = Clock::now();
  std::set<Client> to;
  for (const Client c : requesters) to.insert(Destination(c));
  for (const auto& [client, until] : subscribers_) {
    if (until >= now) to.insert(client);
  }
  if (to.empty()) return;
  const auto packet = EncodeMessage(AddressOf(unit, node), {value});
  for (const Client c : to) Send(c, packet);
}

void OscServer::Failed(Client client, std::string_view unit, const Node& node,
                       std::string_view why) {
  SendError(client, AddressOf(unit, node) + ": " + std::string(why));
}

void OscServer::Purge() {
  const auto now = Clock::now();
  std::erase_if(subscribers_, [now](const auto& s) { return s.second < now; });
  std::erase_if(replyPorts_, [now](const auto& r) { return r.second.until < now; });
  std::erase_if(udpPeers_, [&](const auto& entry) {
    const Client c = entry.second;
    if (subscribers_.count(c) != 0 || peers_[c].lastSeen + kIdlePeer > now) return false;
    peers_.erase(c);
    return true;
  });
}

}  // namespace corvella::remote
