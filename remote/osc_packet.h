// OSC packets to and from messages of the address tree's values: a packet is one message or a
// bundle of them. Decoding takes any bytes from the network and refuses what is not well formed,
// so nothing malformed gets further than this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/address_tree.h"

namespace corvella::remote {

struct OscMessage {
  std::string path;
  std::vector<Value> args;
  // An argument of a type the tree has no value for (blob, MIDI, nil, time tag ...): the message
  // can only be answered with "wrong type".
  bool foreignType = false;
};

// The messages of one packet, in order (a bundle's time tag is not waited for: a desk that sends
// a bundle wants its settings now). nullopt when the packet is not well formed; then nothing of it
// is taken. Integers: "i" and a 64-bit "h" that fits, "T" and "F" as 1 and 0. Numbers: "f", "d",
// and "I" (infinity). Text: "s" and "S".
std::optional<std::vector<OscMessage>> DecodePacket(const std::uint8_t* data, std::size_t size);

// One message as a packet: integers as "i", numbers as "f", text as "s".
std::vector<std::uint8_t> EncodeMessage(std::string_view path, const std::vector<Value>& args);

// Bundles inside bundles are followed this deep at most.
inline constexpr int kMaxBundleDepth = 4;
// The largest packet taken (UDP's own limit; TCP streams are cut into packets of at most this).
inline constexpr std::size_t kMaxPacketSize = 65507;

}  // namespace corvella::remote
