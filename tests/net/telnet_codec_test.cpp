// The Telnet / RFC 2217 layer on its own: what a device server's bytes become, and what the
// client owes it in return.
#include "link/telnet_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvella::link::telnet {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out.push_back(static_cast<char>(v));
  return out;
}

struct Fed {
  std::string data;
  std::string replies;
};

Fed FeedAll(Codec& codec, const std::string& bytes) {
  Fed fed;
  codec.Feed(bytes, fed.data, fed.replies);
  return fed;
}

// What ser2net opens a Telnet COM port connection with (taken from a real session).
const std::string kSer2netGreeting =
    Bytes({255, 251, 3,   255, 253, 3,   255, 251, 1,   255, 254, 1, 255, 253,
           0,   255, 251, 0,   255, 253, 44,  255, 250, 44,  107, 0, 255, 240});

std::string Confirmation(int code, std::string value) {
  return Bytes({255, 250, 44, code}) + Escape(value) + Bytes({255, 240});
}

TEST(TelnetCodecTest, TheComPortIsOfferedAndEveryOtherOptionRefused) {
  Codec codec;
  EXPECT_EQ(codec.Start(), Bytes({255, 251, 44}));
  EXPECT_EQ(codec.ComPortOffer(), Codec::Offer::Pending);
  const Fed fed = FeedAll(codec, kSer2netGreeting);
  EXPECT_EQ(fed.data, "");
  // WILL SGA, DO SGA, WILL ECHO, DO BINARY, WILL BINARY each declined; DONT ECHO (already off) and
  // DO COM-PORT (the answer to our offer) need no answer.
  EXPECT_EQ(fed.replies, Bytes({255, 254, 3, 255, 252, 3, 255, 254, 1, 255, 252, 0, 255, 254, 0}));
  EXPECT_EQ(codec.ComPortOffer(), Codec::Offer::Accepted);

  // Said again, the same refusals, nothing more: no answer ever invites another.
  EXPECT_EQ(FeedAll(codec, Bytes({255, 253, 44, 255, 252, 5, 255, 254, 24})).replies, "");
  // Turned off by the server after all: acknowledged once.
  EXPECT_EQ(FeedAll(codec, Bytes({255, 254, 44})).replies, Bytes({255, 252, 44}));
  EXPECT_EQ(codec.ComPortOffer(), Codec::Offer::Refused);
  EXPECT_EQ(FeedAll(codec, Bytes({255, 254, 44})).replies, "");
  // Asked for it unprompted, the client agrees.
  EXPECT_EQ(FeedAll(codec, Bytes({255, 253, 44})).replies, Bytes({255, 251, 44}));

  Codec refused;
  (void)refused.Start();
  EXPECT_EQ(FeedAll(refused, Bytes({255, 254, 44})).replies, "");
  EXPECT_EQ(refused.ComPortOffer(), Codec::Offer::Refused);
}

TEST(TelnetCodecTest, LineSettingsAreRequestedAndTheirConfirmationsChecked) {
  ComPortSettings unit;
  unit.baud = 9600;
  unit.dataSize = 8;
  unit.parity = ParityCode('N');
  unit.stopSize = 2;
  unit.control = 1;
  Codec codec;
  (void)codec.Start();
  (void)FeedAll(codec, Bytes({255, 253, 44}));
  EXPECT_FALSE(codec.Confirmed());  // nothing asked yet
  EXPECT_EQ(codec.RequestSettings(unit),
            Bytes({255, 250, 44,  1,   0,   0,   0x25, 0x80, 255, 240, 255, 250, 44,
                   2,   8,   255, 240, 255, 250, 44,   3,    1,   255, 240, 255, 250,
                   44,  4,   2,   255, 240, 255, 250,  44,   5,   1,   255, 240}));
  const std::string confirmations = Confirmation(101, Bytes({0, 0, 0x25, 0x80})) +
                                    Confirmation(102, Bytes({8})) + Confirmation(103, Bytes({1})) +
                                    Confirmation(104, Bytes({2})) + Confirmation(105, Bytes({1}));
  // Confirmations arrive in pieces, mixed with notifications the client does not use.
  std::string data;
  std::string replies;
  const std::string stream = Confirmation(107, Bytes({0x30})) + confirmations;
  for (std::size_t i = 0; i + 1 < stream.size(); ++i) {
    codec.Feed(stream.substr(i, 1), data, replies);
    EXPECT_FALSE(codec.Confirmed()) << i;
  }
  codec.Feed(stream.substr(stream.size() - 1), data, replies);
  EXPECT_TRUE(codec.Confirmed());
  EXPECT_FALSE(codec.Contradicted());
  EXPECT_EQ(data, "");
  EXPECT_EQ(replies, "");

  // A server that keeps one stop bit says so, and that is no confirmation.
  Codec stubborn;
  (void)stubborn.Start();
  (void)stubborn.RequestSettings(unit);
  (void)FeedAll(stubborn, Confirmation(104, Bytes({1})));
  EXPECT_TRUE(stubborn.Contradicted());
  EXPECT_FALSE(stubborn.Confirmed());

  // A baud rate whose bytes include 255 travels escaped both ways.
  ComPortSettings odd = unit;
  odd.baud = 0x0001'FFFF;
  Codec escaped;
  (void)escaped.Start();
  const std::string request = escaped.RequestSettings(odd);
  EXPECT_EQ(request.substr(0, 12), Bytes({255, 250, 44, 1, 0, 1, 255, 255, 255, 255, 255, 240}));
  (void)FeedAll(escaped, Confirmation(101, Bytes({0, 1, 255, 255})) + confirmations.substr(10));
  EXPECT_TRUE(escaped.Confirmed());
}

TEST(TelnetCodecTest, DataSurvivesEscapingCommandsAndAnySplit) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  all += Bytes({255, 255, 255, 40, 255});
  EXPECT_EQ(Escape(all).size(), all.size() + 5);
  for (std::size_t cut = 0; cut <= all.size(); ++cut) {
    // A command between any two data bytes, and the stream split anywhere, even inside a pair.
    const std::string wire =
        Escape(all.substr(0, cut)) + Bytes({255, 241}) + Escape(all.substr(cut));
    const std::size_t split = (cut * 7) % (wire.size() + 1);
    Codec codec;
    std::string data;
    std::string replies;
    codec.Feed(wire.substr(0, split), data, replies);
    codec.Feed(wire.substr(split), data, replies);
    EXPECT_EQ(data, all) << cut;
    EXPECT_EQ(replies, "") << cut;
  }
}

TEST(TelnetCodecTest, MalformedAndOverlongSubnegotiationsAreDroppedWithoutLosingTheStream) {
  Codec codec;
  (void)codec.Start();
  ComPortSettings unit;
  (void)codec.RequestSettings(unit);
  Fed fed;
  // An endless subnegotiation is cut at its limit, and its confirmation-like start ignored.
  std::string overlong = Bytes({255, 250, 44, 102, 8});
  overlong += std::string(5000, 'x');
  overlong += Bytes({255, 240});
  codec.Feed(overlong + "ok", fed.data, fed.replies);
  EXPECT_EQ(fed.data, "ok");
  EXPECT_FALSE(codec.Contradicted());
  // A command inside one ends it and still counts; the bytes after it are data again.
  codec.Feed(Bytes({255, 250, 44, 102, 7, 255, 251, 1}) + "(01X)", fed.data, fed.replies);
  EXPECT_EQ(fed.data, "ok(01X)");
  EXPECT_EQ(fed.replies, Bytes({255, 254, 1}));
  EXPECT_FALSE(codec.Contradicted());
  // Confirmations of the wrong width or for another option are not confirmations.
  codec.Feed(Confirmation(101, Bytes({0x25, 0x80})) + Bytes({255, 250, 45, 102, 7, 255, 240}),
             fed.data, fed.replies);
  EXPECT_FALSE(codec.Contradicted());
}

}  // namespace
}  // namespace corvella::link::telnet
