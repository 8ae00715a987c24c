#include "link/network_address.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace corvella::link {
namespace {

constexpr std::string_view kSeparator = "://";

bool IsBlank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return out;
}

}  // namespace

bool IsNetworkEntry(std::string_view entry) {
  const std::size_t at = entry.find(kSeparator);
  if (at == std::string_view::npos || at == 0) return false;
  return std::all_of(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(at), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
  });
}

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view entry) {
  if (!IsNetworkEntry(entry)) return std::nullopt;
  const std::size_t at = entry.find(kSeparator);
  NetworkAddress address;
  const std::string scheme = Lower(entry.substr(0, at));
  if (scheme == "tcp") {
    address.protocol = NetworkProtocol::Raw;
  } else if (scheme == "rfc2217") {
    address.protocol = NetworkProtocol::Rfc2217;
  } else {
    return std::nullopt;
  }
  std::string_view rest = entry.substr(at + kSeparator.size());
  std::string_view host;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      return std::nullopt;
    }
    host = rest.substr(1, close - 1);
    rest.remove_prefix(close + 2);
  } else {
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    host = rest.substr(0, colon);
    // A bare IPv6 address would be ambiguous about where the port begins.
    if (host.find(':') != std::string_view::npos) return std::nullopt;
    rest.remove_prefix(colon + 1);
  }
  if (host.empty() || std::any_of(host.begin(), host.end(), IsBlank) ||
      host.find_first_of("/[]@") != std::string_view::npos) {
    return std::nullopt;
  }
  unsigned port = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), port);
  if (error != std::errc() || end != rest.data() + rest.size() || port == 0 || port > 65535) {
    return std::nullopt;
  }
  address.host = std::string(host);
  address.port = static_cast<std::uint16_t>(port);
  return address;
}

std::optional<std::string> BadNetworkEntry(std::string_view list) {
  while (true) {
    const std::size_t comma = list.find(',');
    std::string_view entry = list.substr(0, comma);
    while (!entry.empty() && IsBlank(entry.front())) entry.remove_prefix(1);
    while (!entry.empty() && IsBlank(entry.back())) entry.remove_suffix(1);
    if (IsNetworkEntry(entry) && !ParseNetworkAddress(entry)) {
      return "\"" + std::string(entry) +
             "\" is not a network port; write tcp://HOST:PORT (raw) or rfc2217://HOST:PORT "
             "(Telnet COM port), e.g. tcp://192.168.1.20:4001";
    }
    if (comma == std::string_view::npos) return std::nullopt;
    list.remove_prefix(comma + 1);
  }
}

}  // namespace corvella::link
