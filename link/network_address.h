// A serial line offered on the network by a device server, as the port table names it:
//   tcp://HOST:PORT       the line's bytes as they are (a raw TCP socket)
//   rfc2217://HOST:PORT   Telnet with the COM-PORT option, which also sets the line remotely
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvella::link {

enum class NetworkProtocol { Raw, Rfc2217 };

struct NetworkAddress {
  NetworkProtocol protocol = NetworkProtocol::Raw;
  std::string host;  // without the brackets of an IPv6 address
  std::uint16_t port = 0;
};

// Whether a port table entry is meant as a network address ("scheme://..."), well formed or not.
bool IsNetworkEntry(std::string_view entry);

// The address, or nothing when the entry is not a well-formed tcp:// or rfc2217:// address.
std::optional<NetworkAddress> ParseNetworkAddress(std::string_view entry);

// Why a port list cannot be taken because of a network entry, naming the entry; nothing when every
// network entry in it is well formed.
std::optional<std::string> BadNetworkEntry(std::string_view list);

}  // namespace corvella::link
