// The loopback address for tests and benchmarks of the servers: a free port, and an OSC message
// built by hand (one float), as a desk puts it on the wire.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corvella::test {

// A free port on the loopback address for `type` (SOCK_DGRAM or SOCK_STREAM), as the system
// hands one out; it stays free unless another program takes it meanwhile.
inline int FreePort(int type) {
  const int fd = ::socket(AF_INET, type, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(fd);
  return ntohs(a.sin_port);
}

inline std::vector<std::uint8_t> OscFloatMessage(const std::string& path, float value) {
  std::vector<std::uint8_t> packet(path.begin(), path.end());
  packet.resize((path.size() / 4 + 1) * 4, 0);
  for (const char c : std::string(",f\0\0", 4)) packet.push_back(static_cast<std::uint8_t>(c));
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int shift = 24; shift >= 0; shift -= 8) {
    packet.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return packet;
}

}  // namespace corvella::test
