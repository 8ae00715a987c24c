// The client's side of Telnet as a device server speaks it for a COM port (RFC 854, RFC 2217):
// bytes from the server in, the line's data bytes and the answers owed to the server out. Knows
// nothing of sockets or threads, so any byte sequence split anywhere can be fed to it.
//
// The client offers the COM-PORT option, sets the line once the server agrees and collects the
// server's confirmations; every other option either side proposes is refused (DONT / WONT), and a
// refusal of something that is off already gets no answer, so two polite peers never loop.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvella::link::telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kComPortOption = 44;

// RFC 2217 line settings, in the option's own codes.
struct ComPortSettings {
  std::uint32_t baud = 9600;
  std::uint8_t dataSize = 8;
  std::uint8_t parity = 1;    // 1 none, 2 odd, 3 even, 4 mark, 5 space
  std::uint8_t stopSize = 1;  // 1 one, 2 two, 3 one and a half
  std::uint8_t control = 1;   // 1 no flow control
};

// The parity code for 'N', 'O', 'E', 'M' or 'S'; 0 for anything else.
std::uint8_t ParityCode(char parity);

// The data bytes as they go on a Telnet connection: every 255 doubled.
std::string Escape(std::string_view data);

class Codec {
 public:
  enum class Offer { Pending, Accepted, Refused };

  // The client's opening: the offer to control the COM port.
  std::string Start();
  // The SET-BAUDRATE, -DATASIZE, -PARITY, -STOPSIZE and -CONTROL requests; send them once the
  // offer was accepted. The confirmations are counted from here on.
  std::string RequestSettings(const ComPortSettings& settings);

  // Takes bytes from the server: the line's data bytes are appended to `data`, the answers the
  // server is owed to `replies`.
  void Feed(std::string_view bytes, std::string& data, std::string& replies);

  Offer ComPortOffer() const { return offer_; }
  // True once the server confirmed every requested setting with the value asked for.
  bool Confirmed() const;
  // True once the server confirmed any requested setting with another value than asked for.
  bool Contradicted() const;

 private:
  enum class State { Data, Iac, Verb, Sub, SubIac };
  enum Setting : std::size_t { kBaud, kDataSize, kParity, kStopSize, kControl, kSettings };

  void Negotiate(std::uint8_t verb, std::uint8_t option, std::string& replies);
  void EndSubnegotiation();

  State state_ = State::Data;
  std::uint8_t verb_ = 0;
  Offer offer_ = Offer::Pending;
  bool offered_ = false;  // our WILL COM-PORT is out and not yet answered
  bool requested_ = false;
  // A subnegotiation longer than any the option defines is cut here and ignored whole.
  static constexpr std::size_t kSubLimit = 64;
  std::string sub_;
  bool subOverflow_ = false;
  std::array<std::uint32_t, kSettings> asked_{};
  std::array<std::optional<std::uint32_t>, kSettings> confirmed_{};
};

}  // namespace corvella::link::telnet
