#include "link/telnet_codec.h"

namespace corvella::link::telnet {
namespace {

// RFC 2217 command codes sent by the client; the server answers each with the code plus 100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kServerOffset = 100;

void Command(std::string& out, std::uint8_t verb, std::uint8_t option) {
  out.push_back(static_cast<char>(kIac));
  out.push_back(static_cast<char>(verb));
  out.push_back(static_cast<char>(option));
}

void Subnegotiation(std::string& out, std::uint8_t code, std::string_view value) {
  out.push_back(static_cast<char>(kIac));
  out.push_back(static_cast<char>(kSb));
  out.push_back(static_cast<char>(kComPortOption));
  out.push_back(static_cast<char>(code));
  out += Escape(value);
  out.push_back(static_cast<char>(kIac));
  out.push_back(static_cast<char>(kSe));
}

}  // namespace

std::uint8_t ParityCode(char parity) {
  switch (parity) {
    case 'N':
      return 1;
    case 'O':
      return 2;
    case 'E':
      return 3;
    case 'M':
      return 4;
    case 'S':
      return 5;
    default:
      return 0;
  }
}

std::string Escape(std::string_view data) {
  std::string out;
  out.reserve(data.size());
  for (const char c : data) {
    out.push_back(c);
    if (static_cast<std::uint8_t>(c) == kIac) out.push_back(c);
  }
  return out;
}

std::string Codec::Start() {
  std::string out;
  offered_ = true;
  Command(out, kWill, kComPortOption);
  return out;
}

std::string Codec::RequestSettings(const ComPortSettings& settings) {
  asked_ = {settings.baud, settings.dataSize, settings.parity, settings.stopSize, settings.control};
  confirmed_ = {};
  requested_ = true;
  std::string out;
  const char baud[4] = {static_cast<char>(settings.baud >> 24),
                        static_cast<char>(settings.baud >> 16),
                        static_cast<char>(settings.baud >> 8), static_cast<char>(settings.baud)};
  Subnegotiation(out, kSetBaudRate, std::string_view(baud, 4));
  for (std::size_t i = kDataSize; i < kSettings; ++i) {
    const char value = static_cast<char>(asked_[i]);
    Subnegotiation(out, static_cast<std::uint8_t>(kSetBaudRate + i), std::string_view(&value, 1));
  }
  return out;
}

bool Codec::Confirmed() const {
  if (!requested_) return false;
  for (std::size_t i = 0; i < kSettings; ++i) {
    if (confirmed_[i] != asked_[i]) return false;
  }
  return true;
}

bool Codec::Contradicted() const {
  for (std::size_t i = 0; i < kSettings; ++i) {
    if (confirmed_[i] && *confirmed_[i] != asked_[i]) return true;
  }
  return false;
}

void Codec::Feed(std::string_view bytes, std::string& data, std::string& replies) {
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    switch (state_) {
      case State::Data:
        if (byte == kIac) {
          state_ = State::Iac;
        } else {
          data.push_back(c);
        }
        break;
      case State::Iac:
        if (byte == kIac) {
          data.push_back(c);
          state_ = State::Data;
        } else if (byte >= kWill && byte <= kDont) {
          verb_ = byte;
          state_ = State::Verb;
        } else if (byte == kSb) {
          sub_.clear();
          subOverflow_ = false;
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, GA, AYT and the like: nothing the line needs
        }
        break;
      case State::Verb:
        Negotiate(verb_, byte, replies);
        state_ = State::Data;
        break;
      case State::Sub:
        if (byte == kIac) {
          state_ = State::SubIac;
        } else if (sub_.size() < kSubLimit) {
          sub_.push_back(c);
        } else {
          subOverflow_ = true;
        }
        break;
      case State::SubIac:
        if (byte == kIac) {
          if (sub_.size() < kSubLimit) {
            sub_.push_back(c);
          } else {
            subOverflow_ = true;
          }
          state_ = State::Sub;
        } else if (byte == kSe) {
          EndSubnegotiation();
          state_ = State::Data;
        } else {
          // A command inside a subnegotiation ends it unfinished; the command itself still counts.
          state_ = State::Iac;
          const char again = c;
          Feed(std::string_view(&again, 1), data, replies);
        }
        break;
    }
  }
}

void Codec::Negotiate(std::uint8_t verb, std::uint8_t option, std::string& replies) {
  if (option == kComPortOption && (verb == kDo || verb == kDont)) {
    if (verb == kDo) {
      if (offer_ != Offer::Accepted && !offered_) Command(replies, kWill, kComPortOption);
      offer_ = Offer::Accepted;
    } else {
      if (offer_ == Offer::Accepted) Command(replies, kWont, kComPortOption);
      offer_ = Offer::Refused;
    }
    offered_ = false;
    return;
  }
  // Everything else is declined; a peer turning something off needs no answer, it is off here.
  if (verb == kWill) Command(replies, kDont, option);
  if (verb == kDo) Command(replies, kWont, option);
}

void Codec::EndSubnegotiation() {
  if (subOverflow_ || sub_.size() < 2 || static_cast<std::uint8_t>(sub_[0]) != kComPortOption)
    return;
  const auto code = static_cast<std::uint8_t>(sub_[1]);
  if (code < kServerOffset + kSetBaudRate || code >= kServerOffset + kSetBaudRate + kSettings)
    return;
  const std::size_t which = code - kServerOffset - kSetBaudRate;
  const std::string_view value = std::string_view(sub_).substr(2);
  const std::size_t width = which == kBaud ? 4 : 1;
  if (value.size() != width) return;
  std::uint32_t number = 0;
  for (const char c : value) number = (number << 8) | static_cast<std::uint8_t>(c);
  if (requested_) confirmed_[which] = number;
}

}  // namespace corvella::link::telnet
