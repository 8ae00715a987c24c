// Arbitrary bytes from a Telnet COM port server, split anywhere: the codec must not crash or run
// away, must read the same however the bytes are cut into reads, must answer only with option
// refusals or agreements, and line data escaped and mixed with any commands must come out exactly
// as it went in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "link/telnet_codec.h"

namespace {

using corvella::fuzz::Require;
namespace telnet = corvella::link::telnet;

struct Outcome {
  std::string data;
  std::string replies;
  telnet::Codec::Offer offer = telnet::Codec::Offer::Pending;
  bool confirmed = false;
  bool contradicted = false;

  bool operator==(const Outcome& other) const {
    return data == other.data && replies == other.replies && offer == other.offer &&
           confirmed == other.confirmed && contradicted == other.contradicted;
  }
};

// Read sizes from 1 to 16 bytes, drawn from `seed`; 0 takes everything in one read.
Outcome Run(std::string_view stream, std::uint32_t seed, bool requested) {
  telnet::Codec codec;
  (void)codec.Start();
  if (requested) (void)codec.RequestSettings(telnet::ComPortSettings{});
  Outcome out;
  while (!stream.empty()) {
    std::size_t take = stream.size();
    if (seed != 0) {
      seed = seed * 1103515245u + 12345u;
      take = std::min<std::size_t>(stream.size(), 1 + ((seed >> 16) % 16));
    }
    codec.Feed(stream.substr(0, take), out.data, out.replies);
    stream.remove_prefix(take);
  }
  out.offer = codec.ComPortOffer();
  out.confirmed = codec.Confirmed();
  out.contradicted = codec.Contradicted();
  return out;
}

// Only IAC WILL/WONT/DO/DONT <option> triples.
bool OnlyNegotiation(const std::string& replies) {
  if (replies.size() % 3 != 0) return false;
  for (std::size_t i = 0; i < replies.size(); i += 3) {
    const auto verb = static_cast<std::uint8_t>(replies[i + 1]);
    if (static_cast<std::uint8_t>(replies[i]) != telnet::kIac || verb < telnet::kWill ||
        verb > telnet::kDont) {
      return false;
    }
  }
  return true;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out.push_back(static_cast<char>(v));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t seed = data[0] | 1u;
  const bool requested = (data[0] & 0x80) != 0;
  const std::string_view server(reinterpret_cast<const char*>(data + 1), size - 1);

  // The server's bytes as they come.
  const Outcome whole = Run(server, 0, requested);
  Require(Run(server, seed, requested) == whole);
  Require(whole.data.size() <= server.size());
  Require(OnlyNegotiation(whole.replies));
  Require(whole.replies.size() <= server.size());

  // The same bytes as line data: escaped, with commands between them, read in any pieces.
  static const std::vector<std::string> kCommands = {Bytes({255, 241}),
                                                     Bytes({255, 249}),
                                                     Bytes({255, 253, 1}),
                                                     Bytes({255, 251, 3}),
                                                     Bytes({255, 254, 44}),
                                                     Bytes({255, 250, 44, 107, 0x30, 255, 240}),
                                                     Bytes({255, 250, 44, 104, 255, 255, 255, 240}),
                                                     Bytes({255, 250, 1, 2, 3, 255, 241})};
  std::string stream;
  for (const char c : server) {
    stream += telnet::Escape(std::string_view(&c, 1));
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte % 5 == 0) stream += kCommands[byte % kCommands.size()];
  }
  const Outcome escaped = Run(stream, seed, requested);
  Require(escaped.data == server);
  Require(OnlyNegotiation(escaped.replies));
  return 0;
}
