#include "remote/osc_packet.h"

#include <lo/lo.h>
#include <lo/lo_lowlevel.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace corvella::remote {
namespace {

constexpr std::string_view kBundleTag{"#bundle\0", 8};
constexpr std::size_t kTimeTagSize = 8;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

struct MessageDeleter {
  void operator()(lo_message m) const { lo_message_free(m); }
};
using MessagePtr = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

std::optional<OscMessage> DecodeMessage(const std::uint8_t* data, std::size_t size) {
  // liblo takes the bytes as writable; it gets a copy, never the caller's buffer.
  std::vector<std::uint8_t> copy(data, data + size);
  int result = 0;
  MessagePtr m(lo_message_deserialise(copy.data(), copy.size(), &result));
  if (!m || result != 0) return std::nullopt;
  // The path is the packet's first string, already checked by the deserialiser.
  OscMessage out;
  out.path.assign(reinterpret_cast<const char*>(copy.data()),
                  strnlen(reinterpret_cast<const char*>(copy.data()), copy.size()));
  const char* types = lo_message_get_types(m.get());
  lo_arg** argv = lo_message_get_argv(m.get());
  const int argc = lo_message_get_argc(m.get());
  for (int i = 0; i < argc; ++i) {
    // Arguments stand where the packet has them, 4-byte aligned, so 64-bit ones are copied out
    // rather than read in place. "T", "F", "N" and "I" carry no data (a null pointer).
    const void* raw = argv[i];
    const auto take = [raw](auto value) {
      std::memcpy(&value, raw, sizeof value);
      return value;
    };
    const bool carried = raw != nullptr;
    switch (types[i]) {
      case LO_INT32:
        if (carried) out.args.emplace_back(static_cast<int>(take(std::int32_t{})));
        break;
      case LO_INT64: {
        if (!carried) break;
        const std::int64_t h = take(std::int64_t{});
        if (h >= std::numeric_limits<int>::min() && h <= std::numeric_limits<int>::max()) {
          out.args.emplace_back(static_cast<int>(h));
        } else {
          out.args.emplace_back(static_cast<double>(h));
        }
        break;
      }
      case LO_TRUE:
        out.args.emplace_back(1);
        break;
      case LO_FALSE:
        out.args.emplace_back(0);
        break;
      case LO_FLOAT:
        if (carried) out.args.emplace_back(static_cast<double>(take(float{})));
        break;
      case LO_DOUBLE:
        if (carried) out.args.emplace_back(take(double{}));
        break;
      case LO_INFINITUM:
        out.args.emplace_back(std::numeric_limits<double>::infinity());
        break;
      case LO_STRING:
      case LO_SYMBOL:
        if (carried) out.args.emplace_back(std::string(static_cast<const char*>(raw)));
        break;
      default:
        out.foreignType = true;
        break;
    }
  }
  return out;
}

bool DecodeInto(const std::uint8_t* data, std::size_t size, int depth,
                std::vector<OscMessage>& out) {
  if (size == 0 || size % 4 != 0 || size > kMaxPacketSize) return false;
  if (size < kBundleTag.size() || std::memcmp(data, kBundleTag.data(), kBundleTag.size()) != 0) {
    auto message = DecodeMessage(data, size);
    if (!message) return false;
    out.push_back(std::move(*message));
    return true;
  }
  if (depth >= kMaxBundleDepth || size < kBundleTag.size() + kTimeTagSize) return false;
  std::size_t at = kBundleTag.size() + kTimeTagSize;
  while (at < size) {
    if (size - at < 4) return false;
    const std::uint32_t length = BigEndian32(data + at);
    at += 4;
    if (length > size - at) return false;
    if (!DecodeInto(data + at, length, depth + 1, out)) return false;
    at += length;
  }
  return true;
}

}  // namespace

std::optional<std::vector<OscMessage>> DecodePacket(const std::uint8_t* data, std::size_t size) {
  std::vector<OscMessage> messages;
  if (data == nullptr || !DecodeInto(data, size, 0, messages)) return std::nullopt;
  return messages;
}

std::vector<std::uint8_t> EncodeMessage(std::string_view path, const std::vector<Value>& args) {
  MessagePtr m(lo_message_new());
  for (const Value& v : args) {
    if (const int* i = std::get_if<int>(&v)) {
      lo_message_add_int32(m.get(), *i);
    } else if (const double* d = std::get_if<double>(&v)) {
      lo_message_add_float(m.get(), static_cast<float>(*d));
    } else {
      lo_message_add_string(m.get(), std::get<std::string>(v).c_str());
    }
  }
  const std::string p(path);
  std::size_t size = 0;
  void* bytes = lo_message_serialise(m.get(), p.c_str(), nullptr, &size);
  if (bytes == nullptr) return {};
  const auto* first = static_cast<const std::uint8_t*>(bytes);
  std::vector<std::uint8_t> out(first, first + size);
  std::free(bytes);
  return out;
}

}  // namespace corvella::remote
